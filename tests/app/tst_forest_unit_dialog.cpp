#include "app/forest_unit_dialog.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/qt_ui.h"
#include "common/program_folder.h"
#include "import/forest_unit.h"
#include "modal_answers.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace converter;
using converter::testing::FakeUi;
using converter::testing::ModalAnswers;
using converter::testing::SourceDir;

class TestForestUnitDialog : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLastLeshozCode({}); }

    void typingIsFiltered() {
        FakeUi ui;
        ForestUnitDialog dialog(ui);
        dialog.show();
        QTest::keyClicks(dialog.txtLeshoz, "12a34-5.6789");
        QCOMPARE(dialog.txtLeshoz->text(), QStringLiteral("12345.67"));  // the point passes
        QTest::keyClick(dialog.txtLeshoz, Qt::Key_Backspace);
        QTest::keyClicks(dialog.txtLeshoz, "89");
        QCOMPARE(dialog.txtLeshoz->text(), QStringLiteral("12345.68"));  // full: 9 dropped

        // A selection makes room: the typed digit replaces it.
        dialog.txtLeshoz->setSelection(0, 1);
        QTest::keyClicks(dialog.txtLeshoz, "9");
        QCOMPARE(dialog.txtLeshoz->text(), QStringLiteral("92345.68"));

        QTest::keyClicks(dialog.txtLesnich, "1x23");
        QCOMPARE(dialog.txtLesnich->text(), QStringLiteral("12"));
        // Keys that type nothing still work on a full box.
        QTest::keyClick(dialog.txtLesnich, Qt::Key_Home);
        QTest::keyClick(dialog.txtLesnich, Qt::Key_Delete);
        QCOMPARE(dialog.txtLesnich->text(), QStringLiteral("2"));
        QVERIFY(ui.messages.isEmpty());
    }

    void acceleratorsLeadToTheBoxes() {
        FakeUi ui;
        ForestUnitDialog dialog(ui);
        QStringList letters;
        for (const QString& text : {dialog.Label1->text(), dialog.Label2->text(),
                                    dialog.cmdOk->text(), dialog.cmdCancel->text()}) {
            const qsizetype marker = text.indexOf(QLatin1Char('&'));
            QVERIFY2(marker >= 0, qPrintable(text));
            letters.append(text.at(marker + 1).toLower());
        }
        QStringList unique = letters;
        unique.removeDuplicates();
        QCOMPARE(unique, letters);
        QCOMPARE(dialog.Label1->buddy(), dialog.txtLeshoz);
        QCOMPARE(dialog.Label2->buddy(), dialog.txtLesnich);
    }

    void okChecksInOrderAndStaysOpen_data() {
        QTest::addColumn<QString>("leshoz");
        QTest::addColumn<QString>("lesnich");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        const int info = int(MessageIcon::Information);
        QTest::newRow("seven digits") << "1234567"
                                      << "5"
                                      << "Код лесхоза должен состоять из 8 цифр" << info;
        QTest::newRow("point") << "1234567."
                               << "5"
                               << "Код лесхоза может содержать только цифры" << info;
        QTest::newRow("empty forestry") << "12345678"
                                        << ""
                                        << "Код лесничества может содержать только цифры" << info;
        QTest::newRow("forestry 0")
            << "12345678"
            << "0"
            << "Номер лесничества должен быть целым числом от 1 до 25" << int(MessageIcon::None);
        QTest::newRow("forestry 26")
            << "12345678"
            << "26"
            << "Номер лесничества должен быть целым числом от 1 до 25" << int(MessageIcon::None);
    }
    void okChecksInOrderAndStaysOpen() {
        QFETCH(QString, leshoz);
        QFETCH(QString, lesnich);
        QFETCH(QString, message);
        QFETCH(int, icon);
        FakeUi ui;
        ForestUnitDialog dialog(ui);
        dialog.show();
        dialog.txtLeshoz->setText(leshoz);  // as if pasted: pasting is not filtered
        dialog.txtLesnich->setText(lesnich);
        dialog.cmdOk->click();
        QCOMPARE(ui.messageTexts(), QStringList{message});
        QCOMPARE(int(ui.lastMessage().icon), icon);
        QVERIFY(ui.lastMessage().title.isEmpty());
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    // The whole round through the window's Ui: pre-fill, cancel keeping the boxes, frame close.
    void askingThroughTheWindow() {
        QTemporaryDir folder;
        SetProgramFolder(folder.path());
        QFile dictionary(folder.filePath("sprav.mdb"));
        QVERIFY(dictionary.open(QIODevice::WriteOnly));
        QVERIFY(QDir(folder.path()).mkpath("help"));
        QVERIFY(
            QFile::copy(SourceDir() + "/data/help/import.htm", folder.filePath("help/import.htm")));
        MainWindow window(3);
        window.show();
        auto& ui = static_cast<QtUi&>(window.ui());
        std::function<void(ForestUnitDialog&)> step;
        const ModalAnswers answers([&step](QDialog& shown) {
            auto* dialog = qobject_cast<ForestUnitDialog*>(&shown);
            QVERIFY2(dialog != nullptr, "the forest-unit dialog is not the modal window");
            step(*dialog);
        });

        step = [](ForestUnitDialog& dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Введите данные"));
            QVERIFY(dialog.txtLeshoz->text().isEmpty());
            QCOMPARE(dialog.focusWidget(), dialog.txtLeshoz);  // the first empty box
            QTimer::singleShot(
                0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
            QTest::keyClick(dialog.txtLeshoz, Qt::Key_Return);  // no code: a message, closed
            QTRY_COMPARE(QApplication::focusWidget(), dialog.txtLeshoz);  // the keys go on there
            QTest::keyClicks(QApplication::focusWidget(), "12345678");
            QTest::keyClicks(dialog.txtLesnich, "25");
            dialog.cmdOk->click();
        };
        auto input = ui.askForestUnit();
        QVERIFY(input.has_value());
        QCOMPARE(input->leshoz, QStringLiteral("12345678"));
        QCOMPARE(input->lesnich, QStringLiteral("25"));
        SetLastLeshozCode(input->leshoz);  // what GetInput does with an accepted input

        step = [](ForestUnitDialog& dialog) {
            QCOMPARE(dialog.txtLeshoz->text(), QStringLiteral("12345678"));
            QVERIFY(dialog.txtLesnich->text().isEmpty());
            QCOMPARE(dialog.focusWidget(), dialog.txtLesnich);
            // F1 opens the import's help; the dialog stays, and the help beside it is usable (the
            // dialog holds only its main window).
            QCOMPARE(dialog.windowModality(), Qt::WindowModal);
            QTRY_VERIFY(QApplication::activeWindow() == &dialog);
            QTest::keyClick(dialog.windowHandle(), Qt::Key_F1);  // as the system delivers a key
            QVERIFY(dialog.isVisible());
            dialog.txtLeshoz->setText("87654321");
            dialog.txtLesnich->setText("3");
            dialog.cmdCancel->click();
        };
        QVERIFY(!ui.askForestUnit().has_value());
        QVERIFY(window.helpWindow() != nullptr && window.helpWindow()->isVisible());
        QCOMPARE(window.helpWindow()->currentPage(), folder.filePath("help/import.htm"));

        step = [](ForestUnitDialog& dialog) {
            QCOMPARE(dialog.txtLeshoz->text(), QStringLiteral("87654321"));
            QCOMPARE(dialog.txtLesnich->text(), QStringLiteral("3"));
            QCOMPARE(dialog.focusWidget(), dialog.txtLeshoz);  // none empty: the first
            dialog.close();                                    // the frame's close button
        };
        QVERIFY(!ui.askForestUnit().has_value());
        QVERIFY(ui.forestUnitDialog() != nullptr);
        QCOMPARE(answers.leftOpen(), 0);
        window.close();
        SetProgramFolder({});
    }
};

QTEST_MAIN(TestForestUnitDialog)
#include "tst_forest_unit_dialog.moc"
