# Builds the Debian package with cpack, unpacks it into WORK/root with dpkg -x and checks what
# a user gets: the declared dependencies, the menu entry and its icon, nothing of the tests or
# benchmarks, a manual page and --version for every program, and a tolvane-import that takes
# libvqrt and the plug-in from the unpacked tree on its run path alone.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
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

run(${CPACK} -G DEB --config ${CONFIG} -B ${WORK})
file(GLOB deb ${WORK}/*.deb)
run(dpkg-deb --field ${deb} Package Version Depends)
foreach(field "Package: tolvane" "Version: ${VERSION}" " tzdata")
    expect_in("${out}" "${field}" "the control fields lack ${field}")
endforeach()
# The package names of Depends, without their versions.
string(REGEX MATCH "Depends: [^\n]*" depends "${out}")
string(REGEX REPLACE "^Depends: | \\([^)]*\\)" "" depends "${depends}")
string(REPLACE ", " ";" depends "${depends}")
run(dpkg-deb -x ${deb} ${root})

# Every library that a packaged program or library links and the package does not hold
# comes from a Debian package that Depends names.
file(GLOB_RECURSE binaries LIST_DIRECTORIES false ${root}/usr/bin/* ${root}/usr/lib/*.so.*)
foreach(binary IN LISTS binaries)
    run(objdump -p ${binary})
    string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${out}")
    string(REGEX REPLACE "NEEDED +" "" needed "${needed}")
    run(ldd ${binary})
    foreach(soname IN LISTS needed)
        string(REGEX REPLACE "([.+])" "\\\\\\1" pattern "${soname}")
        if(NOT out MATCHES "\t${pattern} => (/[^ ]+)")
            message(FATAL_ERROR "${binary}: ${soname} is not found")
        endif()
        cmake_path(IS_PREFIX root ${CMAKE_MATCH_1} inside)
        # dpkg knows a library by the path its package installed, with or without /usr.
        file(REAL_PATH ${CMAKE_MATCH_1} real)
        string(REGEX REPLACE "^/usr/" "/" short "${real}")
        execute_process(COMMAND dpkg-query -S ${real} /usr${short} ${short}
                        OUTPUT_VARIABLE owner ERROR_QUIET)
        string(REGEX MATCH "^[^:]+" owner "${owner}")
        if(NOT inside AND NOT owner IN_LIST depends)
            message(FATAL_ERROR "${binary} needs ${real}, of the package '${owner}', which "
                                "Depends lacks: ${depends}")
        endif()
    endforeach()
endforeach()

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
set(forbidden ${files})
list(FILTER forbidden INCLUDE REGEX "(^|/)(tests?|bench|fuzz)(/|$)|_test|gtest|gmock|benchmark")
if(forbidden)
    message(FATAL_ERROR "the package holds ${forbidden}")
endif()
foreach(file usr/share/applications/tolvane.desktop usr/share/icons/hicolor/32x32/apps/tolvane.png
             usr/bin/tolvane-import usr/bin/tolvane usr/bin/tolvane-mkwin)
    expect_in("${files}" "${file}" "the package lacks ${file}")
endforeach()

# Each program has its manual page, and starts from the unpacked tree to tell its version.
file(GLOB programs RELATIVE ${root}/usr/bin ${root}/usr/bin/*)
foreach(program IN LISTS programs)
    expect_in("${files}" "usr/share/man/man1/${program}.1.gz" "${program} has no manual page")
    run(${root}/usr/bin/${program} --version)
    expect_in("${out}" "${program} ${VERSION}\n" "${program} --version said")
endforeach()

run(ldd ${root}/usr/bin/tolvane-import)
expect_in("${out}" "libvqrt.so.1 => ${root}/usr/" "tolvane-import takes a libvqrt from elsewhere")
run(${root}/usr/bin/tolvane-import --info)
expect_in("${out}" " ${root}/usr/lib" "tolvane-import takes a plug-in from elsewhere")
