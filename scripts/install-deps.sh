#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Trovanel need.
# Only what is missing is installed; apt runs non-interactively, with sudo only when not root.
set -euo pipefail

packages=(
    cmake g++ pkg-config qt6-base-dev libqt6svg6 libqt6sql6-sqlite libsqlite3-dev sqlite3 libgl-dev libxlsxwriter-dev zlib1g-dev libxcb-record0-dev iso-codes
    libmosquitto-dev libsodium-dev python3-nacl
    libfontconfig-dev qt6-wayland qtkeychain-qt6-dev
    curl ca-certificates
    gdal-bin gpsbabel
    xvfb openbox trayer xdotool xclip x11-utils wmctrl python3 python3-openpyxl
    x11-apps netpbm
    weston wl-clipboard at-spi2-core gir1.2-atspi-2.0
    xdg-utils desktop-file-utils appstream dbus-daemon python3-dbusmock python3-gi geoclue-2.0 gnome-keyring
    xdg-desktop-portal
    tzdata
    mosquitto mosquitto-clients openssl
    clang libclang-rt-14-dev clang-format
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
updated=false
if ((${#missing[@]} == 0)); then
    echo "install-deps: all packages present"
else
    echo "install-deps: installing ${missing[*]}"
    $SUDO apt-get update -qq
    updated=true
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The map's country outlines come out of a Debian package the build only reads from
# (scripts/map-data.sh); the package lists must be there to fetch it.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if ! "$here/map-data.sh" "$here/../.cache/mapdata" 2>/dev/null; then
    $updated || $SUDO apt-get update -qq
    "$here/map-data.sh" "$here/../.cache/mapdata"
fi
