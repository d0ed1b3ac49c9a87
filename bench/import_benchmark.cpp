// Imports a synthetic forestry of N stands (20,000 by default) and prints the time, the stands
// per second and the peak memory beside the size of the input and of the tables written:
//     import_benchmark [stands] [sprav.mdb]
#include "bench_ui.h"
#include "common/failure.h"
#include "common/program_folder.h"
#include "forestry_generator.h"
#include "import/import_driver.h"
#include "import/stand_database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <malloc.h>
#include <time.h>

#include <cstdio>
#include <cstring>

namespace {

// CPU seconds of this process: on a machine shared with other work the wall time alone says
// little.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

constexpr double kMiB = 1024.0 * 1024.0;

// The generator's memory goes back to the system and the high-water mark restarts from what the
// process holds now, so that the peak read afterwards is the import's, not the generation's. False
// when the kernel does not offer the reset.
bool RestartPeakMemory() {
    malloc_trim(0);
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// VmHWM (or VmRSS) of /proc/self/status in MiB; -1 when unreadable.
double StatusMemoryMiB(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(static_cast<qsizetype>(std::strlen(key)))
                       .trimmed()
                       .split(' ')[0]
                       .toDouble() /
                   1024.0;
        }
    }
    return -1;
}

// Bytes of the files in `folder` other than `exclude`: the tables and the report written.
qint64 WrittenBytes(const QString& folder, const QStringList& exclude) {
    qint64 total = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files)) {
        if (!exclude.contains(file.fileName())) {
            total += file.size();
        }
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int stands = args.size() > 1 ? args[1].toInt() : 20000;
    QTemporaryDir dir;
    const QString text = dir.isValid() ? converter::bench::PrepareForestry(args, dir.path()) : "";
    if (text.isEmpty()) {
        return 1;
    }
    converter::bench::QuietUi ui;
    const QString mainPath = dir.filePath("forestry.db");
    QString countText;
    bool hadErrors = false;
    const bool restarted = RestartPeakMemory();
    const double startMiB = StatusMemoryMiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = CpuSeconds();
    const bool ok = converter::ImportDoviFile(
        ui, text, mainPath, converter::ElementsTablePath(mainPath), countText, hadErrors);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double cpuSeconds = CpuSeconds() - cpuStart;
    const double peakMiB = StatusMemoryMiB("VmHWM:");
    if (!ok) {
        std::fprintf(stderr, "the import failed\n");
        return 1;
    }
    std::printf("%s, errors: %s\n", qPrintable(countText), hadErrors ? "yes" : "no");
    std::printf(
        "import of %d stands: %.2f s (%.2f s CPU), %.0f stands per second (%.0f per CPU second)\n",
        stands, seconds, cpuSeconds, stands / seconds, stands / cpuSeconds);
    const double inputMiB = static_cast<double>(QFileInfo(text).size()) / kMiB;
    const double writtenMiB =
        static_cast<double>(
            WrittenBytes(dir.path(), {QFileInfo(text).fileName(), QStringLiteral("sprav.mdb")})) /
        kMiB;
    std::printf(
        "peak memory %.1f MiB%s; input %.1f MiB + files written %.1f MiB = %.1f MiB\n", peakMiB,
        restarted
            ? qPrintable(QStringLiteral(" (%1 MiB held at the start)").arg(startMiB, 0, 'f', 1))
            : " (of the whole run, generation included)",
        inputMiB, writtenMiB, inputMiB + writtenMiB);
    return 0;
}
