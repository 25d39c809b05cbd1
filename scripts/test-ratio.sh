#!/bin/bash
# Prints test lines per tests/ folder and against code lines, every language counted.
cd "$(dirname "$0")/.." || exit 1
count() { git ls-files "$@" | xargs cat 2>/dev/null | wc -l; }
for d in $(git ls-files tests | cut -d/ -f2 | grep -v '\.' | sort -u); do
  printf 'tests/%-12s %6d\n' "$d" "$(count "tests/$d/*."{cpp,h,hpp,c,sh,py})"
done
t=$(count 'tests/*.'{cpp,h,hpp,c,sh,py})
c=$(git ls-files '*.'{cpp,h,hpp,c,rc,sh,py,in} | grep -v '^tests/' | xargs cat | wc -l)
awk -v t="$t" -v c="$c" 'BEGIN { printf "tests %d / code %d = %.2f\n", t, c, t / c }'
