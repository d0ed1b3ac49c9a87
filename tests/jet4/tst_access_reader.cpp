#include "common/failure.h"
#include "common/qt_compat.h"
#include "jet4/jet4_writer.h"
#include "storage/access/access_file.h"
#include "storage/access/access_table.h"
#include "storage/access/jet_file.h"
#include "storage/memory_recordset.h"
#include "support/test_paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <unistd.h>

#include <cstdio>

using namespace converter;
using namespace converter::testing;

namespace {

QString Sample(const QString& name) {
    return SamplesDir() + QStringLiteral("/access/") + name;
}

constexpr int kPage = 4096;

quint32 Get32(const QByteArray& b, int at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

void Put32(QByteArray& b, int at, quint32 v) {
    qToLittleEndian(v, b.data() + at);
}

void Put16(QByteArray& b, int at, int v) {
    qToLittleEndian(static_cast<quint16>(v), b.data() + at);
}

// Where row `row` of data page `page` starts.
int RowStart(const QByteArray& b, int page, int row) {
    return page * kPage +
           (qFromLittleEndian<quint16>(b.constData() + page * kPage + 14 + 2 * row) & 0x1FFF);
}

QVariantList RowValues(Recordset& rs) {
    QVariantList values;
    for (int i = 0; i < rs.fieldCount(); ++i) {
        values.append(rs.value(i));
    }
    return values;
}

}  // namespace

class TestAccessReader : public QObject {
    Q_OBJECT
private slots:
    void readsTheTypedTableOfBothJetVersions_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("Jet4") << QStringLiteral("jackcess_testV2000.mdb");
        QTest::newRow("Jet3") << QStringLiteral("jackcess_testV1997.mdb");
    }

    void readsTheTypedTableOfBothJetVersions() {
        QFETCH(QString, file);
        REQUIRE_SAMPLE(QStringLiteral("access/") + file);
        QCOMPARE(AccessTableNames(Sample(file)),
                 QStringList({"Table1", "Table2", "Table3", "Table4"}));

        RecordsetPtr rs = OpenAccessTable(Sample(file), QStringLiteral("table1"));
        QStringList names;
        for (int i = 0; i < rs->fieldCount(); ++i) {
            names.append(rs->field(i).name);
        }
        QCOMPARE(names, QStringList({"A", "B", "C", "D", "E", "F", "G", "H", "I"}));
        QCOMPARE(rs->field(0).type, FieldType::Text);
        QCOMPARE(rs->field(0).size, 50);
        QCOMPARE(rs->field(1).size, 100);
        QCOMPARE(rs->field(3).type, FieldType::Short);
        QCOMPARE(rs->field(4).type, FieldType::Long);
        QCOMPARE(rs->field(5).type, FieldType::Number);
        QCOMPARE(rs->field(8).type, FieldType::Logical);
        QCOMPARE(rs->recordCount(), 2);

        // The row order differs between the two files; find the full row.
        bool found = false;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            if (rs->value(0).toString() != QLatin1String("abcdefg")) {
                continue;
            }
            found = true;
            QCOMPARE(rs->value(1).toString(), QStringLiteral("hijklmnop"));
            QCOMPARE(rs->value(2).toInt(), 2);
            QCOMPARE(rs->value(3).toInt(), 222);
            QCOMPARE(rs->value(4).toInt(), 333333333);
            QCOMPARE(rs->value(5).toDouble(), 444.555);  // bit-exact: read raw, not as text
            QCOMPARE(rs->value(6).toDateTime().date(), QDate(1974, 9, 21));
            QCOMPARE(rs->value(7).toDouble(), 3.5);
            QCOMPARE(rs->value(8), QVariant(true));
        }
        QVERIFY(found);

