#!/bin/bash
# Dolphin end to end: the real file manager, on a private X server and session bus, loads the
# plugin from the build tree. A right-click on a file must ask the service for the items menu
# and "New File" > "txt" must create Untitled.txt; a right-click on the folder background must
# ask for the background menu (kind 1, no selection). Screenshots of both menus are saved.
#
# Usage: tests/e2e/dolphin.sh   (TRACKFOLIO_BUILD_DIR, TRACKFOLIO_E2E_ARTIFACTS: see lib.sh)

source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh"
e2e_setup dolphin
# Dolphin refuses to start as root when it finds this.
unset SUDO_USER

PLUGIN_ROOT=$E2E_BUILD/plugins/dolphin
[ -f "$PLUGIN_ROOT/kf5/kfileitemaction/trackfolio_dolphin.so" ] ||
    e2e_fail "the Dolphin plugin is not built in $PLUGIN_ROOT"
command -v dolphin >/dev/null || e2e_fail "dolphin is not installed"
command -v python3 >/dev/null || e2e_fail "python3 is needed to read the menu"

FOLDER=$E2E_ROOT/files
mkdir -- "$FOLDER"
printf 'hello\n' >"$FOLDER/a.txt"
FOLDER_URI=$(python3 -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).as_uri())' "$FOLDER")
FILE_URI=$FOLDER_URI/a.txt

# Every menu request on the bus, to check what Dolphin really asked for.
e2e_spawn MONITOR_PID dbus-monitor "interface='org.trackfolio.Trackfolio.Extension',member='GetMenu'"
MONITOR_LOG=$E2E_ROOT/MONITOR_PID.log
e2e_wait "the bus monitor" "$E2E_TIMEOUT" e2e_file_nonempty "$MONITOR_LOG"

e2e_spawn DOLPHIN_PID env QT_QPA_PLATFORM=xcb QT_PLUGIN_PATH="$PLUGIN_ROOT" \
    dolphin --new-window "$FOLDER"
e2e_find_window WINDOW 30 --class dolphin
e2e_focus "$WINDOW"

# Empty space in the view, below and right of the one file.
VIEW_X=600
VIEW_Y=420

visible_windows() { xdotool search --onlyvisible --class dolphin 2>/dev/null | wc -l; }
menu_is_open() { [ "$(visible_windows)" -gt 1 ]; }
menu_is_closed() { [ "$(visible_windows)" -le 1 ]; }

request_count() { grep -c 'member=GetMenu' "$MONITOR_LOG"; }

# The last GetMenu call on the bus as "kind|selection|target".
last_request() {
    python3 - "$MONITOR_LOG" <<'PY'
import re, sys
text = open(sys.argv[1], errors="replace").read()
calls = text.split("method call")[1:]
if not calls:
    sys.exit(1)
last = calls[-1]
kind = re.search(r"int32 (\d+)", last).group(1)
strings = re.findall(r'string "([^"]*)"', last)
print(kind + "|" + ",".join(strings[:-1]) + "|" + strings[-1])
PY
}

# How to reach "New File" > "txt" (entry keys) with the arrow keys, read from the service's
# menu for the same request: the Up presses from the bottom of Dolphin's menu to "New File",
# then the Down presses inside its submenu. Dolphin puts TRAILING entries of its own below
# ours ("Properties").
TRAILING=1
key_path() {
    local kind=$1 selection=$2 target=$3
    gdbus call --session --dest org.trackfolio.Trackfolio.extension \
        --object-path /org/trackfolio/Trackfolio/extension \
        --method org.trackfolio.Trackfolio.Extension.GetMenu "$kind" "$selection" "$target" |
        python3 -c '
import ast, json, sys
trailing = int(sys.argv[1])
reply = sys.stdin.read().strip().replace("uint64 ", "", 1)
menu = json.loads(ast.literal_eval(reply)[1])
entries = [e for e in menu if not e.get("separator")]
index = next(i for i, e in enumerate(entries) if e.get("key") == "New File")
children = [e for e in entries[index].get("children", []) if not e.get("separator")]
down = next(i for i, e in enumerate(children) if e.get("key") == "txt")
print(len(entries) - index + trailing, down)' "$TRAILING"
}

