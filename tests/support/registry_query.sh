# Registry checks for the script tests, through `reg query` in the build's
# Wine prefix (WINE_RUN); source it, and count failures in FAILURES.
FAILURES=0

wine_quiet() { "$WINE_RUN" "$@" 2>/dev/null | tr -d '\r'; }
fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }

# The data of one value ("" for the default value), or nothing when it is missing.
value() {
  local key="$1" name="$2" args=(/v "$2")
  [ -z "$name" ] && args=(/ve)
  wine_quiet reg query "$key" "${args[@]}" | sed -n 's/^    [^ ].*    REG_[A-Z_]*    //p' | head -n1
}
expect_value() {
  local got
  got="$(value "$1" "$2")"
  echo "  $1 [${2:-(Default)}] = $got"
  [ "$got" = "$3" ] || fail "$1 [${2:-(Default)}]: expected '$3', got '$got'"
}
