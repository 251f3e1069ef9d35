# Installs the component the way a host finds it: the library, its public headers, a CMake
# package (find_package(ZelvarPatLookup) -> ZelvarPatLookup::ZelvarPatLookup) and a
# pkg-config file.
include(CMakePackageConfigHelpers)

set(ZELVAR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZelvarPatLookup)

# Two install components, packaged apart: "runtime" (the shared library) and "dev" (what a
# host builds with).
install(TARGETS ZelvarPatLookup EXPORT ZelvarPatLookupTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/zelvar DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT ZelvarPatLookupTargets
    NAMESPACE ZelvarPatLookup::
    DESTINATION ${ZELVAR_CMAKE_DIR} COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZelvarPatLookupConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ZelvarPatLookupConfig.cmake
    INSTALL_DESTINATION ${ZELVAR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZelvarPatLookupConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/ZelvarPatLookupConfig.cmake
    ${PROJECT_BINARY_DIR}/ZelvarPatLookupConfigVersion.cmake
    DESTINATION ${ZELVAR_CMAKE_DIR} COMPONENT dev)

# The pkg-config file finds the prefix from its own place, however deep the library folder is.
file(RELATIVE_PATH ZELVAR_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" ZELVAR_PC_TO_PREFIX "${ZELVAR_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/ZelvarPatLookup.pc.in
    ${PROJECT_BINARY_DIR}/ZelvarPatLookup.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ZelvarPatLookup.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
