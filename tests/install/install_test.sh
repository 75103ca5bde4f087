#!/usr/bin/env bash
# The desktop install for one user, in a private HOME, from the current build
# tree (no rebuild, no package installs):
#   install: program folder, launcher link on PATH, validated menu entry,
#            icons of the right sizes, no autostart entry without the flag;
#   re-install with --autostart: the user's Dormis.ini and Dormix.ini are
#            kept, the autostart entry appears; without the flag it goes;
#   uninstall: everything installed goes, Dormis.ini and Dormix.ini stay;
#            --purge removes them and the folder;
#   XDG_DATA_HOME / XDG_CONFIG_HOME and a --prefix with blanks and quotes;
#   a file of the user's own at ~/.local/bin/dormix is never overwritten.
# Usage: install_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

repo="$1"
build="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
    local what="$1"
    shift
    "$@" || fail "$what"
}

command -v desktop-file-validate >/dev/null ||
    { echo "FAIL: desktop-file-validate missing (scripts/install-deps.sh)" >&2; exit 1; }

export HOME="$work/home"
mkdir -p "$HOME"
unset XDG_DATA_HOME XDG_CONFIG_HOME

install_dormix() {
    if ! bash "$repo/scripts/install-desktop.sh" --build-dir "$build" --no-deps "$@" \
        >"$work/install.log" 2>&1; then
        cat "$work/install.log" >&2
        echo "FAIL: install-desktop.sh $* failed" >&2
        exit 1
    fi
}
uninstall_dormix() {
    if ! bash "$repo/scripts/uninstall-desktop.sh" "$@" >"$work/uninstall.log" 2>&1; then
        cat "$work/uninstall.log" >&2
        echo "FAIL: uninstall-desktop.sh $* failed" >&2
        exit 1
    fi
}

