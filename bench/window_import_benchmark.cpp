// Imports one generated forestry (20,000 stands by default) through the real window, offscreen,
// and through the console program, and prints both times:
//     window_import_benchmark [stands] [sprav.mdb]
// The window's file dialog and forest-unit dialog are answered as soon as they appear (12345678,
// forestry 5, the console's answers too); its time runs from the answer of the file dialog to
// the final message. The console program is found beside the program in bin/.
#include "app/forest_unit_dialog.h"
#include "app/main_window.h"
#include "forestry_generator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

QString ConsoleProgram() {
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("../bin/dovi2tarvel-cli"));
}

// Seconds the console program takes for the same import, or a negative value after saying why.
double ConsoleSeconds(const QString& folder, const QString& text, const QString& target) {
    QProcess console;
    console.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    console.start(ConsoleProgram(),
                  {QStringLiteral("--program-folder"), folder, QStringLiteral("import"), text,
                   target, QStringLiteral("--leshoz"), QStringLiteral("12345678"),
                   QStringLiteral("--lesnich"), QStringLiteral("5")});
    if (!console.waitForFinished(-1) || console.exitStatus() != QProcess::NormalExit ||
        console.exitCode() > 1) {
        std::fprintf(stderr, "the console program failed: %s\n", qPrintable(ConsoleProgram()));
        return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int stands = args.size() > 1 ? args[1].toInt() : 20000;
    QTemporaryDir dir;
    const QString text = dir.isValid() ? converter::bench::PrepareForestry(args, dir.path()) : "";
    if (text.isEmpty()) {
        return 1;
    }

    converter::MainWindow window(3);
    window.show();
    window.txtFileNameImport->setText(text);
    const QString target = dir.filePath(QStringLiteral("window.db"));
    QElapsedTimer timer;
    double windowSeconds = -1;
    QString outcome;
    QTimer answering;
    answering.setInterval(1);
    QObject::connect(&answering, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            files->selectFile(target);
            timer.start();
            static_cast<QDialog*>(files)->accept();  // QFileDialog's own accept, protected there
        } else if (auto* unit = qobject_cast<converter::ForestUnitDialog*>(modal)) {
            unit->txtLeshoz->setText(QStringLiteral("12345678"));
            unit->txtLesnich->setText(QStringLiteral("5"));
            unit->cmdOk->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (windowSeconds < 0) {
                windowSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
            }
            outcome = box->windowTitle() + QStringLiteral(": ") + box->text();
            box->accept();
        }
    });
    answering.start();
    window.cmdImport->click();
    answering.stop();
    std::printf("%s\n", qPrintable(outcome.replace(QLatin1Char('\n'), QStringLiteral(" | "))));
    if (windowSeconds < 0 || !outcome.startsWith(QStringLiteral("Импорт"))) {
        std::fprintf(stderr, "the window's import did not finish\n");
        return 1;
    }

    const double consoleSeconds =
        ConsoleSeconds(dir.path(), text, dir.filePath(QStringLiteral("console.db")));
    if (consoleSeconds < 0) {
        return 1;
    }
    std::printf("import of %d stands: window %.2f s, console %.2f s, window/console %.2f\n", stands,
                windowSeconds, consoleSeconds, windowSeconds / consoleSeconds);
    return 0;
}