        RecordsetPtr wide = OpenAccessTable(Sample(file), QStringLiteral("Table2"));
        QCOMPARE(wide->fieldCount(), 89);
        QCOMPARE(wide->field(88).name, QStringLiteral("column89"));
        QCOMPARE(wide->recordCount(), 0);
        QVERIFY(wide->eof());
    }

    void decodesCompressedUnicodeText() {
        REQUIRE_SAMPLE(QStringLiteral("access/jackcess_testUnicodeCompV2003.mdb"));
        RecordsetPtr rs = OpenAccessTable(
            Sample(QStringLiteral("jackcess_testUnicodeCompV2003.mdb")), QStringLiteral("[TABLE]"));
        QCOMPARE(rs->recordCount(), 8);
        QStringList texts;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            texts.append(rs->valueByName(QStringLiteral("Unicode")).toString());
        }
        QCOMPARE(texts[1], QStringLiteral("ääkkösiä"));
        QCOMPARE(texts[2], QStringLiteral("Мир"));
        QVERIFY(texts[7].contains(QChar(0x85)));
    }

    // Jet3 keeps 8-bit text in the code page its header declares (at 0x3C, inside the part of the
    // header that is encrypted by XOR with a fixed key stream, so a declared 1252 is replaced by
    // XOR with the difference); a file that declares none was written in Windows-1251.
    void decodesJet3TextByItsCodePage_data() {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("text");
        QTest::newRow("1252 as declared") << 1252 << QStringLiteral("àáâãäå¸");
        QTest::newRow("1251") << 1251 << QStringLiteral("абвгдеё");
        QTest::newRow("866") << 866 << QStringLiteral("рстуфх╕");
        QTest::newRow("none declared") << 0 << QStringLiteral("абвгдеё");
        QTest::newRow("unknown to iconv") << 4 << QStringLiteral("абвгдеё");
    }

    void decodesJet3TextByItsCodePage() {
        QFETCH(int, codePage);
        QFETCH(QString, text);
        REQUIRE_SAMPLE(QStringLiteral("access/jackcess_testV1997.mdb"));
        QFile sample(Sample(QStringLiteral("jackcess_testV1997.mdb")));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QByteArray bytes = sample.readAll();
        const qsizetype at = bytes.indexOf("abcdefg");
        QVERIFY(at > 0);
        bytes.replace(at, 7, "\xE0\xE1\xE2\xE3\xE4\xE5\xB8");
        bytes[0x3C] = static_cast<char>(bytes[0x3C] ^ 0xE4 ^ (codePage & 0xFF));
        bytes[0x3D] = static_cast<char>(bytes[0x3D] ^ 0x04 ^ (codePage >> 8));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("jet3.mdb"));
        QFile copy(path);
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(bytes);
        copy.close();
        RecordsetPtr rs = OpenAccessTable(path, QStringLiteral("Table1"));
        QStringList texts;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            texts.append(rs->value(0).toString());
        }
        QVERIFY2(texts.contains(text), qPrintable(texts.join(',')));
    }

    void matchesCyrillicNamesRegardlessOfCaseAndKeepsNullApartFromEmpty() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.mdb"));
        Jet4Table species{QStringLiteral("Породы"),
                          {{QStringLiteral("Код"), Jet4Type::Integer},
                           {QStringLiteral("Название"), Jet4Type::Text, 30},
                           {QStringLiteral("Хвойная"), Jet4Type::Boolean},
                           {QStringLiteral("Запас"), Jet4Type::Decimal, 2}},
                          {{1, QStringLiteral("Сосна"), true, 12.34},
                           {2, QString(""), false, QStringLiteral("-98765432109876.54")},
                           {QVariant(), QVariant(), QVariant(), QVariant()}}};
        Jet4Table other{QStringLiteral("ПОРОДЫ2"), {{QStringLiteral("X"), Jet4Type::Long}}, {}};
        WriteJet4Database({species, other}, path);

        RecordsetPtr rs = OpenAccessTable(path, QStringLiteral("пОРОДЫ"));
        QCOMPARE(rs->indexOf(QStringLiteral("НАЗВАНИЕ")), 1);
        QCOMPARE(rs->field(3).type, FieldType::Number);
        QCOMPARE(RowValues(*rs), QVariantList({1, QStringLiteral("Сосна"), true, 12.34}));
        QCOMPARE(rs->value(3).userType(), QMetaType::Double);
        rs->moveNext();
        const QVariantList second = RowValues(*rs);
        QVERIFY(!second[1].isNull());
        QCOMPARE(second[1].toString(), QString());
        // More digits than a double holds: the exact decimal text; fewer: a number.
        QCOMPARE(second[3].userType(), QMetaType::QString);
        QCOMPARE(second[3].toString(), QStringLiteral("-98765432109876.54"));
        rs->moveNext();
        const QVariantList third = RowValues(*rs);
        QVERIFY(third[0].isNull());
        QVERIFY(third[1].isNull());
        QCOMPARE(third[2], QVariant(false));  // a yes/no column has no NULL
        QVERIFY(third[3].isNull());
    }

    // One table, "Т" (N long, M memo): pages 0 header, 1 maps, 2 catalog definition, 3 its
    // definition, 4 catalog rows, 5 its rows, 6 on the long value chained over six pages (its last
    // part first). Its map also lists the catalog's page 4, whose rows are not its own.
    void refusesFilesPointingOutsideThemselves_data() {
        QTest::addColumn<int>("damage");
        QTest::newRow("not whole pages") << 0;
        QTest::newRow("no Jet signature") << 1;
        QTest::newRow("definition beyond the end") << 2;
        QTest::newRow("catalog names a map page as definition") << 3;
        QTest::newRow("definition continues into itself") << 4;
        QTest::newRow("page map lists a page beyond the end") << 5;
        QTest::newRow("row offset beyond its page") << 6;
        QTest::newRow("row count one more than rows") << 7;
        QTest::newRow("long value on a page beyond the end") << 8;
        QTest::newRow("long value chain back to its start") << 9;
        QTest::newRow("moved row pointing to itself") << 10;
        QTest::newRow("long value longer than its row") << 11;
        QTest::newRow("row offset inside the offset table") << 12;
        QTest::newRow("page map of four bytes") << 13;
        QTest::newRow("inline memo longer than its value") << 14;
    }

    void refusesFilesPointingOutsideThemselves() {
        QFETCH(int, damage);
        const QString memo = QStringLiteral("Длинная заметка ").repeated(700);
        QByteArray b = BuildJet4Database(
            {{QStringLiteral("Т"),
              {{QStringLiteral("N"), Jet4Type::Long}, {QStringLiteral("M"), Jet4Type::Memo}},
              {{1, memo}, {2, QStringLiteral("короткая")}}}});
        const int pages = static_cast<int>(b.size() / kPage);
        QCOMPARE(pages, 12);
        const int catalogRow = RowStart(b, 4, 1);  // the table's catalog row: Id first
        const int memoDefinition = RowStart(b, 5, 0) + 2 + 4;
        Put32(b, RowStart(b, 1, 2) + 1, 4);  // the map's first page, then a bit for each page
        b[RowStart(b, 1, 2) + 5] = 0x03;
        {
            const AccessFile file(b, QStringLiteral("whole.mdb"));
            const auto rs = file.readTable(QStringLiteral("т"));
            QCOMPARE(rs->recordCount(), 2);
            QCOMPARE(rs->value(1).toString(), memo);
            // The page after the last is refused, though its first byte, the terminating zero,
            // is no page type the reader accepts.
            const access::JetFile jet(b);
            jet.page(pages - 1);
            QVERIFY_THROWS_EXCEPTION(access::JetDamaged, jet.page(pages));
        }
        switch (damage) {
            case 0:
                b.append('\0');
                break;
            case 1:
                b[4] = 'X';
                break;
            case 2:
                Put32(b, catalogRow + 2, static_cast<quint32>(pages + 5));
                break;
            case 3:
                Put32(b, catalogRow + 2, 1);
                break;
            case 4:
                Put32(b, 3 * kPage + 4, 3);
                break;
            case 5:
                Put32(b, RowStart(b, 1, 2) + 1, static_cast<quint32>(pages));
                break;
            case 6:
                b[5 * kPage + 14 + 1] = static_cast<char>(0x1F);
                break;
            case 7:
                Put32(b, 3 * kPage + 0x10, 3);
                break;
            case 8:
                Put32(b, memoDefinition + 4, static_cast<quint32>(pages + 1) << 8);
                break;
            case 9:
                Put32(b, memoDefinition, static_cast<quint32>(b.size()));  // read on and on
                Put32(b, RowStart(b, 6, 0), Get32(b, memoDefinition + 4));
                break;
            case 10:
                b[5 * kPage + 14 + 2 + 1] = static_cast<char>(b[5 * kPage + 14 + 2 + 1] | 0x40);
                Put32(b, RowStart(b, 5, 1), 5 << 8 | 1);
                break;
            case 11:
                // Said to lie on one row, which is shorter.
                Put32(b, memoDefinition, 0x40000000u | 5000);
                break;
            case 12:
                Put16(b, 6 * kPage + 14, 12 + 2 + 2 - 1);  // the one row starts at 16 or later
                break;
            case 13:
                Put16(b, kPage + 14 + 4, RowStart(b, 1, 1) - kPage - 4);  // its last 4 bytes
                Put32(b, 3 * kPage + 0x10, 0);  // no rows, as a map of no pages would have
                break;
            case 14:
                Put32(b, RowStart(b, 5, 1) + 6, Get32(b, RowStart(b, 5, 1) + 6) + 1);
                break;
        }
        try {
            const AccessFile file(b, QStringLiteral("damaged.mdb"));
            file.readTable(QStringLiteral("Т"));
            QFAIL("a damaged file was read");
        } catch (const Failure& failure) {
            QCOMPARE(
                failure.description(),
                QStringLiteral("Файл damaged.mdb повреждён или не является базой данных Access"));
        }
    }

    void refusesMissingAndForeignFilesAndUnknownTables() {
        QTemporaryDir dir;
        QVERIFY_THROWS_EXCEPTION(Failure, OpenAccessTable(dir.filePath("absent.mdb"), "Fields"));
        QVERIFY_THROWS_EXCEPTION(Failure, OpenAccessTable(dir.path(), "Fields"));

        const QString text = dir.filePath(QStringLiteral("text.mdb"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
        file.close();
        QVERIFY_THROWS_EXCEPTION(Failure, OpenAccessTable(text, "Fields"));

        const QString good = dir.filePath(QStringLiteral("good.mdb"));
        WriteJet4Database({{QStringLiteral("Fields"), {{QStringLiteral("A"), Jet4Type::Long}}, {}}},
                          good);
        try {
            OpenAccessTable(good, QStringLiteral("Makets"));
            QFAIL("an absent table opened");
        } catch (const Failure& failure) {
            QVERIFY(failure.description().contains(QStringLiteral("Makets")));
        }

        // A file cut short is damaged, whether the cut falls on a page boundary or inside a
        // page, and the library's complaints never reach standard error.
        QFile whole(good);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        whole.close();
        for (const qsizetype size : {qsizetype(3 * 4096), qsizetype(3 * 4096 + 100)}) {
            QVERIFY(size < bytes.size());
            const QString cut = dir.filePath(QStringLiteral("cut%1.mdb").arg(size));
            QFile part(cut);
            QVERIFY(part.open(QIODevice::WriteOnly));
            part.write(bytes.left(size));
            part.close();
            const QString errors = dir.filePath(QStringLiteral("stderr%1.txt").arg(size));
            std::fflush(stderr);
            const int saved = dup(STDERR_FILENO);
            std::FILE* capture = std::fopen(QFile::encodeName(errors).constData(), "w");
            QVERIFY(capture != nullptr);
            dup2(fileno(capture), STDERR_FILENO);
            QString description;
            try {
                OpenAccessTable(cut, QStringLiteral("Fields"));
            } catch (const Failure& failure) {
                description = failure.description();
            }
            std::fflush(stderr);
            dup2(saved, STDERR_FILENO);
            close(saved);
            std::fclose(capture);
            QVERIFY2(description.contains(QStringLiteral("повреждён")), qPrintable(description));
            QCOMPARE(QFileInfo(errors).size(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestAccessReader)
#include "tst_access_reader.moc"
