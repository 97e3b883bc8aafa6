# `cmake --install`: the static library, the public header, the tool, a CMake package
# (find_package(superpixels CONFIG), target superpixels::superpixels) and a pkg-config file.
# Everything is relocatable: `cmake --install build --prefix DIR` works for any DIR.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SUPERPIXELS_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/superpixels")

install(TARGETS superpixels_engine EXPORT superpixelsTargets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}")
install(DIRECTORY include/superpixels DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(TARGETS superpixels RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

install(EXPORT superpixelsTargets
  NAMESPACE superpixels::
  DESTINATION "${SUPERPIXELS_INSTALL_CMAKEDIR}")
configure_package_config_file(cmake/superpixelsConfig.cmake.in
  "${PROJECT_BINARY_DIR}/superpixelsConfig.cmake"
  INSTALL_DESTINATION "${SUPERPIXELS_INSTALL_CMAKEDIR}")
# 1.x releases keep the public header's interface.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/superpixelsConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/superpixelsConfig.cmake"
  "${PROJECT_BINARY_DIR}/superpixelsConfigVersion.cmake"
  DESTINATION "${SUPERPIXELS_INSTALL_CMAKEDIR}")

# The .pc file finds the prefix from its own place (pkg-config's ${pcfiledir}), so that it stays
# right when the install prefix is chosen at install time.
set(SUPERPIXELS_INSTALL_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
file(RELATIVE_PATH SUPERPIXELS_PC_TO_PREFIX "/prefix/${SUPERPIXELS_INSTALL_PKGCONFIGDIR}" "/prefix")
string(REGEX REPLACE "/$" "" SUPERPIXELS_PC_TO_PREFIX "${SUPERPIXELS_PC_TO_PREFIX}")
configure_file(cmake/superpixels.pc.in "${PROJECT_BINARY_DIR}/superpixels.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/superpixels.pc"
  DESTINATION "${SUPERPIXELS_INSTALL_PKGCONFIGDIR}")
