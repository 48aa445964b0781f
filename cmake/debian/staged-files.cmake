# Run by cpack on the staged files of every package, before it builds the packages (CPack's
# pre-build script), for what debhelper would do in a Debian source package:
#
# - ELF files lose the sections .comment and .note, as dh_strip takes them out (CPack's own strip
#   keeps them);
# - libkorvex1's library is compared with its symbols file by dpkg-gensymbols -c4, which fails the
#   packaging when a symbol appeared or disappeared, so that the file shipped in the package is
#   always the library's.
#
# CPack hands over its variables: the staging folder of each component is
# ${CPACK_TEMPORARY_DIRECTORY}/<component>; CPACK_TELVANE_* are set by Packaging.cmake.

file(GLOB_RECURSE staged LIST_DIRECTORIES false ${CPACK_TEMPORARY_DIRECTORY}/*)
foreach(file IN LISTS staged)
    if(IS_SYMLINK ${file})
        continue()
    endif()
    file(READ ${file} magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")
        continue()
    endif()
    execute_process(
        COMMAND ${CPACK_TELVANE_STRIP} --remove-section=.comment --remove-section=.note ${file}
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${CPACK_TELVANE_STRIP} failed on ${file}")
    endif()
endforeach()

execute_process(
    COMMAND dpkg-gensymbols -c4 -p${CPACK_TELVANE_SYMBOLS_PACKAGE} -v${CPACK_TELVANE_PACKAGE_VERSION}
        -P${CPACK_TEMPORARY_DIRECTORY}/Runtime -I${CPACK_TELVANE_SYMBOLS_FILE}
        -O${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_TELVANE_SYMBOLS_PACKAGE}.symbols
    WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${CPACK_TELVANE_SYMBOLS_FILE} does not list the library's symbols: "
        "list every symbol that was added in the version that added it, and never remove one "
        "without a new SONAME (README: Korvex's ABI)")
endif()
