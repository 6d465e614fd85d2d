#!/usr/bin/env bash
# The one list of Debian packages Brindlet needs to build, test and run.
# Installs only what is missing; runs apt-get update first when it must install.
set -euo pipefail

packages=(
    # toolchain
    g++ cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format python3
    # tests and benchmarks (libplist is the benchmarks' point of comparison;
    # poppler-utils reads back the PDF files the printing tests print)
    libgtest-dev libgmock-dev libbenchmark-dev libplist-dev poppler-utils
    # libraries
    qt6-base-dev qt6-image-formats-plugins libpcre3-dev libcanberra-dev
    # a private session bus for tests, time zones and locales
    dbus-daemon tzdata locales fonts-dejavu-core
    # global hot keys (key grabs), and the tests only an X server answers:
    # a private X server, a small EWMH window manager, xprop to see it is
    # up, typing through the X test extension
    libxcb1-dev libxcb-xtest0-dev xvfb openbox x11-utils xdotool
    # keyboard layouts: what a key types on the X server's keyboard
    libxkbcommon-dev libxkbcommon-x11-dev
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    as_root=(sudo)
fi

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The locales the tests pin (en_US) and use to check locale independence (de_DE).
for locale in en_US de_DE; do
    if ! locale -a 2>/dev/null | grep -qi "^${locale}\.utf-\?8$"; then
        "${as_root[@]}" localedef -i "$locale" -c -f UTF-8 "${locale}.UTF-8"
    fi
done
