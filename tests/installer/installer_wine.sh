#!/bin/bash
# Installs PellorSetup.exe silently into the build's Wine prefix, checks the installed files, the extension's
# registration and the Add/Remove Programs entry, uninstalls it silently and checks that the program folder is gone
# and the registry is as it was before the install.
set -uo pipefail
SETUP="Z:$(readlink -f "$1" | tr / '\\')"
PROGRAM_DIR="$PELLOR_BUILD_DIR/wineprefix/drive_c/Program Files/Pellor"
INSTDIR='C:\Program Files\Pellor'
CLSID="{9413F1A9-2105-4B5F-886F-9B5CF0033322}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
source "$(dirname "$0")/../support/registry_query.sh"

# The machine's and the user's software keys as exported text.
snapshot() {
  for hive in HKEY_LOCAL_MACHINE\\Software HKEY_CURRENT_USER\\Software; do
    "$WINE_RUN" reg export "$hive" 'Z:'"$(echo "$WORK/hive.reg" | tr / '\\')" /y >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$WORK/hive.reg" | tr -d '\r'
  done >"$1"
}

# Earlier tests leave settings in the prefix: start as a user who never ran Pellor.
"$WINE_RUN" reg delete 'HKEY_CURRENT_USER\Software\Vostrel' /f >/dev/null 2>&1
snapshot "$WORK/before.txt"
wine_quiet "$SETUP" /S
# A registration naming a file the installer never wrote would leave an empty My Computer entry.
for file in Pellor.dll Pellor.chm pellor-sim.exe pellor.exe Uninstall.exe; do
  [ -f "$PROGRAM_DIR/$file" ] || fail "missing $INSTDIR\\$file"
done
while IFS='|' read -r key name data; do expect_value "$key" "$name" "$data"; done <<EOF_
HKEY_CLASSES_ROOT\\CLSID\\$CLSID||Pellor
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\InprocServer32||$INSTDIR\\Pellor.dll
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\InprocServer32|ThreadingModel|Apartment
HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\$CLSID||Pellor
HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pellor|DisplayName|Pellor
HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pellor|QuietUninstallString|"$INSTDIR\\Uninstall.exe" /S
EOF_
# The uninstaller runs from a copy of itself in the temporary folder and returns at once: wait for the folder.
wine_quiet "$PROGRAM_DIR/Uninstall.exe" /S
for _ in $(seq 60); do [ -d "$PROGRAM_DIR" ] || break; sleep 1; done
"$WINE_RUN" cmd /c exit >/dev/null 2>&1
[ -d "$PROGRAM_DIR" ] && fail "left in the program folder: $(ls "$PROGRAM_DIR" | tr '\n' ' ')"
snapshot "$WORK/after.txt"
diff "$WORK/before.txt" "$WORK/after.txt" >"$WORK/diff.txt" || fail "registry differs after uninstall: $(head -n 40 "$WORK/diff.txt")"
exit "$FAILURES"
