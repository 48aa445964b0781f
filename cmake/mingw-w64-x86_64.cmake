# Cross build for 64-bit Windows with Debian's mingw-w64 compilers of the posix thread model
# (packages g++-mingw-w64-x86-64-posix; std::thread needs that model). Programs built here are run
# under Wine (package wine64), in a Wine prefix of the build folder's own:
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#       -DTELVANE_BUILD_APP=OFF -DTELVANE_BUILD_LUMADEC=OFF -DTELVANE_BUILD_DEVICESIM=OFF \
#       -DTELVANE_BUILD_BENCH=OFF -DTELVANE_GTEST_SOURCE_DIR=/usr/src/googletest
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TELVANE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TELVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TELVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TELVANE_MINGW_TRIPLET}-windres)

# Libraries, headers and CMake packages come from the Windows sysroot only; programs (the
# compilers' helpers, Wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TELVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and test discovery run the programs under Wine. WINEDEBUG=-all keeps Wine's own
# diagnostics out of the programs' output.
find_program(TELVANE_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(TELVANE_WINE64 NAMES wine64)
if(TELVANE_WINE64)
    set(TELVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "The Wine prefix of the tests")
    set(CMAKE_CROSSCOMPILING_EMULATOR
        env WINEPREFIX=${TELVANE_WINEPREFIX} WINEDEBUG=-all ${TELVANE_WINE64})
endif()
