# What `cmake --install` puts in place: the two libraries hosts link (libwinshim.so.N,
# libvrgdi32.so.N), the filter module in a directory of its own, the public headers, xpmimport
# and its manual, a CMake package (find_package(xpmfilter)) and pkg-config files. Each file
# belongs to one component, which is one Debian package (cmake/packaging.cmake):
#   winshim, vrgdi32  the shared libraries
#   filter            the module, xpmimport, its manual, the guides
#   dev               headers, the libraries' unversioned names, the CMake and pkg-config files
include(CMakePackageConfigHelpers)

set(XPMFILTER_DEB_NAME_winshim libwinshim${XPMFILTER_WINSHIM_SOVERSION})
set(XPMFILTER_DEB_NAME_vrgdi32 libvrgdi32-${XPMFILTER_VRGDI32_SOVERSION})
set(XPMFILTER_DEB_NAME_filter xpmfilter)
set(XPMFILTER_DEB_NAME_dev xpmfilter-dev)

install(TARGETS winshim EXPORT xpmfilterTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT winshim NAMELINK_COMPONENT dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS vrgdi32 EXPORT xpmfilterTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT vrgdi32 NAMELINK_COMPONENT dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The filter is a module that hosts load by path; nothing links to it.
install(TARGETS xpmfilter LIBRARY DESTINATION ${XPMFILTER_MODULE_DIR} COMPONENT filter)
install(TARGETS xpmimport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT filter)
install(DIRECTORY include/xpmfilter include/vrgdi32 include/winshim
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES docs/host-guide.md README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT filter)

# The manual page and the Debian changelogs, compressed as Debian wants them (gzip -9n: no
# name, no time stamp).
set(XPMFILTER_DEB_MAINTAINER "xpmfilter developers <xpmfilter@example.org>" CACHE STRING
    "Maintainer of the Debian packages (name <address>)")
set(compressed ${CMAKE_BINARY_DIR}/compressed)
configure_file(cmake/debian/changelog.in ${compressed}/changelog @ONLY)
add_custom_command(OUTPUT ${compressed}/xpmimport.1.gz ${compressed}/changelog.gz
  COMMAND sh -c "gzip -9n -c \"$1\" >\"$2\"" gzip ${PROJECT_SOURCE_DIR}/docs/xpmimport.1 ${compressed}/xpmimport.1.gz
  COMMAND sh -c "gzip -9n -c \"$1\" >\"$2\"" gzip ${compressed}/changelog ${compressed}/changelog.gz
  DEPENDS docs/xpmimport.1 ${compressed}/changelog VERBATIM)
add_custom_target(xpmfilter_compressed_docs ALL DEPENDS ${compressed}/xpmimport.1.gz ${compressed}/changelog.gz)
install(FILES ${compressed}/xpmimport.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT filter)
# Every package carries its copyright and changelog; a plain install needs them once, under
# the docs of the filter.
foreach(component winshim vrgdi32 filter dev)
  set(package ${XPMFILTER_DEB_NAME_${component}})
  install(FILES cmake/debian/copyright ${compressed}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component}
          EXCLUDE_FROM_ALL)
endforeach()
install(FILES cmake/debian/copyright ${compressed}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT plain_install_docs)

set(XPMFILTER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/xpmfilter)
install(EXPORT xpmfilterTargets NAMESPACE xpmfilter:: DESTINATION ${XPMFILTER_CMAKE_DIR}
        COMPONENT dev)
configure_package_config_file(cmake/xpmfilterConfig.cmake.in
  ${CMAKE_BINARY_DIR}/xpmfilterConfig.cmake
  INSTALL_DESTINATION ${XPMFILTER_CMAKE_DIR}
  PATH_VARS XPMFILTER_MODULE_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/xpmfilterConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/xpmfilterConfig.cmake ${CMAKE_BINARY_DIR}/xpmfilterConfigVersion.cmake
        DESTINATION ${XPMFILTER_CMAKE_DIR} COMPONENT dev)

# The pkg-config files are written when installing, for the prefix installed to: plain
# absolute paths, and, for any prefix but /usr, a run path to its library directory in
# Libs, so that a host built against the prefix starts without LD_LIBRARY_PATH and takes
# that prefix's libwinshim even when the system has another.
install(CODE "
  set(XPMFILTER_PC_TEMPLATES \"${PROJECT_SOURCE_DIR}/cmake\")
  set(XPMFILTER_PC_STAGING \"${CMAKE_BINARY_DIR}/pkgconfig\")
  set(XPMFILTER_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(XPMFILTER_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(XPMFILTER_PC_MODULE_DIR \"${XPMFILTER_MODULE_DIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")" COMPONENT dev)
install(SCRIPT cmake/install_pkgconfig.cmake COMPONENT dev)

# Installed binaries find their libraries relative to where they are, so a tree unpacked
# anywhere (dpkg -x, a relocated prefix) works as installed, and the module takes the
# libvrgdi32 of its own install.
file(RELATIVE_PATH XPMFILTER_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(xpmimport PROPERTIES INSTALL_RPATH "$ORIGIN/${XPMFILTER_BIN_TO_LIB}")
set_target_properties(xpmfilter PROPERTIES INSTALL_RPATH "$ORIGIN/..")
set_target_properties(vrgdi32 PROPERTIES INSTALL_RPATH "$ORIGIN")
