#include "common/failure.h"
#include "common/memory_recordset.h"
#include "jet4/jet4_writer.h"
#include "storage/access/access_table.h"
#include "support/test_paths.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

    // Jet3 keeps 8-bit text; this program's users write it in Windows-1251.
    void decodesJet3TextAsWindows1251() {
        REQUIRE_SAMPLE(QStringLiteral("access/jackcess_testV1997.mdb"));
        QFile sample(Sample(QStringLiteral("jackcess_testV1997.mdb")));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QByteArray bytes = sample.readAll();
        const qsizetype at = bytes.indexOf("abcdefg");
        QVERIFY(at > 0);
        bytes.replace(at, 7, "\xE0\xE1\xE2\xE3\xE4\xE5\xB8");  // "абвгдеё" in Windows-1251
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
        QVERIFY2(texts.contains(QStringLiteral("абвгдеё")), qPrintable(texts.join(',')));
    }

    void matchesCyrillicNamesRegardlessOfCaseAndKeepsNullApartFromEmpty() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.mdb"));
        Jet4Table species{QStringLiteral("Породы"),
                          {{QStringLiteral("Код"), Jet4Type::Integer},
                           {QStringLiteral("Название"), Jet4Type::Text, 30},
                           {QStringLiteral("Хвойная"), Jet4Type::Boolean}},
                          {{1, QStringLiteral("Сосна"), true},
                           {2, QString(""), false},
                           {QVariant(), QVariant(), QVariant()}}};
        Jet4Table other{QStringLiteral("ПОРОДЫ2"), {{QStringLiteral("X"), Jet4Type::Long}}, {}};
        WriteJet4Database({species, other}, path);

        RecordsetPtr rs = OpenAccessTable(path, QStringLiteral("пОРОДЫ"));
        QCOMPARE(rs->indexOf(QStringLiteral("НАЗВАНИЕ")), 1);
        QCOMPARE(RowValues(*rs), QVariantList({1, QStringLiteral("Сосна"), true}));
        rs->moveNext();
        const QVariantList second = RowValues(*rs);
        QVERIFY(!second[1].isNull());
        QCOMPARE(second[1].toString(), QString());
        rs->moveNext();
        const QVariantList third = RowValues(*rs);
        QVERIFY(third[0].isNull());
        QVERIFY(third[1].isNull());
        QCOMPARE(third[2], QVariant(false));  // a yes/no column has no NULL
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
    }
};

QTEST_GUILESS_MAIN(TestAccessReader)
#include "tst_access_reader.moc"
