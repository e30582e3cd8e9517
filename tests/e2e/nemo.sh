#!/bin/bash
# End to end in a real Nemo 5.6: the Trackfolio entries of the item menu and of the folder
# background menu, reached with the keyboard, run their commands through the service (an
# activated trackfolio-sync on a private bus). Needs the Nemo module installed in
# Nemo's extension folder; see lib.sh for the session it builds.
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

e2e_setup nemo
command -v nemo >/dev/null || e2e_fail "nemo is not installed"
if command -v pkg-config >/dev/null; then
    extensions=$(pkg-config --variable=extensiondir libnemo-extension 2>/dev/null)
    if [ -n "$extensions" ] && [ ! -e "$extensions/libtrackfolio-nemo.so" ]; then
        e2e_fail "the Trackfolio module is not installed in $extensions"
    fi
fi

folder="$HOME/e2e folder"
mkdir -p -- "$folder"
printf 'hello\n' >"$folder/hello.txt"

# Where the entries sit: in the item menu Nemo puts extension items right above "Properties",
# the last item (Up with nothing chosen goes to it); in the background menu they follow
# "Create New Folder" and "Create New Document". Its GTK 3 submenus choose their first row.
item_menu=$(e2e_menu_json items "$folder" "$folder/hello.txt") ||
    e2e_fail "the service cannot build the item menu"
background_menu=$(e2e_menu_json container "$folder") ||
    e2e_fail "the service cannot build the background menu"
mapfile -t item_pos < <(printf '%s' "$item_menu" | e2e_menu_position "New File" txt)
mapfile -t background_pos < <(printf '%s' "$background_menu" | e2e_menu_position "New File" md)
[ ${#item_pos[@]} -eq 2 ] && [ ${#background_pos[@]} -eq 2 ] ||
    e2e_fail "no New File > txt / md entries in the menus"
read -r item_top item_count <<<"${item_pos[0]}"
read -r item_child _ <<<"${item_pos[1]}"
read -r background_top _ <<<"${background_pos[0]}"
read -r background_child _ <<<"${background_pos[1]}"

popup_open() { [ "$(xdotool search --onlyvisible --class nemo | wc -l)" -gt 1 ]; }
popup_closed() { ! popup_open; }

e2e_watch_bus
e2e_spawn NEMO_PID nemo "$folder"
e2e_find_window window "$E2E_TIMEOUT" --name "^e2e folder$"
# Loading the module asks the bus to start the service; the folder is shown once Nemo
# asked for its background menu.
e2e_wait "the service to be started by the plugin" "$E2E_TIMEOUT" e2e_service_running
e2e_wait "the first menu request" "$E2E_TIMEOUT" e2e_bus_count_above GetMenu 0
eval "$(xdotool getwindowgeometry --shell "$window")"
empty_x=$((WIDTH * 3 / 4))
empty_y=$((HEIGHT * 3 / 4))

# Item menu: select the only file and open the menu with shift+F10. Nemo asks for the entries
# as the menu opens; a select-all that came too early shows the background menu instead, so
# that is closed and tried again.
open_item_menu() {
    local asked
    asked=$(e2e_menu_requests 0)
    e2e_key ctrl+a
    e2e_key shift+F10
    e2e_wait_maybe 3 popup_open || return 1
    e2e_wait_maybe 2 e2e_menu_requests_above 0 "$asked" && return 0
    e2e_key Escape
    e2e_wait "the background menu to close" "$E2E_TIMEOUT" popup_closed
    return 1
}
e2e_focus "$window"
xdotool mousemove --window "$window" "$empty_x" "$empty_y" click 1
e2e_wait "the item menu" "$E2E_TIMEOUT" open_item_menu
e2e_menu_walk item-menu Up $((1 + item_count - item_top)) "$item_child" 0
changes=$(e2e_bus_count MenuChanged)
e2e_key Return
e2e_wait "Untitled.txt from the item menu" "$E2E_TIMEOUT" test -e "$folder/Untitled.txt"
e2e_wait "the item menu to close" "$E2E_TIMEOUT" popup_closed
# The command updates the shared settings; the service announces it and Nemo asks for
# fresh menus. Let that happen before the next menu opens, or the menu on screen would be one
# the service has already replaced (it refuses clicks on replaced menus).
e2e_wait_maybe 5 e2e_bus_count_above MenuChanged "$changes"

# Background menu: clear the selection, then right-click an empty spot.
e2e_focus "$window"
xdotool mousemove --window "$window" "$empty_x" "$empty_y" click 1
xdotool click 3
e2e_wait "the background menu" "$E2E_TIMEOUT" popup_open
e2e_menu_walk background-menu Down $((3 + background_top)) "$background_child" 0
e2e_key Return
e2e_wait "Untitled.md from the background menu" "$E2E_TIMEOUT" test -e "$folder/Untitled.md"

e2e_pass "New File > Text Document and New File > Markdown Document ran from Nemo"
