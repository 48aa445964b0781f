# shellcheck shell=bash disable=SC2154 # jobs is scripts/test's
# Sourced by scripts/test after install_checks.sh: the Windows step. Korvex, its tests and
# korvexctl cross-built with mingw-w64 in a build folder of their own (build-windows), the tests
# run under Wine, the SDK zip made, and a C program built against the zip's contents and
# korvexctl.exe run under Wine against devicesim (the native one of `build`, on 127.0.0.1).

windows_build=build-windows
# Set once the Windows build is configured: the zip's folder (and name), and the Wine command of
# the build's tests, to follow `env` (its prefix, no Wine diagnostics).
windows_zip_folder=""
windows_wine=()

step_windows_build_and_test() {
    cmake -S . -B "$windows_build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DTELVANE_BUILD_APP=OFF -DTELVANE_BUILD_LUMADEC=OFF \
        -DTELVANE_BUILD_DEVICESIM=OFF -DTELVANE_BUILD_BENCH=OFF \
        -DTELVANE_GTEST_SOURCE_DIR=/usr/src/googletest >/dev/null
    local cache=$windows_build/CMakeCache.txt
    windows_zip_folder=Korvex-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cache")-win64
    windows_wine=(WINEPREFIX="$(pwd)/$windows_build/wineprefix" WINEDEBUG=-all
        "$(sed -n 's/^TELVANE_WINE64:FILEPATH=//p' "$cache")")
    cmake --build "$windows_build" -j "$jobs"
    ctest --test-dir "$windows_build" --output-on-failure --timeout 300 -j "$jobs"
}

# The zip holds exactly the SDK's files, in one folder.
step_windows_zip() {
    rm -f "$windows_build"/Korvex-*-win64.zip
    (cd "$windows_build" && cpack -G ZIP >/dev/null)
    local zip=$windows_build/$windows_zip_folder.zip
    [ -f "$zip" ] || fail "cpack made no $zip"
    local listing expected
    listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
    expected=$(printf "$windows_zip_folder/%s\n" README.txt bin/Korvex.dll bin/korvexctl.exe \
        examples/korvex_example.c include/Korvex.h lib/Korvex.def lib/libKorvex.dll.a | sort)
    [ "$listing" = "$expected" ] || fail "the zip holds: $listing"
    printf '   %s, %d bytes:\n' "$(basename "$zip")" "$(stat -c %s "$zip")"
    awk '{ print "     " $0 }' <<<"$listing"
}

# What an integrator does with the zip: unpack it, build the C example with MinGW against its
# header and import library, put the DLL beside the program, run it (under Wine).
step_windows_sdk_example() {
    local unpacked=$scratch/windows-sdk
    local zip
    zip=$(pwd)/$windows_build/$windows_zip_folder.zip
    mkdir -p "$unpacked"
    (cd "$unpacked" && cmake -E tar xf "$zip")
    local sdk=$unpacked/$windows_zip_folder
    local program=$unpacked/program
    mkdir -p "$program"
    x86_64-w64-mingw32-gcc-posix -std=c99 -pedantic -Wall -Wextra -Werror -I"$sdk/include" \
        "$sdk/examples/korvex_example.c" -L"$sdk/lib" -lKorvex -o "$program/korvex_example.exe"
    cp "$sdk/bin/Korvex.dll" "$program/"
    run_example "${windows_wine[@]}" "$program/korvex_example.exe"
}

# korvexctl.exe from the zip: its help, and `info` against the emulated receiver.
step_windows_korvexctl() {
    local korvexctl=$scratch/windows-sdk/$windows_zip_folder/bin/korvexctl.exe
    local help info
    help=$(env "${windows_wine[@]}" "$korvexctl" --help | tr -d '\r') || fail "korvexctl.exe --help failed"
    echo "$help" | grep -q '^Usage: korvexctl \[--host ADDR\]' || fail "korvexctl.exe shows no help: $help"
    info=$(env "${windows_wine[@]}" "$korvexctl" --host 127.0.0.1 --port "$(devicesim_port rx)" info |
        tr -d '\r') || { echo "$info" >&2; fail "korvexctl.exe info failed"; }
    echo "$info" | grep -Eq '^ +model +HDMI-IP-RX$' || fail "korvexctl.exe info: $info"
    awk '{ print "   " $0 }' <<<"$info"
}

windows_steps() {
    local started=$SECONDS
    step "Windows: Korvex.dll, korvexctl.exe and the tests cross-built with mingw-w64, tests under Wine"
    step_windows_build_and_test

    scratch=$(mktemp -d /tmp/telvane-windows-test.XXXXXX)
    trap 'stop_devicesim; rm -rf "$scratch"' EXIT
    start_devicesim

    step "Windows: the SDK zip"
    step_windows_zip

    step "Windows: a C program built with MinGW against the zip, under Wine against devicesim"
    step_windows_sdk_example

    step "Windows: korvexctl.exe under Wine against devicesim"
    step_windows_korvexctl

    stop_devicesim
    rm -rf "$scratch"
    trap - EXIT
    echo "   the Windows steps took $((SECONDS - started)) s"
}
