#include "common/failure.h"
#include "jet4/jet4_writer.h"
#include "storage/access/access_table.h"
#include "storage/memory_recordset.h"
#include "support/test_paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <cstdio>

using namespace converter;
using namespace converter::testing;

namespace {

QString Sample(const QString& name) {
    return SamplesDir() + QStringLiteral("/access/") + name;
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
        rs->moveNext();
        const QVariantList second = RowValues(*rs);
        QVERIFY(!second[1].isNull());
        QCOMPARE(second[1].toString(), QString());
        QCOMPARE(second[3], QVariant(-98765432109876.54));  // beyond 32 bits
        rs->moveNext();
        const QVariantList third = RowValues(*rs);
        QVERIFY(third[0].isNull());
        QVERIFY(third[1].isNull());
        QCOMPARE(third[2], QVariant(false));  // a yes/no column has no NULL
        QVERIFY(third[3].isNull());
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
