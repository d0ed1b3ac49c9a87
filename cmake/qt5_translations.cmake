# The console program's translations for a build against Qt 5, where Qt's CMake support has no
# qt_add_translations: the host's lrelease builds the .qm files (Qt 6's lrelease writes the format
# Qt 5 reads), and a resource file puts them under :/i18n, as the Qt 6 build does.
find_program(LRELEASE_PROGRAM lrelease PATHS /usr/lib/qt6/bin /usr/lib/qt5/bin NO_DEFAULT_PATH)
if(NOT LRELEASE_PROGRAM)
    message(FATAL_ERROR "lrelease not found: install qt6-l10n-tools")
endif()

function(add_qt5_translations target)
    set(entries)
    set(outputs)
    foreach(ts ${ARGN})
        get_filename_component(name ${ts} NAME_WE)
        set(qm ${CMAKE_CURRENT_BINARY_DIR}/i18n/${name}.qm)
        add_custom_command(OUTPUT ${qm}
            COMMAND ${LRELEASE_PROGRAM} -silent ${CMAKE_CURRENT_SOURCE_DIR}/${ts} -qm ${qm}
            DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ts})
        string(APPEND entries "<file alias=\"${name}.qm\">${qm}</file>")
        list(APPEND outputs ${qm})
    endforeach()
    set(qrc ${CMAKE_CURRENT_BINARY_DIR}/${target}_translations.qrc)
    file(WRITE ${qrc} "<RCC><qresource prefix=\"/i18n\">${entries}</qresource></RCC>\n")
    set(cpp ${CMAKE_CURRENT_BINARY_DIR}/${target}_translations.cpp)
    add_custom_command(OUTPUT ${cpp}
        COMMAND Qt5::rcc --name ${target}_translations --output ${cpp} ${qrc}
        DEPENDS ${qrc} ${outputs})
    target_sources(${target} PRIVATE ${cpp})
endfunction()
