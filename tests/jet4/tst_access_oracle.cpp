// Our Access reader against an outside one (mdbtools' mdb-export), on the real sample files and
// on files our Jet4 writer makes; and every cut of those files refused whole or read whole.
#include "common/failure.h"
#include "jet4/jet4_writer.h"
#include "storage/access/access_file.h"
#include "support/dictionary_builder.h"
#include "support/test_paths.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace converter;
using namespace converter::testing;

namespace {

const QString kDamaged = QStringLiteral("повреждён или не является базой данных Access");

QString Run(const QStringList& args) {
    const QString program = QStandardPaths::findExecutable(args.first());
    if (program.isEmpty()) {
        QTest::qFail(qPrintable(args.first() + " missing: sh scripts/setup.sh installs mdbtools"),
                     __FILE__, __LINE__);
        return {};
    }
    QProcess p;
    p.start(program, args.mid(1));
    p.waitForFinished(60000);
    return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// mdb-export's CSV: fields in double quotes may hold commas, line ends and doubled quotes.
std::vector<QStringList> ParseCsv(const QString& text) {
    std::vector<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                cell += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == u'"') {
            quoted = wasQuoted = true;
        } else if (c == u',' || c == u'\n') {
            // A quoted cell is text; the bare word NULL is no value.
            row.append(!wasQuoted && cell == QLatin1String("NULL") ? QString() : cell);
            cell.clear();
            wasQuoted = false;
            if (c == u'\n') {
                rows.push_back(row);
                row.clear();
            }
        } else {
            cell += c;
        }
    }
    return rows;
}

bool NumbersAgree(double ours, const QString& theirs, double tolerance) {
    bool ok = false;
    const double value = theirs.toDouble(&ok);
    return ok && std::fabs(value - ours) <= tolerance * std::max(1.0, std::fabs(ours));
}

// Whether our value is what mdb-export printed. Empty text and NULL print alike there.
bool Agrees(const FieldInfo& field, const QVariant& ours, const QString& theirs) {
    if (ours.isNull() || (ours.userType() == QMetaType::QString && ours.toString().isEmpty())) {
        return theirs.isNull() || theirs.isEmpty();
    }
    switch (field.type) {
        case FieldType::Logical:
            return theirs == (ours.toBool() ? QLatin1String("1") : QLatin1String("0"));
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoIncrement:
            return theirs == QString::number(ours.toLongLong());
        case FieldType::Number:
        case FieldType::Currency:
            return NumbersAgree(ours.toDouble(), theirs, 1e-7);
        case FieldType::Timestamp:
            // mdb-export's dates are wrong before 1900 and far ahead; the writer's own test
            // checks those against what was written.
            if (ours.toDateTime().date().year() < 1900 || ours.toDateTime().date().year() > 4000) {
                return true;
            }
            return theirs == ours.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case FieldType::Bytes:
            return theirs.compare(QString::fromLatin1(ours.toByteArray().toHex()),
                                  Qt::CaseInsensitive) == 0;
        default:
            if (theirs == ours.toString()) {
                return true;
            }
            // mdb-export -b hex prints a GUID's text in hex, and without its fourth hyphen.
            return QString::fromLatin1(QByteArray::fromHex(theirs.toLatin1())).remove(u'-') ==
                   ours.toString().remove(u'-');
    }
}