# The Exec value of a desktop entry, unescaped and unquoted (one argument).
exec_of() {
    local v
    v="$(sed -n 's/^Exec=//p' "$1")"
    v="${v//%%/%}"
    v="${v//\\\\/\\}"
    if [[ "$v" == \"*\" ]]; then
        v="${v:1:${#v}-2}"
        v="$(printf '%s' "$v" | sed 's/\\\([\\"`$]\)/\1/g')"
    fi
    printf '%s' "$v"
}

# check_installed DATA_HOME CONFIG_HOME PREFIX AUTOSTART(0/1)
check_installed() {
    local data="$1" config="$2" prefix="$3" autostart="$4"
    local launcher="$HOME/.local/bin/dormix"
    local entry="$data/applications/dormix.desktop"
    check "program installed" test -x "$prefix/dormix"
    check "default sound installed" cmp -s "$repo/data/Sounds/ding.wav" "$prefix/Sounds/ding.wav"
    check "launcher is a link" test -L "$launcher"
    check "launcher resolves to the installed program" \
        test "$(readlink -f "$launcher")" = "$(readlink -f "$prefix/dormix")"
    check "menu entry exists" test -f "$entry"
    if [ -f "$entry" ]; then
        desktop-file-validate "$entry" || fail "menu entry does not validate"
        check "menu entry starts the installed program" test "$(exec_of "$entry")" = "$prefix/dormix"
        check "menu entry names the icon" grep -qx 'Icon=dormix' "$entry"
    fi
    local icon size n=0
    for icon in "$repo"/src/gui/images/app-*.png; do
        size="${icon##*/app-}"
        size="${size%.png}"
        local installed="$data/icons/hicolor/${size}x${size}/apps/dormix.png"
        check "icon $size installed" cmp -s "$icon" "$installed"
        if [ -f "$installed" ]; then
            check "icon in ${size}x${size} is ${size}x${size}" \
                test "$(identify -format '%wx%h' "$installed")" = "${size}x${size}"
        fi
        n=$((n + 1))
    done
    check "icons found in the source tree" test "$n" -gt 0
    if [ "$autostart" -eq 1 ]; then
        check "autostart entry exists" test -f "$config/autostart/dormix.desktop"
        if [ -f "$config/autostart/dormix.desktop" ]; then
            desktop-file-validate "$config/autostart/dormix.desktop" ||
                fail "autostart entry does not validate"
            check "autostart starts the installed program" \
                test "$(exec_of "$config/autostart/dormix.desktop")" = "$prefix/dormix"
        fi
    else
        check "no autostart entry" test ! -e "$config/autostart/dormix.desktop"
    fi
}

check_removed() {
    local data="$1" config="$2" prefix="$3"
    check "launcher removed" test ! -e "$HOME/.local/bin/dormix" -a ! -L "$HOME/.local/bin/dormix"
    check "menu entry removed" test ! -e "$data/applications/dormix.desktop"
    check "autostart entry removed" test ! -e "$config/autostart/dormix.desktop"
    check "icons removed" test -z "$(find "$data/icons" -name dormix.png 2>/dev/null)"
    check "program removed" test ! -e "$prefix/dormix"
    check "sounds removed" test ! -e "$prefix/Sounds"
    check "list of installed files removed" test ! -e "$prefix/.installed-files"
}

data="$HOME/.local/share"
config="$HOME/.config"
prefix="$data/dormix"

echo "-- install"
install_dormix
check_installed "$data" "$config" "$prefix" 0

echo "-- re-install with --autostart keeps the user's files"
printf '[Dormi0]\r\nDescription=Mine \xff\r\nEnabled=1\r\n' >"$prefix/Dormis.ini"
printf '[Form]\nTop=7\n' >"$prefix/Dormix.ini"
cp "$prefix/Dormis.ini" "$work/alarms.orig"
cp "$prefix/Dormix.ini" "$work/settings.orig"
install_dormix --autostart
check_installed "$data" "$config" "$prefix" 1
check "alarm file kept on re-install" cmp -s "$work/alarms.orig" "$prefix/Dormis.ini"
check "settings file kept on re-install" cmp -s "$work/settings.orig" "$prefix/Dormix.ini"

echo "-- re-install without --autostart removes the autostart entry"
install_dormix
check_installed "$data" "$config" "$prefix" 0
check "alarm file kept" cmp -s "$work/alarms.orig" "$prefix/Dormis.ini"

echo "-- uninstall keeps the alarm and settings files"
install_dormix --autostart
uninstall_dormix
check_removed "$data" "$config" "$prefix"
check "alarm file kept on uninstall" cmp -s "$work/alarms.orig" "$prefix/Dormis.ini"
check "settings file kept on uninstall" cmp -s "$work/settings.orig" "$prefix/Dormix.ini"

echo "-- uninstall --purge removes them too"
install_dormix
check "alarm file kept" cmp -s "$work/alarms.orig" "$prefix/Dormis.ini"
uninstall_dormix --purge
check_removed "$data" "$config" "$prefix"
check "folder removed on purge" test ! -e "$prefix"

echo "-- XDG folders and a prefix with blanks and quotes"
export XDG_DATA_HOME="$work/xdg data"
export XDG_CONFIG_HOME="$work/xdg config"
odd="$work/My Apps/it's \"Dormix\" \$1"
install_dormix --autostart --prefix "$odd"
check_installed "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$odd" 1
check "nothing in the default folders" test ! -e "$HOME/.local/share/applications/dormix.desktop" \
    -a ! -e "$HOME/.config/autostart/dormix.desktop"
printf '[Dormi0]\nDescription=x\n' >"$odd/Dormis.ini"
uninstall_dormix # finds the folder through the launcher
check_removed "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$odd"
check "alarm file kept in the odd folder" test -f "$odd/Dormis.ini"
uninstall_dormix --purge --prefix "$odd"
check "odd folder removed on purge" test ! -e "$odd"
unset XDG_DATA_HOME XDG_CONFIG_HOME

echo "-- a file of the user's own at the launcher's place stays"
mkdir -p "$HOME/.local/bin"
echo "my own script" >"$HOME/.local/bin/dormix"
if bash "$repo/scripts/install-desktop.sh" --build-dir "$build" --no-deps \
    >"$work/install.log" 2>&1; then
    fail "install over a user's own ~/.local/bin/dormix succeeded"
fi
check "user's own launcher untouched" grep -qx "my own script" "$HOME/.local/bin/dormix"
check "nothing installed" test ! -e "$prefix"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all install checks passed"
