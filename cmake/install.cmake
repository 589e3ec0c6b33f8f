# What `cmake --install` puts in place: the three libraries, the public headers, xpmimport
# and its manual, a CMake package (find_package(xpmfilter)) and pkg-config files.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS winshim vrgdi32 EXPORT xpmfilterTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The filter is a module that hosts load by path; nothing links to it.
install(TARGETS xpmfilter LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS xpmimport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/xpmfilter include/vrgdi32 include/winshim
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES docs/xpmimport.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(XPMFILTER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/xpmfilter)
install(EXPORT xpmfilterTargets NAMESPACE xpmfilter:: DESTINATION ${XPMFILTER_CMAKE_DIR})
configure_package_config_file(cmake/xpmfilterConfig.cmake.in
  ${CMAKE_BINARY_DIR}/xpmfilterConfig.cmake
  INSTALL_DESTINATION ${XPMFILTER_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/xpmfilterConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/xpmfilterConfig.cmake ${CMAKE_BINARY_DIR}/xpmfilterConfigVersion.cmake
        DESTINATION ${XPMFILTER_CMAKE_DIR})

# Relocatable: the prefix is found from where the .pc file lies.
file(RELATIVE_PATH XPMFILTER_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
foreach(pc xpmfilter vrgdi32 winshim)
  configure_file(cmake/${pc}.pc.in ${CMAKE_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# Installed binaries find their libraries relative to where they are, so a tree unpacked
# anywhere (dpkg -x, a relocated prefix) works as installed.
file(RELATIVE_PATH XPMFILTER_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(xpmimport PROPERTIES INSTALL_RPATH "$ORIGIN/${XPMFILTER_BIN_TO_LIB}")
set_target_properties(xpmfilter vrgdi32 PROPERTIES INSTALL_RPATH "$ORIGIN")
install(FILES docs/host-guide.md README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
