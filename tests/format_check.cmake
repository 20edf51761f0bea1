# Fails when a C++ file of the project differs from what clang-format makes of it. Only .cpp
# and .h files: the .xpm pictures that src/bitmap includes stay as drawn, one row a line.
execute_process(COMMAND git -C ${SOURCE_DIR} ls-files "*.cpp" "*.h"
                OUTPUT_VARIABLE files RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(STATUS "not a git checkout; nothing to check")
    return()
endif()
string(REPLACE "\n" ";" files "${files}")
set(unformatted "")
foreach(file IN LISTS files)
    if(file STREQUAL "")
        continue()
    endif()
    execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${SOURCE_DIR}/${file}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    if(NOT rc EQUAL 0)
        list(APPEND unformatted ${file})
    endif()
endforeach()
if(unformatted)
    string(REPLACE ";" "\n  " listing "${unformatted}")
    message(FATAL_ERROR "not formatted as .clang-format says (run clang-format -i):\n  ${listing}")
endif()
