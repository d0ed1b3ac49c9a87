#include "common/failure.h"
#include "jet4/jet4_writer.h"
#include "storage/access/access_table.h"
#include "support/dictionary_builder.h"
#include "support/test_paths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace converter;
using namespace converter::testing;

namespace {

constexpr int kPage = 4096;

// One damaged copy: cut short, bits flipped, a page zeroed, or a 16-bit word set to an edge value.
QByteArray Mutate(const QByteArray& original, QRandomGenerator& random) {
    QByteArray bytes = original;
    const auto size = static_cast<int>(bytes.size());
    switch (random.bounded(5)) {
        case 0:
            bytes.truncate(random.bounded(size));
            break;
        case 1:
        case 2: {
            const int counts[] = {1, 8, 64};
            const int flips = counts[random.bounded(3)];
            for (int i = 0; i < flips; ++i) {
                const int at = random.bounded(size);
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << random.bounded(8)));
            }
            break;
        }
        case 3: {
            const int page = random.bounded(size / kPage);
            std::fill(bytes.begin() + page * kPage, bytes.begin() + (page + 1) * kPage, '\0');
            break;
        }
        default: {
            // Structure lies mostly in the first bytes of the catalog and definition pages.
            const int page = random.bounded(std::min(size / kPage, 8));
            const int at = page * kPage + random.bounded(kPage / 8) * 2;
            const quint16 edges[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF, 0x0FFF, 0x1000};
            const quint16 v = edges[random.bounded(7)];
            bytes[at] = static_cast<char>(v & 0xFF);
            bytes[at + 1] = static_cast<char>(v >> 8);
            break;
        }
    }
    return bytes;
}

// Reads every table of the file; a Failure is a clean refusal.
bool ReadEverything(const QString& path) {
    try {
        for (const QString& name : AccessTableNames(path)) {
            RecordsetPtr rs = OpenAccessTable(path, name);
            for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
                for (int i = 0; i < rs->fieldCount(); ++i) {
                    rs->value(i);
                }
            }
        }
        return true;
    } catch (const Failure&) {
        return false;
    }
}

QByteArray OwnFile(const QString& folder) {
    std::vector<Jet4Table> tables;
    Jet4Table fields{QStringLiteral("Fields"),
                     {{QStringLiteral("Tarvel"), Jet4Type::Text, 20},
                      {QStringLiteral("Dovi"), Jet4Type::Text, 20},
                      {QStringLiteral("Maket"), Jet4Type::Integer},
                      {QStringLiteral("MultTen"), Jet4Type::Boolean},
                      {QStringLiteral("K"), Jet4Type::Double},
                      {QStringLiteral("Name"), Jet4Type::Text, 100}},
                     {}};
    for (int i = 0; i < 700; ++i) {
        fields.rows.push_back(
            {QStringLiteral("F%1").arg(i), QStringLiteral("П%1").arg(i), i % 12, i % 3 == 0,
             i / 7.0, i % 5 ? QVariant(QStringLiteral("Показатель номер %1").arg(i)) : QVariant()});
    }
    tables.push_back(fields);
    tables.push_back({QStringLiteral("Пустая"), {{QStringLiteral("Код"), Jet4Type::Long}}, {}});
    const QString path = folder + QStringLiteral("/own.mdb");
    WriteJet4Database(tables, path);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

}  // namespace

class TestAccessMutation : public QObject {
    Q_OBJECT
private slots:
    void damagedFilesAreReadOrRefusedButNeverCrash_data() {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<int>("runs");
        QTest::newRow("own") << QString() << 800;
        QTest::newRow("dictionary") << QStringLiteral("sprav") << 400;
        QTest::newRow("Jet4") << QStringLiteral("jackcess_testV2000.mdb") << 300;
        QTest::newRow("Jet3") << QStringLiteral("jackcess_testV1997.mdb") << 600;
        QTest::newRow("Unicode") << QStringLiteral("jackcess_testUnicodeCompV2003.mdb") << 600;
    }

    void damagedFilesAreReadOrRefusedButNeverCrash() {
        QFETCH(QString, sample);
        QFETCH(int, runs);
        QTemporaryDir dir;
        QByteArray original;
        if (sample.isEmpty()) {
            original = OwnFile(dir.path());
        } else if (sample == QLatin1String("sprav")) {
            QFile file(WriteStandardDictionary(dir.path()));
            QVERIFY(file.open(QIODevice::ReadOnly));
            original = file.readAll();
        } else {
            REQUIRE_SAMPLE(QStringLiteral("access/") + sample);
            QFile file(SamplesDir() + QStringLiteral("/access/") + sample);
            QVERIFY(file.open(QIODevice::ReadOnly));
            original = file.readAll();
        }
        QVERIFY(original.size() >= 4 * kPage);
        const QString path = dir.filePath(QStringLiteral("mutated.mdb"));
        if (sample.isEmpty()) {
            QVERIFY(ReadEverything(dir.filePath(QStringLiteral("own.mdb"))));
        }

        QRandomGenerator random(static_cast<quint32>(qHash(sample) + 5));
        int read = 0, refused = 0;
        for (int run = 0; run < runs; ++run) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(Mutate(original, random));
            out.close();
            QElapsedTimer timer;
            timer.start();
            (ReadEverything(path) ? read : refused)++;
            // A read that crawls is a hang in the making.
            QVERIFY2(timer.elapsed() < 10000, qPrintable(QStringLiteral("run %1").arg(run)));
        }
        qInfo("%s: %d read, %d refused", qPrintable(sample.isEmpty() ? "own" : sample), read,
              refused);
        QCOMPARE(read + refused, runs);
    }
};

QTEST_GUILESS_MAIN(TestAccessMutation)
#include "tst_access_mutation.moc"