// Compares every user table of `path` with mdb-export: names, columns, row order, values.
void CompareWithMdbExport(const QString& path, int* tables, int* rows) {
    const AccessFile file(path);
    const QStringList names = Run({"mdb-tables", "-1", path}).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(file.tableNames(), names);
    for (const QString& name : names) {
        const auto ours = file.readTable(name);
        const std::vector<QStringList> theirs =
            ParseCsv(Run({"mdb-export", "-0", "NULL", "-b", "hex", "-D", "%Y-%m-%d %H:%M:%S", "-T",
                          "%Y-%m-%d %H:%M:%S", path, name}));
        QVERIFY2(!theirs.empty(), qPrintable(name));
        QCOMPARE(theirs[0].size(), ours->fieldCount());
        for (int c = 0; c < ours->fieldCount(); ++c) {
            QCOMPARE(ours->field(c).name, theirs[0][c]);
        }
        QCOMPARE(static_cast<int>(theirs.size()) - 1, ours->recordCount());
        int r = 1;
        for (ours->moveFirst(); !ours->eof(); ours->moveNext(), ++r) {
            for (int c = 0; c < ours->fieldCount(); ++c) {
                QVERIFY2(Agrees(ours->field(c), ours->value(c), theirs[r][c]),
                         qPrintable(QStringLiteral("%1 row %2 %3: ours %4, mdb-export %5")
                                        .arg(name)
                                        .arg(r)
                                        .arg(ours->field(c).name, ours->value(c).toString(),
                                             theirs[r][c])));
            }
        }
        ++*tables;
        *rows += ours->recordCount();
    }
}

// A table of every type the writer stores, with edge values.
Jet4Table EveryType(int rows) {
    Jet4Table t{QStringLiteral("Все типы"),
                {{QStringLiteral("Да"), Jet4Type::Boolean},
                 {QStringLiteral("Байт"), Jet4Type::Byte},
                 {QStringLiteral("Целое"), Jet4Type::Integer},
                 {QStringLiteral("Длинное"), Jet4Type::Long},
                 {QStringLiteral("Двойное"), Jet4Type::Double},
                 {QStringLiteral("Дата"), Jet4Type::DateTime},
                 {QStringLiteral("Текст"), Jet4Type::Text, 255},
                 {QStringLiteral("Число"), Jet4Type::Decimal, 4},
                 {QStringLiteral("Одинарное"), Jet4Type::Single},
                 {QStringLiteral("Деньги"), Jet4Type::Currency},
                 {QStringLiteral("Код"), Jet4Type::Guid},
                 {QStringLiteral("Заметка"), Jet4Type::Memo},
                 {QStringLiteral("Объект"), Jet4Type::Ole}},
                {}};
    for (int i = 0; i < rows; ++i) {
        t.rows.push_back(
            {i % 2 == 0, i % 256, i % 2 ? -32768 + i : 32767 - i,
             i % 3 ? std::numeric_limits<int>::min() + i : i * 1000003,
             i % 5 ? QVariant(i / 7.0) : QVariant(),
             QDateTime(QDate(1950, 1, 1).addDays(i * 37),
                       QTime::fromMSecsSinceStartOfDay(i * 1000 % 86400000), Qt::UTC),
             i % 4
                 ? QVariant(QStringLiteral("Строка «%1», \"кавычки\"\n").arg(i).repeated(i % 9 + 1))
                 : QVariant(),
             QStringLiteral("%1.%2").arg(i * 7).arg(i % 10000, 4, 10, QChar(u'0')),
             i % 6 ? QVariant(i * 0.25f) : QVariant(),
             i % 7 ? QVariant(i * 1234.5678 - 300000) : QVariant(),
             i % 8 ? QVariant(QUuid::createUuidV5(QUuid(), QString::number(i))) : QVariant(),
             // In the row, on one long-value row, or chained over several.
             i % 5 ? QVariant(QStringLiteral("Заметка %1 ")
                                  .arg(i)
                                  .repeated(i % 3 == 0   ? 1
                                            : i % 3 == 1 ? 40
                                                         : 400))
                   : QVariant(),
             i % 4 ? QVariant(QByteArray(i % 3 == 0 ? 10 : i * 20, static_cast<char>(i)))
                   : QVariant()});
    }
    // Compressed (FF FE): "ab", then a two-byte run "Пп" ending in an odd byte, no character.
    t.rows[1][6] = QStringView(u"\uFEFF\u6261\u1F00\u3F04\u4104").toString();
    return t;
}

