# Builds the Debian package into WORK with cpack, unpacks it into WORK/root with dpkg -x and
# checks what a user gets: the declared dependencies, the menu entry and its icon, nothing of
# the tests or benchmarks, a manual page and --version for every program, and a
# tolvane-import that takes libvqrt and the plug-in from the unpacked tree on its run path
# alone.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(root ${WORK}/root)
unset(ENV{LD_LIBRARY_PATH})

# Runs a command that must succeed; its standard output lands in `out`.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        list(JOIN ARGN " " command)
        message(FATAL_ERROR "${command}: exit ${rc}\n${out}${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

# Fails unless `text` holds `part`.
function(expect_in text part what)
    string(FIND "${text}" "${part}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${what}:\n${text}")
    endif()
endfunction()

# Where ldd's `lines` resolve `soname`; empty when they do not.
function(library_path lines soname result)
    set(${result} "" PARENT_SCOPE)
    string(REPLACE "\n" ";" lines "${lines}")
    foreach(line IN LISTS lines)
        string(STRIP "${line}" line)
        string(FIND "${line}" "${soname} => " at)
        if(at EQUAL 0 AND NOT line MATCHES "=> not found")
            string(REGEX MATCH "=> ([^ ]+)" found "${line}")
            set(${result} "${CMAKE_MATCH_1}" PARENT_SCOPE)
        endif()
    endforeach()
endfunction()

run(${CPACK} -G DEB --config ${CONFIG} -B ${WORK})
file(GLOB deb ${WORK}/*.deb)
list(LENGTH deb count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package in ${WORK}, found: ${deb}")
endif()

run(${DPKG_DEB} --field ${deb} Package Version Depends)
set(fields "${out}")
foreach(field "Package: tolvane" "Version: ${VERSION}" " tzdata")
    expect_in("${fields}" "${field}" "the control fields lack ${field}")
endforeach()
# The package names of Depends, without their versions.
string(REGEX MATCH "Depends: [^\n]*" depends "${fields}")
string(REGEX REPLACE "^Depends: | \\([^)]*\\)" "" depends "${depends}")
string(REPLACE ", " ";" depends "${depends}")

run(${DPKG_DEB} -x ${deb} ${root})

# Every library that a packaged program or library links and the package does not hold
# comes from a Debian package that Depends names.
file(GLOB_RECURSE binaries LIST_DIRECTORIES false ${root}/usr/bin/* ${root}/usr/lib/*.so.*)
foreach(binary IN LISTS binaries)
    if(IS_SYMLINK ${binary})
        continue()
    endif()
    run(objdump -p ${binary})
    string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${out}")
    run(ldd ${binary})
    set(resolved "${out}")
    foreach(entry IN LISTS needed)
        string(REGEX REPLACE "NEEDED +" "" soname "${entry}")
        library_path("${resolved}" ${soname} path)
        if(path STREQUAL "")
            message(FATAL_ERROR "${binary}: ${soname} is not found")
        endif()
        string(FIND "${path}" "${root}/" inside)
        if(inside EQUAL 0)
            continue()
        endif()
        # dpkg knows a library by the path its package installed, with or without /usr.
        file(REAL_PATH ${path} real)
        string(REGEX REPLACE "^/usr/" "/" short "${real}")
        execute_process(COMMAND dpkg-query -S ${real} /usr${short} ${short}
                        OUTPUT_VARIABLE owner ERROR_QUIET)
        string(REGEX MATCH "^[^:]+" owner "${owner}")
        if(owner STREQUAL "")
            message(FATAL_ERROR "${binary}: no Debian package holds ${real}")
        endif()
        if(NOT owner IN_LIST depends)
            message(FATAL_ERROR "${binary} needs ${soname} of ${owner}, which Depends lacks: "
                                "${depends}")
        endif()
    endforeach()
endforeach()

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
foreach(file IN LISTS files)
    if(file MATCHES "(^|/)(tests?|bench|fuzz)(/|$)|_test|gtest|gmock|benchmark")
        message(FATAL_ERROR "the package holds ${file}")
    endif()
endforeach()
foreach(file usr/share/applications/tolvane.desktop
             usr/share/icons/hicolor/32x32/apps/tolvane.png
             usr/bin/tolvane-import usr/bin/tolvane usr/bin/tolvane-mkwin)
    if(NOT EXISTS ${root}/${file})
        message(FATAL_ERROR "the package lacks ${file}")
    endif()
endforeach()

# Each program has its manual page, and starts from the unpacked tree to tell its version.
file(GLOB programs RELATIVE ${root}/usr/bin ${root}/usr/bin/*)
foreach(program IN LISTS programs)
    if(NOT EXISTS ${root}/usr/share/man/man1/${program}.1.gz)
        message(FATAL_ERROR "${program} has no manual page")
    endif()
    run(${root}/usr/bin/${program} --version)
    if(NOT out STREQUAL "${program} ${VERSION}\n")
        message(FATAL_ERROR "${program} --version said: ${out}")
    endif()
endforeach()

set(import ${root}/usr/bin/tolvane-import)
run(ldd ${import})
expect_in("${out}" "libvqrt.so.1 => ${root}/usr/" "tolvane-import takes a libvqrt from elsewhere")
run(${import} --info)
expect_in("${out}" " ${root}/usr/lib" "tolvane-import takes a plug-in from elsewhere")
