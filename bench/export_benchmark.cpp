// Exports a year of a synthetic forestry of N stands (20,000 by default), all changed in that
// year or, with a third argument K, only K stands spread over the table (the others in the next
// year), and prints the time and the stands per second:
//     export_benchmark [stands] [sprav.mdb] [K]
#include "bench_ui.h"
#include "common/failure.h"
#include "common/program_folder.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "export/export_writer.h"
#include "forestry_generator.h"
#include "import/import_driver.h"
#include "import/stand_database.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kYear = 5;

// Every stand (or every `step`-th, the others kYear + 1) gets the change year kYear: whatever
// AKTM the generator wrote goes, and the stand's first line carries the year instead.
void SetChangeYear(QStringList& lines, int step) {
    static const QRegularExpression aktm(QStringLiteral("(^|\\t)AKTM=[^\\t]*\\t"));
    int stand = 0;
    for (int i = 8; i < lines.size(); ++i) {
        if (!lines[i].isEmpty() && lines[i - 1].isEmpty()) {
            lines[i].replace(aktm, QStringLiteral("\\1"));
            lines[i] += QStringLiteral("AKTM=%1\t").arg(stand++ % step == 0 ? kYear : kYear + 1);
        }
    }
}

// Processor time of this process: steadier than the clock on a machine shared with builds.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int stands = args.size() > 1 ? args[1].toInt() : 20000;
    const int selected = args.size() > 3 ? std::max(1, args[3].toInt()) : stands;
    const int step = std::max(1, stands / selected);
    QTemporaryDir dir;
    const QString text =
        dir.isValid()
            ? converter::bench::PrepareForestry(
                  args, dir.path(), [step](QStringList& lines) { SetChangeYear(lines, step); })
            : "";
    if (text.isEmpty()) {
        return 1;
    }

    converter::bench::QuietUi ui;
    const QString mainPath = dir.filePath("forestry.db");
    const QString elementsPath = converter::ElementsTablePath(mainPath);
    QString countText;
    bool hadErrors = false;
    if (!converter::ImportDoviFile(ui, text, mainPath, elementsPath, countText, hadErrors)) {
        std::fprintf(stderr, "the import failed\n");
        return 1;
    }

    // Where the time goes: the dictionary steps and the two queries, with and without their
    // ORDER BY, measured apart from the whole export below.
    {
        QElapsedTimer phase;
        phase.start();
        std::vector<int> makets;
        converter::ExportFieldTable table;
        converter::CheckFieldsTable(ui);
        converter::LoadMaketList(ui, makets);
        converter::LoadExportFieldMap(ui, mainPath, makets, table);
        converter::BuildCodeLists(ui);
        std::printf("dictionary, field table and code lists: %.3f s\n", phase.nsecsElapsed() / 1e9);
        const QString connection =
            converter::BuildConnectionString(converter::kParadoxFolder, mainPath);
        const QStringList queries = {
            QStringLiteral("SELECT * FROM [forestry] WHERE [AKTM] = %1").arg(kYear),
            QStringLiteral(
                "SELECT * FROM [forestry] WHERE [AKTM] = %1 ORDER BY [GIR], [KV], [SKNR]")
                .arg(kYear),
            QStringLiteral("SELECT * FROM [forestryСост]"),
            QStringLiteral("SELECT * FROM [forestryСост] ORDER BY [GIR], [KV], [SKNR], [NUM]")};
        for (const QString& sql : queries) {
            phase.restart();
            auto rows = converter::OpenRecordset(connection, sql, converter::kSourceSql);
            std::printf("%.3f s, %d rows: %s\n", phase.nsecsElapsed() / 1e9, rows->recordCount(),
                        qPrintable(sql));
        }
    }

    const QString output = dir.filePath("forestry_2005.txt");
    QElapsedTimer timer;
    const double cpuStart = CpuSeconds();
    timer.start();
    const bool ok = converter::ExportCurrentChanges(
        ui, {output, mainPath, elementsPath, kYear, converter::SecondsSinceMidnight()});
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = CpuSeconds() - cpuStart;
    if (!ok) {
        std::fprintf(stderr, "the export failed\n");
        return 1;
    }
    // Reference: reading the two tables' files, which an export has to do at the least.
    QElapsedTimer readTimer;
    readTimer.start();
    qint64 tableBytes = 0;
    for (const QString& path : {mainPath, elementsPath}) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            tableBytes += file.readAll().size();
        }
    }
    const double readSeconds = readTimer.nsecsElapsed() / 1e9;
    const int exported = (stands + step - 1) / step;
    std::printf(
        "exported %d of %d stands in %.3f s (%.3f s of processor time): %.0f stands per second, "
        "%lld bytes written\n",
        exported, stands, seconds, cpu, exported / seconds,
        static_cast<long long>(QFileInfo(output).size()));
    std::printf("reference, reading the tables' %.1f MB: %.3f s\n", tableBytes / 1e6, readSeconds);
    return 0;
}