// Rows of a page each: more data pages than a map row holds.
Jet4Table WideTable(int rows) {
    Jet4Table t{QStringLiteral("Wide"), {{QStringLiteral("N"), Jet4Type::Long}}, {}};
    for (int c = 0; c < 7; ++c) {
        t.columns.push_back({QStringLiteral("T%1").arg(c), Jet4Type::Text, 255});
    }
    for (int i = 0; i < rows; ++i) {
        std::vector<QVariant> row{i};
        for (int c = 0; c < 7; ++c) {
            row.push_back(QString(255, QChar(u'А' + (i + c) % 32)));
        }
        t.rows.push_back(row);
    }
    return t;
}

QString SampleFile(const QString& name) {
    return SamplesDir() + QStringLiteral("/access/") + name;
}

// Everything a file holds, as one text; a Failure's description when it is refused.
QString ReadWhole(const QByteArray& bytes) {
    try {
        const AccessFile file(bytes, QStringLiteral("cut.mdb"));
        QString all;
        for (const QString& name : file.tableNames()) {
            const auto table = file.readTable(name);
            all += name + QLatin1Char('\n');
            for (table->moveFirst(); !table->eof(); table->moveNext()) {
                for (int c = 0; c < table->fieldCount(); ++c) {
                    all += table->value(c).toString() + QLatin1Char('\t');
                }
            }
        }
        return all;
    } catch (const Failure& failure) {
        return failure.description();
    }
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The Jet3 sample's Table1 (rows at 2008 and 1954 in their page) rewritten past 256 bytes: its
// column count and fixed values (32 bytes), texts A and B, then B's end, B's start, A's start, a
// jump table entry, the text count and the null mask. The second row's B lies after byte 256, so
// its offsets need the entry; the first only ends past it, so its entry is unused.
QByteArray Jet3LongRows(QByteArray b) {
    const qsizetype page = b.indexOf("abcdefg") / 2048 * 2048;
    const QByteArray second = b.mid(page + 1954, 32) + QByteArray(250, 'x') + "hijklmnop" +
                              QByteArray::fromHex("231a200102ff01");
    const QByteArray first =
        b.mid(page + 2008, 32) + QByteArray(220, 'y') + "b" + QByteArray::fromHex("fdfc200202ff00");
    b.replace(page + 2048 - 558, 558, second + first);
    b.replace(page + 10, 4, QByteArray::fromHex("fc06d205"));  // the rows' offsets
    return b;
}

}  // namespace

