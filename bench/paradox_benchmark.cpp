// Writes and reads back a keyed Paradox table of many rows through the recordset API and prints
// rows per second for each, with the peak memory against the table's file size. Numbers go
// through the typed calls (setNumber, numberValue) and, for comparison, through QVariant; the
// references are the same bytes written with fwrite and read with fread in the same run, and
// pxlib's file interface writing the same rows and reading the engine's table.
//
// Every figure is the best of several runs, so that a moment of other work on the machine does
// not count: the engine's of 3, the references' of 5.
//
//   paradox_benchmark [rows] [folder]
#include "common/code_page.h"
#include "common/failure.h"
#include "pxlib_reference.h"
#include "storage/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/mman.h>
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

constexpr int kEngineRuns = 3;
constexpr int kReferenceRuns = 5;

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

// The best wall and processor times of the runs measured so far.
struct Timing {
    double seconds = 1e300;
    double cpu = 1e300;

    template <typename Work>
    void measure(Work work) {
        const double startCpu = CpuSeconds();
        QElapsedTimer timer;
        timer.start();
        work();
        seconds = std::min(seconds, static_cast<double>(timer.nsecsElapsed()) / 1e9);
        cpu = std::min(cpu, CpuSeconds() - startCpu);
    }
};

// One of the engine's figures: its time, rows a second and processor time, and how many times
// the reference's time it took.
void PrintAgainst(const char* label, const Timing& engine, int rows, const Timing& reference,
                  const char* referenceName) {
    std::printf("%s%.3f s, %.0f rows/s (processor %.3f s), %.1f x %s\n", label, engine.seconds,
                rows / engine.seconds, engine.cpu, engine.seconds / reference.seconds,
                referenceName);
}

// The table: 4 key columns, then 12 each of shorts, longs and numbers, then 4 alphas.
constexpr int kKeyFields = 3;
constexpr int kNumericFields = 40;
constexpr int kFields = 44;
constexpr int kTextLength = 20;

QString CreateText(const QString& table) {
    QString text =
        QStringLiteral(
            "CREATE TABLE [%1] ([GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, [MUK] INTEGER")
            .arg(table);
    for (int i = 0; i < 12; ++i) {
        text += QStringLiteral(", [S%1] SMALLINT, [L%1] INTEGER, [N%1] FLOAT").arg(i);
    }
    for (int i = 0; i < 4; ++i) {
        text += QStringLiteral(", [T%1] CHAR (%2)").arg(i).arg(kTextLength);
    }
    return text + QStringLiteral(")");
}

// Field `f` of numeric field kinds after the 4 leading ones: 0 short, 1 long, 2 number.
int Kind(int f) {
    return (f - 4) % 3;
}

// The value of numeric field `f` of the record with number `n`.
double NumberOf(int n, int f) {
    switch (f) {
        case 0:
            return 34567800 + n / 10000;
        case 1:
            return (n / 100) % 100 + 1;
        case 2:
            return n % 100 + 1;
        case 3:
            return 12345678;
        default:
            return Kind(f) == 0 ? (n + f) % 30000 : Kind(f) == 1 ? n * 7 + f : (n % 1000) / 10.0;
    }
}

