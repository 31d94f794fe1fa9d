# kestrix_add_plugin(<target> <source>...)
#
# A Kestrix Studio plug-in: a MODULE library with moc/uic/rcc, linked against
# KestrixStudio::Plugin, that finds the framework once installed, and installs
# into the executable's folder, where the application loads it.
function(kestrix_add_plugin target)
    add_library(${target} MODULE ${ARGN})
    target_link_libraries(${target} PRIVATE KestrixStudio::Plugin)
    set_target_properties(${target} PROPERTIES
        AUTOMOC ON
        AUTOUIC ON
        AUTORCC ON
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        INSTALL_RPATH "${KestrixStudio_PLUGIN_RPATH}")
    install(TARGETS ${target}
        LIBRARY DESTINATION ${KestrixStudio_PLUGIN_INSTALL_DIR}
        RUNTIME DESTINATION ${KestrixStudio_PLUGIN_INSTALL_DIR})
endfunction()