class TestAccessOracle : public QObject {
    Q_OBJECT
private slots:
    void readsAsMdbExportReads_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("Jet4 sample") << QStringLiteral("jackcess_testV2000.mdb");
        QTest::newRow("Jet3 sample") << QStringLiteral("jackcess_testV1997.mdb");
        QTest::newRow("compressed text") << QStringLiteral("jackcess_testUnicodeCompV2003.mdb");
        QTest::newRow("our dictionary") << QStringLiteral("sprav");
        QTest::newRow("our writer, every type") << QStringLiteral("types");
        QTest::newRow("our writer, map of bitmap pages") << QStringLiteral("wide");
        QTest::newRow("our writer, database key") << QStringLiteral("key");
        QTest::newRow("Jet3 rows past 256 bytes") << QStringLiteral("jet3long");
    }

    void readsAsMdbExportReads() {
        QFETCH(QString, file);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("own.mdb"));
        if (file == QLatin1String("sprav")) {
            path = WriteStandardDictionary(dir.path());
        } else if (file == QLatin1String("types")) {
            WriteJet4Database(
                {EveryType(600), {QStringLiteral("Пустая"), {{"A", Jet4Type::Long}}, {}}}, path);
        } else if (file == QLatin1String("wide")) {
            WriteJet4Database({WideTable(600)}, path);
        } else if (file == QLatin1String("key")) {
            WriteJet4Database({EveryType(40)}, path, 0x5A3C9E01);
        } else if (file == QLatin1String("jet3long")) {
            REQUIRE_SAMPLE(QStringLiteral("access/jackcess_testV1997.mdb"));
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(Jet3LongRows(Bytes(SampleFile(QStringLiteral("jackcess_testV1997.mdb")))));
        } else {
            REQUIRE_SAMPLE(QStringLiteral("access/") + file);
            path = SampleFile(file);
        }
        int tables = 0, rows = 0;
        CompareWithMdbExport(path, &tables, &rows);
        qInfo("%s: %d tables, %d rows agree with mdb-export", qPrintable(file), tables, rows);
        QVERIFY(tables > 0);
    }

    // What mdb-export gets wrong (its dates) and what it cannot show (NULL against empty text),
    // checked against the values the samples are known to hold.
    void readsTheSamplesKnownValues() {
        REQUIRE_SAMPLE(QStringLiteral("access/jackcess_testV2000.mdb"));
        const AccessFile file(SampleFile(QStringLiteral("jackcess_testV2000.mdb")));
        const auto rs = file.readTable(QStringLiteral("Table1"));
        QCOMPARE(rs->value(6).toDateTime(), QDateTime(QDate(1974, 9, 21), QTime(0, 0), Qt::UTC));
        QCOMPARE(rs->value(7).toDouble(), 3.5);
        QCOMPARE(rs->field(7).type, FieldType::Currency);
    }

    // Cut at every page boundary and inside pages: the file is refused with the message, or (when
    // the cut drops only pages nothing refers to) reads exactly as the whole file.
    void cutFilesAreRefusedWholeOrReadWhole_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("Jet4 sample") << QStringLiteral("jackcess_testV2000.mdb");
        QTest::newRow("Jet3 sample") << QStringLiteral("jackcess_testV1997.mdb");
        QTest::newRow("compressed text") << QStringLiteral("jackcess_testUnicodeCompV2003.mdb");
        QTest::newRow("our dictionary") << QStringLiteral("sprav");
        QTest::newRow("our writer, every type") << QStringLiteral("types");
    }

    void cutFilesAreRefusedWholeOrReadWhole() {
        QFETCH(QString, file);
        QTemporaryDir dir;
        QByteArray bytes;
        if (file == QLatin1String("sprav")) {
            bytes = Bytes(WriteStandardDictionary(dir.path()));
        } else if (file == QLatin1String("types")) {
            bytes = BuildJet4Database({EveryType(90)});
        } else {
            REQUIRE_SAMPLE(QStringLiteral("access/") + file);
            bytes = Bytes(SampleFile(file));
        }
        const int pageSize = bytes.at(0x14) == 0 ? 2048 : 4096;
        const QString whole = ReadWhole(bytes);
        QVERIFY(!whole.contains(kDamaged));
        int refused = 0, readWhole = 0;
        const int pages = static_cast<int>(bytes.size() / pageSize);
        for (int page = 0; page < pages; ++page) {
            for (const int inside : {0, 1, 14, pageSize / 2, pageSize - 1}) {
                if (inside != 0 && page % 7 != 3 && page > 4) {
                    continue;  // cuts inside pages on a sample of them
                }
                const QString got = ReadWhole(bytes.left(page * pageSize + inside));
                if (got == whole) {
                    ++readWhole;
                } else {
                    QVERIFY2(got.contains(kDamaged),
                             qPrintable(QStringLiteral("cut at %1").arg(page * pageSize + inside)));
                    ++refused;
                }
            }
        }
        qInfo("%s: %d pages; %d cuts refused, %d cuts read whole (only unused pages cut)",
              qPrintable(file), pages, refused, readWhole);
        QVERIFY(refused > 0);
    }
};

QTEST_GUILESS_MAIN(TestAccessOracle)
#include "tst_access_oracle.moc"
