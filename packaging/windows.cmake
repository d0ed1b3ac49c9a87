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
