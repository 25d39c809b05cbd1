#!/bin/bash
# Makes small faults one at a time (an operator flipped, a constant changed by
# one, a statement dropped, a condition negated) in a copy of the tree, rebuilds
# it incrementally, runs the folder's test program and reports which faults no
# test noticed, and the share noticed.
# Usage: scripts/mutate.sh FOLDER-OR-FILE [HOW-MANY]
#   HOW-MANY faults are drawn at random from all possible ones (default 40);
#   MUTATE_SEED picks another draw, MUTATE_TESTS another ctest pattern.
# The copy lives in build-mutate/ (or $MUTATE_DIR) and is kept between runs,
# so a second run builds only what changed.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
TARGET="${1:?usage: scripts/mutate.sh FOLDER-OR-FILE [HOW-MANY]}"
TARGET="${TARGET%/}"
[ -e "$ROOT/$TARGET" ] || { echo "mutate: no $TARGET in $ROOT" >&2; exit 2; }
FOLDER="${TARGET%%/*}"
COPY="${MUTATE_DIR:-$ROOT/build-mutate}"

# The test programs that stand for each source folder.
case "$FOLDER" in
  foundation) TESTS='^(test_foundation|test_shell)$'; TARGETS=test_foundation,test_shell ;;
  devicelink|devicefiles|sim|shell|view) TESTS="^test_$FOLDER\$"; TARGETS="test_$FOLDER" ;;
  cli) TESTS='^pellor_(cli|roundtrip)$'; TARGETS=pellor,pellor-sim ;;
  *) echo "mutate: no test program for $FOLDER" >&2; exit 2 ;;
esac
TESTS="${MUTATE_TESTS:-$TESTS}"

"$ROOT/scripts/setup.sh"
mkdir -p "$COPY"
# The working tree as it is, committed or not; tar keeps the times, so an
# unchanged file is not rebuilt.
(cd "$ROOT" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) | tar -C "$COPY" -xf -
# A file gone from the tree goes from the copy too, or the build would still
# compile it (a test file removed by a rebase, say).
comm -z -23 <(cd "$COPY" && find . -path ./build -prune -o -type f -printf '%P\0' | sort -z) \
  <(cd "$ROOT" && git ls-files -z --cached --others --exclude-standard | sort -z) |
  (cd "$COPY" && xargs -0 -r rm -f --)

# The build sits inside the copy as it does in the tree, so ccache finds
# the tree's own objects.
export BUILD_DIR="$COPY/build"
"$COPY/scripts/build.sh" >/dev/null
"$COPY/scripts/wine-prefix.sh" start
trap '"$COPY/scripts/wine-prefix.sh" stop' EXIT
python3 "$ROOT/scripts/mutants.py" --src "$COPY" --build "$BUILD_DIR" --target "$TARGET" \
  --tests "$TESTS" --targets "$TARGETS" --max "${2:-40}" --seed "${MUTATE_SEED:-1}"
