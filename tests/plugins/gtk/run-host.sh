#!/bin/bash
# Runs a test program on a private session bus in a throwaway home:
#   run-host.sh BUS_CONFIG PROGRAM [ARG...]
# Everything the program or an activated service writes stays under one temporary folder.
set -u
if [ $# -lt 2 ]; then
    echo "usage: run-host.sh BUS_CONFIG PROGRAM [ARG...]" >&2
    exit 2
fi
config=$1
shift
root=$(mktemp -d) || exit 1
cleanup() { rm -rf -- "$root"; }
trap cleanup EXIT
mkdir -m 700 -- "$root/runtime"
mkdir -- "$root/home" "$root/config" "$root/data" "$root/cache" "$root/trackfolio"
export HOME="$root/home" XDG_RUNTIME_DIR="$root/runtime" XDG_CONFIG_HOME="$root/config"
export XDG_DATA_HOME="$root/data" XDG_CACHE_HOME="$root/cache" TRACKFOLIO_HOME="$root/trackfolio"
export TRACKFOLIO_HEADLESS=1 QT_QPA_PLATFORM=offscreen GTK_A11Y=none NO_AT_BRIDGE=1
export GSETTINGS_BACKEND=memory GIO_USE_VFS=local GIO_USE_VOLUME_MONITOR=unix
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
dbus-run-session --config-file="$config" -- "$@"
