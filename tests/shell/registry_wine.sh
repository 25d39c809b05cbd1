#!/bin/bash
# regsvr32 in the build's Wine prefix: every row registration writes, then nothing of ours left
# after unregistration; a second unregistration must fail (the keys are gone: it fails on the first row).
set -uo pipefail
MODULE="Z:$(readlink -f "$1" | tr / '\\')"
CLSID="{9413F1A9-2105-4B5F-886F-9B5CF0033322}"
HKCR_KEY="HKEY_CLASSES_ROOT\\CLSID\\$CLSID"
NAMESPACE_KEY="HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\$CLSID"
APPROVED_KEY="HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"
source "$(dirname "$0")/../support/registry_query.sh"

# One listing serves every key check: a Wine process that fails once cannot pass for a missing key.
CLASS_KEYS=""
list_class_keys() { CLASS_KEYS="$("$WINE_RUN" reg query "$HKCR_KEY" /s 2>&1 | tr -d '\r')"; }
key_exists() { "$WINE_RUN" reg query "$1" >/dev/null 2>&1; }
expect_key() {
  if grep -qixF "$1" <<<"$CLASS_KEYS"; then echo "  $1 exists"
  else fail "missing key $1; reg query printed:"; echo "$CLASS_KEYS" | sed 's/^/    /'; fi
}
expect_no_key() {
  if key_exists "$1"; then fail "key still there: $1"; else echo "  $1 gone"; fi
}

wine_quiet regsvr32 /s "$MODULE" >/dev/null || fail "regsvr32 failed"
echo "after registration:"
list_class_keys
expect_value "$HKCR_KEY" "" "Pellor"
expect_value "$HKCR_KEY" "InfoTip" "Gives you access to the files on your note taker."
expect_value "$HKCR_KEY\\DefaultIcon" "" "$MODULE,0"
expect_value "$HKCR_KEY\\InprocServer32" "" "$MODULE"
expect_value "$HKCR_KEY\\InprocServer32" "ThreadingModel" "Apartment"
expect_key "$HKCR_KEY\\ShellEx\\ContextMenuHandlers\\$CLSID"
expect_no_key "$HKCR_KEY\\ShellEx\\PropertySheetHandlers"  # the module makes no property sheet handler
expect_value "$HKCR_KEY" "DescriptionID" "0x15"
expect_value "$HKCR_KEY\\ShellFolder" "Attributes" "0xa8004100"
expect_value "$NAMESPACE_KEY" "" "Pellor"
expect_value "$APPROVED_KEY" "$CLSID" "Pellor"

wine_quiet regsvr32 /s /u "$MODULE" >/dev/null || fail "regsvr32 /u failed"
echo "after unregistration:"
expect_no_key "$HKCR_KEY"
expect_no_key "$NAMESPACE_KEY"
if [ -n "$(value "$APPROVED_KEY" "$CLSID")" ]; then fail "approval value still there"; else echo "  $APPROVED_KEY [$CLSID] gone"; fi
if wine_quiet reg query "HKEY_CLASSES_ROOT\\CLSID" /s /f "$CLSID" | grep -qi "$CLSID"; then
  fail "something of ours is left under HKEY_CLASSES_ROOT\\CLSID"
fi

if wine_quiet regsvr32 /s /u "$MODULE" >/dev/null; then fail "a second unregistration succeeded"; fi

[ "$FAILURES" -eq 0 ] && echo "registry rows as expected"
exit "$FAILURES"
