#include "common/failure.h"
#include "common/qt_compat.h"
#include "storage/database.h"
#include "storage/paradox/paradox_recordset.h"
#include "storage/paradox/paradox_table.h"
#include "support/test_paths.h"

#include <QDate>
#include <QDateTime>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTime>
#include <QtTest>

using namespace converter;
using namespace converter::paradox;

namespace {

QString Sample(const QString& name) {
    return testing::SamplesDir() + QStringLiteral("/paradox/") + name;
}

QString Shown(const QVariant& v) {
    if (v.isNull()) {
        return QStringLiteral("NULL");
    }
    if (v.userType() == QMetaType::QDate) {
        return v.toDate().toString(Qt::ISODate);
    }
    if (v.userType() == QMetaType::QDateTime) {
        return v.toDateTime().toString(Qt::ISODate);
    }
    if (v.userType() == QMetaType::QTime) {
        return v.toTime().toString(Qt::ISODate);
    }
    return v.toString();
}

QStringList Row(const ParadoxTable& table, int row) {
    QStringList values;
    for (int f = 0; f < table.fieldCount(); ++f) {
        values << Shown(table.decodeValue(table.row(row), f));
    }
    return values;
}

QStringList Column(const ParadoxTable& table, int field) {
    QStringList values;
    for (int r = 0; r < table.rowCount(); ++r) {
        values << Shown(table.decodeValue(table.row(r), field));
    }
    return values;
}

// Reads a table and every value of it; a Failure is an acceptable outcome for a damaged file.
bool ReadsOrRefuses(const QString& path, QString& error) {
    try {
        ParadoxRecordset rs(ParadoxTable::Load(path), false);
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
            for (int f = 0; f < rs.fieldCount(); ++f) {
                try {
                    (void)rs.value(f);
                } catch (const Failure&) {
                    // a damaged memo pointer refuses only that value
                }
            }
        }
        return true;
    } catch (const Failure&) {
        return true;
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
        return false;
    }
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

}  // namespace

