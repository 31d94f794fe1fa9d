# kestrix_add_test_plugin(<target> ID <id>
#     [NAME <text>] [MAJOR <n>] [MINOR <n>] [BUILD <n>]
#     [TYPES <type>...]            page types the plug-in serves
#     [COMMANDLINE <0|1|2>] [EXITCODE <n>] [CLOSE <n>] [FEATURES <n>]
#     [START_WIDGET <type>]        requested while the plug-in is loaded
#     [USAGE <option>]             first column of its "-h" row
#     [IID_VARIANT current|previous|foreign|none]
#     [OUTPUT_DIRECTORY <dir>])
#
# Builds one small plug-in library from testplugin.cpp. The output folder
# defaults to <build>/tests/plugins/modules; never put test plug-ins into the
# executable's folder, the application would load them. Include this file to
# build plug-ins elsewhere, for instance many plug-ins with different IDs for
# a start-up benchmark.
set(KESTRIX_TEST_PLUGIN_SOURCE ${CMAKE_CURRENT_LIST_DIR}/testplugin.cpp)

function(kestrix_add_test_plugin target)
    cmake_parse_arguments(ARG "" "ID;NAME;MAJOR;MINOR;BUILD;COMMANDLINE;EXITCODE;CLOSE;FEATURES;START_WIDGET;USAGE;IID_VARIANT;OUTPUT_DIRECTORY"
        "TYPES" ${ARGN})
    if(NOT DEFINED ARG_ID)
        message(FATAL_ERROR "kestrix_add_test_plugin(${target}): ID is required")
    endif()
    foreach(pair "NAME;tp${ARG_ID}" "MAJOR;1" "MINOR;0" "BUILD;1" "COMMANDLINE;0" "EXITCODE;0" "CLOSE;0"
            "FEATURES;0" "START_WIDGET;-1" "USAGE;--tp${ARG_ID}" "IID_VARIANT;current"
            "OUTPUT_DIRECTORY;${CMAKE_BINARY_DIR}/tests/plugins/modules")
        list(GET pair 0 key)
        list(GET pair 1 value)
        if(NOT DEFINED ARG_${key})
            set(ARG_${key} "${value}")
        endif()
    endforeach()
    if(NOT ARG_TYPES)
        set(ARG_TYPES 0)
    endif()
    list(JOIN ARG_TYPES "," types)
    string(TOUPPER "${ARG_IID_VARIANT}" variant)

    add_library(${target} MODULE ${KESTRIX_TEST_PLUGIN_SOURCE})
    target_link_libraries(${target} PRIVATE kestrixframework)
    target_compile_definitions(${target} PRIVATE
        TP_ID=${ARG_ID}u "TP_NAME=\"${ARG_NAME}\"" TP_MAJOR=${ARG_MAJOR} TP_MINOR=${ARG_MINOR} TP_BUILD=${ARG_BUILD}
        "TP_TYPES=${types}" TP_COMMANDLINE=${ARG_COMMANDLINE} TP_EXITCODE=${ARG_EXITCODE} TP_CLOSE=${ARG_CLOSE}
        TP_FEATURES=${ARG_FEATURES} TP_START_WIDGET=${ARG_START_WIDGET} "TP_USAGE=\"${ARG_USAGE}\""
        TP_IID_${variant})
    set_target_properties(${target} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
endfunction()
