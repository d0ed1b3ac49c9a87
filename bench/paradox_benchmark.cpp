// Writes and reads back a keyed Paradox table of many rows through the recordset API and prints
// rows per second for each, with the peak memory against the table's file size. Numbers go
// through the typed calls (setNumber, numberValue) and, for comparison, through QVariant; the
// reference is the same bytes written with fwrite and read with fread in the same run.
//
//   paradox_benchmark [rows] [folder]
#include "common/failure.h"
#include "storage/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// Seconds of wall time that `work` takes.
template <typename Work>
double Seconds(Work work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The reference for writing: the table's bytes written with fwrite into new files; with `sync`
// also forced to the disk, as the engine does before it replaces a table.
double FwriteSeconds(const std::vector<QByteArray>& files, const QString& folder, bool sync) {
    return Seconds([&] {
        for (size_t i = 0; i < files.size(); ++i) {
            const QByteArray name =
                QFile::encodeName(QDir(folder).filePath(QStringLiteral("copy%1.bin").arg(i)));
            FILE* out = std::fopen(name.constData(), "wb");
            if (!out || std::fwrite(files[i].constData(), 1, static_cast<size_t>(files[i].size()),
                                    out) != static_cast<size_t>(files[i].size())) {
                std::perror("fwrite");
                std::exit(1);
            }
            if (sync && (std::fflush(out) != 0 || ::fsync(fileno(out)) != 0)) {
                std::perror("fsync");
                std::exit(1);
            }
            std::fclose(out);
        }
    });
}

// The reference for reading: the table's files read whole with fread.
double FreadSeconds(const QStringList& paths, long long& bytes) {
    return Seconds([&] {
        std::vector<char> buffer;
        for (const QString& path : paths) {
            FILE* in = std::fopen(QFile::encodeName(path).constData(), "rb");
            if (!in) {
                std::perror("fread");
                std::exit(1);
            }
            std::fseek(in, 0, SEEK_END);
            buffer.resize(static_cast<size_t>(std::ftell(in)));
            std::fseek(in, 0, SEEK_SET);
            bytes += static_cast<long long>(std::fread(buffer.data(), 1, buffer.size(), in));
            std::fclose(in);
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    const QString table = QStringLiteral("bench");
    const QString path = QDir(folder).filePath(table + QStringLiteral(".db"));
    const QString indexPath = QDir(folder).filePath(table + QStringLiteral(".px"));
    try {
        const QString connection = BuildConnectionString(kParadoxFolder, path);
        // Keys in random order, values prepared beforehand so that only the table is timed.
        std::vector<int> order(static_cast<size_t>(rows));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(1));
        const QString texts[] = {QStringLiteral("Сосна"), QStringLiteral("Ель обыкновенная"),
                                 QStringLiteral("Берёза"), QStringLiteral("")};

        const auto write = [&](bool typed) {
            QFile::remove(path);
            QFile::remove(indexPath);
            ExecuteStatement(connection, CreateText(table));
            ExecuteStatement(
                connection,
                QStringLiteral("CREATE INDEX [%1] ON [%1] ([GIR], [KV], [SKNR]) WITH PRIMARY")
                    .arg(table));
            const double cpu = CpuSeconds();
            const double seconds = Seconds([&] {
                RecordsetPtr rs =
                    OpenRecordset(connection, QStringLiteral("[%1]").arg(table), kSourceTable);
                const int fields = rs->fieldCount();
                const auto set = [&rs, typed](int field, double number) {
                    if (typed) {
                        rs->setNumber(field, number);
                    } else if (number == static_cast<int>(number)) {
                        rs->setValue(field, static_cast<int>(number));
                    } else {
                        rs->setValue(field, number);
                    }
                };
                for (int n : order) {
                    rs->addNew();
                    set(0, 34567800 + n / 10000);
                    set(1, (n / 100) % 100 + 1);
                    set(2, n % 100 + 1);
                    set(3, 12345678);
                    for (int f = 4; f < fields; ++f) {
                        const int kind = f < 40 ? (f - 4) % 3 : 3;
                        if (kind == 0) {
                            set(f, (n + f) % 30000);
                        } else if (kind == 1) {
                            set(f, n * 7 + f);
                        } else if (kind == 2) {
                            set(f, (n % 1000) / 10.0);
                        } else {
                            rs->setValue(f, texts[(n + f) % 4]);
                        }
                    }
                    rs->update();
                }
                rs->close();
            });
            return std::make_pair(seconds, CpuSeconds() - cpu);
        };
        int count = 0;
        long long checksum = 0;
        const auto read = [&](bool typed) {
            const double cpu = CpuSeconds();
            const double seconds = Seconds([&] {
                RecordsetPtr rs = OpenRecordset(connection, table, kSourceTable);
                const int fields = rs->fieldCount();
                std::vector<bool> numeric;
                for (int f = 0; f < fields; ++f) {
                    numeric.push_back(typed && IsNumericType(rs->field(f).type));
                }
                count = 0;
                checksum = 0;
                for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
                    for (int f = 0; f < fields; ++f) {
                        if (numeric[static_cast<size_t>(f)]) {
                            checksum += static_cast<long long>(rs->numberValue(f).value_or(0));
                        } else {
                            checksum += rs->value(f).typeId();
                        }
                    }
                    ++count;
                }
                rs->close();
            });
            return std::make_pair(seconds, CpuSeconds() - cpu);
        };

        const auto [variantWrite, variantWriteCpu] = write(false);
        const auto [variantRead, variantReadCpu] = read(false);
        const auto [typedWrite, typedWriteCpu] = write(true);
        const auto [typedRead, typedReadCpu] = read(true);
        const std::vector<QByteArray> files = {FileBytes(path), FileBytes(indexPath)};
        const double fwriteSeconds = FwriteSeconds(files, folder, false);
        const double fsyncSeconds = FwriteSeconds(files, folder, true);
        long long bytes = 0;
        const double freadSeconds = FreadSeconds({path, indexPath}, bytes);

        std::printf("rows %d, files %.1f MB\n", count, static_cast<double>(bytes) / 1e6);
        std::printf("write, typed:   %.3f s, %.0f rows/s (processor %.3f s), %.1f x fwrite\n",
                    typedWrite, rows / typedWrite, typedWriteCpu, typedWrite / fwriteSeconds);
        std::printf("write, QVariant: %.3f s, %.0f rows/s (processor %.3f s), %.1f x fwrite\n",
                    variantWrite, rows / variantWrite, variantWriteCpu,
                    variantWrite / fwriteSeconds);
        std::printf(
            "write, fwrite of the same bytes: %.4f s; with fsync, as the engine: %.4f s "
            "(typed write %.1f x)\n",
            fwriteSeconds, fsyncSeconds, typedWrite / fsyncSeconds);
        std::printf("read, typed:    %.3f s, %.0f rows/s (processor %.3f s), %.1f x fread\n",
                    typedRead, count / typedRead, typedReadCpu, typedRead / freadSeconds);
        std::printf("read, QVariant: %.3f s, %.0f rows/s (processor %.3f s), %.1f x fread\n",
                    variantRead, count / variantRead, variantReadCpu, variantRead / freadSeconds);
        std::printf("read, fread of the same files: %.4f s (checksum %lld)\n", freadSeconds,
                    checksum);
        std::printf("peak memory %.1f MB = %.2f x file size\n", PeakMemoryKb() / 1024.0,
                    PeakMemoryKb() * 1024.0 / static_cast<double>(bytes));
        return count == rows ? 0 : 1;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
}
