# Install rules and the CMake package for plug-in authors.
#
# Layout below the prefix:
#   bin/                        kestrix-studio, its plug-ins and helper tools (one
#                               folder: the application loads the libraries beside it)
#   lib/                        libkestrixframework, libkestrixengine, libkm4200ctrl
#   include/kestrixstudio/      the public headers of both libraries and their
#                               export headers
#   lib/cmake/KestrixStudio/    find_package(KestrixStudio): KestrixStudio::Plugin
#
# The executable, the shipped plug-ins and the tools install themselves; this
# file adds the libraries, the headers and the package.
include(CMakePackageConfigHelpers)

set(KESTRIX_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KestrixStudio)
set(KESTRIX_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/kestrixstudio)

install(TARGETS kestrixframework kestrixengine km4200ctrl EXPORT KestrixStudioTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The public face only: what plug-ins include. The bench simulation and the
# shell's own views and pages stay private; no header listed here may
# include one that is not (scripts/test-sdk.sh builds against this list).
set(kestrix_public_headers
    engine/kestrixstudio.h
    engine/programmingengine.h
    widgets/framework/studiopluginprototype.h
    widgets/framework/studiopluginbase.h
    widgets/framework/plugininfo.h
    widgets/framework/widgetsignalbridge.h
    widgets/framework/widgetfactory.h
    widgets/framework/basewidget.h
    board/km4200controller.h
    board/connectionmanager.h
    board/connectable.h
    board/motherboard.h
    board/bootloaderdevice.h
    board/ktmodule.h
    board/hexmodel.h
    board/infopage.h
    board/hexparserfactory.h
    board/hexparser.h
    board/hexwriter.h
    board/boardfactory.h)
list(TRANSFORM kestrix_public_headers PREPEND ${PROJECT_SOURCE_DIR}/)
get_target_property(kestrix_framework_binary_dir kestrixframework BINARY_DIR)
get_target_property(kestrix_engine_binary_dir kestrixengine BINARY_DIR)
get_target_property(kestrix_board_binary_dir km4200ctrl BINARY_DIR)
install(FILES ${kestrix_public_headers}
    ${kestrix_framework_binary_dir}/kestrixframework_export.h
    ${kestrix_engine_binary_dir}/kestrixengine_export.h
    ${kestrix_board_binary_dir}/km4200ctrl_export.h
    DESTINATION ${KESTRIX_INCLUDE_DIR})

install(EXPORT KestrixStudioTargets NAMESPACE KestrixStudio:: DESTINATION ${KESTRIX_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/KestrixStudioConfig.cmake.in
    ${CMAKE_BINARY_DIR}/cmake/KestrixStudioConfig.cmake
    INSTALL_DESTINATION ${KESTRIX_PACKAGE_DIR}
    PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/KestrixStudioConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_BINARY_DIR}/cmake/KestrixStudioConfig.cmake
    ${CMAKE_BINARY_DIR}/cmake/KestrixStudioConfigVersion.cmake
    ${CMAKE_CURRENT_LIST_DIR}/KestrixStudioPlugin.cmake
    DESTINATION ${KESTRIX_PACKAGE_DIR})
