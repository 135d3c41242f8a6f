#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, skipping what is
# already there. Extra package names may be given as arguments.
set -euo pipefail

packages=(
    cmake
    g++
    make
    qt6-base-dev
    qt6-base-dev-tools
    libgl-dev
    fonts-liberation # near the widths of the window's designed font
    # the program in a real window, in a network namespace of its own
    python3
    xvfb
    openbox
    xdotool
    xclip
    x11-utils
    imagemagick
    tesseract-ocr
    tesseract-ocr-eng
    iproute2
    util-linux
    # the accessibility bus the desktop test reads the window through
    dbus-daemon # dbus-run-session
    at-spi2-core
    python3-pyatspi
    gdb # the desktop test prints every thread's stack when the program will not end
    # the desktops people run: a Wayland session (weston, headless) with and
    # without Qt's Wayland platform, XWayland, and IBus with its Hangul engine
    weston
    xwayland
    qt6-wayland
    ibus
    ibus-hangul
    groff-base # the manual page's check
    libbenchmark-dev # bench/
    libx11-dev # bench/startwatch
    libxdamage-dev # bench/startwatch
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
