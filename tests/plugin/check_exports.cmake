# Fails unless getObject is the only symbol LIB defines (besides _init and _fini) and its
# SONAME is SONAME.
find_program(READELF readelf REQUIRED)
execute_process(COMMAND ${READELF} --wide --dyn-syms --dynamic ${LIB} OUTPUT_VARIABLE out
                RESULT_VARIABLE rc)
# Num: Value Size Type Bind Vis Ndx Name; defined symbols have a section index.
string(REGEX MATCHALL "\n *[0-9]+: [0-9a-f]+ +[0-9]+ [A-Z_]+ +[A-Z]+ +[A-Z]+ +[0-9]+ [^ \n]+" rows
       "${out}")
set(defined "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE ".* " "" name "${row}")
    if(NOT row MATCHES " SECTION " AND NOT name MATCHES "^_(init|fini)$")
        list(APPEND defined "${name}")
    endif()
endforeach()
if(NOT rc EQUAL 0 OR NOT defined STREQUAL "getObject" OR NOT out MATCHES "soname: \\[${SONAME}\\]")
    message(FATAL_ERROR "expected getObject alone and SONAME ${SONAME} in ${LIB}, found: ${defined}")
endif()
