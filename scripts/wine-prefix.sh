#!/bin/bash
# Makes the build folder's own Wine prefix once, starts a private X server
# for windows made by tests, and keeps a wineserver alive so that each test
# program starts in a second instead of three.
# With PELLOR_DISPLAY set (an X display such as :0), windows go there and no
# private X server is started.
# Usage: wine-prefix.sh start|stop  (BUILD_DIR as for build.sh)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
export WINEPREFIX="$BUILD_DIR/wineprefix"
# Wine's menu builder writes file associations and menus into the user's home: off.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
DISPLAY_FILE="$BUILD_DIR/xvfb.display"
PID_FILE="$BUILD_DIR/xvfb.pid"

start_xvfb() {
  if [ -n "${PELLOR_DISPLAY:-}" ]; then echo "$PELLOR_DISPLAY" >"$DISPLAY_FILE"; return; fi
  if [ -f "$PID_FILE" ] && kill -0 "$(cat "$PID_FILE")" 2>/dev/null; then return; fi
  local fifo="$BUILD_DIR/xvfb.fifo"
  rm -f "$fifo" && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 </dev/null &
  echo $! >"$PID_FILE"
  echo ":$(head -n1 "$fifo")" >"$DISPLAY_FILE"
  rm -f "$fifo"
}

# Wine links the prefix's Documents, Desktop, Downloads, ... to the user's own
# home: made plain folders of the prefix, nothing a test or the product writes
# there (a backup in Documents\Pellor\Backup) reaches the home. Only the link
# is removed: `rm -r` or a trailing slash would follow it into the home.
keep_user_folders_inside() {
  local d
  for d in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$d" ]; then rm -- "$d" && mkdir -- "$d"; fi
  done
}

case "${1:-start}" in
  start)
    mkdir -p "$BUILD_DIR"
    start_xvfb
    export DISPLAY="$(cat "$DISPLAY_FILE")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "making Wine prefix $WINEPREFIX"
      wineboot -i >/dev/null 2>&1 </dev/null || true
      wineserver -w
    fi
    keep_user_folders_inside
    wineserver -p >/dev/null 2>&1 </dev/null &
    # Start Wine's own services now, with no inherited output: a service
    # started by a test would hold ctest's output pipe open and stall the run.
    wine cmd /c exit >/dev/null 2>&1 </dev/null || true
    # The scripts call wine with environments of their own: the prefix itself
    # keeps the menu builder off (an empty override is "disabled").
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /t REG_SZ /d "" /f \
      >/dev/null 2>&1 </dev/null || true
    # A program that crashes must end with its backtrace on stderr, not wait
    # on Wine's crash dialog until ctest's timeout.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null || true
    # The private X server has no window manager, and Wine waits two seconds
    # for one each time it hides a window it leaves to the manager: every
    # progress dialog and message box that closes. There Wine places the test
    # programs' windows itself; Explorer's stay managed, as a mouse drag from
    # one Explorer window to another needs them stacked. On a display of the
    # user's own, the manager places every window.
    if [ -z "${PELLOR_DISPLAY:-}" ]; then
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null || true
      wine reg add 'HKCU\Software\Wine\AppDefaults\explorer.exe\X11 Driver' /v Managed /t REG_SZ /d Y /f \
        >/dev/null 2>&1 </dev/null || true
    else
      wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 </dev/null || true
    fi
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [ -f "$PID_FILE" ]; then kill "$(cat "$PID_FILE")" 2>/dev/null || true; rm -f "$PID_FILE"; fi
    rm -f "$DISPLAY_FILE"
    ;;
esac
