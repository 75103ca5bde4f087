#!/usr/bin/env bash
# Installs Dormix for the current desktop user (no root needed for the install
# itself; scripts/install-deps.sh may ask for sudo to add Debian packages):
#
#   bash scripts/install-desktop.sh [--autostart] [--prefix DIR]
#                                   [--build-dir DIR] [--no-deps]
#
# It builds Dormix in release mode and installs it as one folder the user can
# write, by default $XDG_DATA_HOME/dormix (~/.local/share/dormix): the program,
# its sounds and help file. Dormix keeps its alarm file (Dormis.ini) and
# settings file (Dormix.ini) beside the program, so they live there too. It
# adds:
#   ~/.local/bin/dormix                       a link to the program (on PATH)
#   $XDG_DATA_HOME/applications/dormix.desktop   the menu entry
#   $XDG_DATA_HOME/icons/hicolor/<size>/apps/dormix.png   its icon
#   $XDG_CONFIG_HOME/autostart/dormix.desktop    only with --autostart: starts
#                                             Dormix at login (an install
#                                             without the flag removes it)
# Installing again over an install updates the program and keeps Dormis.ini
# and Dormix.ini. scripts/uninstall-desktop.sh removes it again.
#
#   --build-dir DIR  build in DIR (default build-release in the source tree);
#                    an already configured DIR is used as configured
#   --no-deps        skip scripts/install-deps.sh (packages already present)
set -euo pipefail

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

repo="$(cd "$(dirname "$0")/.." && pwd)"
data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
config_home="${XDG_CONFIG_HOME:-$HOME/.config}"
prefix="$data_home/dormix"
build_dir="$repo/build-release"
autostart=0
deps=1
while [ $# -gt 0 ]; do
    case "$1" in
    --autostart) autostart=1 ;;
    --prefix) [ $# -ge 2 ] || usage; prefix="$2"; shift ;;
    --prefix=*) prefix="${1#*=}" ;;
    --build-dir) [ $# -ge 2 ] || usage; build_dir="$2"; shift ;;
    --build-dir=*) build_dir="${1#*=}" ;;
    --no-deps) deps=0 ;;
    -h | --help) usage ;;
    *) echo "install-desktop: unknown option $1" >&2; usage ;;
    esac
    shift
done

die() {
    echo "install-desktop: $*" >&2
    exit 1
}

[ -n "${HOME:-}" ] || die "HOME is not set"
case "$prefix" in
*$'\n'* | *$'\r'*) die "the folder name may not contain line breaks" ;;
esac
prefix="$(realpath -m -- "$prefix")"
if [ "$prefix" = "/" ] || [ "$prefix" = "$(realpath -m -- "$HOME")" ]; then
    die "refusing to install into $prefix itself; give a folder of its own"
fi

launcher="$HOME/.local/bin/dormix"
desktop_file="$data_home/applications/dormix.desktop"
autostart_file="$config_home/autostart/dormix.desktop"
icon_root="$data_home/icons/hicolor"
manifest="$prefix/.installed-files"

# Never overwrite a file of the user's that is not our link.
if [ -e "$launcher" ] && [ ! -L "$launcher" ]; then
    die "$launcher exists and is not a link; move it away first"
fi

# --- build ---
if [ "$deps" -eq 1 ]; then
    bash "$repo/scripts/install-deps.sh"
fi
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
        -DDORMIX_TESTS=OFF -DDORMIX_BENCH=OFF >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)" --target dormix

# --- stage everything beside the target, then move it into place ---
mkdir -p "$prefix"
stage="$(mktemp -d "$prefix/.install-XXXXXX")"
trap 'rm -rf "$stage"; rmdir -- "$prefix" 2>/dev/null || true' EXIT
cmake --install "$build_dir" --prefix "$stage/program" >/dev/null
[ -x "$stage/program/dormix" ] || die "the build did not install a dormix program"

