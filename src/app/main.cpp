#include "app/main_window.h"
#include "app/qt_translations.h"
#include "common/diagnostics.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    converter::KeepQtDiagnosticsQuiet();
    converter::InstallQtTranslations(application);
    converter::MainWindow window(PROGRAM_EDITION);
    window.show();
    return application.exec();
}
