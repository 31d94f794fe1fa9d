# Install rules and the CMake package for plug-in authors.
#
# Layout below the prefix (component runtime unless marked dev):
#   bin/kestrix-studio                  a link to the executable
#   lib/kestrix-studio/                 kestrix-studio, its plug-ins and hex/ (one
#                                       folder: the application loads the libraries
#                                       beside it)
#   lib/kestrix-studio/lib/             libkestrixframework, libkestrixengine,
#                                       libkm4200ctrl (private, found through
#                                       $ORIGIN; the .so links are dev)
#   include/kestrixstudio/              dev: the public headers of the libraries
#                                       and their export headers
#   <libdir>/cmake/KestrixStudio/       dev: find_package(KestrixStudio)
#
# The executable, the shipped plug-ins and the tools install themselves; this
# file adds the libraries, the headers and the package.
include(CMakePackageConfigHelpers)

set(KESTRIX_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KestrixStudio)
set(KESTRIX_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/kestrixstudio)

set_target_properties(kestrixframework kestrixengine km4200ctrl PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS kestrixframework kestrixengine km4200ctrl EXPORT KestrixStudioTargets
    LIBRARY DESTINATION ${KESTRIX_INSTALL_PRIVATE_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${KESTRIX_INSTALL_PRIVATE_LIBDIR} COMPONENT dev
    RUNTIME DESTINATION ${KESTRIX_INSTALL_APPDIR} COMPONENT runtime)

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
    DESTINATION ${KESTRIX_INCLUDE_DIR} COMPONENT dev)

install(EXPORT KestrixStudioTargets NAMESPACE KestrixStudio:: DESTINATION ${KESTRIX_PACKAGE_DIR} COMPONENT dev)
# A plug-in lies in the executable's folder and finds the libraries from there.
file(RELATIVE_PATH KESTRIX_PLUGIN_RPATH /prefix/${KESTRIX_INSTALL_APPDIR} /prefix/${KESTRIX_INSTALL_PRIVATE_LIBDIR})
set(KESTRIX_PLUGIN_RPATH "$ORIGIN/${KESTRIX_PLUGIN_RPATH}")
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/KestrixStudioConfig.cmake.in
    ${CMAKE_BINARY_DIR}/cmake/KestrixStudioConfig.cmake
    INSTALL_DESTINATION ${KESTRIX_PACKAGE_DIR}
    PATH_VARS KESTRIX_INSTALL_APPDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/KestrixStudioConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_BINARY_DIR}/cmake/KestrixStudioConfig.cmake
    ${CMAKE_BINARY_DIR}/cmake/KestrixStudioConfigVersion.cmake
    ${CMAKE_CURRENT_LIST_DIR}/KestrixStudioPlugin.cmake
    DESTINATION ${KESTRIX_PACKAGE_DIR} COMPONENT dev)

# For plug-in authors with the packages only: the guide and the example.
install(FILES ${PROJECT_SOURCE_DIR}/docs/plugin-guide.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrix-studio-dev
    COMPONENT dev)
install(FILES
    ${PROJECT_SOURCE_DIR}/examples/plugin/CMakeLists.txt
    ${PROJECT_SOURCE_DIR}/examples/plugin/exampleplugin.cpp
    ${PROJECT_SOURCE_DIR}/examples/plugin/exampleplugin.h
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrix-studio-dev/examples COMPONENT dev)
