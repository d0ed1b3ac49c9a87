#include "common/database.h"
#include "common/failure.h"
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
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
