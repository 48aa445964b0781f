# shellcheck shell=bash disable=SC2154 # jobs and scratch are scripts/test's
# Sourced by scripts/test: the install, package and example steps. Each function is one step and
# exits the script (set -e) on the first failure. They expect the working directory to be the
# checkout, `build` to be built with CMAKE_INSTALL_PREFIX=/usr, and $scratch to be an empty folder.

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

multiarch=$(gcc -print-multiarch)
example_source=SDK/Korvex/examples
metainfo=invalid.telvane.telvane.metainfo.xml

# The example against devicesim on 127.0.0.1 (free ports): log in, SystemInfo, the layout, a few
# seconds of stream with its frames counted by type.
devicesim_pid=""
devicesim_log=""
start_devicesim() {
    devicesim_log=$scratch/devicesim.log
    build/tools/devicesim/devicesim --device rx@127.0.0.1:0 --device tx1@127.0.0.1:0 \
        2>"$devicesim_log" &
    devicesim_pid=$!
    for _ in $(seq 100); do
        grep -q 'tx1 listening' "$devicesim_log" && return 0
        kill -0 "$devicesim_pid" 2>/dev/null || break
        sleep 0.1
    done
    cat "$devicesim_log" >&2
    fail "devicesim did not come up"
}

stop_devicesim() {
    if [ -n "$devicesim_pid" ]; then
        kill "$devicesim_pid" 2>/dev/null || true
        wait "$devicesim_pid" 2>/dev/null || true
        devicesim_pid=""
    fi
}

devicesim_port() {
    sed -n "s/.* $1 listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p" "$devicesim_log"
}

# run_example [NAME=VALUE...] COMMAND...: runs the example (COMMAND, with the environment
# settings before it) against devicesim and checks what it counted.
run_example() {
    local output
    output=$(env "$@" "127.0.0.1:$(devicesim_port rx)" "127.0.0.1:$(devicesim_port tx1)" 3 |
        tr -d '\r') || { echo "$output" >&2; fail "$* failed"; }
    awk '{ print "   " $0 }' <<<"$output"
    echo "$output" | grep -q '^receiver: HDMI-IP-RX' || fail "$* read no SystemInfo"
    echo "$output" | grep -q '^receiver: layout CH1|CH2' || fail "$* set no layout"
    echo "$output" | grep -Eq '^frames in 3 s: [1-9][0-9]* key, [1-9][0-9]* video, [1-9][0-9]* audio' ||
        fail "$* counted no key, video and audio frames"
}

# build_example PREFIX LIBDIR NAME: the example built against the Korvex installed under PREFIX,
# once with find_package(Korvex) and once with pkg-config, and both run.
build_example() {
    local prefix=$1 libdir=$2 name=$3
    local out=$scratch/example-$name
    rm -rf "$out"
    mkdir -p "$out/pkg-config"
    cmake -S "$example_source" -B "$out/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$out/cmake" >/dev/null
    grep -q "Korvex_DIR:PATH=$prefix/" "$out/cmake/CMakeCache.txt" ||
        fail "find_package(Korvex) found another Korvex than the one in $prefix"
    PKG_CONFIG_PATH=$libdir/pkgconfig make -s -C "$out/pkg-config" \
        -f "$(pwd)/$example_source/Makefile" VPATH="$(pwd)/$example_source" >/dev/null
    echo "-- $name, find_package(Korvex)"
    run_example "$out/cmake/korvex_example"
    echo "-- $name, pkg-config"
    run_example LD_LIBRARY_PATH="$libdir" "$out/pkg-config/korvex_example"
}

# Korvex alone, configured so that finding GoogleTest, Qt, pkg-config (for FFmpeg) or Google
# Benchmark would fail the configure; installed with DESTDIR, moved, and used from its new place.
step_sdk_only() {
    local sdk=build-sdk
    cmake -S . -B "$sdk" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/opt/korvex \
        -DTELVANE_BUILD_TESTS=OFF -DTELVANE_BUILD_APP=OFF -DTELVANE_BUILD_LUMADEC=OFF \
        -DTELVANE_BUILD_DEVICESIM=OFF -DTELVANE_BUILD_BENCH=OFF -DTELVANE_BUILD_MQTT=OFF \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt5=ON \
        -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
        >/dev/null
    cmake --build "$sdk" -j "$jobs"
    local stage=$scratch/sdk-stage
    DESTDIR=$stage cmake --install "$sdk" >/dev/null
    [ "$(cd "$stage" && find . -mindepth 1 -maxdepth 2 | sort | tr '\n' ' ')" = "./opt ./opt/korvex " ] ||
        fail "the SDK install wrote outside its prefix: $(cd "$stage" && find . | head)"
    local prefix=$scratch/sdk-moved
    mv "$stage/opt/korvex" "$prefix"
    for file in include/Korvex.h lib/libKorvex.so lib/libKorvex.so.1 lib/pkgconfig/korvex.pc \
        lib/cmake/Korvex/KorvexConfig.cmake lib/cmake/Korvex/KorvexConfigVersion.cmake; do
        [ -e "$prefix/$file" ] || fail "the SDK install lacks $file"
    done
    build_example "$prefix" "$prefix/lib" "SDK install, moved"
}

