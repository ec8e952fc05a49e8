# Tessary as other programs use it: the versioned shared library, tessary.h with its generated
# version header, a CMake package (find_package(Tessary) gives Tessary::tessary), a pkg-config
# file, and the alias that gives add_subdirectory users the same target name.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TESSARY_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
set_target_properties(tessary PROPERTIES
  PUBLIC_HEADER "${PROJECT_SOURCE_DIR}/include/tessary.h;${TESSARY_GENERATED_INCLUDE_DIR}/tessary_version.h")
target_include_directories(tessary PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${TESSARY_GENERATED_INCLUDE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
if(NOT WIN32)
  # libtessary.so -> libtessary.so.0 (the SONAME) -> libtessary.so.0.2.0. Within a major
  # version the library only adds exports, so hosts bind the major version alone.
  set_target_properties(tessary PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()
add_library(Tessary::tessary ALIAS tessary)

set(TESSARY_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessary)
install(TARGETS tessary EXPORT TessaryTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT TessaryTargets NAMESPACE Tessary:: DESTINATION ${TESSARY_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TessaryConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TessaryConfig.cmake INSTALL_DESTINATION ${TESSARY_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TessaryConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TessaryConfig.cmake ${PROJECT_BINARY_DIR}/TessaryConfigVersion.cmake
  DESTINATION ${TESSARY_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so an installed tree may be moved; only
# directories given as absolute paths are written as they are.
set(TESSARY_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(TESSARY_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(TESSARY_PC_LIBDIR ${CMAKE_INSTALL_FULL_LIBDIR})
  set(TESSARY_PC_INCLUDEDIR ${CMAKE_INSTALL_FULL_INCLUDEDIR})
else()
  file(RELATIVE_PATH up /prefix/${TESSARY_PC_DIR} /prefix)
  string(REGEX REPLACE "/$" "" up "${up}")
  set(TESSARY_PC_PREFIX "\${pcfiledir}/${up}")
  set(TESSARY_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(TESSARY_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessary.pc.in ${PROJECT_BINARY_DIR}/tessary.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tessary.pc DESTINATION ${TESSARY_PC_DIR})

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
