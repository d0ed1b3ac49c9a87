#include "app/main_window.h"
#include "app/qt_translations.h"
#include "common/diagnostics.h"
#include "common/platform_instance.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    converter::MarkProgramRunning();
    QApplication application(argc, argv);
    converter::KeepQtDiagnosticsQuiet();
    converter::InstallQtTranslations(application);
    converter::MainWindow window(PROGRAM_EDITION);
    window.show();
    return application.exec();
}
