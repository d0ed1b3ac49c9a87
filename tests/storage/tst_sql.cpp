#include "common/failure.h"
#include "storage/memory_recordset.h"
#include "storage/sql/sql_select.h"
#include "storage/sql/sql_statement.h"

#include <QtTest>

using namespace converter;
using namespace converter::sql;

Q_DECLARE_METATYPE(converter::sql::ColumnType)

namespace {

QVariantList Column(Recordset& rs, int field = 0) {
    QVariantList values;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        values << rs.value(field);
    }
    return values;
}

MemoryRecordset Stands() {
    std::vector<FieldInfo> fields = {{QStringLiteral("KV"), FieldType::Short, 2},
                                     {QStringLiteral("AKTM"), FieldType::Text, 10},
                                     {QStringLiteral("PL"), FieldType::Number, 8}};
    std::vector<MemoryRecordset::Row> rows = {{2, QStringLiteral("98"), 1.5},
                                              {1, QStringLiteral(" 5"), 2.0},
                                              {3, QVariant(), 0.5},
                                              {1, QStringLiteral("5,0"), QVariant()},
                                              {4, QStringLiteral("abc"), 3.0},
                                              {5, QVariant(), 1.0},
                                              {2, QStringLiteral("05"), 4.0}};
    return MemoryRecordset(std::move(fields), std::move(rows));
}

SelectStatement Select(const QString& text) {
    return std::get<SelectStatement>(ParseStatement(text));
}

}  // namespace

