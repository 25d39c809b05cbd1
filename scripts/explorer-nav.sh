# Drives Wine's Explorer with xdotool the way a user does, for the view test
# and the main job. Sourced, not run. DISPLAY must be set.
#
# Places are relative to Explorer's own window, so they hold with or without
# a window manager: Wine lays the window out the same each time, the folder
# tree on the left and the folder's list from x=155, first row at y=84,
# rows 17 pixels apart, the column headers at y=68.
# Items are opened by typing the start of their name into the list and
# pressing Return: a click on a row that is already selected would start a
# rename instead, once the double-click time has passed. Type lower case:
# Shift held while the list moves its selection selects a range.

EXPLORER_LIST_BLANK=(400 380)   # inside the list, below the rows
explorer_row_y() { echo $((84 + 17 * ($1 - 1))); }

# Waits up to 30 s for a visible window of program PROGRAM (default
# explorer.exe) whose title matches REGEX; prints its id. The program keeps
# other windows of the same title on a user's own display out.
explorer_window() {
  local w
  for _ in $(seq 150); do
    for w in $(xdotool search --onlyvisible --classname "^${2:-explorer.exe}\$" 2>/dev/null); do
      [[ "$(xdotool getwindowname "$w" 2>/dev/null)" =~ $1 ]] && { echo "$w"; return 0; }
    done
    sleep 0.2
  done
  return 1
}

# Waits up to 20 s for window W's title to match REGEX.
explorer_wait_title() {
  for _ in $(seq 100); do
    [[ "$(xdotool getwindowname "$1" 2>/dev/null)" =~ $2 ]] && return 0
    sleep 0.2
  done
  echo "Explorer's title stayed '$(xdotool getwindowname "$1" 2>/dev/null)', expected /$2/" >&2
  return 1
}

# In window W, opens the list item whose name starts with PREFIX (lower case) and waits
# for the title to match REGEX.
explorer_open() {
  xdotool mousemove --window "$1" "${EXPLORER_LIST_BLANK[@]}" click 1
  sleep 0.3
  xdotool type --delay 60 "$2"
  sleep 0.3
  xdotool key Return
  explorer_wait_title "$1" "$3"
}

# From the Desktop, where Explorer starts, into the "Pellor" folder.
explorer_open_pellor() {
  explorer_open "$1" my '^My Computer$' && explorer_open "$1" pellor '^Pellor$'
}
