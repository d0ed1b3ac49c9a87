// Writes and reads back a keyed Paradox table of many rows through the recordset API and prints
// rows per second for each, with the peak memory against the table's file size.
//
//   paradox_benchmark [rows] [folder]
#include "common/database.h"
#include "common/failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

using namespace converter;

namespace {

// Processor time of this process: the machine may be busy with other work, which wall time
// would count against us.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// 4 key columns, then 36 more: shorts, longs, numbers and a few alphas, about 40 in all.
QString CreateText(const QString& table) {
    QString text =
        QStringLiteral(
            "CREATE TABLE [%1] ([GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, [MUK] INTEGER")
            .arg(table);
    for (int i = 0; i < 12; ++i) {
        text += QStringLiteral(", [S%1] SMALLINT, [L%1] INTEGER, [N%1] FLOAT").arg(i);
    }
    for (int i = 0; i < 4; ++i) {
        text += QStringLiteral(", [T%1] CHAR (20)").arg(i);
    }
    return text + QStringLiteral(")");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    const QString table = QStringLiteral("bench");
    const QString path = QDir(folder).filePath(table + QStringLiteral(".db"));
    QFile::remove(path);
    QFile::remove(QDir(folder).filePath(table + QStringLiteral(".px")));
    try {
        const QString connection = BuildConnectionString(kParadoxFolder, path);
        ExecuteStatement(connection, CreateText(table));
        ExecuteStatement(
            connection,
            QStringLiteral("CREATE INDEX [%1] ON [%1] ([GIR], [KV], [SKNR]) WITH PRIMARY")
                .arg(table));

        // Keys in random order, values prepared beforehand so that only the table is timed.
        std::vector<int> order(static_cast<size_t>(rows));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(1));
        const QString texts[] = {QStringLiteral("Сосна"), QStringLiteral("Ель обыкновенная"),
                                 QStringLiteral("Берёза"), QStringLiteral("")};

        QElapsedTimer timer;
        timer.start();
        double cpu = CpuSeconds();
        RecordsetPtr rs =
            OpenRecordset(connection, QStringLiteral("[%1]").arg(table), kSourceTable);
        const int fields = rs->fieldCount();
        for (int n : order) {
            rs->addNew();
            rs->setValue(0, 34567800 + n / 10000);
            rs->setValue(1, (n / 100) % 100 + 1);
            rs->setValue(2, n % 100 + 1);
            rs->setValue(3, 12345678);
            for (int f = 4; f < fields; ++f) {
                const int kind = f < 40 ? (f - 4) % 3 : 3;
                if (kind == 0) {
                    rs->setValue(f, (n + f) % 30000);
                } else if (kind == 1) {
                    rs->setValue(f, n * 7 + f);
                } else if (kind == 2) {
                    rs->setValue(f, (n % 1000) / 10.0);
                } else {
                    rs->setValue(f, texts[(n + f) % 4]);
                }
            }
            rs->update();
        }
        rs->close();
        const double writeSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        const double writeCpu = CpuSeconds() - cpu;
        rs.reset();

        timer.restart();
        cpu = CpuSeconds();
        rs = OpenRecordset(connection, table, kSourceTable);
        const double openSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        long long checksum = 0;
        int count = 0;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            for (int f = 0; f < fields; ++f) {
                checksum += rs->value(f).typeId();
            }
            ++count;
        }
        rs->close();
        const double readSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        const double readCpu = CpuSeconds() - cpu;

        const qint64 fileSize =
            QFileInfo(path).size() +
            QFileInfo(QDir(folder).filePath(table + QStringLiteral(".px"))).size();
        std::printf("rows %d, fields %d, files %.1f MB\n", count, fields, fileSize / 1e6);
        std::printf("write: %.3f s, %.0f rows/s (processor time %.3f s)\n", writeSeconds,
                    rows / writeSeconds, writeCpu);
        std::printf(
            "read:  %.3f s, %.0f rows/s (processor time %.3f s, opening %.3f s; checksum %lld)\n",
            readSeconds, count / readSeconds, readCpu, openSeconds, checksum);
        std::printf("peak memory %.1f MB = %.2f x file size\n", PeakMemoryKb() / 1024.0,
                    PeakMemoryKb() * 1024.0 / static_cast<double>(fileSize));
        return count == rows ? 0 : 1;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
}