class TestParadoxSamples : public QObject {
    Q_OBJECT

private slots:
    void tableShapes_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("fields");
        QTest::addColumn<int>("keys");
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QStringList>("firstRow");
        QTest::newRow("County") << "County.DB" << 3218 << 4 << 1 << 437
                                << QStringList{"1", "Abbeville", "SC", "45001"};
        QTest::newRow("ORDERS") << "ORDERS.DB" << 224 << 11 << 1 << 437
                                << QStringList{"1001", "1221",   "1988-04-03", "1988-04-05",
                                               "UPS",  "7320",   "7320",       "0",
                                               "FOB",  "Credit", "Apr"};
        QTest::newRow("SERVER") << "SERVER.DB" << 4 << 4 << 2 << 1252
                                << QStringList{"G", "/MAILLIST.HTM", "HERCULES",
                                               "OUTPUT_MAIL_LIST"};
        QTest::newRow("long") << "fields/long.db" << 3 << 2 << 1 << 437 << QStringList{"1", "1"};
        QTest::newRow("date7") << "fields/date7.db" << 5 << 2 << 0 << 437
                               << QStringList{"2018-01-01", "10:00:00"};
        QTest::newRow("timestamp")
            << "fields/timestamp.db" << 2 << 1 << 0 << 437 << QStringList{"NULL"};
        QTest::newRow("bcd") << "fields/bcd.db" << 3 << 3 << 0 << 437
                             << QStringList{"1.23", "1", "NULL"};
    }
    void tableShapes() {
        QFETCH(QString, file);
        QFETCH(int, rows);
        QFETCH(int, fields);
        QFETCH(int, keys);
        QFETCH(int, codePage);
        QFETCH(QStringList, firstRow);
        REQUIRE_SAMPLE(QStringLiteral("paradox/") + file);
        const ParadoxTable table = ParadoxTable::Load(Sample(file));
        QCOMPARE(table.rowCount(), rows);
        QCOMPARE(table.fieldCount(), fields);
        QCOMPARE(table.keyFieldCount(), keys);
        QCOMPARE(table.driver().codePage, codePage);
        QCOMPARE(Row(table, 0), firstRow);
    }

    void singleTypeColumns() {
        REQUIRE_SAMPLE(QStringLiteral("paradox/fields/time.db"));
        QCOMPARE(Column(ParadoxTable::Load(Sample("fields/long.db")), 1),
                 (QStringList{"1", "2", "NULL"}));
        QCOMPARE(Column(ParadoxTable::Load(Sample("fields/time.db")), 0),
                 (QStringList{"01:00:01", "NULL", "03:00:03"}));
        QCOMPARE(Column(ParadoxTable::Load(Sample("fields/timestamp.db")), 0),
                 (QStringList{"NULL", "2020-02-01T01:00:01Z"}));
        QCOMPARE(Column(ParadoxTable::Load(Sample("fields/bcd.db")), 0),
                 (QStringList{"1.23", "-1.23", "0"}));
        // The fourth stored byte is 0x81, so the fourth row reads true.
        QCOMPARE(Column(ParadoxTable::Load(Sample("fields/logical.db")), 0),
                 (QStringList{"true", "false", "true", "true"}));
    }

    void memoTextComesFromTheMemoFile() {
        REQUIRE_SAMPLE(QStringLiteral("paradox/fields/memo.mb"));
        const ParadoxTable table = ParadoxTable::Load(Sample("fields/memo.db"));
        QCOMPARE(table.rowCount(), 2);
        const QString first = table.decodeValue(table.row(0), 1).toString();
        QVERIFY(first.size() > 240);  // longer than the leader: read from the .mb
        QVERIFY(first.startsWith(QStringLiteral("0123456789001234")));
        QVERIFY(table.decodeValue(table.row(1), 1)
                    .toString()
                    .startsWith(QStringLiteral("01234567890")));
        ParadoxRecordset rs(ParadoxTable::Load(Sample("fields/memo.db")), true);
        QVERIFY_THROWS_EXCEPTION(Failure, rs.addNew());  // memo tables are read only
    }

    void everyTypeAndBlanks() {
        REQUIRE_SAMPLE(QStringLiteral("paradox/TypSammlung.DB"));
        const ParadoxTable table = ParadoxTable::Load(Sample("TypSammlung.DB"));
        QCOMPARE(table.rowCount(), 5);
        QCOMPARE(table.fields()[5].info.type, FieldType::Bcd);
        QCOMPARE(table.fields()[11].name, QStringLiteral("Zähler"));
        int zeros = -1;
        int blanks = -1;
        for (int r = 0; r < table.rowCount(); ++r) {
            const QString name = table.decodeValue(table.row(r), 0).toString();
            zeros = name == u"Null-Werte" ? r : zeros;
            blanks = name == u"Erste Zeile" ? r : blanks;
        }
        QVERIFY(zeros >= 0 && blanks >= 0);
        for (int f = 1; f <= 5; ++f) {  // N, $, S, I, BCD: stored zeros are values
            QVariant v = table.decodeValue(table.row(zeros), f);
            QVERIFY2(!v.isNull() && v.toDouble() == 0,
                     qPrintable(table.fields()[static_cast<size_t>(f)].name));
        }
        for (int f = 2; f <= 9; ++f) {  // blanks, the BCD one stored as 0x06 and zeros
            QVERIFY2(table.decodeValue(table.row(blanks), f).isNull(),
                     qPrintable(table.fields()[static_cast<size_t>(f)].name));
        }
        const QStringList second = Row(table, 4);
        QCOMPARE(second.mid(0, 9), (QStringList{"Zweite Zeile", "-40", "-40", "-40", "-40", "-40",
                                                "1999-09-09", "11:11:11", "2003-06-10T11:11:11Z"}));
        QCOMPARE(second[10], QStringLiteral("true"));
    }

    void cyrillicCp866() {
        REQUIRE_SAMPLE(QStringLiteral("paradox/of_cp866.db"));
        const ParadoxTable table = ParadoxTable::Load(Sample("of_cp866.db"));
        QCOMPARE(table.rowCount(), 2197);
        QCOMPARE(table.fieldCount(), 19);
        QCOMPARE(table.driver().codePage, 866);
        QCOMPARE(table.fields()[0].name, QStringLiteral("Инвентарный номер"));
        QCOMPARE(table.decodeValue(table.row(0), 3).toString(),
                 QStringLiteral("АП-Т УЗТ-ПЕРЕНОСНОЙ"));
        QCOMPARE(table.decodeValue(table.row(0), 4).toDate(), QDate(1972, 1, 1));
    }

    // No sample of the oldest layout is at hand: build one (no data header, 79-byte name area, no
    // code page) with the DOS Cyrillic sort order, which alone tells that its text is 866.
    void version3LayoutIsRead() {
        QByteArray file(0x800 + 1024, '\0');
        const auto put16 = [&file](int at, int v) {
            file[at] = static_cast<char>(v);
            file[at + 1] = static_cast<char>(v >> 8);
        };
        put16(0x00, 6);  // record: A4 + S
        put16(0x02, 0x800);
        file[0x04] = 2;
        file[0x05] = 1;
        file[0x06] = 2;  // records
        put16(0x0A, 1);
        put16(0x0C, 1);
        put16(0x0E, 1);
        put16(0x10, 1);
        put16(0x21, 2);
        file[0x29] = static_cast<char>(0xC0);
        file[0x39] = 4;
        const char descriptors[] = {0x01, 0x04, 0x03, 0x02};
        file.replace(0x58, 4, QByteArray(descriptors, 4));
        const int names = 0x58 + 4 + 4 + 8 + 79;
        file.replace(names, 7, QByteArray("\x88\xAC\xEF\0N\0\0", 7));  // "Имя", "N"
        put16(0x800 + 4, 6);                                           // two records
        file.replace(0x806, 12, QByteArray("\xF0\xAB\xAA\xA0\x80\x05\x85\xAB\xEC\0\x7F\xFF", 12));
        QTemporaryDir dir;
        WriteBytes(dir.filePath(QStringLiteral("old.db")), file);
        const ParadoxTable table = ParadoxTable::Load(dir.filePath(QStringLiteral("old.db")));
        QCOMPARE(table.driver().codePage, 866);
        QCOMPARE(table.fields()[0].name, QStringLiteral("Имя"));
        QCOMPARE(Row(table, 0), (QStringList{"Ёлка", "5"}));
        QCOMPARE(Row(table, 1), (QStringList{"Ель", "-1"}));
    }

    void openedThroughTheAccessLayerRegardlessOfCase() {
        REQUIRE_SAMPLE(QStringLiteral("paradox/County.DB"));
        const QString connection = BuildConnectionString(kParadoxFolder, Sample("county.db"));
        RecordsetPtr rs = OpenRecordset(connection, QStringLiteral("[county]"), kSourceTable);
        QCOMPARE(rs->recordCount(), 3218);
        QCOMPARE(rs->valueByName(QStringLiteral("county")).toString(), QStringLiteral("Abbeville"));
        rs->close();  // unchanged: the read-only sample is not written
        rs = OpenRecordset(
            connection,
            QStringLiteral("SELECT  DISTINCT [StateID] FROM [COUNTY] ORDER BY [StateID]"),
            kSourceSql);
        QVERIFY(rs->recordCount() > 40 && rs->recordCount() < 60);
        QCOMPARE(rs->value(0).toString(), QStringLiteral("AK"));
        rs = OpenRecordset(
            connection, QStringLiteral("SELECT * FROM [County] WHERE [FIPS] = 45001"), kSourceSql);
        QCOMPARE(rs->recordCount(), 1);
        QCOMPARE(rs->value(1).toString(), QStringLiteral("Abbeville"));
    }

    // Damaged copies of every sample: each is read or refused with a Failure, never a crash,
    // an endless walk or an out-of-bounds read (the sanitizer build checks the last).
    void mutatedSamplesAreReadOrRefused() {
        REQUIRE_SAMPLE(QStringLiteral("paradox/County.DB"));
        // Thousands of small writes: a memory file system when there is one.
        QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                              ? QStringLiteral("/dev/shm/mutation-XXXXXX")
                              : QString());
        QVERIFY(dir.isValid());
        const QStringList files = {"County.DB",       "ORDERS.DB",         "SERVER.DB",
                                   "TypSammlung.DB",  "of_cp866.db",       "fields/bcd.db",
                                   "fields/date7.db", "fields/logical.db", "fields/long.db",
                                   "fields/memo.db",  "fields/time.db",    "fields/timestamp.db"};
        QRandomGenerator random(20261207);
        int mutations = 0;
        for (const QString& name : files) {
            QFile source(Sample(name));
            QVERIFY(source.open(QIODevice::ReadOnly));
            const QByteArray original = source.readAll();
            const bool memo = name.endsWith(QStringLiteral("memo.db"));
            const QString target =
                dir.filePath(memo ? QStringLiteral("memo.db") : QStringLiteral("t.db"));
            if (memo) {
                QFile::remove(dir.filePath(QStringLiteral("memo.mb")));
                QVERIFY(
                    QFile::copy(Sample("fields/memo.mb"), dir.filePath(QStringLiteral("memo.mb"))));
            }
            // Each damaged copy is checked as soon as it is made: copies of the larger samples add
            // up.
            const auto variants = [&](const QByteArray& variant) {
                WriteBytes(target, variant);
                QString error;
                QVERIFY2(ReadsOrRefuses(target, error),
                         qPrintable(name + QStringLiteral(": ") + error));
                ++mutations;
            };
            for (qsizetype cut : {qsizetype{0}, qsizetype{0x57}, qsizetype{0x77}, qsizetype{0x200},
                                  qsizetype{0x7FF}, qsizetype{0x805},
                                  qsizetype{original.size() / 2}, qsizetype{original.size() - 1}}) {
                variants(original.left(cut));
            }
            std::vector<int> offsets;
            for (int offset = 0; offset < 0x80; ++offset) {
                offsets.push_back(offset);
            }
            for (int i = 0; i < 120; ++i) {
                offsets.push_back(0x80 + random.bounded(0x800 - 0x80));
            }
            for (int offset : offsets) {
                for (char value : {'\x00', '\xFF'}) {
                    QByteArray copy = original;
                    copy[offset] = value;
                    variants(copy);
                }
                QByteArray copy = original;
                copy[offset] = static_cast<char>(copy[offset] ^ 0x01);
                variants(copy);
            }
            // Block headers: chains that loop or leave the file, impossible data sizes.
            const qsizetype blockSize = static_cast<unsigned char>(original[5]) * 1024;
            for (qsizetype block = 0x800;
                 block + 6 <= original.size() && block < 0x800 + 8 * blockSize;
                 block += blockSize) {
                for (const QByteArray& header :
                     {QByteArray("\x01\x00", 2), QByteArray("\xFF\xFF", 2)}) {
                    QByteArray copy = original;
                    copy.replace(block, 2, header);
                    variants(copy);
                }
                for (const QByteArray& size : {QByteArray("\xFF\x7F", 2), QByteArray("\xFE\xFF", 2),
                                               QByteArray("\x01\x00", 2)}) {
                    QByteArray copy = original;
                    copy.replace(block + 4, 2, size);
                    variants(copy);
                }
            }
            for (int i = 0; i < 100; ++i) {
                QByteArray copy = original;
                for (int n = 0; n < 4; ++n) {
                    copy[random.bounded(copy.size())] = static_cast<char>(random.bounded(256));
                }
                variants(copy);
            }
        }
        // Damaged memo files under an intact table.
        QFile memoFile(Sample("fields/memo.mb"));
        QVERIFY(memoFile.open(QIODevice::ReadOnly));
        const QByteArray memo = memoFile.readAll();
        QFile::remove(dir.filePath(QStringLiteral("memo.db")));
        QVERIFY(QFile::copy(Sample("fields/memo.db"), dir.filePath(QStringLiteral("memo.db"))));
        for (int i = 0; i < 300; ++i) {
            QByteArray copy = i < 20 ? memo.left(i * 400) : memo;
            for (int n = 0; i >= 20 && n < 3; ++n) {
                copy[random.bounded(copy.size())] = static_cast<char>(random.bounded(256));
            }
            WriteBytes(dir.filePath(QStringLiteral("memo.mb")), copy);
            QString error;
            QVERIFY2(ReadsOrRefuses(dir.filePath(QStringLiteral("memo.db")), error),
                     qPrintable(error));
            ++mutations;
        }
        qInfo("%d damaged files read or refused", mutations);
    }

    void damageIsNamedInTheFailure() {
        REQUIRE_SAMPLE(QStringLiteral("paradox/ORDERS.DB"));
        QTemporaryDir dir;
        QFile source(Sample("ORDERS.DB"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        bytes[0x800] = 1;  // block 1 points to itself
        bytes[0x801] = 0;
        const QString path = dir.filePath(QStringLiteral("orders.db"));
        WriteBytes(path, bytes);
        try {
            ParadoxTable::Load(path);
            QFAIL("a looping chain was accepted");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().contains(QStringLiteral("orders.db")),
                     qPrintable(failure.description()));
            QVERIFY2(failure.description().contains(QStringLiteral("цепочка")),
                     qPrintable(failure.description()));
        }
    }
};

QTEST_GUILESS_MAIN(TestParadoxSamples)
#include "tst_paradox_samples.moc"
