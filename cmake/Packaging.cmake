# Debian packages, one per install component (cpack -G DEB in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr, so that the libraries go to the distribution's multiarch folder):
#
#   component     package         holds
#   Program       telvane         the program, Lumadec (private folder), translations, desktop entry,
#                                 icon
#   Runtime       libkorvex1      libKorvex.so.1
#   Development   libkorvex-dev   Korvex.h, libKorvex.so, korvex.pc, the CMake package (and
#                                 korvexctl)
#   Bridge        korvex-mqtt     the MQTT bridge, its systemd unit and /etc/korvex-mqtt.conf
#
# LumadecDevelopment (Lumadec's header, .pc and CMake package) goes into no package: nothing outside
# this repository builds against Lumadec.
#
# Dependencies on the system's libraries are computed from the binaries by dpkg-shlibdeps; those
# between our own packages are exact versions.

set(TELVANE_PACKAGE_CONTACT "Telvane developers <telvane-dev@lists.invalid>")
set(TELVANE_PACKAGE_RELEASE 1)
set(TELVANE_PACKAGE_VERSION ${PROJECT_VERSION}-${TELVANE_PACKAGE_RELEASE})

set(telvane_components Runtime Development)
if(TARGET Telvane)
    list(PREPEND telvane_components Program)
endif()
if(TARGET korvex-mqtt)
    list(APPEND telvane_components Bridge)
endif()

