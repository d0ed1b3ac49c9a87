# The Windows programs (scripts/windows.sh): icon and version information in both executables,
# and an install step that lays out the unpack-and-run folder of the zip and the installer: the
# programs with the Qt and MinGW runtime (cmake/windows_runtime.cmake) beside them.

# Icon, manifest and version information, one resource script per executable.
function(add_windows_resources target description)
    set(RC_NAME ${target})
    set(RC_FILE_NAME ${target}.exe)
    set(RC_DESCRIPTION ${description})
    set(RC_ICON ${CMAKE_SOURCE_DIR}/packaging/windows/dovi2tarvel.ico)
    set(RC_MANIFEST ${CMAKE_SOURCE_DIR}/packaging/windows/dovi2tarvel.manifest)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/version.rc.in
                   ${CMAKE_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/${target}.rc)
    # Offices run programs over Remote Desktop: no compatibility shims there.
    target_link_options(${target} PRIVATE -Wl,--tsaware)
    # The Qt 5.15 programs are for the offices' older computers: Windows 7 (6.1) and later.
    if(QT_MAJOR EQUAL 5)
        target_link_options(${target} PRIVATE -Wl,--major-subsystem-version,6
                            -Wl,--minor-subsystem-version,1)
    endif()
endfunction()
add_windows_resources(dovi2tarvel "Конвертер данных лесоустройства")
add_windows_resources(dovi2tarvel-cli "Конвертер данных лесоустройства: консольная программа")
# The window opens no console of its own.
set_target_properties(dovi2tarvel PROPERTIES WIN32_EXECUTABLE ON)

# The unpack-and-run folder: cmake --install BUILD --prefix FOLDER. The data lies beside the
# programs.
set(INSTALLED_DATA_FOLDER .)
install(TARGETS dovi2tarvel dovi2tarvel-cli RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:Qt${QT_MAJOR}::Core> $<TARGET_FILE:Qt${QT_MAJOR}::Gui> $<TARGET_FILE:Qt${QT_MAJOR}::Widgets>
              ${MINGW_RUNTIME} DESTINATION .)
install(FILES ${QT_WINDOWS_PLUGINS}/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${QT_WINDOWS_PLUGINS}/styles/qwindowsvistastyle.dll DESTINATION styles)
install(FILES ${QT_RUSSIAN_TRANSLATION} DESTINATION translations)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/windows/qt.conf DESTINATION .)
if(TARGET sprav_mdb)
    install(FILES ${PROGRAM_DIR}/sprav.mdb DESTINATION .)
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/help/ DESTINATION help)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/nsi/ DESTINATION nsi FILES_MATCHING PATTERN "*.000")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/samples/ DESTINATION samples
        FILES_MATCHING PATTERN "*.txt")

# --strip strips the programs; the DLLs beside them, installed as plain files, are stripped here
# alike: Debian's MinGW runtime and a release build of Qt carry their symbols (libstdc++-6.dll
# alone is 24 MB with them).
set(INSTALLED_DLLS platforms/qwindows.dll styles/qwindowsvistastyle.dll)
foreach(path ${MINGW_RUNTIME})
    get_filename_component(name ${path} NAME)
    list(APPEND INSTALLED_DLLS ${name})
endforeach()
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(dll $<TARGET_FILE_NAME:Qt${QT_MAJOR}::Core> $<TARGET_FILE_NAME:Qt${QT_MAJOR}::Gui>
                    $<TARGET_FILE_NAME:Qt${QT_MAJOR}::Widgets> ${INSTALLED_DLLS})
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${dll}\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")
