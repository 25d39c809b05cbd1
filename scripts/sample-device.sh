#!/bin/bash
# Makes a small note-taker file store in DIR: R:\ and F:\ with a few notes
# in nested folders, as the stand-in note-taker serves it.
set -euo pipefail
DIR="$1"
mkdir -p "$DIR/R/letters" "$DIR/R/notes" "$DIR/F/books" "$DIR/F/music"
printf 'Dear Ann,\r\nthank you for the braille atlas.\r\n' >"$DIR/R/letters/ann.txt"
printf 'Dear Bob,\r\nsee you on Tuesday.\r\n' >"$DIR/R/letters/bob.txt"
printf 'milk\r\nbread\r\nbatteries\r\n' >"$DIR/R/notes/shopping.txt"
head -c 20000 /dev/urandom | base64 >"$DIR/R/notes/lecture.brl"
printf 'Chapter 1\r\n' >"$DIR/F/books/tale.brl"
head -c 4096 /dev/urandom >"$DIR/F/music/scale.bin"
touch -d '2026-03-14 09:26' "$DIR/R/letters/ann.txt"
touch -d '2025-12-24 18:00' "$DIR/R/letters/bob.txt"
