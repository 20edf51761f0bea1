# Installs the project into a scratch prefix, builds tinyplugin against it and asks the host
# for the plug-in's identity.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install into ${WORK_DIR}/prefix failed")
endif()
foreach(file include/vqrt/vqrt.h include/vqrt/plugin.h)
    if(NOT EXISTS ${WORK_DIR}/prefix/${file})
        message(FATAL_ERROR "the install lacks ${file}")
    endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
                        -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configuring the tiny plug-in failed:\n${out}\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "building the tiny plug-in failed:\n${out}\n${err}")
endif()
execute_process(COMMAND ${HOST} --info ${WORK_DIR}/build/libtiny.so
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Name: +Tiny\n" OR NOT out MATCHES "Internal: +NeutralCategory\n"
   OR NOT out MATCHES "Version: +2\\.3\n")
    message(FATAL_ERROR "the host did not read the tiny plug-in (status ${rc}):\n${out}\n${err}")
endif()

# The installed host finds its library and the installed ICQ plug-in by itself.
execute_process(COMMAND ${WORK_DIR}/prefix/bin/tolvane-import --info
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Name: +ICQ\n")
    message(FATAL_ERROR "the installed host did not load the installed plug-in (status ${rc}):\n${out}\n${err}")
endif()
