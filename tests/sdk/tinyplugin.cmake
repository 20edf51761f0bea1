# Installs the project into a scratch prefix, builds tinyplugin against it and asks the host
# for the plug-in's identity.
function(run_step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(JOIN " " command ${ARGN})
        message(FATAL_ERROR "${command}: status ${rc}\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
run_step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
run_step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
         -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix)
run_step(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step(${HOST} --info ${WORK_DIR}/build/libtiny.so)
if(NOT out MATCHES "Name: +Tiny\n" OR NOT out MATCHES "Internal: +NeutralCategory\n"
   OR NOT out MATCHES "Version: +2\\.3\n")
    message(FATAL_ERROR "the host did not read the tiny plug-in:\n${out}")
endif()
