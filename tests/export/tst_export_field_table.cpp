#include "export/export_field_table.h"

#include "export_fixture.h"
#include "reference/dictionary_checks.h"
#include "support/fake_ui.h"

#include <QTest>

using namespace converter;
using namespace converter::testing;

class ExportFieldTableTest : public QObject {
    Q_OBJECT

private slots:
    void maketListIsSortedAndNumeric();
    void tableFollowsFieldsOrderAndMainColumns();
    void refusesMoreThan255FieldsOfOneMaket();
    void refusesDictionaryWithoutMakets();
};

// Maket stored as text: the distinct query sees "1", "01" and "abc" as three values.
void ExportFieldTableTest::maketListIsSortedAndNumeric() {
    ExportFixture f;
    DictionaryBuilder builder;
    builder.table("Fields", {{"Maket", Jet4Type::Text, 10}})
        .row({"12"})
        .row({"3"})
        .row({QVariant()})
        .row({"abc"})
        .row({"10"})
        .row({"01"})
        .row({"1"});
    builder.writeInto(f.path(QString()));

    FakeUi ui;
    std::vector<int> makets{99};
    QVERIFY(LoadMaketList(ui, makets));
    QCOMPARE(makets, (std::vector<int>{1, 3, 10, 12}));
    QVERIFY(ui.messages.isEmpty());
}

void ExportFieldTableTest::tableFollowsFieldsOrderAndMainColumns() {
    ExportFixture f;
    f.writeDictionary({{"B", "DB", 3, 2},
                       {"A", "DA", 3, 1, "double", true},
                       {"NOCOLUMN", "DN", 3},
                       {"C", "", 3},
                       {"E", "DE", 10, 1, "long", false, true},
                       {"GONE", "DG", 12}});
    f.createDatabase({{"A", "FLOAT"}, {"b", "SMALLINT"}, {"C", "SMALLINT"}, {"E", "SMALLINT"}}, {});
    FakeUi ui;
    std::vector<int> makets;
    ExportFieldTable table;
    QVERIFY(CheckFieldsTable(ui));
    QVERIFY(LoadMaketList(ui, makets));
    QVERIFY(LoadExportFieldMap(ui, f.mainPath(), makets, table));
    QVERIFY(ui.messages.isEmpty());

    QCOMPARE(table.size(), size_t{3});
    QCOMPARE(table[0].layout, 3);
    // Fields order (B before A), not Position; a missing column and an empty Dovi are left out.
    QCOMPARE(table[0].fields.size(), size_t{2});
    QCOMPARE(table[0].fields[0].tarvel, QStringLiteral("B"));
    QCOMPARE(table[0].fields[0].dovi, QStringLiteral("DB"));
    QCOMPARE(table[0].fields[1].tarvel, QStringLiteral("A"));
    QVERIFY(table[0].fields[1].multTen);
    QVERIFY(!table[0].fields[1].decode);
    QCOMPARE(table[1].layout, 10);
    QVERIFY(table[1].fields[0].decode);
    // A maket none of whose columns exists keeps its (empty) column.
    QCOMPARE(table[2].layout, 12);
    QVERIFY(table[2].fields.empty());
}

// Several Fields rows may name one column; the 256th of a maket would not fit a layout line.
void ExportFieldTableTest::refusesMoreThan255FieldsOfOneMaket() {
    for (int count : {kMaxExportFieldsPerMaket, kMaxExportFieldsPerMaket + 1}) {
        ExportFixture f;
        std::vector<FieldRow> rows;
        for (int i = 0; i < count; ++i) {
            rows.push_back({"KOD", QStringLiteral("K%1").arg(i), 3});
        }
        f.writeDictionary(rows);
        f.createDatabase({{"KOD", "SMALLINT"}}, {});
        FakeUi ui;
        std::vector<int> makets;
        ExportFieldTable table;
        QVERIFY(CheckFieldsTable(ui) && LoadMaketList(ui, makets));
        const bool loaded = LoadExportFieldMap(ui, f.mainPath(), makets, table);
        if (count == kMaxExportFieldsPerMaket) {
            QVERIFY(loaded);
            QCOMPARE(table[0].fields.size(), size_t(count));
        } else {
            QVERIFY(!loaded);
            QCOMPARE(ui.messages.size(), 1);
            QVERIFY(ui.lastMessage().text.startsWith(
                QStringLiteral("Ошибка при чтении справочника FIELDS\r")));
        }
    }
}

void ExportFieldTableTest::refusesDictionaryWithoutMakets() {
    ExportFixture f;
    f.writeDictionary({});
    f.createDatabase({}, {});
    FakeUi ui;
    std::vector<int> makets;
    ExportFieldTable table;
    QVERIFY(CheckFieldsTable(ui));
    QVERIFY(LoadMaketList(ui, makets));
    QVERIFY(makets.empty());
    QVERIFY(!LoadExportFieldMap(ui, f.mainPath(), makets, table));
    QVERIFY(
        ui.lastMessage().text.startsWith(QStringLiteral("Ошибка при чтении справочника FIELDS\r")));
}

QTEST_GUILESS_MAIN(ExportFieldTableTest)
#include "tst_export_field_table.moc"
