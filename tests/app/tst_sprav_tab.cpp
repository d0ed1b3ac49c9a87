#include "app/main_window.h"
#include "common/program_folder.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace converter;
using namespace converter::testing;

// The reference tab of the full edition, driven through its buttons: the shipped dictionary and
// value books in a program folder of their own.
class TestSpravTab : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;

private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        SetProgramFolder(folder_.path());
        WriteStandardDictionary(folder_.path());
        const QDir books(SourceDir() + QStringLiteral("/data/nsi"));
        QVERIFY(QDir().mkpath(folder_.filePath(QStringLiteral("nsi"))));
        for (const QString& name : books.entryList({QStringLiteral("*.000")}, QDir::Files)) {
            QVERIFY(
                QFile::copy(books.filePath(name), folder_.filePath(QStringLiteral("nsi/")) + name));
        }
    }
    void cleanupTestCase() { SetProgramFolder({}); }

    void formFromTheWindow() {
        FakeUi ui;
        MainWindow window(3, ui);
        window.show();
        QVERIFY(window.SSTab1->isTabVisible(kSpravTab));
        window.SSTab1->setCurrentIndex(kSpravTab);
        const QString nsi = folder_.filePath(QStringLiteral("nsi"));
        QCOMPARE(window.txtNsiPath->text(), QDir::toNativeSeparators(nsi));

        // A cancelled browse keeps the folder; a chosen book gives its folder.
        QTest::mouseClick(window.cmdOpenDoviSprav, Qt::LeftButton);
        QCOMPARE(window.txtNsiPath->text(), QDir::toNativeSeparators(nsi));
        ui.openFileAnswers = {nsi + QStringLiteral("/13000002.000")};
        QTest::mouseClick(window.cmdOpenDoviSprav, Qt::LeftButton);
        QCOMPARE(window.txtNsiPath->text(), nsi + QStringLiteral("/"));

        const QString target = folder_.filePath(QStringLiteral("sprav/spfield.db"));
        ui.saveFileAnswers = {target};
        QTest::mouseClick(window.cmdFormSprav, Qt::LeftButton);
        QCOMPARE(ui.saveInitialNames, QStringList{target});
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Создание успешно завершено"));
        QVERIFY2(ui.lastMessage().text.startsWith(QStringLiteral("Файл: ") + target +
                                                  QStringLiteral("\rЗагружено показателей: ")),
                 qPrintable(ui.lastMessage().text));
        QVERIFY(ui.lastMessage().text.contains(
            QStringLiteral("\r\nЗагружено справочников значений: 17\r")));
        QCOMPARE(ui.busyHistory, (QList<bool>{true, false}));
        QVERIFY(window.isEnabled());
        QVERIFY(QFile::exists(folder_.filePath(QStringLiteral("sprav/sptab.db"))));

        // A second run asks first; No changes nothing.
        ui.saveFileAnswers = {target};
        ui.yesNoAnswers = {false};
        QTest::mouseClick(window.cmdFormSprav, Qt::LeftButton);
        QCOMPARE(ui.messages.size(), 2);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Перезаписать?"));
    }

    // What a newcomer does first: import the sample Dovi file, form the reference tables from
    // the program's own value books, and check the new database against them.
    void sampleDatabasePassesTheCheck() {
        FakeUi ui;
        MainWindow window(3, ui);
        window.show();
        const QString database = folder_.filePath(QStringLiteral("sample.db"));
        window.txtFileNameImport->setText(SourceDir() +
                                          QStringLiteral("/data/samples/lesnichestvo_03.txt"));
        ui.saveFileAnswers = {database};
        ui.forestUnitAnswers = {ForestUnitInput{QStringLiteral("50010203"), QStringLiteral("3")}};
        QTest::mouseClick(window.cmdImport, Qt::LeftButton);
        QVERIFY(QFile::exists(database));

        const QString references = folder_.filePath(QStringLiteral("newcomer")) + QLatin1Char('/');
        QVERIFY(QDir().mkpath(references));
        ui.saveFileAnswers = {references + QStringLiteral("spfield.db")};
        QTest::mouseClick(window.cmdFormSprav, Qt::LeftButton);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Создание успешно завершено"));

        window.txtDbForCheck->setText(database);
        window.txtSparvCheck->setText(references);
        QTest::mouseClick(window.cmdCheckSprav, Qt::LeftButton);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Проверка выполнена успешно"));
    }
};

QTEST_MAIN(TestSpravTab)
#include "tst_sprav_tab.moc"
