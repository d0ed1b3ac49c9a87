#include "common/program_folder.h"
#include "import/field_map.h"
#include "import/stand_database.h"
#include "support/fake_ui.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace converter;
using converter::testing::FakeUi;

namespace {

FieldMapEntry Entry(const QString& tarvel, const QString& dovi, int layout, int position,
                    const QString& type = "long") {
    FieldMapEntry entry;
    entry.tarvel = tarvel;
    entry.dovi = dovi;
    entry.layout = layout;
    entry.position = position;
    entry.type = type;
    return entry;
}

const QString kLookupFailure = QStringLiteral(
    "Ошибка при построении списка полей.Возможной причиной может быть слишком длинное имя файла.");

}  // namespace

class TestStandDatabase : public QObject {
    Q_OBJECT

private slots:
    void columnTypes_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("type");
        QTest::newRow("integer") << "integer"
                                 << "smallint";
        QTest::newRow("Long") << "Long"
                              << "integer";
        QTest::newRow("Double") << "Double"
                                << "float";
        QTest::newRow("STRING") << "STRING"
                                << "string";
        QTest::newRow("single") << "single"
                                << "integer";
        QTest::newRow("smallint") << "smallint"
                                  << "integer";
        QTest::newRow("empty") << ""
                               << "integer";
    }

    void columnTypes() {
        QFETCH(QString, word);
        QFETCH(QString, type);
        QCOMPARE(MapColumnType(word), type);
    }

    void mainTableText() {
        // Layout 1 in Position order, key columns in any case skipped, layout 10 included,
        // layouts above 100 left out.
        const std::vector<FieldMapEntry> fields = {Entry("COL2", "B", 1, 2, "string"),
                                                   Entry("Kv", "KV", 1, 1),
                                                   Entry("COL1", "A", 1, 1, "long"),
                                                   Entry("POR", "POR", 10, 1, "integer"),
                                                   Entry("num", "NUM", 10, 0),
                                                   Entry("FAR", "F", 101, 1),
                                                   Entry("gir", "G", 3, 1),
                                                   Entry("X60", "X", 60, 1, "double")};
        QCOMPARE(BuildMainTableSql("les", {fields[2], fields[0]}),
                 QStringLiteral("CREATE TABLE [les] ([GIR] INTEGER, [KV] SMALLINT, "
                                "[SKNR] SMALLINT, [MUK] INTEGER,[COL1] integer, [COL2] string)"));
        QCOMPARE(BuildMainTableSql("les", fields),
                 QStringLiteral("CREATE TABLE [les] ([GIR] INTEGER, [KV] SMALLINT, "
                                "[SKNR] SMALLINT, [MUK] INTEGER,[COL1] integer, [COL2] string, "
                                "[num] integer, [POR] smallint, [X60] float)"));
        QCOMPARE(BuildElementsTableSql("lesСост", fields),
                 QStringLiteral("CREATE TABLE [lesСост] ([GIR] INTEGER, [KV] SMALLINT, "
                                "[SKNR] SMALLINT, [NUM] SMALLINT, [MUK] INTEGER, [POR] smallint)"));
        // Without any dictionary column the list still ends cleanly.
        QCOMPARE(BuildMainTableSql("les", {}),
                 QStringLiteral("CREATE TABLE [les] ([GIR] INTEGER, [KV] SMALLINT, "
                                "[SKNR] SMALLINT, [MUK] INTEGER)"));
    }

    void changesTableText() {
        const std::vector<TiFieldEntry> fields = {
            {"VID", "", "string", 0},  {"NAME2", "", "String", 300}, {"N3", "", "string", 20},
            {"N4", "", "string", -1},  {"god", "", "long", 0},       {"PLV", "", "double", 0},
            {"N5", "", "integer", 500}};
        QCOMPARE(BuildChangesTableSql("les_TI", fields),
                 QStringLiteral("CREATE TABLE [les_TI] ([GIR] INTEGER, [KV] INTEGER, "
                                "[SKNR] INTEGER, [GOD] INTEGER, [MUK] INTEGER, [PL] FLOAT, "
                                "[ZK] INTEGER, [VID] string (50), [NAME2] string (50), "
                                "[N3] string (20), [N4] string (-1), [PLV] float, "
                                "[N5] smallint)"));
        QCOMPARE(BuildChangesIndexSql("les_TI"),
                 QStringLiteral("CREATE INDEX [les_TI] ON [les_TI] ([GIR], [KV], [SKNR], [GOD]) "
                                "WITH PRIMARY"));
        QCOMPARE(BuildPrimaryIndexSql("lesСост", false),
                 QStringLiteral("CREATE INDEX [lesСост] ON [lesСост] ([GIR], [KV], [SKNR], "
                                "[NUM]) WITH PRIMARY"));
    }

    void tablesAndLookups() {
        QTemporaryDir dir;
        const QString mainPath = dir.filePath("les 2008.db");
        ImportState state;
        state.fieldMap = {Entry("KV", "kv", 1, 1, "integer"),
                          Entry("SKNR", "VYDEL", 1, 2),
                          Entry("C1", "P1", 1, 3),
                          Entry("EC1", "E1", 10, 1),
                          Entry("A60", "L60", 60, 1),
                          Entry("A11", "L11", 11, 1),
                          Entry("B11", "M11", 11, 2)};
        FakeUi ui;
        QVERIFY(CreateMainTable(ui, state, mainPath));
        QVERIFY(CreateElementsTable(ui, state, ElementsTablePath(mainPath)));
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(QFile::exists(dir.filePath("les 2008.px")));
        QVERIFY(QFile::exists(dir.filePath("les 2008Сост.db")));
        QVERIFY(QFile::exists(dir.filePath("les 2008Сост.px")));

        // Main: GIR KV SKNR MUK C1 EC1 A11 B11 A60.
        QCOMPARE(state.mainByName.value("KV").column, 1);
        QCOMPARE(state.mainByName.value("VYDEL").column, 2);
        QCOMPARE(state.mainByName.value("E1").column, 5);
        QCOMPARE(state.mainByName.value("L60").column, 8);
        QCOMPARE(state.mainByName.value("L60").layout, 60);
        QCOMPARE(state.mainByName.value("M11").entry, 6);
        QCOMPARE(state.layoutColumnSlots[0][0], 1);  // KV, SKNR, C1 in dictionary order
        QCOMPARE(state.layoutColumnSlots[0][2], 4);
        QCOMPARE(state.layoutColumnSlots[10][0], 6);
        QCOMPARE(state.layoutColumnSlots[10][1], 7);
        QCOMPARE(state.layoutColumnSlots[10][2], 0);
        // Elements: GIR KV SKNR NUM MUK EC1; the keys reach their columns there too.
        QCOMPARE(state.elementColumnByName.value("E1"), 5);
        QCOMPARE(state.elementColumnByName.value("KV"), 1);
        QVERIFY(!state.elementColumnByName.contains("P1"));
    }

    void sameDoviNameTwiceFailsTheLookup() {
        QTemporaryDir dir;
        ImportState state;
        state.fieldMap = {Entry("C1", "p1", 1, 1), Entry("C2", "P1", 1, 2)};
        FakeUi ui;
        QVERIFY(!CreateMainTable(ui, state, dir.filePath("les.db")));
        QCOMPARE(ui.messageTexts(), QStringList{kLookupFailure});
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        QCOMPARE(ui.lastMessage().title, QString());
    }

    void creationFailureNamesTheTable() {
        QTemporaryDir dir;
        ImportState state;
        // Two layouts giving the same column: the statement is refused.
        state.fieldMap = {Entry("C1", "A", 1, 1), Entry("C1", "B", 2, 1)};
        FakeUi ui;
        QVERIFY(!CreateMainTable(ui, state, dir.filePath("les.db")));
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.startsWith("Ошибка при создании основной таблицы\r"));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
    }
};

QTEST_GUILESS_MAIN(TestStandDatabase)
#include "tst_stand_database.moc"
