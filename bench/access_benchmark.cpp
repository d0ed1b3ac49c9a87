// Two builds of the console program side by side, on what reads the Access dictionary: every
// table of sprav.mdb read whole (one dump per table), a formation from the sample value books
// and an import of the sample Dovi file. The programs run in turn, A B A B ..., ROUNDS times;
// the medians of wall and CPU time are printed with the ratio B/A:
//     access_benchmark OLD_CLI NEW_CLI [ROUNDS] [DOVI_FILE]
// The new program's folder gives sprav.mdb and nsi/; DOVI_FILE defaults to the sample of data/.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Times {
    double wall = 0;
    double cpu = 0;
};

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs `program args` with its output thrown away; wall and CPU seconds of the child.
Times RunOnce(const QString& program, const QStringList& args) {
    std::vector<QByteArray> storage{program.toLocal8Bit()};
    for (const QString& a : args) {
        storage.push_back(a.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& s : storage) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    std::fflush(nullptr);  // else the child's redirection flushes our pending output once more
    const double start = Now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double wall = Now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        std::fprintf(stderr, "%s %s ended with status %d\n", argv[0], argv[1], status);
    }
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {wall, seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One task: a list of commands (args after the program) run as one measured unit.
struct Task {
    const char* name;
    std::vector<QStringList> commands;
};

Times RunTask(const QString& program, const Task& task) {
    Times total;
    for (const QStringList& args : task.commands) {
        const Times t = RunOnce(program, args);
        total.wall += t.wall;
        total.cpu += t.cpu;
    }
    return total;
}

std::vector<Task> Tasks(const QString& folder, const QString& dovi, const QString& work) {
    const QString mdb = folder + QStringLiteral("/sprav.mdb");
    Task read{"read sprav.mdb whole", {}};
    for (const char* table : {"CodeValues", "Fields", "Makets", "Nsi", "Ti_Fields"}) {
        read.commands.push_back({QStringLiteral("dump"), mdb, QString::fromLatin1(table)});
    }
    const QString programFolder = QStringLiteral("--program-folder");
    return {
        read,
        {"formation",
         {{QStringLiteral("form"), folder + QStringLiteral("/nsi"), work + QStringLiteral("/ref"),
           QStringLiteral("--overwrite"), programFolder, folder}}},
        {"import",
         {{QStringLiteral("import"), dovi, work + QStringLiteral("/main.db"),
           QStringLiteral("--leshoz"), QStringLiteral("12345678"), QStringLiteral("--lesnich"),
           QStringLiteral("5"), QStringLiteral("--overwrite"), programFolder, folder}}}};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: access_benchmark OLD_CLI NEW_CLI [ROUNDS] [DOVI_FILE]\n");
        return 2;
    }
    const QString oldCli = QFileInfo(args[1]).absoluteFilePath();
    const QString newCli = QFileInfo(args[2]).absoluteFilePath();
    const int rounds = args.size() > 3 ? std::max(1, args[3].toInt()) : 7;
    const QString folder = QFileInfo(newCli).absolutePath();
    const QString dovi = args.size() > 4 ? args[4] : QStringLiteral(SAMPLE_DOVI_FILE);
    QTemporaryDir work;
    std::printf("%-22s %12s %12s %8s   %12s %12s %8s\n", "median of rounds", "old wall ms",
                "new wall ms", "new/old", "old cpu ms", "new cpu ms", "new/old");
    for (const Task& task : Tasks(folder, dovi, work.path())) {
        std::vector<double> oldWall, newWall, oldCpu, newCpu;
        RunTask(oldCli, task);  // warm-up: the files in the page cache for both
        RunTask(newCli, task);
        for (int r = 0; r < rounds; ++r) {
            const Times a = RunTask(oldCli, task);
            const Times b = RunTask(newCli, task);
            oldWall.push_back(a.wall * 1000);
            newWall.push_back(b.wall * 1000);
            oldCpu.push_back(a.cpu * 1000);
            newCpu.push_back(b.cpu * 1000);
        }
        const double ow = Median(oldWall), nw = Median(newWall);
        const double oc = Median(oldCpu), nc = Median(newCpu);
        std::printf("%-22s %12.1f %12.1f %8.2f   %12.1f %12.1f %8.2f\n", task.name, ow, nw, nw / ow,
                    oc, nc, oc > 0 ? nc / oc : 0.0);
    }
    std::printf("%d rounds, old %s, new %s\n", rounds, qPrintable(oldCli), qPrintable(newCli));
    return 0;
}
