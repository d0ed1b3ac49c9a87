#include "app/main_window.h"
#include "check/check_fixtures.h"
#include "common/program_folder.h"
#include "support/fake_ui.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace converter;
using namespace converter::testing;

// The check tab of the full edition, driven through its buttons as the user drives it.
class TestCheckTab : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;

private slots:
    void init() {
        QVERIFY(folder_.isValid());
        SetProgramFolder(folder_.path());
        QFile(folder_.filePath("sprav.mdb")).open(QIODevice::WriteOnly);
    }
    void cleanupTestCase() { SetProgramFolder({}); }

    void browseAndCheckFromTheWindow() {
        const QString references = folder_.filePath("ref");
        QVERIFY(QDir().mkpath(references));
        CreateSpfield(references, {{"POR", "Порода", QVariant(), 1, QVariant()},
                                   {"BON", "Бонитет", QVariant(), 0, QVariant()}});
        CreateSptab(references, {{1, 1, "С", "Сосна"}});
        UpperCaseTableFiles(references, "sptab");
        const QString database = folder_.filePath("les.db");
        CreateTable(database, {"CREATE TABLE [les] ([POR] smallint, [BON] smallint)"},
                    {{1, 3}, {9, 3}});
        QFile(folder_.filePath("lesСост.db")).open(QIODevice::WriteOnly);

        FakeUi ui;
        MainWindow window(3, ui);
        window.show();
        QVERIFY(window.SSTab1->isTabVisible(kCheckTab));
        window.SSTab1->setCurrentIndex(kCheckTab);

        // A cancelled dialog leaves the boxes alone.
        window.txtDbForCheck->setText("earlier");
        QTest::mouseClick(window.cmdOpenDbCheck, Qt::LeftButton);
        QCOMPARE(window.txtDbForCheck->text(), QStringLiteral("earlier"));

        ui.openFileAnswers = {database, references + "/SPTAB.DB"};
        QTest::mouseClick(window.cmdOpenDbCheck, Qt::LeftButton);
        QTest::mouseClick(window.cmdOpenSpravCheck, Qt::LeftButton);
        QCOMPARE(window.txtDbForCheck->text(), database);
        QCOMPARE(window.txtSparvCheck->text(), references + "/");
        QVERIFY(ui.messages.isEmpty());

        QTest::mouseClick(window.cmdCheckSprav, Qt::LeftButton);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Обнаружены недостатки справочника"));
        QVERIFY(ui.lastMessage().text.startsWith("Файл: " + database + "\r"));
        QVERIFY(ui.report.contains("POR - Порода - 9\r\n"));
        QVERIFY(!ui.report.contains("BON"));
        QCOMPARE(ui.busyHistory, (QList<bool>{true, false}));
        QVERIFY(window.isEnabled());
    }
};

QTEST_MAIN(TestCheckTab)
#include "tst_check_tab.moc"
