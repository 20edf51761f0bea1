# Warnings are errors for our own code.
function(tarvex_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A static, position-independent library of one src/ folder, with src/ as its
# public include directory and hidden symbols (the plug-in exports only getObject).
function(tarvex_static_library target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC vqrt_sdk ${ARG_LIBS})
    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    tarvex_warnings(${target})
endfunction()
