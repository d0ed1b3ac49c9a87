#include "app/main_window.h"
#include "export/export_fixture.h"
#include "support/fake_ui.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

using namespace converter;
using namespace converter::testing;

// The export edition's whole working road through the real window: choose the database, pick a
// year from the list, export into a file that exists already.
class ExportTabTest : public QObject {
    Q_OBJECT

private slots:
    void exportsChosenYearFromWindow();
    void typedPathFillsYearList();
};

void ExportTabTest::exportsChosenYearFromWindow() {
    ExportFixture f;
    f.writeDictionary({{"KOD", "K", 12}});
    f.createDatabase({{"KOD", "SMALLINT"}}, {});
    ExportFixture::insertRows(f.mainPath(), {ExportFixture::Stand(1, 1, 98, {{"KOD", 7}}),
                                             ExportFixture::Stand(1, 2, 5, {{"KOD", 4}}),
                                             ExportFixture::Stand(1, 3, QVariant(), {{"KOD", 3}})});
    const QString output = f.path("les_1998.txt");
    QFile old(output);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();

    FakeUi ui;
    MainWindow window(2, ui);
    window.show();
    QCOMPARE(window.SSTab1->currentIndex(), kExportTab);

    ui.openFileAnswers = {f.mainPath()};
    window.cmdOpenExport->click();
    QCOMPARE(window.txtFileNameExport->text(), f.mainPath());
    QCOMPARE(window.cmbYear->count(), 3);
    QCOMPARE(window.cmbYear->currentIndex(), 0);
    QCOMPARE(window.cmbYear->itemText(0), QStringLiteral("Не определен"));
    QCOMPARE(window.cmbYear->itemData(0).toInt(), 9999);
    QCOMPARE(window.cmbYear->itemText(2), QStringLiteral("1998"));
    QCOMPARE(window.cmbYear->itemData(2).toInt(), 98);
    QVERIFY(window.isEnabled());

    window.cmbYear->setCurrentIndex(2);
    ui.saveFileAnswers = {output};
    ui.yesNoAnswers = {true};
    window.cmdExport->click();
    QCOMPARE(ui.saveInitialNames.last(), f.path("les_1998.txt"));
    QCOMPARE(ExportFixture::StandLines(output), QStringList{"M#12\tK=7\t"});
    QCOMPARE(ui.lastMessage().title, QStringLiteral("Экспорт выполнен"));
    QVERIFY(window.isEnabled());
}

// A path typed into the box gets its year list when the box is left or Enter is pressed; Enter
// moves on to the list, and Enter there runs the export. A missing file says so and leaves no
// year list of another database behind.
void ExportTabTest::typedPathFillsYearList() {
    ExportFixture f;
    f.writeDictionary({{"KOD", "K", 12}});
    f.createDatabase({{"KOD", "SMALLINT"}}, {});
    ExportFixture::insertRows(f.mainPath(), {ExportFixture::Stand(1, 1, 98, {{"KOD", 7}}),
                                             ExportFixture::Stand(1, 2, 5, {{"KOD", 4}})});
    FakeUi ui;
    MainWindow window(2, ui);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QLineEdit* box = window.txtFileNameExport;
    QCOMPARE(QApplication::focusWidget(), box);  // the first box of the tab shown
    QVERIFY(!window.cmdExport->isDefault());     // Enter in the box does not export
    QTest::keyClicks(box, f.mainPath());
    window.cmdOpenExport->setFocus();
    QCOMPARE(window.cmbYear->count(), 2);
    QCOMPARE(window.cmbYear->currentIndex(), 0);
    QVERIFY(ui.messages.isEmpty());

    const QString missing = f.path("нет.db");
    box->setFocus();
    box->setText(missing);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(ui.messageTexts(), QStringList{"Файл не существует: \r" + missing});
    QCOMPARE(window.cmbYear->count(), 0);
    QCOMPARE(QApplication::focusWidget(), box);

    // Enter on a good path fills the list and goes there, asking nothing yet.
    box->setText(f.mainPath());
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(window.cmbYear->count(), 2);
    QCOMPARE(QApplication::focusWidget(), window.cmbYear);
    QVERIFY(window.cmdExport->isDefault());
    QVERIFY(ui.saveInitialNames.isEmpty());
    // The year is chosen in the list; Enter there exports it.
    QTest::keyClick(window.cmbYear, Qt::Key_Down);
    QCOMPARE(window.cmbYear->currentIndex(), 1);
    QTest::keyClick(window.cmbYear, Qt::Key_Return);
    QCOMPARE(ui.saveInitialNames.size(), 1);
    QVERIFY(ui.saveInitialNames.first().endsWith("les_" + window.cmbYear->itemText(1) + ".txt"));
    QVERIFY(window.isEnabled());
}

QTEST_MAIN(ExportTabTest)
#include "tst_export_tab.moc"
