#!/usr/bin/env bash
# Installs every Debian package Dormix needs to build, run and test, and the
# locales the tests pin. Quick when everything is present: apt-get update runs
# only when a package is missing.
set -euo pipefail

PACKAGES=(
    # build
    build-essential cmake pkg-config clang libclang-rt-14-dev clang-format
    qt6-base-dev qt6-base-dev-tools libpulse-dev libsndfile1-dev libx11-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # run
    pulseaudio locales tzdata
    # test harness: sound server tools, virtual display, window manager, tray host
    pulseaudio-utils xvfb xauth openbox trayer xdotool wmctrl x11-utils sox
    imagemagick procps
    # desktop install (scripts/install-desktop.sh): checks the menu entries
    desktop-file-utils
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Locales used by the date-time tests.
for loc in en_GB en_US de_DE; do
    if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$"; then
        $SUDO localedef -i "$loc" -f UTF-8 "${loc}.UTF-8"
    fi
done
