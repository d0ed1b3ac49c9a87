#include "common/failure.h"
#include "common/qt_compat.h"
#include "storage/memory_recordset.h"

#include <QTest>

using namespace converter;

class TestMemoryRecordset : public QObject {
    Q_OBJECT
private slots:
    void walksRowsAndFindsFieldsRegardlessOfCase() {
        MemoryRecordset rs({{"SpNum", FieldType::Long, 0}, {"Name", FieldType::Text, 10}},
                           {{1, QStringLiteral("Сосна")}, {2, QVariant()}});
        QCOMPARE(rs.recordCount(), 2);
        QCOMPARE(rs.indexOf("spnum"), 0);
        QCOMPARE(rs.indexOf("missing"), -1);
        QVERIFY(!rs.eof());
        QCOMPARE(rs.valueByName("NAME").toString(), QStringLiteral("Сосна"));
        rs.moveNext();
        QVERIFY(rs.value(1).isNull());
        rs.moveNext();
        QVERIFY(rs.eof());
        QVERIFY_THROWS_EXCEPTION(Failure, rs.value(0));
        QVERIFY_THROWS_EXCEPTION(Failure, rs.addNew());
        // A jump past either end stops just beyond it, as walking would.
        rs.moveTo(7);
        QCOMPARE(rs.position(), 2);
        rs.movePrevious();
        QCOMPARE(rs.value(0).toInt(), 2);
        rs.moveTo(-7);
        QVERIFY(rs.bof());
        rs.moveNext();
        QCOMPARE(rs.value(0).toInt(), 1);
        QVERIFY_THROWS_EXCEPTION(Failure, rs.value(2));
        QVERIFY_THROWS_EXCEPTION(Failure, rs.field(-1));
        rs.close();
        QVERIFY_THROWS_EXCEPTION(Failure, rs.value(0));
    }

    void emptyRecordsetIsAtBothEnds() {
        MemoryRecordset rs({{"A", FieldType::Short, 0}}, {});
        QVERIFY(rs.bof());
        QVERIFY(rs.eof());
        QCOMPARE(rs.recordCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMemoryRecordset)
#include "tst_memory_recordset.moc"