# Debian wants a copyright file and a compressed changelog in /usr/share/doc/<package>. They are
# left out of a plain cmake --install (EXCLUDE_FROM_ALL); cpack installs them with their component.
set(telvane_doc_sources ${CMAKE_BINARY_DIR}/debian)
# The date of the build, or SOURCE_DATE_EPOCH's for a reproducible one.
string(TIMESTAMP TELVANE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(component IN LISTS telvane_components)
    if(component STREQUAL "Program")
        set(package telvane)
    elseif(component STREQUAL "Runtime")
        set(package libkorvex1)
    elseif(component STREQUAL "Bridge")
        set(package korvex-mqtt)
    else()
        set(package libkorvex-dev)
    endif()
    set(doc_dir ${telvane_doc_sources}/${package})
    file(MAKE_DIRECTORY ${doc_dir})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${doc_dir}/copyright COPYONLY)
    set(TELVANE_CHANGELOG_PACKAGE ${package})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${doc_dir}/changelog.Debian
        @ONLY)
    # gzip -9n: maximal compression, no name or time stamp (what dh_compress does).
    execute_process(COMMAND gzip -9nf ${doc_dir}/changelog.Debian RESULT_VARIABLE gzip_failed)
    if(gzip_failed)
        message(FATAL_ERROR "gzip failed on ${doc_dir}/changelog.Debian")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides
        ${doc_dir}/lintian-overrides @ONLY)
    if(component STREQUAL "Runtime")
        # CPack writes postinst and postrm scripts that run ldconfig for every library in /usr/lib
        # and offers no way out; the trigger below does the same job, so they are only redundant.
        file(APPEND ${doc_dir}/lintian-overrides
            "# CPack's postinst and postrm run ldconfig; the package's ldconfig trigger does the\n"
            "# same, so they are only redundant.\n"
            "${package}: maintscript-calls-ldconfig *\n")
    elseif(component STREQUAL "Program")
        file(APPEND ${doc_dir}/lintian-overrides
            "# \"Unknow\" is the upgrade status the window shows before an upload, the word that\n"
            "# the devices' operators know; it stays as it is.\n"
            "${package}: spelling-error-in-binary Unknow Unknown [usr/bin/Telvane]\n")
    elseif(component STREQUAL "Bridge")
        file(APPEND ${doc_dir}/lintian-overrides
            "# The bridge is a daemon for systemd machines; elsewhere a site's own supervisor runs\n"
            "# /usr/sbin/korvex-mqtt, which stays in the foreground and needs no init script.\n"
            "${package}: package-supports-alternative-init-but-no-init.d-script *\n")
    else()
        file(APPEND ${doc_dir}/lintian-overrides
            "# korvexctl is the SDK's command-line tool, for installers' scripts and for trying the\n"
            "# library out; it is built on Korvex.h alone and ships with it.\n"
            "${package}: development-package-ships-elf-binary-in-path [usr/bin/korvexctl]\n")
    endif()
    install(FILES ${doc_dir}/copyright ${doc_dir}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
        COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${doc_dir}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
    string(TOUPPER ${component} COMPONENT)
    set(CPACK_DEBIAN_${COMPONENT}_PACKAGE_NAME ${package})
endforeach()

# Manual pages, compressed as Debian wants them: one per program, in the program's package.
function(telvane_manual_page name component)
    set(manual ${telvane_doc_sources}/${name}.1)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/${name}.1 ${manual} COPYONLY)
    execute_process(COMMAND gzip -9nf ${manual} RESULT_VARIABLE gzip_failed)
    if(gzip_failed)
        message(FATAL_ERROR "gzip failed on ${manual}")
    endif()
    install(FILES ${manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()
if(TARGET Telvane)
    telvane_manual_page(Telvane Program)
endif()
if(TARGET korvexctl)
    telvane_manual_page(korvexctl Development)
endif()

# The shared library's shlibs entry, its symbols file and the ldconfig trigger (CPack itself can
# generate shlibs only for every package at once, and would list the program's private Lumadec
# too). The symbols file lists each exported symbol with its version node and the version that
# added it; cmake/debian/staged-files.cmake holds it against the library being packaged.
file(WRITE ${telvane_doc_sources}/runtime-control/shlibs
    "libKorvex 1 libkorvex1 (>= ${TELVANE_PACKAGE_VERSION})\n")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/libkorvex1.symbols
    ${telvane_doc_sources}/runtime-control/symbols COPYONLY)
file(WRITE ${telvane_doc_sources}/runtime-control/triggers "activate-noawait ldconfig\n")
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/staged-files.cmake)
set(CPACK_TELVANE_STRIP ${CMAKE_STRIP})
set(CPACK_TELVANE_PACKAGE_VERSION ${TELVANE_PACKAGE_VERSION})
set(CPACK_TELVANE_SYMBOLS_PACKAGE libkorvex1)
set(CPACK_TELVANE_SYMBOLS_FILE ${PROJECT_SOURCE_DIR}/cmake/debian/libkorvex1.symbols)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telvane)
set(CPACK_PACKAGE_VENDOR "Telvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TELVANE_PACKAGE_CONTACT})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL ${telvane_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TELVANE_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries are found in the build tree; their packages are named by the component
# dependencies below instead (dpkg-shlibdeps knows no package for them yet).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/SDK/Korvex ${CMAKE_BINARY_DIR}/SDK/Lumadec)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_COMPONENT_PROGRAM_DEPENDS Runtime)
# The window's compact UI font, and the glyphs of its Chinese texts.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "fonts-droid-fallback")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "watch and control an HDMI-over-IP extender installation
Telvane (Varnel Pro) shows the live picture and sound of the four
transmitters of an HDMI-over-IP extender installation and sets what its
receiver puts on its HDMI output: the channel layout, the frame rate, the
audio channel and the output resolution. It also drives an actuator, sets a
serial port's baud rate and uploads firmware to the devices.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${telvane_doc_sources}/runtime-control/shlibs
    ${telvane_doc_sources}/runtime-control/symbols ${telvane_doc_sources}/runtime-control/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "HDMI-over-IP extender control library
Korvex speaks the HDMI/1.0 control protocol of HDMI-over-IP extenders:
device settings, the live audio/video stream over TCP or UDP, and firmware
upload, behind a flat C interface.

This package holds the shared library.")

set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "HDMI-over-IP extender control library (development files)
Korvex speaks the HDMI/1.0 control protocol of HDMI-over-IP extenders:
device settings, the live audio/video stream over TCP or UDP, and firmware
upload, behind a flat C interface.

This package holds the header, the pkg-config file and the CMake package
(find_package(Korvex), target Korvex::Korvex).")

# The MQTT bridge (tools/korvex-mqtt): the program, its systemd unit (not enabled: it waits for
# its configuration), the configuration file as a conffile, the manual page.
if(TARGET korvex-mqtt)
    file(WRITE ${telvane_doc_sources}/bridge-control/conffiles "/etc/korvex-mqtt.conf\n")
    set(CPACK_COMPONENT_BRIDGE_DEPENDS Runtime)
    set(CPACK_DEBIAN_BRIDGE_PACKAGE_SECTION net)
    set(CPACK_DEBIAN_BRIDGE_PACKAGE_CONTROL_EXTRA ${telvane_doc_sources}/bridge-control/conffiles)
    set(CPACK_DEBIAN_BRIDGE_DESCRIPTION "HDMI-over-IP extender installation on an MQTT broker
korvex-mqtt publishes the receiver and transmitters of an HDMI-over-IP
extender installation on an MQTT broker: their availability, SystemInfo
and settings, retained, and Home Assistant's discovery messages. It takes
commands (layout, audio, resolution, frame rate, TTL baud rate, actuator,
reset) on set topics and answers each on a result topic.")
endif()

include(CPack)
