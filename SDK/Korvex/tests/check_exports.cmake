# Fails unless LIBRARY exports exactly the eleven KORVEX_ functions.
set(expected
    KORVEX_Exit KORVEX_GetConfig KORVEX_Init KORVEX_Login KORVEX_Logout KORVEX_Reset
    KORVEX_SendRemoteKey KORVEX_SetConfig KORVEX_StartPlay KORVEX_StopPlay KORVEX_Upgrade)
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(exported)
foreach(line IN LISTS lines)
    # "address type name": only code and data count, not the version node.
    if(line MATCHES "^[0-9a-f]+ [TtDdBbRrWwVv] ([^@ ]+)")
        list(APPEND exported ${CMAKE_MATCH_1})
    endif()
endforeach()
list(REMOVE_DUPLICATES exported)
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
    message(FATAL_ERROR "exported: ${exported}\nexpected: ${expected}")
endif()
message(STATUS "exports: ${exported}")
