# The distribution's hardening, for everything built here (libraries, programs and tests), in every
# build: stack protection, fortified libc calls, stack clash protection, control-flow protection,
# position-independent executables, read-only relocations and immediate binding.
#
# On Debian the flags come from dpkg-buildflags (with every hardening feature on), so that they
# follow the distribution and DEB_*_APPEND and friends, less the optimisation, debugging and
# path-mapping flags, which stay the build type's and the developer's. Debian 12's dpkg knows
# neither stack clash nor control-flow protection, and a cross build or another system has no
# dpkg-buildflags for its target: there the flags below are added where the compiler and the
# linker take them.
#
# _FORTIFY_SOURCE needs optimisation and is left out of Debug builds. It is left out of sanitizer
# builds too: clang sends a fortified call whose sizes it knows to glibc's checking variant, which
# AddressSanitizer does not intercept, so an over-read of the source buffer went unreported.

option(TELVANE_HARDENING "Compile and link with the distribution's hardening flags" ON)

include(CheckCCompilerFlag)
include(CheckLinkerFlag)

function(telvane_dpkg_buildflags variable result)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            dpkg-buildflags --get ${variable}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE failed ERROR_QUIET)
    if(failed)
        set(${result} "" PARENT_SCOPE)
        return()
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|ffile-prefix-map=.*|fdebug-prefix-map=.*)$")
    set(${result} ${flags} PARENT_SCOPE)
endfunction()

# Appends to the list `list` each further argument that the C compiler (kind COMPILE) or the linker
# (kind LINK) takes, together with the flags the list holds (-Werror=format-security wants
# -Wformat), and that the list does not hold yet.
function(telvane_supported_flags list kind)
    set(supported ${${list}})
    foreach(flag IN LISTS ARGN)
        if(flag IN_LIST supported)
            continue()
        endif()
        string(MAKE_C_IDENTIFIER "TELVANE_HAS${flag}" check)
        if(kind STREQUAL "LINK")
            set(CMAKE_REQUIRED_LINK_OPTIONS ${supported})
            check_linker_flag(C "${flag}" ${check})
        else()
            list(JOIN supported " " CMAKE_REQUIRED_FLAGS)
            check_c_compiler_flag("${flag}" ${check})
        endif()
        if(${check})
            list(APPEND supported ${flag})
        endif()
    endforeach()
    set(${list} ${supported} PARENT_SCOPE)
endfunction()

if(TELVANE_HARDENING AND NOT MSVC)
    set(c_flags)
    set(cxx_flags)
    set(preprocessor_flags)
    set(link_flags)
    find_program(TELVANE_DPKG_BUILDFLAGS dpkg-buildflags)
    mark_as_advanced(TELVANE_DPKG_BUILDFLAGS)
    if(TELVANE_DPKG_BUILDFLAGS AND NOT CMAKE_CROSSCOMPILING)
        telvane_dpkg_buildflags(CFLAGS c_flags)
        telvane_dpkg_buildflags(CXXFLAGS cxx_flags)
        telvane_dpkg_buildflags(CPPFLAGS preprocessor_flags)
        telvane_dpkg_buildflags(LDFLAGS link_flags)
    endif()
    if(NOT preprocessor_flags)
        set(preprocessor_flags -D_FORTIFY_SOURCE=2)
    endif()
    set(compiler_hardening -fstack-protector-strong -fcf-protection -Wformat
        -Werror=format-security)
    # Windows programs probe every page of a large stack frame anyway (___chkstk_ms), and
    # mingw-w64's GCC 12 fails with an internal error on the flag (i386_pe_seh_unwind_emit).
    if(NOT WIN32)
        list(APPEND compiler_hardening -fstack-clash-protection)
    endif()
    telvane_supported_flags(c_flags COMPILE ${compiler_hardening})
    telvane_supported_flags(cxx_flags COMPILE ${compiler_hardening})
    # ELF: read-only relocations, bound at start. PE (Windows): address space layout
    # randomisation and no-execute data, which the image must declare.
    telvane_supported_flags(link_flags LINK
        -Wl,-z,relro -Wl,-z,now -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
    # Control-flow protection is announced in a property note that the linker keeps only when
    # every object linked has it, and Debian 12's C start files (Scrt1.o, crti.o, crtn.o) have
    # none, so it would be missing from every binary. Our own code is compiled with
    # -fcf-protection, so the note is set here. (The start files' _init and _fini have no IBT
    # landing pads; no Linux kernel enforces IBT in user space, and glibc turns CET on only when
    # every object loaded is marked, which Debian 12's own libc is not.)
    if("-fcf-protection" IN_LIST c_flags)
        telvane_supported_flags(link_flags LINK -Wl,-z,ibt -Wl,-z,shstk)
    endif()
    # mingw-w64 links the stack protector's runtime (libssp, which also has the fortified
    # functions) only when the link is given the flag too; glibc has both built in.
    if(MINGW AND "-fstack-protector-strong" IN_LIST cxx_flags)
        list(APPEND link_flags -fstack-protector-strong)
    endif()
    if(TELVANE_SANITIZE OR CMAKE_BUILD_TYPE STREQUAL "Debug")
        list(FILTER preprocessor_flags EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
    endif()
    list(JOIN preprocessor_flags " " shown_preprocessor)
    list(JOIN cxx_flags " " shown_compiler)
    list(JOIN link_flags " " shown_linker)
    message(STATUS "Hardening: ${shown_preprocessor} ${shown_compiler} ${shown_linker}")

    # Only for the compilers: the Windows resource compiler takes none of these.
    foreach(flag IN LISTS preprocessor_flags)
        add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:${flag}>)
    endforeach()
    foreach(flag IN LISTS c_flags)
        add_compile_options($<$<COMPILE_LANGUAGE:C>:${flag}>)
    endforeach()
    foreach(flag IN LISTS cxx_flags)
        add_compile_options($<$<COMPILE_LANGUAGE:CXX>:${flag}>)
    endforeach()
    add_link_options(${link_flags})

    # Programs are position-independent executables: with policy CMP0083, the check lets
    # CMAKE_POSITION_INDEPENDENT_CODE link them with -pie.
    if(NOT WIN32)
        include(CheckPIESupported)
        check_pie_supported(LANGUAGES C CXX)
    endif()
endif()
