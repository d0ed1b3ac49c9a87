// Imports a synthetic forestry of N stands (20,000 by default) and prints the time, the stands
// per second and the peak memory beside the size of the input and of the files written:
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

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

namespace {

// CPU seconds of this process: on a machine shared with other work the wall time alone says
// little.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

constexpr double kMiB = 1024.0 * 1024.0;

// The whole process's peak resident memory, as the console program's would be measured.
double PeakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The forestry is generated in a child process: the generator's memory would otherwise count in
// the peak, and the heap it leaves behind would serve the import's large blocks where a fresh
// process maps them. Returns the file's path, or an empty text after the child said why.
QString PrepareForestryInChild(const QStringList& args, const QString& folder) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        std::fflush(nullptr);
        _exit(converter::bench::PrepareForestry(args, folder).isEmpty() ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return {};
    }
    converter::SetProgramFolder(folder);
    return folder + QStringLiteral("/forestry.txt");
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
    const QString text = dir.isValid() ? PrepareForestryInChild(args, dir.path()) : "";
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
        "import of %d stands: %.2f s (%.2f s CPU), %.0f stands per second (%.0f per CPU second)\n",
        stands, seconds, cpuSeconds, stands / seconds, stands / cpuSeconds);
    const QString textName = QFileInfo(text).fileName();
    const double inputMiB = static_cast<double>(QFileInfo(text).size()) / kMiB;
    const double writtenMiB =
        static_cast<double>(WrittenBytes(dir.path(), {textName, QStringLiteral("sprav.mdb")})) /
        kMiB;
    std::printf("peak memory %.1f MiB; input %.1f MiB + files written %.1f MiB = %.1f MiB\n",
                PeakMemoryMiB(), inputMiB, writtenMiB, inputMiB + writtenMiB);
    return 0;
}
