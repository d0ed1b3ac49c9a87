// Imports a synthetic forestry of N stands (20,000 by default) and prints the time, the stands
// per second and the peak memory:
//     import_benchmark [stands] [sprav.mdb]
#include "bench_ui.h"
#include "common/failure.h"
#include "common/program_folder.h"
#include "forestry_generator.h"
#include "import/import_driver.h"
#include "import/stand_database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>

namespace {

// CPU seconds of this process: on a machine shared with other work the wall time alone says
// little.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long PeakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
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
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = CpuSeconds();
    const bool ok = converter::ImportDoviFile(
        ui, text, mainPath, converter::ElementsTablePath(mainPath), countText, hadErrors);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double cpuSeconds = CpuSeconds() - cpuStart;
    if (!ok) {
        std::fprintf(stderr, "the import failed\n");
        return 1;
    }
    std::printf("%s, errors: %s\n", qPrintable(countText), hadErrors ? "yes" : "no");
    std::printf(
        "import of %d stands: %.2f s (%.2f s CPU), %.0f stands per second (%.0f per CPU second), "
        "peak memory %ld MiB\n",
        stands, seconds, cpuSeconds, stands / seconds, stands / cpuSeconds, PeakMemoryMiB());
    return 0;
}
