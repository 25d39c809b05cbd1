# The host and Explorer runs' shared part: Pellor.dll against the stand-in,
# R:\letters opened from the keyboard; screenshots go to $BUILD_DIR/screenshots/.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/stand-in.sh"
source "$ROOT/scripts/explorer-nav.sh"
OUT="$BUILD_DIR/screenshots"
MODULE="$BUILD_DIR/shell/Pellor.dll"
fail() { echo "FAIL: $*"; exit 1; }
shot() { import -window root -crop "${CROP:-640x480+0+0}" "$OUT/$1.png"; echo "  $OUT/$1.png"; }

# host_open_letters [HOST-OPTION...]: starts the host, recording what it shows, and opens R:\letters by typing "r" and Return.
host_open_letters() {
  "$BUILD_DIR/wine-run.sh" "$BUILD_DIR/host/pellor-host.exe" "$@" --record >"$WORK/record" 2>&1 </dev/null &
  HOST=$!
  trap '{ kill "$HOST" 2>/dev/null || true; stand_in_stop; }' EXIT
  W="$(explorer_window '^Pellor$' pellor-host.exe)" || fail "the host's window did not appear"
  sleep 0.5
  xdotool type --delay 60 r
  xdotool key Return
  explorer_wait_title "$W" '^Corvanx:R:\\letters\\$' || fail "Return did not open R:\\letters"
}

# host_close: closes the host and shows its record, which `expect` then reads.
host_close() {
  xdotool key alt+F4
  wait
  tr -d '\r' <"$WORK/record" | tee "$WORK/shown"
}
expect() { grep -qxF -- "$1" "$WORK/shown" || fail "the record lacks '$1'"; }

# explorer_open_letters [SHOT]: registers the module and opens R:\letters in
# Wine's Explorer (window $W), taking screenshot SHOT of the root on the way;
# at the end the windows of $PIDS and $SOURCE go and the module is unregistered.
explorer_open_letters() {
  mkdir -p "$OUT"
  trap '{ kill $PIDS 2>/dev/null || true; rm -rf "${SOURCE:-/nonexistent}"; wine regsvr32 /s /u "$MODULE" || true; stand_in_stop; }' EXIT
  wine regsvr32 /s "$MODULE"
  wine explorer >/dev/null 2>&1 </dev/null &
  PIDS=$!
  W="$(explorer_window '^Desktop$')" || fail "Explorer's window did not appear"
  explorer_open_pellor "$W" || fail "could not open Pellor"
  if [ -n "${1:-}" ]; then sleep 1; shot "$1"; fi
  explorer_open "$W" r '^Pellor\\R:\\letters$' || fail "could not open R:\\letters"
}
