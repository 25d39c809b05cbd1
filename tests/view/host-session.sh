# The pellor-host runs' shared part: the host with Pellor.dll against the
# stand-in, recording what it shows, with R:\letters opened from the keyboard.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/stand-in.sh"
source "$ROOT/scripts/explorer-nav.sh"
fail() { echo "FAIL: $*"; exit 1; }

# host_open_letters [HOST-OPTION...]: starts the host and opens R:\letters by typing "r" and Return.
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
