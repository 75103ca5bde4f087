#!/usr/bin/env bash
# Removes a Dormix installed with scripts/install-desktop.sh:
#
#   bash scripts/uninstall-desktop.sh [--purge] [--prefix DIR]
#
# Removes the program folder's installed files, the ~/.local/bin/dormix link,
# the menu entry, the icons and the autostart entry. The alarm file Dormis.ini
# and the settings file Dormix.ini stay in the program folder unless --purge
# is given; the folder itself goes when nothing else is left in it.
#
#   --prefix DIR  the folder given to install-desktop.sh (by default found
#                 from the ~/.local/bin/dormix link, else ~/.local/share/dormix)
set -euo pipefail

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
config_home="${XDG_CONFIG_HOME:-$HOME/.config}"
launcher="$HOME/.local/bin/dormix"
prefix=""
purge=0
while [ $# -gt 0 ]; do
    case "$1" in
    --purge) purge=1 ;;
    --prefix) [ $# -ge 2 ] || usage; prefix="$2"; shift ;;
    --prefix=*) prefix="${1#*=}" ;;
    -h | --help) usage ;;
    *) echo "uninstall-desktop: unknown option $1" >&2; usage ;;
    esac
    shift
done

if [ -z "$prefix" ]; then
    if [ -L "$launcher" ]; then
        prefix="$(dirname -- "$(readlink -- "$launcher")")"
    else
        prefix="$data_home/dormix"
    fi
fi
prefix="$(realpath -m -- "$prefix")"
manifest="$prefix/.installed-files"

folders=("$prefix/Sounds") # the program's sub-folders, emptied below
remove() {
    if [ -L "$1" ] || [ -f "$1" ]; then
        rm -f -- "$1"
    fi
    local dir
    dir="$(dirname -- "$1")"
    while [[ "$dir" == "$prefix"/* ]]; do
        folders+=("$dir")
        dir="$(dirname -- "$dir")"
    done
}

if [ -f "$manifest" ]; then
    while IFS= read -r path; do
        case "$path" in
        "$prefix/Dormis.ini" | "$prefix/Dormix.ini" | "") continue ;;
        "$launcher") [ -L "$launcher" ] && remove "$launcher" ;;
        *) remove "$path" ;;
        esac
    done <"$manifest"
    rm -f -- "$manifest"
else
    # No list of installed files: remove what an install puts in place.
    echo "uninstall-desktop: no $manifest, removing the usual files" >&2
    remove "$prefix/dormix"
    remove "$prefix/Sounds/ding.wav"
    remove "$prefix/DORMIX.HLP"
    remove "$data_home/applications/dormix.desktop"
    remove "$config_home/autostart/dormix.desktop"
    for icon in "$data_home"/icons/hicolor/*/apps/dormix.png; do
        remove "$icon"
    done
    if [ -L "$launcher" ] && [ "$(readlink -- "$launcher")" = "$prefix/dormix" ]; then
        remove "$launcher"
    fi
fi

if [ "$purge" -eq 1 ]; then
    remove "$prefix/Dormis.ini"
    remove "$prefix/Dormix.ini"
fi

# The program's folders go when they are empty; one with anything left stays.
# Deepest first: a longer path sorts after its parent.
while IFS= read -r dir; do
    rmdir -- "$dir" 2>/dev/null || true
done < <(printf '%s\n' "${folders[@]}" | sort -ru)
rmdir -- "$prefix" 2>/dev/null || true

if [ -d "$prefix" ]; then
    if [ -f "$prefix/Dormis.ini" ] || [ -f "$prefix/Dormix.ini" ]; then
        echo "Dormix is removed. Your alarms and settings stay in $prefix"
        echo "  (Dormis.ini, Dormix.ini); remove them with --purge."
    else
        echo "Dormix is removed. $prefix still holds files that are not Dormix's:"
        ls -A -- "$prefix"
    fi
else
    echo "Dormix is removed."
fi
