#!/bin/sh
# `trackfolio-sync folder-icon` as the file managers see it: GIO metadata read back by
# `gio info` on a private session bus (gvfsd-metadata), .directory read back by KDE's own
# reader when it is installed, and recovery leaving the other lines of .directory.
# usage: folder_icon.sh TRACKFOLIO_SYNC IMAGE
# Exit 77 (skipped) without gio, dbus-run-session or gvfsd-metadata.
set -eu
sync=$1
image=$2
if [ "${FOLDER_ICON_INNER:-}" != 1 ]; then
    for tool in gio dbus-run-session; do
        command -v "$tool" >/dev/null 2>&1 || { echo "skipped: no $tool"; exit 77; }
    done
    [ -x /usr/libexec/gvfsd-metadata ] || { echo "skipped: no gvfsd-metadata"; exit 77; }
    work=$(mktemp -d)
    # gvfsd-metadata keeps its store under the HOME the bus hands it.
    status=0
    HOME="$work/home" TRACKFOLIO_HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" \
        FOLDER_ICON_INNER=1 WORK="$work" dbus-run-session -- sh "$0" "$sync" "$image" || status=$?
    # gvfsd-metadata may still be writing its store as the bus goes: try again for a while.
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        rm -rf "$work" 2>/dev/null && break
        sleep 0.2
    done
    exit $status
fi

fail() { echo "FAIL: $*"; exit 1; }
mkdir -p "$HOME" "$WORK/a b" "$WORK/c"
printf '[Dolphin]\nViewMode=1\n' > "$WORK/c/.directory"

"$sync" folder-icon --set "$image" "$WORK/a b" "$WORK/c" || fail "set"
stored="$HOME/shared/RCFolderIcon/$(basename "$image")"
[ -f "$stored" ] || fail "image not kept in RCFolderIcon"
for dir in "$WORK/a b" "$WORK/c"; do
    gio info -a metadata::custom-icon "$dir" | grep -q "metadata::custom-icon: file://.*/RCFolderIcon/" ||
        fail "gio does not see the icon of $dir"
    grep -qx "Icon=$stored" "$dir/.directory" || fail ".directory of $dir"
    if command -v kreadconfig5 >/dev/null 2>&1; then
        [ "$(kreadconfig5 --file "$dir/.directory" --group "Desktop Entry" --key Icon)" = "$stored" ] ||
            fail "KDE's reader does not see the icon of $dir"
    fi
done

"$sync" folder-icon --recover "$WORK/a b" "$WORK/c" || fail "recover"
for dir in "$WORK/a b" "$WORK/c"; do
    if gio info -a metadata::custom-icon "$dir" | grep -q "metadata::custom-icon"; then
        fail "metadata left on $dir"
    fi
done
[ ! -e "$WORK/a b/.directory" ] || fail ".directory we made is not removed"
[ "$(cat "$WORK/c/.directory")" = "$(printf '[Dolphin]\nViewMode=1')" ] || fail "other lines changed"

# Bad input: one line, exit 2.
set +e
"$sync" folder-icon --set "$WORK/c/.directory" "$WORK/c" 2>"$WORK/err"
status=$?
set -e
[ "$status" = 2 ] && [ "$(wc -l < "$WORK/err")" = 1 ] || fail "bad image: status $status"
echo "ok"
