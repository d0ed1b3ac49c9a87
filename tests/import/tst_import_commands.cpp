#include "common/utilities.h"
#include "import/import_commands.h"
#include "import_fixture.h"
#include "storage/paradox/paradox_table.h"
#include "support/test_paths.h"

#include <QDir>
#include <QTest>

using namespace converter;
using namespace converter::testing;

namespace {

std::vector<FieldRow> Fields() {
    return {{"KV", "KV", 1, 1, "integer"}, {"SKNR", "VYDEL", 1, 2, "integer"}, {"C1", "P1", 1, 3}};
}

void Touch(const QString& path, const QByteArray& bytes = "old") {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class TestImportCommands : public QObject {
    Q_OBJECT

private slots:
    void refusalsBeforeTheRun() {
        ImportFixture fixture;
        FakeUi ui;
        QVERIFY(!RunImport(ui, QString()));
        QCOMPARE(ui.messageTexts(), QStringList{"Не выбран файл для импорта"});
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Information);
        QVERIFY(ui.saveFilters.isEmpty());

        ui.messages.clear();
        QVERIFY(!RunImport(ui, fixture.path("absent.txt")));
        QCOMPARE(ui.messageTexts(), QStringList{"Не найден файл:\r" + fixture.path("absent.txt")});
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);

        // A folder typed as the source is no text file: refused before the save dialog.
        ui.messages.clear();
        const QString folder = fixture.path("folder.txt");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!RunImport(ui, folder));
        QCOMPARE(ui.messageTexts(), QStringList{"Не найден файл:\r" + folder});
        QVERIFY(ui.saveFilters.isEmpty());

