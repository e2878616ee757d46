#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Trovanel need.
# Only what is missing is installed; apt runs non-interactively, with sudo only when not root.
set -euo pipefail

packages=(
    cmake g++ pkg-config qt6-base-dev libqt6svg6 libqt6sql6-sqlite libsqlite3-dev sqlite3 libgl-dev libxlsxwriter-dev zlib1g-dev libxcb-record0-dev
    libfontconfig-dev
    curl ca-certificates
    gdal-bin gpsbabel
    xvfb openbox trayer xdotool xclip x11-utils wmctrl python3 python3-openpyxl
    xdg-utils desktop-file-utils appstream dbus-daemon python3-dbusmock
    clang libclang-rt-14-dev clang-format
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
