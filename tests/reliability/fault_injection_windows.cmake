# The Windows program under Wine, through its own seam: every call of an import and of a
# formation fails in turn with an input/output error, and every call that opens or names a file
# is refused as a file another program holds and as access denied; a sample of calls ends the
# program or fills the disk (every STRIDE-th call and each that renames, links, removes, makes a
# folder, locks or holds a file). A Wine process takes up to a second to start, and a kill costs
# three: the sample keeps the suite's time down.
add_executable(fault_injection ${CMAKE_CURRENT_LIST_DIR}/fault_injection.cpp)
target_link_libraries(fault_injection PRIVATE Qt${QT_MAJOR}::Core)
set_target_properties(fault_injection PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(fault_injection dovi2tarvel-cli)
if(TARGET sprav_mdb)
    add_dependencies(fault_injection sprav_mdb)
endif()

set(FAULT_INJECTION_STRIDE 4)
# The import meets every kind of fault; the formation and the share without hard links (where the
# old file moves aside instead) the disk's and a kill, to keep the suite's time down.
# The 32-bit program runs the same code built for another processor: its import meets an
# input/output error at every call and a sample of kills, which keeps CI's time for both.
set(runs import form import:no-links)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(runs import)
endif()
foreach(run ${runs})
    string(REPLACE ":" ";" parts ${run})
    list(GET parts 0 operation)
    set(options --modes eio,kill,enospc,sharing,denied --every eio,sharing,denied)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(options --modes eio,kill --every eio)
    elseif(run STREQUAL "form")
        set(options --modes eio,kill,enospc --every eio)
    elseif(run MATCHES ":no-links$")
        set(options --modes eio,kill --every eio --no-links)
    endif()
    string(REPLACE ":" "-" name fault_injection_${run})
    add_test(NAME ${name}
             COMMAND fault_injection ${operation} $<TARGET_FILE:dovi2tarvel-cli> -
                     ${CMAKE_SOURCE_DIR} ${options} --stride ${FAULT_INJECTION_STRIDE})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${WINDOWS_TEST_ENVIRONMENT}"
                                            TIMEOUT 1500)
endforeach()
