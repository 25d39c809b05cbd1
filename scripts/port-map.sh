#!/bin/bash
# Puts the given ports, and nothing else, into the Wine prefix's serial-port
# map, where Pellor finds the PC's ports: port-map.sh [COMn[:usb|:bluetooth] ...]
# (built in by default; none empties the map). Wine makes the map anew from
# its own ports whenever its services start, and keeps it only while the
# wineserver runs; pseudo-terminals linked as comN are not in it.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="$(readlink -f "${BUILD_DIR:-$ROOT/build}")/wineprefix" WINEDEBUG=-all
MAP='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
wine cmd /c exit >/dev/null 2>&1  # the services have run and made Wine's own entries: they go now
wine reg delete "$MAP" /va /f >/dev/null 2>&1 || true
n=0
for port in "$@"; do
  case "${port#*:}" in
    usb) device="\\Device\\VCP$n" ;;
    bluetooth) device="\\Device\\BthModem$n" ;;
    *) device="\\Device\\Serial$n" ;;
  esac
  wine reg add "$MAP" /v "$device" /t REG_SZ /d "${port%%:*}" /f >/dev/null 2>&1
  n=$((n + 1))
done