        // A cancelled save dialog ends the command silently, after proposing the ".db" name.
        ui.messages.clear();
        const QString text = fixture.writeDoviFile({"", "KV=1\tVYDEL=1\t"}, "les 2008.txt");
        QVERIFY(!RunImport(ui, text));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(ui.saveInitialNames, QStringList{fixture.path("les 2008.db")});
        QCOMPARE(ui.saveFilters, QStringList{GetFileFilter(kTarvelDatabaseFile)});
        QVERIFY(ui.busyHistory.isEmpty());
    }

    void overwriteQuestionForTheElementsFileAlone() {
        ImportFixture fixture;
        fixture.writeDictionary(Fields());
        const QString text = fixture.writeDoviFile({"", "KV=1\tVYDEL=1\t"});
        Touch(fixture.path("lesСост.db"));
        FakeUi ui;
        ui.saveFileAnswers.push_back(fixture.path("les.db"));
        ui.yesNoAnswers.push_back(false);

        QVERIFY(!RunImport(ui, text));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().question);
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Перезаписать?"));
        QCOMPARE(ui.lastMessage().text,
                 QStringLiteral("Файл с таким именем существует: les.db\rЖелаете перезаписть?"));
        QCOMPARE(ui.forestUnitRequests, 0);
        QFile old(fixture.path("lesСост.db"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }

    // The old files stay until the new database is complete, and then exactly the files of the
    // table the engine would open go: its own in another letter case, its stale report.
    void importOverAnOldDatabase_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QStringList>("old");
        QTest::addColumn<QStringList>("kept");

        const QStringList clean{"", "KV=1\tVYDEL=1\tP1=4\t", "", "KV=1\tVYDEL=2\t"};
        const QStringList faulty{"", "KV=1\tVYDEL=1\tP1=X\t"};
        QTest::newRow("clean, stale report goes")
            << clean << "Импорт успешно завершен" << int(MessageIcon::Information)
            << "Количество выделов: 2" << QStringList{"les.db", "les_TI.px", "les_rep.txt"}
            << QStringList();
        QTest::newRow("with errors, report replaced")
            << faulty << "Импорт выполнен с ошибками" << int(MessageIcon::Warning)
            << "Количество выделов: 1" << QStringList{"les.db", "les_TI.px", "les_rep.txt"}
            << QStringList();
        QTest::newRow("old database in upper case")
            << clean << "Импорт успешно завершен" << int(MessageIcon::Information)
            << "Количество выделов: 2" << QStringList{"LES.DB", "LES.PX", "LESСОСТ.DB"}
            << QStringList();
        QTest::newRow("old database in upper case, its secondary indexes go")
            << clean << "Импорт успешно завершен" << int(MessageIcon::Information)
            << "Количество выделов: 2"
            << QStringList{"LES.DB", "LES.PX", "LES.X02", "LES.Y02", "LESСОСТ.DB", "LESСОСТ.VAL"}
            << QStringList();
        QTest::newRow("secondary indexes of the replaced tables go, in any case")
            << clean << "Импорт успешно завершен" << int(MessageIcon::Information)
            << "Количество выделов: 2"
            << QStringList{"les.db",      "LES.X02",   "les.YG0", "Les.xg1",  "LESСОСТ.Y0F",
                           "lesсост.VAL", "les_TI.X1", "les.X0G", "les.X100", "lesX.X02"}
            << QStringList{"les.X0G", "les.X100", "lesX.X02"};
        if (kNamesIgnoreCase) {
            return;  // the rows below need two names that differ only in case
        }
        QTest::newRow("another table in another case stays")
            << clean << "Импорт успешно завершен" << int(MessageIcon::Information)
            << "Количество выделов: 2" << QStringList{"les.db", "Les.db", "Les.px", "lesX.db"}
            << QStringList{"Les.db", "Les.px", "lesX.db"};
        QTest::newRow("another table's secondary indexes stay")
            << clean << "Импорт успешно завершен" << int(MessageIcon::Information)
            << "Количество выделов: 2"
            << QStringList{"les.db", "Les.db", "Les.px", "Les.X02", "LES.YG0", "les.XG1"}
            << QStringList{"Les.db", "Les.px", "Les.X02"};
    }

    void importOverAnOldDatabase() {
        QFETCH(QStringList, lines);
        QFETCH(QString, title);
        QFETCH(int, icon);
        QFETCH(QString, count);
        QFETCH(QStringList, old);
        QFETCH(QStringList, kept);
        ImportFixture fixture;
        fixture.writeDictionary(Fields());
        const QString text = fixture.writeDoviFile(lines);
        for (const QString& name : old) {
            Touch(fixture.path(name));
        }
        FakeUi ui;
        ui.saveFileAnswers.push_back(fixture.path("les.db"));
        ui.yesNoAnswers.push_back(true);
        ui.forestUnitAnswers.push_back(Unit());

        QVERIFY(RunImport(ui, text));
        QCOMPARE(ui.messages.size(), 2);
        QVERIFY(ui.messages.first().question);
        const FakeUi::Message& outcome = ui.lastMessage();
        QCOMPARE(outcome.title, title);
        QCOMPARE(int(outcome.icon), icon);
        QStringList parts = outcome.text.split('\r');
        // An import with faults names its report, where the report ends up.
        if (icon == int(MessageIcon::Warning)) {
            QCOMPARE(parts.size(), 4);
            QCOMPARE(parts.takeAt(2), "Отчет сохранен в файле: " +
                                          QDir::toNativeSeparators(fixture.path("les_rep.txt")));
        }
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[0], "Файл: " + fixture.path("les.db"));
        QCOMPARE(parts[1], count);
        QVERIFY(parts[2].startsWith("На обработку затрачено: "));
        QCOMPARE(ui.busyHistory, QList<bool>({true, false}));
        QStringList expected = kept;
        expected << "les.txt"
                 << "les.db"
                 << "les.px"
                 << "lesСост.db"
                 << "lesСост.px"
                 << "les_TI.db"
                 << "les_TI.px";
        if (icon == int(MessageIcon::Warning)) {
            expected << "les_rep.txt";
        }
        QStringList files =
            QDir(fixture.path(".")).entryList({"les*", "LES*", "Les*"}, QDir::Files);
        QCOMPARE(AsFileSystemSees(files), AsFileSystemSees(expected));
        for (const QString& name : kept) {
            QFile file(fixture.path(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("old"));
        }
        QVERIFY(paradox::ParadoxTable::Load(fixture.path("les.db")).rowCount() > 0);
    }

    void emptyFileIsReportedAndCreatesNothing() {
        ImportFixture fixture;
        fixture.writeDictionary(Fields());
        Touch(fixture.path("empty.txt"), QByteArray());
        FakeUi ui;
        ui.saveFileAnswers.push_back(fixture.path("empty.db"));
        ui.forestUnitAnswers.push_back(Unit());

        QVERIFY(!RunImport(ui, fixture.path("empty.txt")));
        QCOMPARE(ui.messageTexts(),
                 QStringList{"Файл не содержит данных\rПуть: " + fixture.path("empty.txt")});
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        QCOMPARE(QDir(fixture.path(".")).entryList({"empty*"}, QDir::Files),
                 QStringList{"empty.txt"});
        QCOMPARE(ui.busyHistory, QList<bool>({true, false}));
    }

    void missingDictionaryColumnStopsBeforeAnyTable() {
        ImportFixture fixture;
        fixture.writeDictionary(Fields());
        DictionaryBuilder()
            .table("Fields", {{"Tarvel", Jet4Type::Text, 20}, {"Dovi", Jet4Type::Text, 20}})
            .writeInto(fixture.path("."));
        const QString text = fixture.writeDoviFile({"", "KV=1\tVYDEL=1\t"});
        FakeUi ui;
        ui.saveFileAnswers.push_back(fixture.path("les.db"));

        QVERIFY(!RunImport(ui, text));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.startsWith("Отсутствуют поля справочника FIELDS: "));
        QVERIFY(!QFile::exists(fixture.path("les.db")));
    }

    void browse() {
        ImportFixture fixture;
        FakeUi ui;
        QCOMPARE(ChooseImportFile(ui), std::nullopt);
        QCOMPARE(ui.openFilters, QStringList{GetFileFilter(kTextFile)});
        const QString text = fixture.writeDoviFile({});
        ui.openFileAnswers.push_back(text);
        QCOMPARE(ChooseImportFile(ui), std::optional<QString>(text));
    }
};

QTEST_GUILESS_MAIN(TestImportCommands)
#include "tst_import_commands.moc"
