#include "common/utilities.h"
#include "formation/formation_commands.h"
#include "formation_fixture.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace converter;
using namespace converter::testing;

namespace {

void Touch(const QString& path, const QByteArray& content = "old") {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray Content(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestFormationCommands : public QObject {
    Q_OBJECT

private slots:
    void chooseReferenceFolder() {
        FakeUi ui;
        ui.openFileAnswers = {QStringLiteral("/data/nsi/13000002.000"), QString()};
        QCOMPARE(ChooseReferenceFolder(ui), std::optional<QString>(QStringLiteral("/data/nsi/")));
        QCOMPARE(ChooseReferenceFolder(ui), std::nullopt);
        const QString filter = QStringLiteral("Справочники ДОВИ (*.000)|*.000");
        QCOMPARE(ui.openFilters, QStringList({filter, filter}));
        QVERIFY(ui.messages.isEmpty());
    }

    void cancelledSaveDialogEndsSilently() {
        FormationFixture fixture;
        fixture.writeDictionary();
        FakeUi ui;
        QVERIFY(!RunReferenceFormation(ui, fixture.nsiFolder()));
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(ui.busyHistory.isEmpty());
        // The proposal lies in the program's own "sprav" folder; the command makes nothing
        // before an answer (the window's dialog makes the folder to open in it).
        QCOMPARE(ui.saveInitialNames,
                 QStringList{fixture.programFolder() + QStringLiteral("/sprav/spfield.db")});
        QCOMPARE(ui.saveFilters, QStringList{GetFileFilter(kTarvelDatabaseFile)});
        QVERIFY(!QDir(fixture.programFolder() + QStringLiteral("/sprav")).exists());

        // An empty reference-folder box asks for nothing and only says so.
        for (const QString& box : {QString(), QStringLiteral("  ")}) {
            FakeUi empty;
            QVERIFY(!RunReferenceFormation(empty, box));
            QCOMPARE(empty.messages.size(), 1);
            QCOMPARE(empty.lastMessage().text,
                     QStringLiteral("Не выбрана папка со справочниками ДОВИ"));
            QVERIFY(empty.saveInitialNames.isEmpty());
            QVERIFY(empty.busyHistory.isEmpty());
        }
    }

    void existingTablesNeedConsent() {
        FormationFixture fixture;
        fixture.writeDictionary();
        const QString target = fixture.targetFolder();
        Touch(target + QStringLiteral("SPTAB.DB"));
        Touch(target + QStringLiteral("sptab_rep.txt"));
        FakeUi ui;
        ui.saveFileAnswers = {target + QStringLiteral("anything.db")};
        ui.yesNoAnswers = {false};
        QVERIFY(!RunReferenceFormation(ui, fixture.nsiFolder()));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Перезаписать?"));
        QCOMPARE(ui.lastMessage().text,
                 QStringLiteral("Файлы справочников в указанной папке уже существуют.\r"
                                "Перезаписать?"));
        QVERIFY(ui.lastMessage().question);
        QCOMPARE(Content(target + QStringLiteral("SPTAB.DB")), QByteArray("old"));
        QVERIFY(ui.busyHistory.isEmpty());
    }

    void overwriteAndFormWithErrors() {
        FormationFixture fixture;
        fixture.addStandartBook(12);  // its file is missing: an error of the run
        fixture.addStandartBook(13);
        fixture.writeBook(QStringLiteral("13.000"), {QStringLiteral("    1            Сосна")});
        fixture.writeDictionary();
        const QString target = fixture.targetFolder();
        Touch(target + QStringLiteral("spfield.db"));
        Touch(target + QStringLiteral("SPTAB.DB"));
        Touch(target + QStringLiteral("sptab_rep.txt"));
        Touch(target + QStringLiteral("les.db"));
        FakeUi ui;
        ui.saveFileAnswers = {target + QStringLiteral("spfield.db")};
        ui.yesNoAnswers = {true};
        QVERIFY(RunReferenceFormation(ui, fixture.nsiFolder()));

        // Only the two table files went; the new tables took their place.
        QCOMPARE(Content(target + QStringLiteral("les.db")), QByteArray("old"));
        QCOMPARE(AsFileSystemSees(QDir(target).entryList({"sptab*"}, QDir::Files)),
                 AsFileSystemSees({"sptab.db", "sptab.px", "sptab_rep.txt"}));
        QVERIFY(Content(target + QStringLiteral("sptab_rep.txt")) != QByteArray("old"));

        QCOMPARE(ui.busyHistory, (QList<bool>{true, false}));
        const FakeUi::Message& outcome = ui.lastMessage();
        QCOMPARE(outcome.title, QStringLiteral("Импорт выполнен с ошибками"));
        QCOMPARE(outcome.icon, MessageIcon::Warning);
        const QString expectedStart = QStringLiteral("Файл: ") + target +
                                      QStringLiteral(
                                          "spfield.db\rЗагружено показателей: 2\r\n"
                                          "Загружено справочников значений: 3\r"
                                          "Отчет сохранен в файле: ") +
                                      QDir::toNativeSeparators(target + "sptab_rep.txt") +
                                      QStringLiteral("\rНа обработку затрачено: ");
        QVERIFY2(outcome.text.startsWith(expectedStart), qPrintable(outcome.text));
    }

    void formWithoutErrors() {
        FormationFixture fixture;
        fixture.writeDictionary();
        FakeUi ui;
        ui.saveFileAnswers = {fixture.targetFolder() + QStringLiteral("spfield.db")};
        QVERIFY(RunReferenceFormation(ui, fixture.nsiFolder()));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Создание успешно завершено"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Information);
    }

    void failedFormationLeavesTheBusyState() {
        FormationFixture fixture;  // no dictionary written
        FakeUi ui;
        ui.saveFileAnswers = {fixture.targetFolder() + QStringLiteral("spfield.db")};
        QVERIFY(!RunReferenceFormation(ui, fixture.nsiFolder()));
        QCOMPARE(ui.busyHistory, (QList<bool>{true, false}));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.startsWith(
            QStringLiteral("Не найден файл справочника: SPRAV.MDB")));
    }
};

QTEST_GUILESS_MAIN(TestFormationCommands)
#include "tst_formation_commands.moc"
