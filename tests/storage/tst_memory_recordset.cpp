#include "common/failure.h"
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
