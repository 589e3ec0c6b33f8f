# `cpack -G DEB` in a build tree makes xpmfilter_VERSION_ARCH.deb for Debian 12.
set(CPACK_PACKAGE_NAME xpmfilter)
set(CPACK_PACKAGE_VENDOR "xpmfilter developers")
set(CPACK_PACKAGE_CONTACT "xpmfilter developers <xpmfilter@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "XPM import filter module, its graphics library and the xpmimport tool")
set(CPACK_PACKAGE_DESCRIPTION "A graphic import filter for XPM pictures that hosts load as a module; \
it returns each picture as an Enhanced or Windows Metafile. Includes the xpmimport command-line \
converter (XPM to EMF, WMF or PNG), the headers and CMake and pkg-config files for hosts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
