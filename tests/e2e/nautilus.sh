#!/bin/bash
# End to end in a real Nautilus 43: the Trackfolio entries of the item menu and of the folder
# background menu, reached with the keyboard, run their commands through the service (an
# activated trackfolio-sync on a private bus). Needs the Nautilus module installed in
# Nautilus' extension folder; see lib.sh for the session it builds.
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"

e2e_setup nautilus
command -v nautilus >/dev/null || e2e_fail "nautilus is not installed"
if command -v pkg-config >/dev/null; then
    extensions=$(pkg-config --variable=extensiondir libnautilus-extension-4 2>/dev/null)
    if [ -n "$extensions" ] && [ ! -e "$extensions/libtrackfolio-nautilus.so" ]; then
        e2e_fail "the Trackfolio module is not installed in $extensions"
    fi
fi

folder="$HOME/e2e folder"
mkdir -p -- "$folder"
printf 'hello\n' >"$folder/hello.txt"

# Where the entries sit: Nautilus puts extension items right above "Properties", the last item
# (Up from the first item wraps to it), and its submenus start with a back button.
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
read -r background_top background_count <<<"${background_pos[0]}"
read -r background_child _ <<<"${background_pos[1]}"

popup_open() { [ "$(xdotool search --onlyvisible --class nautilus | wc -l)" -gt 1 ]; }
popup_closed() { ! popup_open; }

e2e_watch_bus
e2e_spawn NAUTILUS_PID nautilus --new-window "$folder"
e2e_find_window window "$E2E_TIMEOUT" --name "^e2e folder$"
# Loading the module asks the bus to start the service; the folder is shown once Nautilus
# asked for its background menu.
e2e_wait "the service to be started by the plugin" "$E2E_TIMEOUT" e2e_service_running
e2e_wait "the first menu request" "$E2E_TIMEOUT" e2e_bus_count_above GetMenu 0
eval "$(xdotool getwindowgeometry --shell "$window")"
empty_x=$((WIDTH * 3 / 4))
empty_y=$((HEIGHT * 3 / 4))

# Item menu: select the only file (Nautilus then asks for its menu), open it with shift+F10.
e2e_focus "$window"
xdotool mousemove --window "$window" "$empty_x" "$empty_y" click 1
calls=$(e2e_bus_count GetMenu)
e2e_key ctrl+a
e2e_wait "the item menu request" "$E2E_TIMEOUT" e2e_bus_count_above GetMenu "$calls"
e2e_key shift+F10
e2e_wait "the item menu" "$E2E_TIMEOUT" popup_open
e2e_menu_walk item-menu Up $((1 + item_count - item_top)) "$item_child" 1
changes=$(e2e_bus_count MenuChanged)
e2e_key Return
e2e_wait "Untitled.txt from the item menu" "$E2E_TIMEOUT" test -e "$folder/Untitled.txt"
e2e_wait "the item menu to close" "$E2E_TIMEOUT" popup_closed
# The command updates the shared settings; the service announces it and Nautilus asks for
# fresh menus. Let that happen before the next menu opens, or the menu on screen would be one
# the service has already replaced (it refuses clicks on replaced menus).
e2e_wait_maybe 5 e2e_bus_count_above MenuChanged "$changes"

# Background menu: clear the selection, then right-click an empty spot.
e2e_focus "$window"
xdotool mousemove --window "$window" "$empty_x" "$empty_y" click 1
xdotool click 3
e2e_wait "the background menu" "$E2E_TIMEOUT" popup_open
e2e_menu_walk background-menu Up $((1 + background_count - background_top)) \
    "$background_child" 1
e2e_key Return
e2e_wait "Untitled.md from the background menu" "$E2E_TIMEOUT" test -e "$folder/Untitled.md"

e2e_pass "New File > Text Document and New File > Markdown Document ran from Nautilus"
