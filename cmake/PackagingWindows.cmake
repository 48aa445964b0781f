# The Korvex SDK for Windows as one zip (cpack -G ZIP in the Windows cross build), holding one
# folder Korvex-<version>-win64 with what the install puts under its prefix:
#
#   bin/Korvex.dll          the library (the compiler's runtime linked in)
#   bin/korvexctl.exe       the command-line tool
#   lib/libKorvex.dll.a     import library for MinGW
#   lib/Korvex.def          the exports, from which Visual Studio's lib tool makes Korvex.lib
#   include/Korvex.h
#   examples/korvex_example.c
#   README.txt              how to build against it with Visual Studio or MinGW
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Korvex)
set(CPACK_PACKAGE_VENDOR "Telvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Korvex-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_STRIP_FILES ON)
include(CPack)
