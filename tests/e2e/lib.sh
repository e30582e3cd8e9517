#!/bin/bash
# Shared helpers for the end-to-end tests of the file-manager plugins. Source this file, then
# call e2e_setup; everything runs in a throwaway session that is torn down on exit.
#
#   e2e_setup NAME            A private X server (Xvfb, own pid), a private session bus whose
#                             only service dir is the build tree's (so the bus starts the built
#                             trackfolio-sync), a throwaway HOME, XDG_* dirs and TRACKFOLIO_HOME,
#                             prepared with `trackfolio setup`. Sets E2E_ROOT, E2E_ARTIFACTS,
#                             E2E_BUILD, DISPLAY, DBUS_SESSION_BUS_ADDRESS.
#   e2e_spawn VAR CMD...      Starts CMD in the background (output in $E2E_ROOT/VAR.log); its
#                             pid goes into VAR and it is killed (by that pid) on exit.
#   e2e_wait DESC SECS CMD... Runs CMD until it succeeds; fails the test with DESC after SECS.
#   e2e_wait_maybe SECS CMD...
#                             The same without failing: returns 1 after SECS.
#   e2e_service_running       Succeeds when the Trackfolio service owns its bus name.
#   e2e_watch_bus             Starts recording the service's MenuChanged signals and the
#                             GetMenu / Activate calls it receives;
#   e2e_bus_count MEMBER      then prints how many of MEMBER were seen so far, and
#   e2e_bus_count_above MEMBER N  succeeds once more than N were seen;
#   e2e_menu_requests KIND    prints how many GetMenu calls of KIND (0 items, 1 background)
#                             were seen, and e2e_menu_requests_above KIND N compares.
#   e2e_find_window VAR SECS ARGS...
#                             Waits for a visible window matching `xdotool search ARGS`; its
#                             id goes into VAR.
#   e2e_focus WID             Moves the pointer into the window and focuses it (there is no
#                             window manager, so focus follows the pointer).
#   e2e_key KEY...            Sends keys with xdotool to the focused window.
#   e2e_screenshot NAME       Saves the screen to $E2E_ARTIFACTS/NAME.png.
#   e2e_menu_json KIND DIR [FILE...]
#                             Prints the menu the service builds for that request (JSON), as
#                             `trackfolio-sync menu --json` computes it; KIND items|container.
#   e2e_menu_position KEY...  Reads that JSON on stdin and prints, for each KEY along a path of
#                             submenus, "INDEX COUNT": the entry's position among the entries a
#                             keyboard can reach (no separators, no empty submenus).
#   e2e_menu_walk NAME KEY PRESSES CHILD HEADER_ROWS
#                             In an open context menu: KEY (Up or Down) PRESSES times to reach
#                             a submenu head, Right into the submenu, Down to its CHILD-th row
#                             (after HEADER_ROWS rows such as a back button). Screenshots
#                             NAME.png (top level) and NAME-submenu.png.
#   e2e_fail MSG              Saves a "failure" screenshot and the logs of the spawned
#                             programs into $E2E_ARTIFACTS, prints MSG, exits 1.
#   e2e_pass MSG              Prints MSG and exits 0.
#
# Environment: TRACKFOLIO_BUILD_DIR (default: the repository's build/), TRACKFOLIO_E2E_ARTIFACTS
# (default: a new temporary folder that is kept), TRACKFOLIO_E2E_TIMEOUT (seconds per wait,
# default 15). The plugin modules themselves must be installed where the file manager looks.

set -u

E2E_NAME=e2e
E2E_ROOT=
E2E_PIDS=()
E2E_LIB_DIR=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
E2E_TIMEOUT=${TRACKFOLIO_E2E_TIMEOUT:-15}

e2e_log() { printf '%s: %s\n' "$E2E_NAME" "$*" >&2; }

e2e_cleanup() {
    local i pid
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[i]}
        kill -TERM "$pid" 2>/dev/null
    done
    for pid in "${E2E_PIDS[@]}"; do
        wait "$pid" 2>/dev/null
    done
    E2E_PIDS=()
    if [ -n "$E2E_ROOT" ]; then
        rm -rf -- "$E2E_ROOT"
    fi
}

