# Windows builds (cross-built with cmake/mingw-w64-x86_64.cmake against Qt 6, or with
# cmake/mingw-w64-i686.cmake against Qt 5.15): where the runtime DLLs are, the build tree runnable
# under Wine, and the tests that need what only Linux has.

# The runtime the programs need: the MinGW compiler's DLLs and Qt's. The 32-bit compiler unwinds
# with DWARF tables, the 64-bit one with Windows' own: their libgcc DLLs are named after that.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(libgcc libgcc_s_dw2-1.dll)
else()
    set(libgcc libgcc_s_seh-1.dll)
endif()
set(MINGW_RUNTIME)
foreach(dll libstdc++-6.dll ${libgcc} libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path ${path} REALPATH)
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "MinGW runtime ${dll} not found")
    endif()
    list(APPEND MINGW_RUNTIME ${path})
endforeach()
# Qt's Russian texts are the same files on Windows; Debian's qt6-translations-l10n and
# qttranslations5-l10n have them.
if(QT_MAJOR EQUAL 6)
    set(QT_WINDOWS_PREFIX ${QT6_INSTALL_PREFIX})
    set(QT_WINDOWS_PLUGINS ${QT_WINDOWS_PREFIX}/${QT6_INSTALL_PLUGINS})
    set(QT_RUSSIAN_TRANSLATION ${QT_HOST_PATH}/share/qt6/translations/qtbase_ru.qm)
else()
    get_filename_component(QT_WINDOWS_PREFIX ${Qt5Core_DIR}/../../.. REALPATH)
    set(QT_WINDOWS_PLUGINS ${QT_WINDOWS_PREFIX}/plugins)
    set(QT_RUSSIAN_TRANSLATION /usr/share/qt5/translations/qtbase_ru.qm)
endif()
if(NOT EXISTS ${QT_RUSSIAN_TRANSLATION})
    message(FATAL_ERROR "${QT_RUSSIAN_TRANSLATION} missing: install Qt's translations")
endif()

# Under Wine the build tree's programs find the DLLs through WINEPATH, Qt's plugins and the
# Russian translation through a qt.conf beside them.
set(WINDOWS_DLL_FOLDERS ${QT_WINDOWS_PREFIX}/bin)
foreach(path ${MINGW_RUNTIME})
    get_filename_component(folder ${path} DIRECTORY)
    list(APPEND WINDOWS_DLL_FOLDERS ${folder})
endforeach()
list(REMOVE_DUPLICATES WINDOWS_DLL_FOLDERS)
set(WINEPATH)
foreach(folder ${WINDOWS_DLL_FOLDERS})
    string(REPLACE "/" "\\" folder "Z:${folder}")
    list(APPEND WINEPATH ${folder})
endforeach()
file(COPY ${QT_RUSSIAN_TRANSLATION} DESTINATION ${CMAKE_BINARY_DIR}/translations)
foreach(folder ${PROGRAM_DIR} ${CMAKE_BINARY_DIR}/tests ${CMAKE_BINARY_DIR}/tools)
    file(WRITE ${folder}/qt.conf "[Paths]\nPrefix = ${QT_WINDOWS_PREFIX}\n"
                                 "Translations = ${CMAKE_BINARY_DIR}/translations\n")
endforeach()
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(WINE_PROGRAM wine)
    if(WINE_PROGRAM)
        file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-run CONTENT
"#!/bin/sh\n\
# Runs a program of this build under Wine with the DLL folders on its path. Wine keeps QT_\n\
# variables for the Qt of Linux; it hands the Windows program those named WINEQT_.\n\
for name in $(env | sed -n 's/^\\(QT_[A-Za-z0-9_]*\\)=.*/\\1/p'); do\n\
    eval \"export WINE$name=\\\"\\$$name\\\"\"\n\
done\n\
WINEPATH='@WINEPATH@' WINEDEBUG=\${WINEDEBUG:--all} exec '${WINE_PROGRAM}' \"$@\"\n" @ONLY)
        file(CHMOD ${CMAKE_BINARY_DIR}/wine-run FILE_PERMISSIONS OWNER_READ OWNER_WRITE
             OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
    endif()
endif()

# Without a console Qt Test writes to the debugger's log; CTest reads its standard error.
set(WINDOWS_TEST_ENVIRONMENT "QT_FORCE_STDERR_LOGGING=1")

# Left out on Windows, by file: these reliability tests mount a tmpfs (a full or read-only disk),
# kill imports under strace, take file modes or read FIFOs and /dev/zero; the Access oracle runs
# mdb-export. (The pxlib cross-checks of other tests are left out with pxlib itself.)
set(WINDOWS_LEFT_OUT_TESTS
    "/tst_(failed_writes|interrupted_import|read_only|odd_inputs|access_oracle)\\.cpp$")
