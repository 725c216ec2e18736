#!/usr/bin/env bash
# Checks of what the project installs and packages, run by CTest:
#   check_package.sh install-tree BUILD   the install tree holds the expected files; the launcher
#                                         makes and enters the data folder
#   check_package.sh metadata BUILD       the desktop entry and the AppStream metadata validate
#   check_package.sh deb BUILD            the .deb names its libraries and holds the same files
set -euo pipefail
what=$1
build=$(cd "$2" && pwd)
id=${TESMA_APP_ID:?}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Every file the project installs, relative to the prefix, in sorted order.
expected_files() {
    {
        printf '%s\n' bin/tesma bin/tesma-encoder-sim bin/tesma-launcher \
            "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
            share/doc/tesma/copyright "share/icons/hicolor/scalable/apps/$id.svg"
        for size in 48 64 128 256; do
            echo "share/icons/hicolor/${size}x${size}/apps/$id.png"
        done
    } | sort
}

# Width and height of a PNG, from its header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

check_tree() {
    local prefix=$1
    diff <(expected_files) <(cd "$prefix" && find . -type f -printf '%P\n' | sort) \
        || fail "the installed files under $prefix differ from the expected list"
    for exe in tesma tesma-encoder-sim tesma-launcher; do
        [[ -x $prefix/bin/$exe ]] || fail "bin/$exe is not executable"
    done
    for size in 48 64 128 256; do
        [[ $(png_size "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png") == "${size}x$size" ]] \
            || fail "the ${size}x$size icon has another size"
    done
    local desktop=$prefix/share/applications/$id.desktop
    grep -qx 'Name=Tesma Message Sender' "$desktop" || fail "desktop entry: wrong Name"
    grep -qx 'Exec=tesma-launcher' "$desktop" || fail "desktop entry: Exec is not the launcher"
    grep -qx "Icon=$id" "$desktop" || fail "desktop entry: Icon is not $id"
}

# Runs the installed launcher beside a stand-in console that records where it was started.
check_launcher() {
    local bin=$tmp/launch/bin
    mkdir -p "$bin" "$tmp/home"
    cp "$1/bin/tesma-launcher" "$bin/"
    printf '#!/bin/sh\npwd >"%s"\n' "$tmp/started-in" >"$bin/tesma"
    chmod +x "$bin/tesma"
    ln -s "$bin/tesma-launcher" "$tmp/launch/via-link"

    # A missing folder is created private, and the console starts inside it.
    HOME=$tmp/home XDG_DATA_HOME=$tmp/xdg "$tmp/launch/via-link"
    [[ $(cat "$tmp/started-in") == "$tmp/xdg/tesma" ]] || fail "launcher: console not started in \$XDG_DATA_HOME/tesma"
    [[ $(stat -c %a "$tmp/xdg/tesma") == 700 ]] || fail "launcher: new folder is not mode 0700"

    # Unset or relative XDG_DATA_HOME: ~/.local/share; an existing folder keeps its mode.
    mkdir -p "$tmp/home/.local/share"
    mkdir -m 0750 "$tmp/home/.local/share/tesma"
    HOME=$tmp/home XDG_DATA_HOME=relative/path "$bin/tesma-launcher"
    [[ $(cat "$tmp/started-in") == "$tmp/home/.local/share/tesma" ]] || fail "launcher: relative XDG_DATA_HOME not ignored"
    [[ $(stat -c %a "$tmp/home/.local/share/tesma") == 750 ]] || fail "launcher: changed an existing folder's mode"
}

# Installing (cmake --install, and cpack through it) writes its manifest into the build tree.
case $what in
install-tree | deb)
    [[ -w $build ]] || fail "$(id -un) cannot write to the build tree $build (scripts/test.sh gives it to the test user)"
    ;;
esac

case $what in
install-tree)
    cmake --install "$build" --prefix "$tmp/usr" >/dev/null
    check_tree "$tmp/usr"
    check_launcher "$tmp/usr"
    ;;
metadata)
    desktop-file-validate "$build/packaging/$id.desktop"
    appstreamcli validate --no-net --pedantic "$build/packaging/$id.metainfo.xml"
    ;;
deb)
    cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; fail "cpack"; }
    debs=("$tmp"/out/tesma_*.deb)
    [[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single tesma .deb"
    deb=${debs[0]}
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6sql6 libqt6sql6-sqlite qt6-qpa-plugins; do
        [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "Depends does not name $lib"
    done
    # Files belong to root, and the package holds exactly the install tree under /usr.
    ! dpkg-deb -c "$deb" | awk '{ print $2 }' | grep -qv '^root/root$' || fail "files not owned by root"
    dpkg-deb -x "$deb" "$tmp/root"
    check_tree "$tmp/root/usr"
    ! ldd "$tmp/root/usr/bin/tesma" | grep 'not found' || fail "the packaged console misses libraries"
    ;;
*)
    fail "unknown check $what"
    ;;
esac
echo "ok: $what"