e2e_screenshot() {
    import -window root "$E2E_ARTIFACTS/$1.png" 2>/dev/null ||
        e2e_log "screenshot $1 failed"
}

e2e_fail() {
    if [ -n "${DISPLAY:-}" ]; then
        e2e_screenshot failure
    fi
    cp -- "$E2E_ROOT"/*.log "$E2E_ARTIFACTS/" 2>/dev/null
    e2e_log "FAILED: $*"
    e2e_log "screenshots in $E2E_ARTIFACTS"
    exit 1
}

e2e_pass() {
    e2e_log "passed: $*"
    e2e_log "screenshots in $E2E_ARTIFACTS"
    exit 0
}

e2e_spawn() {
    local var=$1
    shift
    "$@" >"$E2E_ROOT/$var.log" 2>&1 &
    local pid=$!
    E2E_PIDS+=("$pid")
    printf -v "$var" '%s' "$pid"
}

e2e_wait() {
    local desc=$1 secs=$2
    shift 2
    local deadline=$((SECONDS + secs))
    until "$@" >/dev/null 2>&1; do
        if ((SECONDS >= deadline)); then
            e2e_fail "timed out after ${secs}s waiting for $desc"
        fi
        sleep 0.1
    done
}

e2e_wait_maybe() {
    local secs=$1
    shift
    local deadline=$((SECONDS + secs))
    until "$@" >/dev/null 2>&1; do
        if ((SECONDS >= deadline)); then
            return 1
        fi
        sleep 0.1
    done
}

e2e_service_running() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.trackfolio.Trackfolio.extension |
        grep -q true
}

e2e_watch_bus() {
    local interface=org.trackfolio.Trackfolio.Extension
    e2e_spawn E2E_MONITOR_PID dbus-monitor --session \
        "type='signal',interface='$interface',member='MenuChanged'" \
        "type='method_call',interface='$interface',member='GetMenu'" \
        "type='method_call',interface='$interface',member='Activate'"
    # The monitor is ready once it saw its own NameAcquired.
    e2e_wait "the bus monitor" "$E2E_TIMEOUT" grep -q NameAcquired "$E2E_ROOT/E2E_MONITOR_PID.log"
}

e2e_bus_count() { grep -c "member=$1\$" "$E2E_ROOT/E2E_MONITOR_PID.log"; }

e2e_bus_count_above() { (($(e2e_bus_count "$1") > $2)); }

e2e_menu_requests() {
    awk -v kind="$1" 'asked { asked = 0; if ($1 == "int32" && $2 == kind) n++ }
                      /member=GetMenu$/ { asked = 1 }
                      END { print n + 0 }' "$E2E_ROOT/E2E_MONITOR_PID.log"
}

e2e_menu_requests_above() { (($(e2e_menu_requests "$1") > $2)); }

e2e_find_window() {
    local var=$1 secs=$2
    shift 2
    local deadline=$((SECONDS + secs)) wid
    while :; do
        wid=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -n 1)
        if [ -n "$wid" ]; then
            printf -v "$var" '%s' "$wid"
            return 0
        fi
        if ((SECONDS >= deadline)); then
            e2e_fail "no window matching: $*"
        fi
        sleep 0.1
    done
}

e2e_focus() {
    local wid=$1
    xdotool mousemove --window "$wid" 40 40
    xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
}

e2e_key() { xdotool key --clearmodifiers "$@"; }

e2e_file_nonempty() { [ -s "$1" ]; }

e2e_sync_binary() {
    local candidate
    for candidate in "$E2E_BUILD/src/cli/trackfolio-sync"; do
        if [ -x "$candidate" ]; then
            printf '%s\n' "$candidate"
            return 0
        fi
    done
    command -v trackfolio-sync
}

e2e_menu_json() {
    local kind=$1 dir=$2
    shift 2
    "$(e2e_sync_binary)" menu --kind "$kind" --target "$dir" --json "$@"
}

e2e_menu_position() {
    python3 -c '
import json, sys
entries = json.load(sys.stdin)
for key in sys.argv[1:]:
    reachable = [e for e in entries
                 if not e.get("separator") and e.get("children", [None]) != []]
    found = [i for i, e in enumerate(reachable) if e.get("key") == key]
    if not found:
        sys.exit("no entry with key %r" % key)
    print(found[0], len(reachable))
    entries = reachable[found[0]].get("children", [])
' "$@"
}

e2e_menu_walk() {
    local name=$1 key=$2 presses=$3 child=$4 header=$5
    e2e_key --delay 60 $(yes "$key" | head -n "$presses")
    e2e_screenshot "$name"
    e2e_key Right
    local downs=$((child + header))
    if ((downs > 0)); then
        e2e_key --delay 60 $(yes Down | head -n "$downs")
    fi
    e2e_screenshot "$name-submenu"
}

e2e_bus_config() {
    local servicedirs=$1
    cat <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:dir=$E2E_ROOT/runtime</listen>
  <auth>EXTERNAL</auth>
  $servicedirs
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
}

e2e_setup() {
    E2E_NAME=$1
    local tool
    for tool in Xvfb xdotool import dbus-daemon; do
        command -v "$tool" >/dev/null || { e2e_log "missing tool: $tool"; exit 1; }
    done
    E2E_BUILD=${TRACKFOLIO_BUILD_DIR:-$E2E_LIB_DIR/../../build}
    E2E_ROOT=$(mktemp -d) || exit 1
    trap e2e_cleanup EXIT
    trap 'exit 1' INT TERM
    E2E_ARTIFACTS=${TRACKFOLIO_E2E_ARTIFACTS:-$(mktemp -d)}
    mkdir -p -- "$E2E_ARTIFACTS"

    mkdir -m 700 -- "$E2E_ROOT/runtime"
    mkdir -- "$E2E_ROOT/home" "$E2E_ROOT/config" "$E2E_ROOT/data" "$E2E_ROOT/cache" \
        "$E2E_ROOT/trackfolio"
    export HOME="$E2E_ROOT/home" XDG_RUNTIME_DIR="$E2E_ROOT/runtime"
    export XDG_CONFIG_HOME="$E2E_ROOT/config" XDG_DATA_HOME="$E2E_ROOT/data"
    export XDG_CACHE_HOME="$E2E_ROOT/cache" TRACKFOLIO_HOME="$E2E_ROOT/trackfolio"
    export GTK_A11Y=none NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory GSK_RENDERER=cairo
    export LIBGL_ALWAYS_SOFTWARE=1
    # The service answers its own prompts from a script and opens no window of its own, so
    # only the file manager is on screen.
    export TRACKFOLIO_HEADLESS=${TRACKFOLIO_HEADLESS:-1} QT_QPA_PLATFORM=offscreen
    unset WAYLAND_DISPLAY SESSION_MANAGER

    local trackfolio=$E2E_BUILD/src/app/trackfolio
    [ -x "$trackfolio" ] || trackfolio=$(command -v trackfolio) ||
        { e2e_log "trackfolio not built"; exit 1; }
    "$trackfolio" setup >/dev/null || { e2e_log "trackfolio setup failed"; exit 1; }

    # Our own X server, on the first free display number.
    e2e_spawn E2E_XVFB_PID Xvfb -displayfd 3 -screen 0 1280x1400x24 -nolisten tcp \
        3>"$E2E_ROOT/display"
    e2e_wait "the X server" "$E2E_TIMEOUT" e2e_file_nonempty "$E2E_ROOT/display"
    export DISPLAY=":$(head -n 1 "$E2E_ROOT/display")"

    local servicedirs="<standard_session_servicedirs/>"
    if [ -d "$E2E_BUILD/dbus-1/services" ]; then
        servicedirs="<servicedir>$E2E_BUILD/dbus-1/services</servicedir>"
    fi
    e2e_bus_config "$servicedirs" >"$E2E_ROOT/bus.conf"
    e2e_spawn E2E_BUS_PID dbus-daemon --config-file="$E2E_ROOT/bus.conf" --nofork \
        --print-address=3 3>"$E2E_ROOT/bus-address"
    e2e_wait "the session bus" "$E2E_TIMEOUT" e2e_file_nonempty "$E2E_ROOT/bus-address"
    export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$E2E_ROOT/bus-address")
}