# Exec value of a desktop entry: the path quoted when it holds a reserved
# character (\ " ` $ escaped inside the quotes), then the string escapes of
# the file (\ doubled) and %% for a literal %.
desktop_exec() {
    local s="$1"
    case "$s" in
    *[[:space:]\"\'\\\>\<~\|\&\;\$\*\?\#\(\)\`]*)
        s="${s//\\/\\\\}"
        s="${s//\"/\\\"}"
        s="${s//\`/\\\`}"
        s="${s//\$/\\\$}"
        s="\"$s\""
        ;;
    esac
    s="${s//\\/\\\\}"
    s="${s//%/%%}"
    printf '%s' "$s"
}
desktop_string() {
    local s="$1"
    printf '%s' "${s//\\/\\\\}"
}

template="$(cat "$repo/data/dormix.desktop.in")"
entry="${template//@EXEC@/"$(desktop_exec "$prefix/dormix")"}"
entry="${entry//@TRYEXEC@/"$(desktop_string "$prefix/dormix")"}"
printf '%s\n' "$entry" >"$stage/dormix.desktop"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$stage/dormix.desktop" ||
        die "the generated menu entry does not validate"
else
    echo "install-desktop: desktop-file-validate not found (desktop-file-utils), entry not checked" >&2
fi

# --- install ---
new_manifest="$stage/manifest"
: >"$new_manifest"
place() { # place SOURCE DEST: moves (same file system) or copies SOURCE to DEST
    mkdir -p "$(dirname "$2")"
    if [ "$(stat -c %d "$(dirname "$1")")" = "$(stat -c %d "$(dirname "$2")")" ]; then
        mv -f -- "$1" "$2" # a rename: a running dormix keeps its old file
    else
        cp -f -- "$1" "$2.new.$$" && mv -f -- "$2.new.$$" "$2"
    fi
    printf '%s\n' "$2" >>"$new_manifest"
}

(cd "$stage/program" && find . \( -type f -o -type l \) -print) | sort |
    while IFS= read -r rel; do
        rel="${rel#./}"
        case "$rel" in
        Dormis.ini | Dormix.ini) continue ;; # never replace the user's files
        esac
        place "$stage/program/$rel" "$prefix/$rel"
    done

for icon in "$repo"/src/gui/images/app-*.png; do
    size="${icon##*/app-}"
    size="${size%.png}"
    cp -f -- "$icon" "$stage/icon-$size.png"
    place "$stage/icon-$size.png" "$icon_root/${size}x${size}/apps/dormix.png"
done

place "$stage/dormix.desktop" "$desktop_file"
if [ "$autostart" -eq 1 ]; then
    cp -f -- "$desktop_file" "$stage/autostart.desktop"
    place "$stage/autostart.desktop" "$autostart_file"
fi

mkdir -p "$(dirname "$launcher")"
ln -sfn -- "$prefix/dormix" "$launcher"
printf '%s\n' "$launcher" >>"$new_manifest"

# What an earlier install put in place and this one did not (an autostart
# entry, files of an older version) goes.
if [ -f "$manifest" ]; then
    sort -u "$new_manifest" >"$stage/new-sorted"
    sort -u "$manifest" | comm -23 - "$stage/new-sorted" | while IFS= read -r old; do
        case "$old" in
        "$prefix/Dormis.ini" | "$prefix/Dormix.ini") continue ;;
        esac
        if [ -L "$old" ] || [ -f "$old" ]; then
            rm -f -- "$old"
            echo "removed $old"
        fi
    done
fi
mv -f -- "$new_manifest" "$manifest"

echo "Dormix is installed in $prefix"
echo "  start it from the menu or with: dormix"
[ "$autostart" -eq 1 ] && echo "  it starts at login ($autostart_file)"
case ":$PATH:" in
*":$HOME/.local/bin:"*) ;;
*) echo "  note: $HOME/.local/bin is not on your PATH yet; it is after the next login on Debian, or run $launcher" ;;
esac
[ -f "$prefix/Dormis.ini" ] && echo "  your alarms ($prefix/Dormis.ini) were kept"
exit 0
