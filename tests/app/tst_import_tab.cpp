#include "app/forest_unit_dialog.h"
#include "app/main_window.h"
#include "common/program_folder.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace converter;
using namespace converter::testing;

// The import tab of the import edition on the shipped sample file and dictionary, driven through
// its buttons as the user drives it.
class TestImportTab : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;

private slots:
    void init() {
        QVERIFY(folder_.isValid());
        SetProgramFolder(folder_.path());
        WriteStandardDictionary(folder_.path());
    }
    void cleanupTestCase() {
        SetProgramFolder({});
        ResetDictionaryColumns();
        ClearCodeLists();
    }

    void importTheSampleFromTheWindow() {
        const QString text = folder_.filePath("lesnichestvo_03.txt");
        QVERIFY(QFile::copy(SourceDir() + "/data/samples/lesnichestvo_03.txt", text));
        FakeUi ui;
        MainWindow window(1, ui);
        window.show();
        QCOMPARE(window.SSTab1->currentIndex(), kImportTab);

        // Import with an empty box asks for nothing.
        QTest::mouseClick(window.cmdImport, Qt::LeftButton);
        QCOMPARE(ui.messageTexts(), QStringList{"Не выбран файл для импорта"});
        QVERIFY(ui.saveFilters.isEmpty());
        ui.messages.clear();

        ui.openFileAnswers = {text};
        QTest::mouseClick(window.cmdOpenImport, Qt::LeftButton);
        QCOMPARE(window.txtFileNameImport->text(), text);

        const QString database = folder_.filePath("lesnichestvo_03.db");
        ui.saveFileAnswers = {database};
        ui.forestUnitAnswers = {ForestUnitInput{"50010203", "3"}};
        QTest::mouseClick(window.cmdImport, Qt::LeftButton);

        QCOMPARE(ui.saveInitialNames, QStringList{database});
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Импорт выполнен с ошибками"));
        QVERIFY2(
            ui.lastMessage().text.startsWith("Файл: " + database + "\rКоличество выделов: 35\r"),
            qPrintable(ui.lastMessage().text));
        // The outcome names the report it wrote; the panel knows the file.
        const QString reportFile = folder_.filePath("lesnichestvo_03_rep.txt");
        QVERIFY2(ui.lastMessage().text.contains(
                     "\rОтчет сохранен в файле: " + QDir::toNativeSeparators(reportFile) + "\r"),
                 qPrintable(ui.lastMessage().text));
        QCOMPARE(ui.reportPath, reportFile);
        QCOMPARE(ui.report, QStringLiteral("Файл: %1\r\n"
                                           "\r\n\r\n"
                                           "В справочнике не оказалось показателей: 1\r\n\r\n"
                                           "ZAPAS\r\n"
                                           "\r\n\r\n"
                                           "Пропущен знак равенства: 1\r\n\r\n"
                                           "строка 85\r\n"
                                           "\r\n\r\n"
                                           "Пропущен знак табуляции: 1\r\n\r\n"
                                           "строка 61\r\n"
                                           "\r\n\r\n"
                                           "Недопустимые (нечисловые) значения: 1\r\n\r\n"
                                           "строка 124 - показатель VOZ - значение \"1O\"\r\n"
                                           "\r\n\r\n"
                                           "Не определены ключевые поля: 1\r\n\r\n"
                                           "строка 158\r\n"
                                           "\r\n\r\n"
                                           // the elements of that stand without VYDEL
                                           "Не опредены ключевые поля для таблицы с элементами "
                                           "леса: 2\r\n\r\n"
                                           "строка 155\r\nстрока 156\r\n"
                                           "\r\n\r\n"
                                           "Не оказалось показателей по элементам леса: 1\r\n\r\n"
                                           "TOV\r\n"
                                           "\r\n\r\n"
                                           "Не удалось закодировать значение: 1\r\n\r\n"
                                           "Строка 209 - показатель POR - значение \"ЛИСТВ\"\r\n")
                                .arg(QDir::toNativeSeparators(database)));
        QCOMPARE(ui.busyHistory, (QList<bool>{true, false}));
        QVERIFY(window.isEnabled());
        QVERIFY(!window.lblStatusImport->isVisible());
        QVERIFY(QFile::exists(folder_.filePath("lesnichestvo_03Сост.px")));
        QVERIFY(QFile::exists(folder_.filePath("lesnichestvo_03_TI.px")));
    }

    // Through the window's own Ui: the old report leaves the panel when the import starts, and a
    // cancelled import does not bring it back.
    void panelClearedWhenTheImportStarts() {
        const QString text = folder_.filePath("lesnichestvo_03.txt");
        QFile::remove(text);
        QVERIFY(QFile::copy(SourceDir() + "/data/samples/lesnichestvo_03.txt", text));
        const QString database = folder_.filePath("cancelled.db");
        MainWindow window(1);
        window.show();
        window.ui().showReport("старый отчет", folder_.filePath("old_rep.txt"));
        QVERIFY(window.reportVisible());
        QVERIFY(window.cmdOpenReportFolder->isEnabled());
        window.txtFileNameImport->setText(text);

        QString panelWhileAsked = "not asked";
        bool folderButtonWhileAsked = true;
        QStringList boxes;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* save = qobject_cast<QFileDialog*>(modal)) {
                // selectFile leaves a name field that has the focus as it was (Qt 5's
                // offscreen windows give it the focus).
                if (QWidget* focused = save->focusWidget()) {
                    focused->clearFocus();
                }
                save->selectFile(database);
                static_cast<QDialog*>(save)->accept();  // as the Save button does
            } else if (auto* dialog = qobject_cast<ForestUnitDialog*>(modal)) {
                panelWhileAsked = window.txtReport->toPlainText();
                folderButtonWhileAsked = window.cmdOpenReportFolder->isEnabled();
                dialog->cmdCancel->click();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                boxes.append(box->text());
                box->reject();  // a question as well: the check below names it
            }
        });
        answer.start(20);
        QTest::mouseClick(window.cmdImport, Qt::LeftButton);
        answer.stop();
        QCOMPARE(panelWhileAsked, QString());
        QVERIFY(!folderButtonWhileAsked);
        QCOMPARE(window.txtReport->toPlainText(), QString());
        QVERIFY(!window.txtReport->placeholderText().isEmpty());
        QVERIFY(!QFile::exists(database));
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join(" | ")));
        QVERIFY(window.isEnabled());
    }
};

QTEST_MAIN(TestImportTab)
#include "tst_import_tab.moc"
