# Korvex's ABI against a baseline: the abidw description of the ABI of one SONAME, committed in
# SDK/Korvex/abi. Two modes:
#
#   cmake -DMODE=check -DLIBRARY=<libKorvex.so.1.0> -DBASELINE=<libKorvex.so.1.abi>
#         -DABI_DIR=<SDK/Korvex/abi> -DWORK_DIR=<scratch folder> -P KorvexAbi.cmake
#     describes the built library as the baseline was described and compares the two with
#     abidiff. Fails on any change that would break a program built against the baseline: a
#     function removed, a function's parameters or result changed, a record of Korvex.h changed
#     in size or layout (also the configuration records, which no function names), the SONAME.
#     Functions added are allowed, and listed.
#   cmake -DMODE=update ... -P KorvexAbi.cmake
#     writes the baseline from the built library, after a deliberate change (README: Korvex's ABI).
#
# The library needs its debugging information (RelWithDebInfo or Debug).

set(abidw_options --load-all-types --suppressions ${ABI_DIR}/public-types.suppr
    --no-corpus-path --no-comp-dir-path --short-locs)

if(MODE STREQUAL "update")
    execute_process(COMMAND abidw ${abidw_options} --out-file ${BASELINE} ${LIBRARY}
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "abidw failed on ${LIBRARY}")
    endif()
    message(STATUS "wrote ${BASELINE}")
    return()
endif()

if(NOT EXISTS ${BASELINE})
    message(FATAL_ERROR "no ABI baseline ${BASELINE} for this SONAME (README: Korvex's ABI)")
endif()
file(MAKE_DIRECTORY ${WORK_DIR})
set(current ${WORK_DIR}/libKorvex.abi)
execute_process(COMMAND abidw ${abidw_options} --out-file ${current} ${LIBRARY}
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "abidw failed on ${LIBRARY}")
endif()
set(abidiff_options --non-reachable-types --suppressions ${ABI_DIR}/handles.suppr)
execute_process(COMMAND abidiff ${abidiff_options} ${BASELINE} ${current}
    OUTPUT_VARIABLE report RESULT_VARIABLE everything)
# abidiff's status is a bit set: 1 error, 2 usage error, 4 a change, 8 an incompatible change.
# Added functions are changes too, so a second run leaves them out: what it still finds breaks.
execute_process(COMMAND abidiff ${abidiff_options} --no-added-syms ${BASELINE} ${current}
    OUTPUT_QUIET RESULT_VARIABLE breaking)
message("${report}")
foreach(status IN ITEMS ${everything} ${breaking})
    if(NOT status MATCHES "^[0-9]+$")
        message(FATAL_ERROR "abidiff did not finish: ${status}")
    endif()
    math(EXPR error_bits "${status} & 3")
    if(error_bits)
        message(FATAL_ERROR "abidiff failed (status ${status})")
    endif()
endforeach()
if(NOT breaking EQUAL 0)
    message(FATAL_ERROR "libKorvex breaks the ABI of ${BASELINE}: see above")
endif()
if(everything EQUAL 0)
    message(STATUS "libKorvex has the ABI of ${BASELINE}")
else()
    message(STATUS "libKorvex has the ABI of ${BASELINE}, and adds to it (see above)")
endif()