# Opens the context menu (Menu key) until Dolphin makes a new request that matches EXPECTED;
# the view may still be listing the folder when the first attempt is made.
open_menu_for() {
    local expected=$1 select_all=$2 deadline=$((SECONDS + E2E_TIMEOUT)) before
    while :; do
        xdotool mousemove --window "$WINDOW" "$VIEW_X" "$VIEW_Y" click 1
        if [ "$select_all" = yes ]; then
            e2e_key ctrl+a
        fi
        before=$(request_count)
        e2e_key Menu
        e2e_wait "the context menu" "$E2E_TIMEOUT" menu_is_open
        if [ "$(request_count)" -gt "$before" ] &&
            [ "$(last_request 2>/dev/null)" = "$expected" ]; then
            return 0
        fi
        if ((SECONDS >= deadline)); then
            [ "$(request_count)" -gt "$before" ] ||
                e2e_fail "Dolphin asked the service for nothing: is the plugin loaded?"
            e2e_fail "Dolphin asked for '$(last_request)', expected '$expected'"
        fi
        e2e_key Escape
        e2e_wait "the menu to close" "$E2E_TIMEOUT" menu_is_closed
    done
}

screen_hash() { import -window root rgb:- 2>/dev/null | md5sum; }

# Keys sent while a menu is still taking the keyboard are lost, so the first key a menu gets is
# repeated until the screen shows its effect.
press_until_seen() {
    local key=$1 before after deadline=$((SECONDS + E2E_TIMEOUT))
    before=$(screen_hash)
    while after=$(screen_hash) && [ "$after" != "$before" ]; do
        before=$after
    done
    while :; do
        e2e_key "$key"
        for _ in 1 2 3 4 5; do
            [ "$(screen_hash)" != "$before" ] && return 0
        done
        ((SECONDS < deadline)) || e2e_fail "the menu did not react to $key"
    done
}

submenu_is_open() { [ "$(visible_windows)" -gt 2 ]; }

choose_new_txt() {
    local up=$1 down=$2 deadline=$((SECONDS + E2E_TIMEOUT))
    press_until_seen Up
    if [ "$up" -gt 1 ]; then
        e2e_key --repeat $((up - 1)) Up
    fi
    e2e_key Right
    e2e_wait "the New File submenu" "$E2E_TIMEOUT" submenu_is_open
    if [ "$down" -gt 0 ]; then
        press_until_seen Down
    fi
    if [ "$down" -gt 1 ]; then
        e2e_key --repeat $((down - 1)) Down
    fi
    until e2e_key Return && wait_briefly menu_is_closed; do
        ((SECONDS < deadline)) || e2e_fail "the menu did not take Return"
    done
}

# Like e2e_wait for one second, but returns 1 instead of failing the test.
wait_briefly() {
    local deadline=$((SECONDS + 1))
    until "$@"; do
        ((SECONDS <= deadline)) || return 1
        sleep 0.1
    done
}

# 1. A file: the items menu, then "New File" > "txt".
read -r UP DOWN < <(key_path 0 "['$FILE_URI']" "$FOLDER_URI") ||
    e2e_fail "the service gave no \"New File\" > \"txt\" for a file"
open_menu_for "0|$FILE_URI|$FOLDER_URI" yes
e2e_screenshot file-menu
choose_new_txt "$UP" "$DOWN"
e2e_wait "Untitled.txt from the file menu" "$E2E_TIMEOUT" test -e "$FOLDER/Untitled.txt"

# 2. The folder background: the container menu for the folder itself. The first file goes, so
# the second is not a name clash.
rm -- "$FOLDER/Untitled.txt"
read -r UP DOWN < <(key_path 1 "@as []" "$FOLDER_URI") ||
    e2e_fail "the service gave no \"New File\" > \"txt\" for the background"
open_menu_for "1||$FOLDER_URI" no
e2e_screenshot background-menu
choose_new_txt "$UP" "$DOWN"
e2e_wait "Untitled.txt from the background menu" "$E2E_TIMEOUT" test -e "$FOLDER/Untitled.txt"

e2e_pass "file and background menus in Dolphin, New File > txt from both"
