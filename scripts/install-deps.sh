#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the demo and the
# Debian packages need.
# Does nothing when they are all present; safe to run again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qtbase5-dev qtbase5-dev-tools libqt5svg5-dev
    clang libclang-rt-14-dev binutils
    xvfb xauth x11-utils imagemagick xdotool librsvg2-bin icoutils
    fonts-dejavu-core
    # The Debian packages and their test: shlibdeps and file for cpack, the
    # checkers, man for the installed page, and the distribution's firmware
    # tool that the installed application runs.
    dpkg-dev file lintian appstream man-db dfu-programmer
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
else
    sudo=
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
