#include "common/failure.h"
#include "common/qt_compat.h"
#include "paradox_structure.h"
#include "storage/database.h"
#include "support/fake_ui.h"
#include "support/test_paths.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace converter;

class TestDatabase : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString folder() const { return dir_.path() + QStringLiteral("/"); }
    QString connection() const {
        return BuildConnectionString(kParadoxFolder, folder() + QStringLiteral("x.db"));
    }

private slots:
    void connectionString_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("paradox")
            << 1 << QStringLiteral("D:\\data\\les.db")
            << QStringLiteral(
                   "Provider=Microsoft.Jet.OLEDB.4.0; User ID=Admin;Data Source = "
                   "D:\\data\\;Mode=Share Deny None;Extended Properties=Paradox 7.x;");
        QTest::newRow("drive root")
            << 1 << QStringLiteral("C:\\x.db")
            << QStringLiteral(
                   "Provider=Microsoft.Jet.OLEDB.4.0; User ID=Admin;Data Source = "
                   "C:\\;Mode=Share Deny None;Extended Properties=Paradox 7.x;");
        QTest::newRow("linux folder")
            << 1 << QStringLiteral("/home/u/les.db")
            << QStringLiteral(
                   "Provider=Microsoft.Jet.OLEDB.4.0; User ID=Admin;Data Source = "
                   "/home/u/;Mode=Share Deny None;Extended Properties=Paradox 7.x;");
        QTest::newRow("access")
            << 3 << QStringLiteral("C:\\prog\\sprav.mdb")
            << QStringLiteral(
                   "Provider=Microsoft.Jet.OLEDB.4.0; User ID=Admin;Data Source = "
                   "C:\\prog\\sprav.mdb;Mode=Share Deny None;Extended Properties=");
    }
    void connectionString() {
        QFETCH(int, kind);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(BuildConnectionString(kind, path), expected);
    }

    void buildSelect() {
        QString columns;
        QString order;
        QCOMPARE(BuildSelect(QStringLiteral("SPTAB"), columns, QString(), false, order),
                 QStringLiteral("SELECT * FROM [SPTAB]"));
        QCOMPARE(columns, QStringLiteral("*"));
        columns = QStringLiteral("[GOD]");
        order = QStringLiteral("[GOD]");
        QCOMPARE(BuildSelect(QStringLiteral("t"), columns, QString(), true, order),
                 QStringLiteral("SELECT  DISTINCT [GOD] FROM [t] ORDER BY [GOD]"));
        QCOMPARE(order, QStringLiteral(" ORDER BY [GOD]"));
    }

    void createWriteReadBack() {
        QVERIFY(dir_.isValid());
        ExecuteStatement(connection(),
                         QStringLiteral("CREATE TABLE [sptab] ([SpNum] INTEGER, [Code] INTEGER, "
                                        "[ShortName] CHAR (10) , [NAME] CHAR (55))"));
        ExecuteStatement(
            connection(),
            QStringLiteral("CREATE INDEX [sptab] ON [sptab] ([SpNum], [Code]) WITH PRIMARY"));
        RecordsetPtr rs = OpenRecordset(connection(), QStringLiteral("[sptab]"), kSourceTable);
        QVERIFY(rs->isUpdatable());
        QCOMPARE(rs->fieldCount(), 4);
        const int keys[][2] = {{3, 1}, {1, 2}, {1, 1}, {2, 7}};
        for (const auto& key : keys) {
            rs->addNew();
            rs->setValue(0, QString::number(key[0]));
            rs->setValue(1, key[1]);
            rs->setValue(2, QStringLiteral("Ель"));
            rs->setValue(3, QStringLiteral("Ель обыкновенная %1").arg(key[1]));
            rs->update();
        }
        rs->addNew();
        rs->setValue(0, 1);
        rs->setValue(1, 2);
        QVERIFY_THROWS_EXCEPTION(Failure, rs->update());
        rs->cancelUpdate();
        QCOMPARE(rs->recordCount(), 4);
        rs->close();

        rs = OpenRecordset(connection(), QStringLiteral("sptab"), kSourceTable);
        QCOMPARE(rs->recordCount(), 4);
        QList<QPair<int, int>> read;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            read.append({rs->value(0).toInt(), rs->value(1).toInt()});
        }
        QCOMPARE(read, (QList<QPair<int, int>>{{1, 1}, {1, 2}, {2, 7}, {3, 1}}));
        rs->moveFirst();
        QCOMPARE(rs->valueByName(QStringLiteral("name")).toString(),
                 QStringLiteral("Ель обыкновенная 1"));
        QCOMPARE(FindFieldIndex(QStringLiteral("spnum"), rs.get()), 0);
        QCOMPARE(FindFieldIndex(QStringLiteral("nope"), rs.get()), -1);
        CloseRecordset(rs);
        QVERIFY(!rs);
        CloseRecordset(rs);

        rs = OpenRecordset(
            connection(),
            QStringLiteral("SELECT  DISTINCT [SpNum] FROM [sptab] ORDER BY [SpNum] DESC"),
            kSourceSql);
        QCOMPARE(rs->recordCount(), 3);
        QCOMPARE(rs->value(0).toInt(), 3);
        // Collected while the table is read: names in any case, several columns, the table's
        // own spelling in the result; the refusals are those of the query over the whole table.
        rs = OpenRecordset(
            connection(),
            QStringLiteral("SELECT DISTINCT [shortname], [spnum] FROM [sptab] ORDER BY [spnum]"),
            kSourceSql);
        QCOMPARE(rs->recordCount(), 3);
        QCOMPARE(rs->field(1).name, QStringLiteral("SpNum"));
        QCOMPARE(rs->value(1).toInt(), 1);
        for (const char* sql :
             {"SELECT DISTINCT [SpNum] FROM [sptab] ORDER BY [Code]",
              "SELECT DISTINCT [X] FROM [sptab]", "SELECT DISTINCT [SpNum] FROM [nope]"}) {
            QVERIFY_THROWS_EXCEPTION(
                Failure, OpenRecordset(connection(), QString::fromUtf8(sql), kSourceSql));
        }
        rs = OpenTableFields(connection(), QStringLiteral("[SPTAB]"));
        QCOMPARE(rs->fieldCount(), 4);
        QCOMPARE(rs->recordCount(), 0);
        QVERIFY(!rs->isUpdatable());
        QVERIFY_THROWS_EXCEPTION(Failure, OpenTableFields(connection(), QStringLiteral("nope")));
        // A scan: the fields once before the rows, then every row in stored (key) order.
        QStringList seen;
        ScanTable(
            connection(), QStringLiteral("sptab"),
            [&seen](const Recordset& fields) { seen.append(fields.field(1).name); },
            [&seen](const Recordset& row) { seen.append(row.value(1).toString()); });
        QCOMPARE(seen, (QStringList{"Code", "1", "2", "7", "1"}));
    }

    void standDatabaseTextsCreateKeyedTables() {
        const QString conn = connection();
        ExecuteStatement(
            conn,
            QStringLiteral("CREATE TABLE [les] ([GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, "
                           "[MUK] INTEGER,[COL1] integer, [COL2] string)"));
        ExecuteStatement(
            conn, QStringLiteral("CREATE INDEX [les] ON [les] ([GIR], [KV], [SKNR]) WITH PRIMARY"));
        ExecuteStatement(
            conn,
            QStringLiteral("CREATE TABLE [lesСост] ([GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, "
                           "[NUM] SMALLINT, [MUK] INTEGER, [ПОР] float)"));
        ExecuteStatement(
            conn,
            QStringLiteral(
                "CREATE INDEX [lesСост] ON [lesСост] ([GIR], [KV], [SKNR], [NUM]) WITH PRIMARY"));
        ExecuteStatement(
            conn, QStringLiteral(
                      "CREATE TABLE [les_TI] ([GIR] INTEGER, [KV] INTEGER, [SKNR] INTEGER, "
                      "[GOD] INTEGER, [MUK] INTEGER, [PL] FLOAT, [ZK] INTEGER, [T] string (50))"));
        ExecuteStatement(
            conn,
            QStringLiteral(
                "CREATE INDEX [les_TI] ON [les_TI] ([GIR], [KV], [SKNR], [GOD]) WITH PRIMARY"));
        for (const QString& name :
             {QStringLiteral("les"), QStringLiteral("lesСост"), QStringLiteral("les_TI")}) {
            const QStringList problems = testing::CheckTableStructure(
                folder() + name + QStringLiteral(".db"), folder() + name + QStringLiteral(".px"));
            QVERIFY2(problems.isEmpty(),
                     qPrintable(name + QStringLiteral(": ") + problems.join('\n')));
        }
        RecordsetPtr rs = OpenRecordset(conn, QStringLiteral("[LESсост]"), kSourceTable);
        QCOMPARE(rs->fieldCount(), 6);
        QCOMPARE(rs->field(5).name, QStringLiteral("ПОР"));
        QCOMPARE(rs->field(5).type, FieldType::Number);
        QCOMPARE(rs->recordCount(), 0);
        QVERIFY(rs->bof() && rs->eof());
        int fieldCount = 0;
        ScanTable(
            conn, QStringLiteral("[LESсост]"),
            [&fieldCount](const Recordset& fields) { fieldCount += fields.fieldCount(); },
            [](const Recordset&) { QFAIL("a row of an empty table"); });
        QCOMPARE(fieldCount, 6);
        rs = OpenRecordset(conn, QStringLiteral("les"), kSourceTable);
        QCOMPARE(rs->field(1).type, FieldType::Short);
        QCOMPARE(rs->field(5).type, FieldType::Text);
        QCOMPARE(rs->field(5).size, 255);
        // Values arrive as text, as the import hands them over.
        rs->addNew();
        for (const auto& [name, text] : {std::pair{"GIR", "34567805"},
                                         {"KV", "12"},
                                         {"SKNR", "3"},
                                         {"MUK", "12345678"},
                                         {"COL1", "-7"},
                                         {"COL2", "Сосна обыкновенная"}}) {
            rs->setValueByName(QString::fromUtf8(name), QString::fromUtf8(text));
        }
        rs->update();
        rs->addNew();
        rs->setValue(0, QStringLiteral("34567805"));
        rs->setValue(1, QStringLiteral("12"));
        rs->setValue(2, QStringLiteral("3"));
        QVERIFY_THROWS_EXCEPTION(Failure, rs->update());
        CloseRecordset(rs);
        rs = OpenRecordset(conn, QStringLiteral("SELECT * FROM [les] WHERE [KV] = 12"), kSourceSql);
        QVERIFY(!rs->isUpdatable());
        QCOMPARE(rs->recordCount(), 1);
        QCOMPARE(rs->valueByName(QStringLiteral("col2")).toString(),
                 QStringLiteral("Сосна обыкновенная"));
        QCOMPARE(rs->valueByName(QStringLiteral("COL1")).toInt(), -7);
        rs = OpenRecordset(conn, QStringLiteral("SELECT [COL2] FROM [les] WHERE [kv] = 13"),
                           kSourceSql);
        QCOMPARE(rs->recordCount(), 0);
        QVERIFY_THROWS_EXCEPTION(
            Failure,
            OpenRecordset(conn, QStringLiteral("SELECT * FROM [les] WHERE [X] = 12"), kSourceSql));
        // Rows the caller does not need are left out, each shown to it with its values; rows the
        // WHERE drops are not shown.
        QStringList shown;
        const RowFilter negative = [&shown](const Recordset& row) {
            shown << row.valueByName(QStringLiteral("col2")).toString();
            return row.numberValue(row.indexOf(QStringLiteral("COL1"))).value_or(0) < 0;
        };
        const QString year12 = QStringLiteral("SELECT * FROM [les] WHERE [KV] = 12");
        QCOMPARE(OpenRecordset(conn, year12, kSourceSql, negative)->recordCount(), 1);
        QCOMPARE(shown, QStringList{QStringLiteral("Сосна обыкновенная")});
        QCOMPARE(OpenRecordset(conn, year12, kSourceSql, [](const Recordset&) { return false; })
                     ->recordCount(),
                 0);
        OpenRecordset(conn, QStringLiteral("SELECT * FROM [les] WHERE [KV] = 13"), kSourceSql,
                      negative);
        QCOMPARE(shown.size(), 1);
    }

    // A main table with every dictionary field runs to a hundred and more columns: its header
    // outgrows the usual 2 KiB and the records fill bigger blocks.
    void wideTableWithALargeHeader() {
        QString text = QStringLiteral(
            "CREATE TABLE [wide] ([GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, [MUK] INTEGER,");
        for (int i = 0; i < 150; ++i) {
            text += QStringLiteral("[ПОКАЗАТЕЛЬ_%1] %2, ")
                        .arg(i)
                        .arg(i % 10 == 0 ? QStringLiteral("string") : QStringLiteral("float"));
        }
        text.chop(2);
        ExecuteStatement(connection(), text + QStringLiteral(")"));
        ExecuteStatement(
            connection(),
            QStringLiteral("CREATE INDEX [wide] ON [wide] ([GIR], [KV], [SKNR]) WITH PRIMARY"));
        RecordsetPtr rs = OpenRecordset(connection(), QStringLiteral("[wide]"), kSourceTable);
        QCOMPARE(rs->fieldCount(), 154);
        for (int row = 3; row > 0; --row) {
            rs->addNew();
            rs->setValue(0, 1);
            rs->setValue(1, row);
            rs->setValue(2, 1);
            rs->setValue(153, QStringLiteral("%1,5").arg(row));
            rs->setValue(144, QStringLiteral("Строка %1").arg(row));
            rs->update();
        }
        CloseRecordset(rs);
        const QStringList problems = testing::CheckTableStructure(
            folder() + QStringLiteral("wide.db"), folder() + QStringLiteral("wide.px"));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        rs = OpenRecordset(
            connection(),
            QStringLiteral("SELECT [KV], [ПОКАЗАТЕЛЬ_149], [показатель_140] FROM [wide]"),
            kSourceSql);
        QCOMPARE(rs->value(0).toInt(), 1);
        QCOMPARE(rs->value(1).toDouble(), 1.5);
        QCOMPARE(rs->value(2).toString(), QStringLiteral("Строка 1"));
    }

    void statementFailures_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("table exists") << "CREATE TABLE [SPTAB] ([a] INTEGER)"
                                      << "уже существует";
        QTest::newRow("column twice") << "CREATE TABLE [t1] ([a] INTEGER, [A] SMALLINT)"
                                      << "[A]";
        QTest::newRow("name too long") << "CREATE TABLE [t2] ([abcdefghijklmnopqrstuvwxyz] INTEGER)"
                                       << "abcdefghij";
        QTest::newRow("key not leading") << "CREATE INDEX [sptab] ON [sptab] ([Code]) WITH PRIMARY"
                                         << "[Code]";
        QTest::newRow("no such table") << "CREATE INDEX [x] ON [x] ([a]) WITH PRIMARY"
                                       << "[x]";
        QTest::newRow("secondary index") << "CREATE INDEX [i] ON [sptab] ([SpNum])"
                                         << "PRIMARY";
        QTest::newRow("select") << "SELECT * FROM [sptab]"
                                << "CREATE";
        QTest::newRow("syntax") << "CREATE TABLE [t3] ([a] INTEGER,)"
                                << "SQL";
    }
    void statementFailures() {
        QFETCH(QString, text);
        QFETCH(QString, mentions);
        try {
            ExecuteStatement(connection(), text);
            QFAIL("accepted");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().contains(mentions), qPrintable(failure.description()));
        }
        QVERIFY(!QFile::exists(folder() + QStringLiteral("t1.db")));
    }

    void openFailures() {
        QVERIFY_THROWS_EXCEPTION(
            Failure, OpenRecordset(connection(), QStringLiteral("[nothing]"), kSourceTable));
        QVERIFY_THROWS_EXCEPTION(
            Failure,
            OpenRecordset(connection(), QStringLiteral("SELECT [x] FROM [sptab]"), kSourceSql));
        QVERIFY_THROWS_EXCEPTION(
            Failure,
            OpenRecordset(connection(), QStringLiteral("SELEKT * FROM [sptab]"), kSourceSql));
        QVERIFY_THROWS_EXCEPTION(Failure, OpenRecordset(QStringLiteral("nonsense"),
                                                        QStringLiteral("sptab"), kSourceTable));
        QVERIFY_THROWS_EXCEPTION(
            Failure, OpenRecordset(BuildConnectionString(kAccessFile,
                                                         folder() + QStringLiteral("absent.mdb")),
                                   QStringLiteral("Fields"), kSourceTable));
        QVERIFY_THROWS_EXCEPTION(
            Failure,
            ExecuteStatement(BuildConnectionString(kAccessFile, folder() + QStringLiteral("a.mdb")),
                             QStringLiteral("CREATE TABLE [t] ([a] INTEGER)")));
    }

    void distinctYearsOfAStandTable() {
        const QString conn = connection();
        ExecuteStatement(
            conn,
            QStringLiteral("CREATE TABLE [god] ([GIR] INTEGER, [KV] SMALLINT, [AKTM] SMALLINT)"));
        ExecuteStatement(conn,
                         QStringLiteral("CREATE INDEX [god] ON [god] ([GIR], [KV]) WITH PRIMARY"));
        RecordsetPtr rs = OpenRecordset(conn, QStringLiteral("[god]"), kSourceTable);
        const QVariant years[] = {98, 5, QVariant(), 98, QString(), 5};
        int kv = 0;
        for (const QVariant& year : years) {
            rs->addNew();
            rs->setValue(0, 1);
            rs->setValue(1, ++kv);
            rs->setValue(2, year);
            rs->update();
        }
        CloseRecordset(rs);
        QString columns = QStringLiteral("[AKTM]");
        QString order;
        rs = OpenRecordset(
            conn, BuildSelect(QStringLiteral("god"), columns, QString(), true, order), kSourceSql);
        QVariantList values;
        for (; !rs->eof(); rs->moveNext()) {
            values << rs->value(0);
        }
        QCOMPARE(values, (QVariantList{QVariant(), 5, 98}));
    }

    void checkConnectedAndClose() {
        testing::FakeUi ui;
        QVERIFY(!CheckConnected(ui, nullptr));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.lastMessage().text, QStringLiteral("Ошибка при подключении к базе"));
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Ошибка"));
        QCOMPARE(ui.lastMessage().icon, MessageIcon::Warning);
        RecordsetPtr rs = OpenRecordset(connection(), QStringLiteral("sptab"), kSourceTable);
        QVERIFY(CheckConnected(ui, rs.get()));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(FindFieldIndex(QStringLiteral("x"), nullptr), -1);
        rs->close();
        QVERIFY(!rs->isOpen());
        CloseRecordset(rs);
        QVERIFY(!rs);
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
