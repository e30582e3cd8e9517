#!/bin/sh
# Archives written by `trackfolio-sync zip` extract bit-exact with another tool.
# usage: interop.sh TRACKFOLIO_SYNC TOOL   (TOOL: 7zz, bsdtar, unzip or python3)
# Exit 77 (skipped) when the tool is not installed.
set -eu
# The tools decode UTF-8 names only in a UTF-8 locale.
export LC_ALL=C.UTF-8
sync=$1
tool=$2
if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A tree with UTF-8 and spaces in names, an empty folder, a 0-byte file, mixed modes and
# a file large enough to span many chunks.
src="$work/Tree ä"
mkdir -p "$src/sub dir/empty" "$src/ünï côde"
printf 'hello\n' > "$src/hello world.txt"
: > "$src/sub dir/zero"
head -c 300000 /dev/urandom > "$src/ünï côde/random.bin"
seq 1 40000 > "$src/sub dir/numbers.txt"
printf '#!/bin/sh\n' > "$src/sub dir/run.sh"
chmod 750 "$src/sub dir/run.sh"
chmod 600 "$src/hello world.txt"

check() {
    # $1: extracted tree; $2: also compare permission bits of files
    if ! diff -r "$src" "$1"; then
        echo "FAIL: contents differ ($tool, $3)"
        exit 1
    fi
    [ -d "$1/sub dir/empty" ] || { echo "FAIL: empty folder lost ($tool, $3)"; exit 1; }
    if [ "$2" = yes ]; then
        a=$(cd "$src" && find . -type f -printf '%p %m\n' | sort)
        b=$(cd "$1" && find . -type f -printf '%p %m\n' | sort)
        [ "$a" = "$b" ] || { echo "FAIL: permissions differ ($tool, $3)"; echo "$a"; echo "$b"; exit 1; }
    fi
}

extract() {
    # $1 archive, $2 destination, $3 password or ""
    mkdir -p "$2"
    case $tool in
    7zz) 7zz x -y -bd -p"$3" -o"$2" "$1" >/dev/null ;;
    bsdtar) if [ -n "$3" ]; then bsdtar -xpf "$1" -C "$2" --passphrase "$3"; else bsdtar -xpf "$1" -C "$2"; fi ;;
    unzip) unzip -q "$1" -d "$2" ;;
    python3) python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$1" "$2" ;;
    esac
}

modes=yes
[ "$tool" = python3 ] && modes=no   # zipfile does not restore permission bits

"$sync" zip -o "$work/plain.zip" "$src"
extract "$work/plain.zip" "$work/plain" ""
check "$work/plain/Tree ä" $modes plain
if [ "$tool" = python3 ]; then
    # Data that does not shrink is stored, text is deflated.
    python3 -c '
import sys, zipfile
methods = {i.filename.rsplit("/", 1)[-1]: i.compress_type for i in zipfile.ZipFile(sys.argv[1]).infolist()}
sys.exit(0 if methods["random.bin"] == zipfile.ZIP_STORED and methods["numbers.txt"] == zipfile.ZIP_DEFLATED else "FAIL: methods %r" % methods)' "$work/plain.zip"
fi

case $tool in
7zz | bsdtar)
    printf 'secret pass\n' > "$work/pw"
    "$sync" zip --password-file "$work/pw" -o "$work/aes.zip" "$src"
    extract "$work/aes.zip" "$work/aes" "secret pass"
    check "$work/aes/Tree ä" $modes aes
    # A wrong password must not extract.
    if extract "$work/aes.zip" "$work/wrong" "not it" 2>/dev/null && diff -r -q "$src" "$work/wrong/Tree ä" >/dev/null 2>&1; then
        echo "FAIL: wrong password extracted ($tool)"
        exit 1
    fi
    ;;
esac
echo "ok: $tool"
