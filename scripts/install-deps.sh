#!/usr/bin/env bash
# Installs the Debian packages the console needs to build, test and run. Safe to run again:
# only missing packages are installed.
#
#   scripts/install-deps.sh [--fuzz] [PACKAGE...]
#
# --fuzz adds clang and its libFuzzer runtime (scripts/fuzz.sh); further package names given as
# arguments are installed too.
set -euo pipefail
packages=(cmake g++ make qt6-base-dev libqt6sql6-sqlite libsqlite3-dev libgl-dev fonts-dejavu-core xvfb xauth libnet-snpp-perl)
# Icons, desktop metadata checks and the Debian package.
packages+=(librsvg2-bin desktop-file-utils appstream dpkg-dev)
# The format check of the sources.
packages+=(clang-format-14)
if [[ ${1:-} == --fuzz ]]; then
    shift
    packages+=(clang-14 libclang-rt-14-dev)
fi
packages+=("$@")
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