// Which of the texts alpha field `f` of record `n` holds.
int TextOf(int n, int f) {
    return (n + f) % 4;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Where the reference writes the table's files: new files, as the engine writes its temporary
// files, so the earlier copies are removed before the clock starts.
QByteArray CopyName(const QString& folder, size_t i) {
    return QFile::encodeName(QDir(folder).filePath(QStringLiteral("copy%1.bin").arg(i)));
}

void RemoveCopies(const std::vector<QByteArray>& files, const QString& folder) {
    for (size_t i = 0; i < files.size(); ++i) {
        std::remove(CopyName(folder, i).constData());
    }
}

// The reference for writing: the table's bytes written with fwrite into new files; with `sync`
// also forced to the disk, as the engine does before it replaces a table.
void WriteWithFwrite(const std::vector<QByteArray>& files, const QString& folder, bool sync) {
    for (size_t i = 0; i < files.size(); ++i) {
        const QByteArray name = CopyName(folder, i);
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
}

// The reference for reading: the table's files read whole with fread into `buffer`, which
// holds the largest of them.
long long ReadWithFread(const QStringList& paths, char* buffer) {
    long long bytes = 0;
    for (const QString& path : paths) {
        FILE* in = std::fopen(QFile::encodeName(path).constData(), "rb");
        if (!in) {
            std::perror("fread");
            std::exit(1);
        }
        std::fseek(in, 0, SEEK_END);
        const auto size = static_cast<size_t>(std::ftell(in));
        std::fseek(in, 0, SEEK_SET);
        bytes += static_cast<long long>(std::fread(buffer, 1, size, in));
        std::fclose(in);
    }
    return bytes;
}

// Memory for a reader: fresh from the system, as a program that reads a file into memory gets
// it (and as the engine gets the memory for a table it loads), or already touched by an earlier
// read. The allocator would hand a freed large block back without telling which.
class ReadBuffer {
public:
    explicit ReadBuffer(size_t size) : size_(size) {
        void* memory =
            ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            std::perror("mmap");
            std::exit(1);
        }
        data_ = static_cast<char*>(memory);
    }
    ~ReadBuffer() { ::munmap(data_, size_); }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;
    char* data() const { return data_; }

private:
    size_t size_;
    char* data_ = nullptr;
};

#ifdef HAVE_PXLIB
// pxlib writes its records one seek and write at a time: on many rows it is timed on a part
// of them and counted per row.
constexpr int kPxlibWriteRows = 20000;

std::vector<bench::PxlibColumn> PxlibColumns() {
    std::vector<bench::PxlibColumn> columns = {
        {"GIR", pxfLong, 4}, {"KV", pxfShort, 2}, {"SKNR", pxfShort, 2}, {"MUK", pxfLong, 4}};
    for (int i = 0; i < 12; ++i) {
        const QByteArray number = QByteArray::number(i);
        columns.push_back({"S" + number, pxfShort, 2});
        columns.push_back({"L" + number, pxfLong, 4});
        columns.push_back({"N" + number, pxfNumber, 8});
    }
    for (int i = 0; i < 4; ++i) {
        columns.push_back({"T" + QByteArray::number(i), pxfAlpha, kTextLength});
    }
    return columns;
}
#endif

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
        // Keys in random order and texts made beforehand; the numbers are a little arithmetic in
        // the loop (a few milliseconds of 100,000 rows), which the engine figures include.
        std::vector<int> order(static_cast<size_t>(rows));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(1));
        const QString texts[] = {QStringLiteral("Сосна"), QStringLiteral("Ель обыкновенная"),
                                 QStringLiteral("Берёза"), QStringLiteral("")};

        const auto write = [&](bool typed, Timing& timing) {
            QFile::remove(path);
            QFile::remove(indexPath);
            ExecuteStatement(connection, CreateText(table));
            ExecuteStatement(
                connection,
                QStringLiteral("CREATE INDEX [%1] ON [%1] ([GIR], [KV], [SKNR]) WITH PRIMARY")
                    .arg(table));
            timing.measure([&] {
                RecordsetPtr rs =
                    OpenRecordset(connection, QStringLiteral("[%1]").arg(table), kSourceTable);
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
                    for (int f = 0; f < kNumericFields; ++f) {
                        set(f, NumberOf(n, f));
                    }
                    for (int f = kNumericFields; f < kFields; ++f) {
                        rs->setValue(f, texts[TextOf(n, f)]);
                    }
                    rs->update();
                }
                rs->close();
            });
        };
        int count = 0;
        long long checksum = 0;
        const auto read = [&](bool typed, Timing& timing) {
            timing.measure([&] {
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
                            checksum += rs->value(f).userType();
                        }
                    }
                    ++count;
                }
                rs->close();
            });
        };

        Timing variantWrite;
        Timing variantRead;
        Timing typedWrite;
        Timing typedRead;
        for (int run = 0; run < kEngineRuns; ++run) {
            write(false, variantWrite);
            read(false, variantRead);
            write(true, typedWrite);
            read(true, typedRead);
        }
        // The engine's own peak, before the references add theirs.
        const long peakKb = PeakMemoryKb();
        const std::vector<QByteArray> files = {FileBytes(path), FileBytes(indexPath)};
        Timing fwrite;
        Timing fsync;
        Timing fread;
        Timing freadWarm;
        long long bytes = 0;
        const auto largest = static_cast<size_t>(std::max(files[0].size(), files[1].size()));
        const ReadBuffer warm(largest);
        for (int run = 0; run < kReferenceRuns; ++run) {
            RemoveCopies(files, folder);
            fwrite.measure([&] { WriteWithFwrite(files, folder, false); });
            RemoveCopies(files, folder);
            fsync.measure([&] { WriteWithFwrite(files, folder, true); });
            fread.measure([&] {
                const ReadBuffer fresh(largest);
                bytes = ReadWithFread({path, indexPath}, fresh.data());
            });
            freadWarm.measure([&] { ReadWithFread({path, indexPath}, warm.data()); });
        }

        std::printf("rows %d, files %.1f MB; best of %d runs, fwrite and fread best of %d\n", count,
                    static_cast<double>(bytes) / 1e6, kEngineRuns, kReferenceRuns);
        PrintAgainst("write, typed:   ", typedWrite, rows, fwrite, "fwrite");
        PrintAgainst("write, QVariant: ", variantWrite, rows, fwrite, "fwrite");
        std::printf(
            "write, fwrite of the same bytes: %.4f s (processor %.4f s); with fsync, as the "
            "engine: %.4f s (typed write %.1f x)\n",
            fwrite.seconds, fwrite.cpu, fsync.seconds, typedWrite.seconds / fsync.seconds);
        PrintAgainst("read, typed:    ", typedRead, count, fread, "fread");
        PrintAgainst("read, QVariant: ", variantRead, count, fread, "fread");
        std::printf(
            "read, fread of the same files: %.4f s (processor %.4f s) into new memory, %.4f s "
            "into memory read into before (checksum %lld)\n",
            fread.seconds, fread.cpu, freadWarm.seconds, checksum);
