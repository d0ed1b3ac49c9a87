# Installation and the Debian package (scripts/package.sh): both programs in bin/, the program
# folder's data in share/dovi2tarvel/, where the installed programs find it by themselves.
include(GNUInstallDirs)
set(DATA_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/dovi2tarvel)
# Relative to the executable, so that the program finds its data under any prefix.
file(RELATIVE_PATH INSTALLED_DATA_FOLDER ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/dovi2tarvel)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/common/program_folder.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS INSTALLED_DATA_FOLDER="${INSTALLED_DATA_FOLDER}")

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS dovi2tarvel dovi2tarvel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET sprav_mdb)
    install(FILES ${PROGRAM_DIR}/sprav.mdb DESTINATION ${DATA_INSTALL_DIR})
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/help/ DESTINATION ${DATA_INSTALL_DIR}/help)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/nsi/ DESTINATION ${DATA_INSTALL_DIR}/nsi
        FILES_MATCHING PATTERN "*.000")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/samples/ DESTINATION ${DATA_INSTALL_DIR}/samples
        FILES_MATCHING PATTERN "*.txt")
install(FILES ${CMAKE_CURRENT_LIST_DIR}/dovi2tarvel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/dovi2tarvel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages are installed compressed; -n keeps the package reproducible. The Russian page goes
# where man finds it for a Russian locale.
set(MAN_PAGES)
foreach(language en ru)
    set(source ${CMAKE_CURRENT_LIST_DIR}/dovi2tarvel-cli.1)
    set(folder ${CMAKE_INSTALL_MANDIR}/man1)
    if(NOT language STREQUAL "en")
        set(source ${CMAKE_CURRENT_LIST_DIR}/dovi2tarvel-cli.${language}.1)
        set(folder ${CMAKE_INSTALL_MANDIR}/${language}/man1)
    endif()
    set(page ${CMAKE_BINARY_DIR}/man/${language}/dovi2tarvel-cli.1.gz)
    add_custom_command(OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/${language}
        COMMAND gzip -9nc ${source} > ${page}
        DEPENDS ${source})
    install(FILES ${page} DESTINATION ${folder})
    list(APPEND MAN_PAGES ${page})
endforeach()
add_custom_target(man_page ALL DEPENDS ${MAN_PAGES})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dovi2tarvel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "forest inventory converter between Dovi text files and Tarvel GIS tables")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Moves per-stand forest inventory records between the Dovi data-processing system (tab-separated\n\
text files and .000 value books) and the Tarvel GIS (Paradox 7 tables), driven by the Access\n\
dictionary sprav.mdb. A window with a Russian interface (dovi2tarvel) and a console program for\n\
batch work (dovi2tarvel-cli), which also validates Dovi files without creating a database.")
set(CPACK_PACKAGE_CONTACT "dovi2tarvel developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The libraries' packages come from dpkg-shlibdeps; the window also needs Qt's platform plugins
# (only recommended by Qt's own packages) and its Russian translations of the standard buttons.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(QT_MAJOR EQUAL 5)
    # Qt 5's platform plugins come with libqt5gui5, which dpkg-shlibdeps finds.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qttranslations5-l10n")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
endif()
include(CPack)
