# Installs the library, its public headers, a pkg-config file and a CMake
# package, so that an application outside the tree can use either
# `pkg-config --cflags --libs tarvel` or `find_package(Tarvel)`.
include(CMakePackageConfigHelpers)

install(TARGETS tarvel EXPORT TarvelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/tarvel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT TarvelTargets NAMESPACE Tarvel::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarvel)

configure_package_config_file(cmake/TarvelConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TarvelConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarvel)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TarvelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TarvelConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/TarvelConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarvel)

# The pkg-config file finds its prefix from its own place, so an installed
# tree can be moved (or installed with --prefix) and still be used.
set(TARVEL_PC_PREFIX "\${pcfiledir}")
string(REPLACE "/" ";" pc_parts "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
foreach(part IN LISTS pc_parts)
  string(APPEND TARVEL_PC_PREFIX "/..")
endforeach()
configure_file(cmake/tarvel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tarvel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarvel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The tarvel tool's manual page and its bash completion.
if(TARVEL_BUILD_TOOLS)
  install(FILES docs/tarvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES tools/tarvel/tarvel.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tarvel)
endif()
