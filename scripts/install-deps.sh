#!/usr/bin/env bash
# Installs the Debian packages the console needs to build, test and run. Safe to run again:
# only missing packages are installed. Extra package names given as arguments are installed too.
set -euo pipefail
packages=(cmake g++ make qt6-base-dev libqt6sql6-sqlite libsqlite3-dev libgl-dev fonts-dejavu-core xvfb xauth libnet-snpp-perl)
# Icons, desktop metadata checks and the Debian package.
packages+=(librsvg2-bin desktop-file-utils appstream dpkg-dev "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
