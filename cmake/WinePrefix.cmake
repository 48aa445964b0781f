# The Wine prefix in which the tests of a Windows cross build run (the toolchain file names it and
# runs the programs in it). Made once by the build, before any test program is run for test
# discovery; the targets that run under Wine depend on wine_prefix. No Mono or Gecko: the tests
# need neither, and their installers would only cost time.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "no wine64 found: the Windows tests run under Wine (package wine64)")
endif()
set(telvane_wineprefix_stamp ${CMAKE_BINARY_DIR}/wineprefix.stamp)
add_custom_command(OUTPUT ${telvane_wineprefix_stamp}
    COMMAND ${CMAKE_COMMAND} -E env WINEDLLOVERRIDES=mscoree,mshtml=
        ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
    COMMAND ${CMAKE_COMMAND} -E touch ${telvane_wineprefix_stamp}
    COMMENT "Making the Wine prefix ${TELVANE_WINEPREFIX}"
    VERBATIM)
add_custom_target(wine_prefix ALL DEPENDS ${telvane_wineprefix_stamp})
