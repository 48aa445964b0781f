# telvane_install_development_files(NAME COMPONENT LIBDIR): what builds against the library NAME
# once it is installed, as the install component COMPONENT: its pkg-config file (lower-case
# NAME.pc, from NAME.pc.in in the current source folder) and its CMake package NAME::NAME
# (NAMEConfig.cmake from NAMEConfig.cmake.in, its version file and the exported targets
# NAMETargets). LIBDIR is the library's folder under the prefix. Every path is relative: the .pc
# file finds the prefix from its own folder (@PC_TO_PREFIX@) and the library in @PC_LIBDIR@ under
# it, and the CMake package finds both from its own, so that an installed tree can be moved.
include(CMakePackageConfigHelpers)

function(telvane_install_development_files NAME COMPONENT LIBDIR)
    string(TOLOWER ${NAME} pc_name)
    set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${NAME})
    set(PC_LIBDIR ${LIBDIR})
    file(RELATIVE_PATH PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
    configure_file(${pc_name}.pc.in ${pc_name}.pc @ONLY)
    configure_package_config_file(${NAME}Config.cmake.in ${NAME}Config.cmake
        INSTALL_DESTINATION ${cmake_dir})
    write_basic_package_version_file(${NAME}ConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc_name}.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT ${COMPONENT})
    install(EXPORT ${NAME}Targets NAMESPACE ${NAME}::
        DESTINATION ${cmake_dir} COMPONENT ${COMPONENT})
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${NAME}Config.cmake
        ${CMAKE_CURRENT_BINARY_DIR}/${NAME}ConfigVersion.cmake
        DESTINATION ${cmake_dir} COMPONENT ${COMPONENT})
endfunction()
