#!/bin/bash
# Makes a small note-taker file store in DIR: R:\ and F:\ with a few notes
# in nested folders, as the stand-in note-taker serves it.
# Usage: sample-device.sh DIR [--round-trip]
#   --round-trip adds what a whole-device backup must carry: folders three
#   levels deep (R:\notes\deep\deeper), F:\mail holding a file of the same
#   name as one in R:\letters, and a special entry at the root.
# The files are older than their folders, as on a device in use for a while:
# none was changed in the newest minute that a backup sees.
set -euo pipefail
DIR="$1"
mkdir -p "$DIR/R/letters" "$DIR/R/notes" "$DIR/F/books" "$DIR/F/music"
printf 'Dear Ann,\r\nthank you for the braille atlas.\r\n' >"$DIR/R/letters/ann.txt"
printf 'Dear Bob,\r\nsee you on Tuesday.\r\n' >"$DIR/R/letters/bob.txt"
printf 'milk\r\nbread\r\nbatteries\r\n' >"$DIR/R/notes/shopping.txt"
head -c 20000 /dev/urandom | base64 >"$DIR/R/notes/lecture.brl"
printf 'Chapter 1\r\n' >"$DIR/F/books/tale.brl"
head -c 4096 /dev/urandom >"$DIR/F/music/scale.bin"
find "$DIR" -type f -exec touch -d '2026-03-10 08:00' {} +
touch -d '2026-03-14 09:26' "$DIR/R/letters/ann.txt"
touch -d '2025-12-24 18:00' "$DIR/R/letters/bob.txt"
if [ "${2:-}" = "--round-trip" ]; then
  mkdir -p "$DIR/R/notes/deep/deeper" "$DIR/F/mail" "$DIR/special"
  printf 'Level two.\r\n' >"$DIR/R/notes/deep/outline.txt"
  head -c 30000 /dev/urandom >"$DIR/R/notes/deep/deeper/plan.brl"
  printf 'Dear Ann,\r\nthe copy kept on F:.\r\n' >"$DIR/F/mail/ann.txt"
  touch -d '2026-03-10 08:00' "$DIR/R/notes/deep/outline.txt" "$DIR/R/notes/deep/deeper/plan.brl" "$DIR/F/mail/ann.txt"
  : >"$DIR/special/clock"
fi
