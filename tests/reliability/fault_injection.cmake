# The fault-injection run: the console program's file calls fail or end it one by one
# (tests/reliability/fault_injection.cpp), through a preloaded library on Linux and through the
# program's own seam on Windows (src/common/platform_fault.h).
if(NOT TARGET dovi2tarvel-cli)
    return()
endif()
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/fault_injection_windows.cmake)
    return()
endif()
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

# The library runs inside every file call of the program, sanitizers' own included: built plain.
add_library(fault_preload SHARED ${CMAKE_CURRENT_LIST_DIR}/fault_preload.cpp)
target_compile_options(fault_preload PRIVATE -fno-sanitize=all -U_FORTIFY_SOURCE)
target_link_options(fault_preload PRIVATE -fno-sanitize=all)
target_link_libraries(fault_preload PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(fault_preload PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

add_executable(fault_injection ${CMAKE_CURRENT_LIST_DIR}/fault_injection.cpp)
target_link_libraries(fault_injection PRIVATE Qt${QT_MAJOR}::Core)
set_target_properties(fault_injection PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(fault_injection fault_preload dovi2tarvel-cli)
if(TARGET sprav_mdb)
    add_dependencies(fault_injection sprav_mdb)
endif()

# A sanitized program refuses to start unless the sanitizer's runtime comes first; the fault
# library then sits between it and the C library.
set(fault_preloads $<TARGET_FILE:fault_preload>)
if(SANITIZE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(fault_preloads "${asan_runtime} $<TARGET_FILE:fault_preload>")
endif()

# The same on a file system without hard links (FAT: USB sticks), where the old file moves aside
# instead of keeping a second name.
foreach(run import form form-report export check import:no-links form:no-links)
    string(REPLACE ":" ";" parts ${run})
    list(GET parts 0 operation)
    set(options)
    if(run MATCHES ":no-links$")
        set(options --no-links)
    endif()
    string(REPLACE ":" "-" name fault_injection_${run})
    add_test(NAME ${name}
             COMMAND fault_injection ${operation} $<TARGET_FILE:dovi2tarvel-cli> ${fault_preloads}
                     ${CMAKE_SOURCE_DIR} ${options})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;LC_ALL=C.UTF-8"
        TIMEOUT 1500)
endforeach()