#ifdef HAVE_PXLIB
        const QString pxlibPath = QDir(folder).filePath(QStringLiteral("pxlib.db"));
        const int pxlibRows = std::min(rows, kPxlibWriteRows);
        const std::vector<bench::PxlibColumn> columns = PxlibColumns();
        const CodePage& windows1251 = CodePageFor(1251);
        std::vector<QByteArray> encodedTexts;
        for (const QString& text : texts) {
            encodedTexts.push_back(windows1251.encodeReplacing(text));
        }
        Timing pxlibWrite;
        pxlibWrite.measure([&] {
            const bool ok = bench::PxlibWrite(
                pxlibPath, columns, kKeyFields, pxlibRows, [&](pxdoc_t* doc, char* record, int r) {
                    const int n = order[static_cast<size_t>(r)];
                    for (int f = 0; f < kFields; ++f) {
                        const int length = columns[static_cast<size_t>(f)].length;
                        switch (columns[static_cast<size_t>(f)].type) {
                            case pxfShort:
                                PX_put_data_short(doc, record, length,
                                                  static_cast<short>(NumberOf(n, f)));
                                break;
                            case pxfLong:
                                PX_put_data_long(doc, record, length,
                                                 static_cast<int>(NumberOf(n, f)));
                                break;
                            case pxfNumber:
                                PX_put_data_double(doc, record, length, NumberOf(n, f));
                                break;
                            default:
                                PX_put_data_alpha(
                                    doc, record, length,
                                    encodedTexts[static_cast<size_t>(TextOf(n, f))].data());
                        }
                        record += length;
                    }
                });
            if (!ok) {
                std::fprintf(stderr, "pxlib cannot write %s\n", qPrintable(pxlibPath));
                std::exit(1);
            }
        });
        Timing pxlibRead;
        int pxlibCount = 0;
        for (int run = 0; run < kEngineRuns; ++run) {
            pxlibRead.measure([&] { bench::PxlibRead(path, pxlibCount); });
        }
        const double pxlibWritePerRows = pxlibWrite.seconds * rows / pxlibRows;
        std::printf(
            "pxlib write of %d rows: %.3f s (processor %.3f s), for %d rows %.2f s: typed write "
            "%.0f x faster\n",
            pxlibRows, pxlibWrite.seconds, pxlibWrite.cpu, rows, pxlibWritePerRows,
            pxlibWritePerRows / typedWrite.seconds);
        std::printf(
            "pxlib read of the same files, %d rows: %.3f s (processor %.3f s): typed read %.1f x "
            "faster\n",
            pxlibCount, pxlibRead.seconds, pxlibRead.cpu, pxlibRead.seconds / typedRead.seconds);
        QFile::remove(pxlibPath);
#else
        std::printf("pxlib: not built with pxlib, no comparison\n");
#endif
        RemoveCopies(files, folder);
        std::printf("peak memory %.1f MB = %.2f x file size\n", peakKb / 1024.0,
                    peakKb * 1024.0 / static_cast<double>(bytes));
        return count == rows ? 0 : 1;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
}
