# Run by `cmake --install` and cpack (install.cmake sets the XPMFILTER_PC_* variables): writes
# xpmfilter.pc, vrgdi32.pc and winshim.pc for the prefix being installed to.
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(rpath "")
if(NOT prefix STREQUAL "/usr")
  set(rpath " -Wl,-rpath,\${libdir}")
endif()
set(written "")
foreach(pc xpmfilter vrgdi32 winshim)
  configure_file(${XPMFILTER_PC_TEMPLATES}/${pc}.pc.in ${XPMFILTER_PC_STAGING}/${pc}.pc @ONLY)
  list(APPEND written ${XPMFILTER_PC_STAGING}/${pc}.pc)
endforeach()
file(INSTALL ${written} DESTINATION "${CMAKE_INSTALL_PREFIX}/${XPMFILTER_PC_LIBDIR}/pkgconfig")
