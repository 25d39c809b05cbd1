# Sourced by the main job and the view's script tests, after
# scripts/wine-prefix.sh start: the sample device served by the stand-in
# note-taker on COM$SIM_COM (default 4), with the prefix's Pellor settings
# pointed at COM$PC_COM (default 3) for the run. stand_in_stop (also the exit
# trap) puts the settings back, stops the stand-in and removes $WORK. Sets
# ROOT, BUILD_DIR, WINEPREFIX, DISPLAY, WORK and DEVICE.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export BUILD_DIR="${PELLOR_BUILD_DIR:-${BUILD_DIR:-$ROOT/build}}" PC_COM="${PC_COM:-3}" SIM_COM="${SIM_COM:-4}"
export WINEPREFIX="$BUILD_DIR/wineprefix" WINEDEBUG=-all
export DISPLAY="$(cat "$BUILD_DIR/xvfb.display")"
SETTINGS_KEY='HKCU\Software\Vostrel\Pellor'
WORK="$(mktemp -d)"
DEVICE="$WORK/device"

# In the build folder, where a run stopped before its exit trap leaves them.
SAVED_SETTINGS="$BUILD_DIR/settings.saved.reg"

# The settings as they were before the run: those of a run stopped before its
# exit trap first.
put_back_settings() {
  wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1 || true
  [ -f "$SAVED_SETTINGS" ] && wine reg import "$SAVED_SETTINGS" >/dev/null 2>&1 || true
  rm -f "$SAVED_SETTINGS"
}
stand_in_stop() {
  put_back_settings
  "$ROOT/scripts/sim-pty.sh" stop
  rm -rf "$WORK"
}
trap stand_in_stop EXIT

# The module reads its port when it is loaded and saves every setting when
# it is unloaded: keep the prefix's own settings to put them back.
if [ -f "$SAVED_SETTINGS" ]; then put_back_settings; fi
if wine reg query "$SETTINGS_KEY" >/dev/null 2>&1; then
  wine reg export "$SETTINGS_KEY" "$SAVED_SETTINGS" >/dev/null 2>&1
fi
"$ROOT/scripts/sample-device.sh" "$DEVICE"
"$ROOT/scripts/sim-pty.sh" start "$DEVICE" >/dev/null
wine reg add "$SETTINGS_KEY" /v Port /t REG_SZ /d "COM$PC_COM" /f >/dev/null 2>&1

