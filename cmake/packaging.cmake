# `cpack -G DEB` in a build tree makes four Debian 12 packages, one per install component
# (cmake/install.cmake), named as Debian names them:
#   libwinshim1, libvrgdi32-1   the shared libraries (by their SONAMEs), with shlibs files
#   xpmfilter                   the module, xpmimport and its manual
#   xpmfilter-dev               headers, unversioned library names, CMake and pkg-config files
set(CPACK_PACKAGE_NAME xpmfilter)
set(CPACK_PACKAGE_VENDOR "xpmfilter developers")
set(CPACK_PACKAGE_CONTACT "${XPMFILTER_DEB_MAINTAINER}")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL winshim vrgdi32 filter dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries of the other packages are found in the build; their dependencies are the
# component dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# CPack calls ldconfig from postinst and postrm; Debian uses a trigger instead.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_ldconfig_trigger.cmake)

foreach(component winshim vrgdi32 filter dev)
  string(TOUPPER ${component} c)
  set(CPACK_DEBIAN_${c}_PACKAGE_NAME ${XPMFILTER_DEB_NAME_${component}})
endforeach()
set(CPACK_DEBIAN_WINSHIM_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_VRGDI32_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_FILTER_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_VRGDI32_DEPENDS winshim)
set(CPACK_COMPONENT_FILTER_DEPENDS winshim vrgdi32)
set(CPACK_COMPONENT_DEV_DEPENDS winshim vrgdi32 filter)

# Debian descriptions: a synopsis, then lines of at most 80 characters.
set(CPACK_COMPONENT_WINSHIM_DESCRIPTION "Win32 subset on POSIX for the XPM import filter
Movable global and local memory, private profile (INI) files, module and
Windows directory names, string and version resources and metafile handles,
as the XPM import filter, its graphics library and their hosts share them:
one copy per process, so that handles cross between them.")
set(CPACK_COMPONENT_VRGDI32_DESCRIPTION "graphics library of the XPM import filter
Input streams (files, memory blocks, a host's read routine), the writer that
makes Enhanced and Windows Metafiles, host option sets and the import job
with its status procedure, for the XPM import filter and its hosts.")
set(CPACK_COMPONENT_FILTER_DESCRIPTION "XPM import filter module and the xpmimport converter
A graphic import filter for XPM pictures that hosts load as a module: it
returns each picture as an Enhanced or Windows Metafile. xpmimport converts
XPM files to EMF, WMF or PNG through the module, as any host would.")
set(CPACK_COMPONENT_DEV_DESCRIPTION "XPM import filter: headers and build files for hosts
The headers of the filter's records and exports, of its graphics library and
of the Win32 subset, with CMake (find_package(xpmfilter)) and pkg-config files
that name the libraries to link and the module to load.")
include(CPack)