# The whole build installed with --prefix and DESTDIR: everything lands under the prefix, and the
# program finds its libraries and translations from its own folder.
step_install_tree() {
    local stage=$scratch/install-stage
    DESTDIR=$stage cmake --install build --prefix /inst >/dev/null
    [ "$(cd "$stage" && find . -mindepth 1 -maxdepth 1)" = "./inst" ] ||
        fail "cmake --install wrote outside its prefix: $(cd "$stage" && ls)"
    local tree=$stage/inst
    for file in bin/Telvane "share/telvane/Language/zh_CN.qm" share/applications/telvane.desktop \
        share/icons/hicolor/scalable/apps/telvane.svg "lib/$multiarch/libKorvex.so.1" \
        "lib/$multiarch/telvane/libLumadec.so.1" "lib/$multiarch/pkgconfig/korvex.pc" \
        "lib/$multiarch/pkgconfig/lumadec.pc" "lib/$multiarch/cmake/Lumadec/LumadecConfig.cmake" \
        include/Lumadec.h; do
        [ -e "$tree/$file" ] || fail "the install lacks $file"
    done
    if grep -rlI "$(pwd)" "$tree"; then
        fail "installed text files name the checkout (they must find everything from their place)"
    fi
    # shellcheck disable=SC2016 # $ORIGIN is the dynamic loader's, matched as it is written
    grep -q 'RUNPATH.*\$ORIGIN/\.\./lib' <<<"$(readelf -d "$tree/bin/Telvane")" ||
        fail "the program has no RUNPATH relative to its folder"
    local libraries
    libraries=$(ldd "$tree/bin/Telvane")
    echo "$libraries" | grep -q "libKorvex.so.1 => $tree/bin/../lib/$multiarch/libKorvex.so.1" ||
        fail "the installed program does not load its own libKorvex: $libraries"
    echo "$libraries" | grep -q "libLumadec.so.1 => $tree/bin/../lib/$multiarch/telvane/" ||
        fail "the installed program does not load its own libLumadec: $libraries"
    ! echo "$libraries" | grep -q 'not found' || fail "missing libraries: $libraries"
    echo "   all under the prefix; Telvane loads $tree/lib/$multiarch/{libKorvex,telvane/libLumadec}"
}

# has_files DEB PATH...: the package holds every path (exactly, as dpkg-deb lists it).
has_files() {
    local deb=$1
    shift
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
    # Here-strings, not pipes: grep -q leaving at the first match would break echo's pipe, which
    # pipefail takes as a failure.
    for path in "$@"; do
        grep -qxF "./$path" <<<"$listing" || fail "$(basename "$deb") lacks /$path"
    done
    local outside
    outside=$(grep -v '^\./usr/' <<<"$listing" | grep -vx '\./' || true)
    [ -z "$outside" ] || fail "$(basename "$deb") holds files outside /usr: $outside"
}