class TestSql : public QObject {
    Q_OBJECT

private slots:
    void createTableTextsOfTheSystem_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<int>>("lengths");
        QTest::newRow("sptab, blank before comma")
            << "CREATE TABLE [sptab] ([SpNum] INTEGER, [Code] INTEGER, [ShortName] CHAR (10) , "
               "[NAME] CHAR (55))"
            << QStringList{"SpNum", "Code", "ShortName", "NAME"} << QList<int>{0, 0, 10, 55};
        QTest::newRow("spfield") << "CREATE TABLE [spfield] ([FieldName] CHAR (20), [Text] CHAR "
                                    "(40), [EdIzm] CHAR (10), [SpNum] INTEGER, "
                                    "[ShortText] CHAR (25))"
                                 << QStringList{"FieldName", "Text", "EdIzm", "SpNum", "ShortText"}
                                 << QList<int>{20, 40, 10, 0, 25};
        QTest::newRow("main table, comma without blank")
            << "CREATE TABLE [les] ([GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, [MUK] "
               "INTEGER,[COL1] integer, [COL2] string)"
            << QStringList{"GIR", "KV", "SKNR", "MUK", "COL1", "COL2"}
            << QList<int>{0, 0, 0, 0, 0, 255};
        QTest::newRow("changes table")
            << "CREATE TABLE [les_TI] ([GIR] INTEGER, [KV] INTEGER, [SKNR] INTEGER, [GOD] INTEGER, "
               "[MUK] INTEGER, "
               "[PL] FLOAT, [ZK] INTEGER, [Прим] string (50), [N] smallint)"
            << QStringList{"GIR", "KV", "SKNR", "GOD", "MUK", "PL", "ZK", "Прим", "N"}
            << QList<int>{0, 0, 0, 0, 0, 0, 0, 50, 0};
        QTest::newRow("keywords in any case, bare names, semicolon")
            << "create table lesСост (gir Integer , Num smallint);" << QStringList{"gir", "Num"}
            << QList<int>{0, 0};
    }
    void createTableTextsOfTheSystem() {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        QFETCH(QList<int>, lengths);
        const auto statement = std::get<CreateTableStatement>(ParseStatement(text));
        QStringList parsedNames;
        QList<int> parsedLengths;
        for (const ColumnDefinition& column : statement.columns) {
            parsedNames << column.name;
            parsedLengths << column.length;
        }
        QCOMPARE(parsedNames, names);
        QCOMPARE(parsedLengths, lengths);
    }

    void columnTypes() {
        const auto statement = std::get<CreateTableStatement>(
            ParseStatement("CREATE TABLE [t] ([a] SMALLINT, [b] INTEGER, [c] FLOAT, [d] STRING, "
                           "[e] CHAR (3), [f] LOGICAL)"));
        QList<ColumnType> types;
        for (const ColumnDefinition& column : statement.columns) {
            types << column.type;
        }
        QCOMPARE(types,
                 (QList<ColumnType>{ColumnType::Short, ColumnType::Long, ColumnType::Number,
                                    ColumnType::Text, ColumnType::Text, ColumnType::Logical}));
    }

    void createIndex() {
        const auto index = std::get<CreateIndexStatement>(ParseStatement(
            "CREATE INDEX [lesСост] ON [lesСост] ([GIR], [KV], [SKNR], [NUM]) WITH PRIMARY"));
        QCOMPARE(index.index, QStringLiteral("lesСост"));
        QCOMPARE(index.table, QStringLiteral("lesСост"));
        QCOMPARE(index.columns, (QStringList{"GIR", "KV", "SKNR", "NUM"}));
        QVERIFY(index.primary);
        QVERIFY(!std::get<CreateIndexStatement>(ParseStatement("create index i on t (a)")).primary);
    }

    void selectTexts() {
        SelectStatement s = Select("SELECT  DISTINCT [AKTM] FROM [les]");
        QVERIFY(s.distinct);
        QCOMPARE(s.columns, QStringList{"AKTM"});
        QCOMPARE(s.table, QStringLiteral("les"));
        s = Select("SELECT * FROM [les] WHERE [AKTM] = 5");
        QVERIFY(!s.distinct);
        QVERIFY(s.columns.isEmpty());
        QCOMPARE(s.where->column, QStringLiteral("AKTM"));
        QCOMPARE(s.where->number, 5.0);
        s = Select("select [a], [b] from t where [c] = -2.5 order by [a] desc, [b] asc, c");
        QCOMPARE(s.columns, (QStringList{"a", "b"}));
        QCOMPARE(s.where->number, -2.5);
        QCOMPARE(s.orderBy.size(), size_t{3});
        QVERIFY(s.orderBy[0].descending);
        QVERIFY(!s.orderBy[1].descending);
        QCOMPARE(s.orderBy[2].column, QStringLiteral("c"));
    }

    void malformedTextsAreRefusedWithADescription_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("empty") << ""
                               << "CREATE";
        QTest::newRow("other statement") << "DROP TABLE [t]"
                                         << "CREATE";
        QTest::newRow("trailing comma") << "CREATE TABLE [t] ([a] INTEGER,)"
                                        << "имя поля";
        QTest::newRow("unknown type") << "CREATE TABLE [t] ([a] INTEGE)"
                                      << "тип поля";
        QTest::newRow("missing type") << "CREATE TABLE [t] ([a], [b] INTEGER)"
                                      << "тип поля";
        QTest::newRow("negative length") << "CREATE TABLE [t] ([a] string (-5))"
                                         << "-5";
        QTest::newRow("zero length") << "CREATE TABLE [t] ([a] string (0))"
                                     << "длина";
        QTest::newRow("length over 255") << "CREATE TABLE [t] ([a] CHAR (256))"
                                         << "256";
        QTest::newRow("unclosed list") << "CREATE TABLE [t] ([a] INTEGER"
                                       << "конец текста";
        QTest::newRow("unclosed bracket") << "SELECT * FROM [t"
                                          << "]";
        QTest::newRow("no columns") << "SELECT FROM [t]"
                                    << "FROM";
        QTest::newRow("no table") << "SELECT * FROM"
                                  << "имя таблицы";
        QTest::newRow("text in where") << "SELECT * FROM [t] WHERE [a] = x"
                                       << "число";
        QTest::newRow("order without by") << "SELECT * FROM [t] ORDER [a]"
                                          << "BY";
        QTest::newRow("junk at end") << "SELECT * FROM [t] [u]"
                                     << "конец инструкции";
        QTest::newRow("index without parentheses") << "CREATE INDEX [i] ON [t] [a] WITH PRIMARY"
                                                   << "(";
        QTest::newRow("odd character") << "SELECT * FROM [t] WHERE [a] > 1"
                                       << ">";
    }
    void malformedTextsAreRefusedWithADescription() {
        QFETCH(QString, text);
        QFETCH(QString, mentions);
        try {
            ParseStatement(text);
            QFAIL("accepted");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().contains(mentions), qPrintable(failure.description()));
            QVERIFY2(failure.description().contains(QStringLiteral("SQL")),
                     qPrintable(failure.description()));
        }
    }

    void distinctSortsAndKeepsOneNull() {
        MemoryRecordset stands = Stands();
        RecordsetPtr rs = RunSelect(stands, Select("SELECT  DISTINCT [KV] FROM [les]"));
        QCOMPARE(Column(*rs), (QVariantList{1, 2, 3, 4, 5}));
        rs = RunSelect(stands, Select("SELECT  DISTINCT [AKTM] FROM [les]"));
        const QVariantList values = Column(*rs);
        QCOMPARE(values.size(), 7 - 1);  // two NULLs become one
        QVERIFY(values[0].isNull());
        QCOMPARE(values.mid(1), (QVariantList{" 5", "05", "5,0", "98", "abc"}));
        QCOMPARE(rs->fieldCount(), 1);
        QCOMPARE(rs->field(0).name, QStringLiteral("AKTM"));
    }

    // Repeats are dropped while reading: equal means what the comparison says (numbers by value
    // whatever their type, text without regard to case), and the first of equals is kept.
    void distinctDropsRepeatsAsTheComparisonSeesThem() {
        MemoryRecordset mixed({{"V", FieldType::Text, 10}}, {{QStringLiteral("Ель")},
                                                             {QStringLiteral("ЕЛЬ")},
                                                             {5},
                                                             {5.0},
                                                             {QVariant()},
                                                             {QStringLiteral("ель")},
                                                             {QVariant()},
                                                             {2}});
        RecordsetPtr rs = RunSelect(mixed, Select("SELECT  DISTINCT [V] FROM [t]"));
        const QVariantList values = Column(*rs);
        QCOMPARE(values.size(), 4);
        QVERIFY(values[0].isNull());
        QCOMPARE(values.mid(1), (QVariantList{2, 5, QStringLiteral("Ель")}));
    }

    void whereComparesTextThatReadsAsTheNumber() {
        MemoryRecordset stands = Stands();
        RecordsetPtr rs = RunSelect(stands, Select("SELECT * FROM [les] WHERE [AKTM] = 5"));
        QCOMPARE(Column(*rs, 0), (QVariantList{1, 1, 2}));
        rs = RunSelect(stands, Select("SELECT [PL] FROM [les] WHERE [KV] = 2"));
        QCOMPARE(Column(*rs), (QVariantList{1.5, 4.0}));
        rs = RunSelect(stands, Select("SELECT * FROM [les] WHERE [KV] = 99"));
        QCOMPARE(rs->recordCount(), 0);
        QVERIFY(rs->eof() && rs->bof());
    }

    void orderByTermsAndHiddenColumns() {
        MemoryRecordset stands = Stands();
        RecordsetPtr rs =
            RunSelect(stands, Select("SELECT [PL] FROM [les] ORDER BY [KV] DESC, [PL]"));
        QCOMPARE(rs->fieldCount(), 1);
        QCOMPARE(Column(*rs), (QVariantList{1.0, 3.0, 0.5, 1.5, 4.0, QVariant(), 2.0}));
    }

    void unknownColumnsAreNamed() {
        MemoryRecordset stands = Stands();
        for (const char* text : {"SELECT [X] FROM [les]", "SELECT * FROM [les] WHERE [X] = 1",
                                 "SELECT * FROM [les] ORDER BY [X]"}) {
            try {
                RunSelect(stands, Select(QString::fromUtf8(text)));
                QFAIL(text);
            } catch (const Failure& failure) {
                QVERIFY2(failure.description().contains(QStringLiteral("[X]")),
                         qPrintable(failure.description()));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSql)
#include "tst_sql.moc"
