# Fails unless the Windows program or DLL BINARY has a version resource naming VERSION (like 1.0)
# and ORIGINAL_NAME, as read back with RC (the target's windres):
#   cmake -DBINARY=X.dll -DRC=x86_64-w64-mingw32-windres -DVERSION=1.0 -DORIGINAL_NAME=X.dll \
#       -P CheckVersionResource.cmake
execute_process(COMMAND ${RC} -i ${BINARY} -O rc OUTPUT_VARIABLE resources RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${RC} cannot read the resources of ${BINARY}")
endif()
string(REPLACE "." ";" parts "${VERSION}")
list(APPEND parts 0 0 0)
list(SUBLIST parts 0 4 parts)
list(JOIN parts ", " numeric)
foreach(wanted IN ITEMS "FILEVERSION ${numeric}" "PRODUCTVERSION ${numeric}"
        "VALUE \"FileVersion\", \"${VERSION}\"" "VALUE \"ProductVersion\", \"${VERSION}\""
        "VALUE \"OriginalFilename\", \"${ORIGINAL_NAME}\"")
    string(FIND "${resources}" "${wanted}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "${BINARY}: no ${wanted} in its version resource:\n${resources}")
    endif()
endforeach()
message(STATUS "version resource: ${ORIGINAL_NAME} ${numeric}")