# depends_on DEB PACKAGE...: Depends names each package.
depends_on() {
    local deb=$1
    shift
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in "$@"; do
        [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
            fail "$(basename "$deb") does not depend on $package (Depends: $depends)"
    done
}

# The bridge's package: its program and manual page under /usr, and outside /usr only its
# configuration file (a conffile, so that a changed one is kept) and its systemd unit, which
# starts the installed program with that file.
check_bridge_package() {
    local deb=$1
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$')
    for path in usr/sbin/korvex-mqtt usr/share/man/man8/korvex-mqtt.8.gz \
        usr/share/doc/korvex-mqtt/copyright usr/share/doc/korvex-mqtt/changelog.Debian.gz; do
        grep -qxF "./$path" <<<"$listing" || fail "$(basename "$deb") lacks /$path"
    done
    local outside
    outside=$(grep -v '^\./usr/' <<<"$listing" | sort | tr '\n' ' ')
    [ "$outside" = "./etc/korvex-mqtt.conf ./lib/systemd/system/korvex-mqtt.service " ] ||
        fail "$(basename "$deb") holds other files outside /usr than its conffile and unit: $outside"
    grep -qx /etc/korvex-mqtt.conf <<<"$(dpkg-deb --info "$deb" conffiles)" ||
        fail "/etc/korvex-mqtt.conf is no conffile of $(basename "$deb")"
    grep -qx 'ExecStart=/usr/sbin/korvex-mqtt --config /etc/korvex-mqtt.conf' \
        <<<"$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./lib/systemd/system/korvex-mqtt.service)" ||
        fail "the unit of $(basename "$deb") does not start /usr/sbin/korvex-mqtt with its conffile"
    depends_on "$deb" libkorvex1 libmosquitto1
}

debs=()
step_packages() {
    rm -f build/*.deb
    (cd build && cpack -G DEB >/dev/null)
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)-1
    local arch
    arch=$(dpkg --print-architecture)
    local program=build/telvane_${version}_${arch}.deb
    local runtime=build/libkorvex1_${version}_${arch}.deb
    local development=build/libkorvex-dev_${version}_${arch}.deb
    debs=("$program" "$runtime" "$development")
    for deb in "${debs[@]}"; do
        [ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
    done
    local lib=usr/lib/$multiarch
    has_files "$program" usr/bin/Telvane "$lib/telvane/libLumadec.so.1" \
        usr/share/telvane/Language/zh_CN.qm usr/share/applications/telvane.desktop \
        "usr/share/metainfo/$metainfo" usr/share/icons/hicolor/scalable/apps/telvane.svg \
        usr/share/man/man1/Telvane.1.gz usr/share/doc/telvane/copyright \
        usr/share/doc/telvane/changelog.Debian.gz
    has_files "$runtime" "$lib/libKorvex.so.1" usr/share/doc/libkorvex1/copyright
    has_files "$development" usr/include/Korvex.h "$lib/libKorvex.so" "$lib/pkgconfig/korvex.pc" \
        "$lib/cmake/Korvex/KorvexConfig.cmake" "$lib/cmake/Korvex/KorvexConfigVersion.cmake" \
        "$lib/cmake/Korvex/KorvexTargets.cmake" usr/share/doc/libkorvex-dev/copyright \
        usr/bin/korvexctl usr/share/man/man1/korvexctl.1.gz
    if dpkg-deb -c "$program" | grep -E 'Lumadec\.h|lumadec\.pc|cmake/Lumadec|libLumadec\.so$'; then
        fail "Lumadec's development files went into the program's package"
    fi
    depends_on "$program" libkorvex1 libqt5widgets5 libavcodec59 libc6 fonts-liberation
    depends_on "$runtime" libc6 libstdc++6
    depends_on "$development" libkorvex1
    local bridge=build/korvex-mqtt_${version}_${arch}.deb
    [ -f "$bridge" ] || fail "cpack made no $(basename "$bridge")"
    check_bridge_package "$bridge"
    debs+=("$bridge")
    # Read whole first: grep -q leaving early would break dpkg-deb's pipe (pipefail).
    grep -q ' shlibs ' <<<"$(dpkg-deb -I "$runtime")" || fail "libkorvex1 has no shlibs file"
    # cpack's pre-build step held the symbols file against the library (dpkg-gensymbols -c4).
    diff <(dpkg-deb --ctrl-tarfile "$runtime" | tar -xOf - ./symbols) cmake/debian/libkorvex1.symbols ||
        fail "libkorvex1's symbols file is not cmake/debian/libkorvex1.symbols"
    for deb in "${debs[@]}"; do
        printf '   %-34s %6d bytes  Depends: %s\n' "$(basename "$deb")" "$(stat -c %s "$deb")" \
            "$(dpkg-deb -f "$deb" Depends)"
    done
    # Every tag fails the step, down to the pedantic ones; the overrides shipped in the packages
    # say why a tag is accepted (lintian prints them, O:, with their reasons, N:). Experimental
    # tags are shown too. (lintian's own --fail-on would count the overrides it shows.)
    lintian --pedantic --display-info --display-experimental --show-overrides --fail-on none \
        "${debs[@]}" >"$scratch/lintian.log" 2>&1 || { cat "$scratch/lintian.log"; fail "lintian"; }
    grep -v 'running with root privileges' "$scratch/lintian.log" | sed 's/^/   lintian: /' || true
    ! grep -q '^[EWIP]: ' "$scratch/lintian.log" || fail "lintian reported tags"
}

# unpack_packages DIR: every package built by step_packages unpacked into DIR, as dpkg would lay
# them out under /.
unpack_packages() {
    mkdir -p "$1"
    for deb in "${debs[@]}"; do
        dpkg -x "$deb" "$1"
    done
}

# The packages' contents as the distribution's tools judge them: every ELF file's hardening, the
# AppStream metadata and the desktop entry; and every manual page of the repository (devicesim's,
# which no package ships, too) as man reads it.
step_package_contents() {
    local root=$scratch/deb-contents
    unpack_packages "$root"
    local elf_files=0
    while IFS= read -r -d '' file; do
        [[ $(file -b "$file") == ELF* ]] || continue
        elf_files=$((elf_files + 1))
        local options=()
        # Lumadec calls no libc function with a size the compiler can see (it copies into FFmpeg's
        # buffers), so _FORTIFY_SOURCE, which it is built with, has nothing to check there and
        # hardening-check nothing to find; every other check holds for it.
        [[ $file == */libLumadec.so.* ]] && options=(--nofortify)
        local report verdict=0
        report=$(hardening-check "${options[@]}" "$file") || verdict=$?
        echo "$report" | sed "s|^|   hardening-check: |; s|$root||"
        [ "$verdict" -eq 0 ] || fail "hardening-check: ${file#"$root"}"
    done < <(find "$root" -type f -print0 | sort -z)
    [ "$elf_files" -ge 4 ] || fail "only $elf_files ELF files in the packages"

    # The component ID is under the reserved TLD .invalid until the project has a domain: the
    # validator's note that it does not know the TLD is the one expected.
    local appstream
    appstream=$(appstreamcli validate --pedantic --no-net --explain \
        "$root/usr/share/metainfo/$metainfo" 2>&1) || { echo "$appstream"; fail "appstreamcli"; }
    # shellcheck disable=SC2001 # a prefix for every line: sed's job
    sed 's/^/   appstreamcli: /' <<<"$appstream"
    if echo "$appstream" | grep -E '^[EWIP]: ' | grep -v ' cid-maybe-not-rdns '; then
        fail "appstreamcli validate --pedantic reported the issues above"
    fi

    desktop-file-validate "$root/usr/share/applications/telvane.desktop" ||
        fail "desktop-file-validate"
    echo "   desktop-file-validate: telvane.desktop is valid"

    local page warnings pages=""
    for page in cmake/debian/*.1; do
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
            man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || { echo "$warnings"; fail "man warns about $page"; }
        pages+="$(basename "$page") "
    done
    echo "   man: ${pages}without warnings"
}

# Korvex's ABI against the committed baseline of its SONAME (abidiff; cmake/KorvexAbi.cmake).
step_abi() {
    cmake --build build --target korvex_abi_check 2>&1 | grep -v '^\[' | sed 's/^/   /'
    [ "${PIPESTATUS[0]}" -eq 0 ] || fail "Korvex's ABI check"
}

# The packages unpacked into a scratch root: the program starts from there in an empty network
# namespace on a private X server and shows its window; the example builds and runs against it.
step_packages_installed() {
    local root=$scratch/deb-root
    unpack_packages "$root"
    start_xvfb 1600x1200x24
    # No network at all: the program reaches for the installation's addresses at once.
    local isolate=(unshare -n)
    [ "$(id -u)" -eq 0 ] || isolate=(unshare -r -n)
    (cd / && LC_ALL=zh_CN.UTF-8 exec "${isolate[@]}" "$root/usr/bin/Telvane") \
        >"$scratch/telvane.log" 2>&1 &
    local program=$!
    local window=""
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name '^Varnel Pro$' 2>/dev/null | head -n 1) || true
        [ -n "$window" ] && break
        kill -0 "$program" 2>/dev/null || break
        sleep 0.1
    done
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    stop_xvfb
    if [ -z "$window" ]; then
        cat "$scratch/telvane.log" >&2
        fail "the installed Telvane showed no window"
    fi
    echo "   $root/usr/bin/Telvane showed its window (X window $window) in an empty network namespace"
    build_example "$root/usr" "$root/usr/lib/$multiarch" "Debian packages"
    # The packaged configuration reads (--check sends nothing).
    local bridge_check
    bridge_check=$(LD_LIBRARY_PATH="$root/usr/lib/$multiarch" "$root/usr/sbin/korvex-mqtt" \
        --config "$root/etc/korvex-mqtt.conf" --check) ||
        fail "korvex-mqtt --check refuses the packaged /etc/korvex-mqtt.conf"
    awk '{ print "   korvex-mqtt --check: " $0 }' <<<"$bridge_check"
}
