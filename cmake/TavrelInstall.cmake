# Install rules and the exported package, so a host can find_package(Tavrel).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS tavrel tavrel_core EXPORT TavrelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tavrel
  FILES_MATCHING PATTERN "*.h" PATTERN "Internal*.h" EXCLUDE)
install(EXPORT TavrelTargets NAMESPACE Tavrel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TavrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TavrelConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrel)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TavrelConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TavrelConfig.cmake ${PROJECT_BINARY_DIR}/TavrelConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrel)
