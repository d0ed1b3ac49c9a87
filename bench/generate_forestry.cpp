// Writes a synthetic Dovi per-stand file for a dictionary:
//     generate_forestry <stands> <output.txt> [sprav.mdb] [seed]
#include "common/failure.h"
#include "common/program_folder.h"
#include "forestry_generator.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: generate_forestry <stands> <output.txt> [sprav.mdb] [seed]\n");
        return 2;
    }
    bool ok = false;
    const int stands = args[1].toInt(&ok);
    if (!ok || stands < 0) {
        std::fprintf(stderr, "not a number of stands: %s\n", qPrintable(args[1]));
        return 2;
    }
    const QString mdb = args.size() > 3 ? args[3] : converter::bench::DefaultDictionaryPath();
    const quint32 seed = args.size() > 4 ? args[4].toUInt() : 1;
    try {
        const auto model = converter::bench::LoadForestryModel(mdb);
        const QStringList lines = converter::bench::GenerateForestry(model, stands, seed);
        converter::bench::WriteForestry(args[2], lines);
        std::printf("%d stands, %lld lines written to %s\n", stands,
                    static_cast<long long>(lines.size()), qPrintable(args[2]));
        return 0;
    } catch (...) {
        const converter::Failure failure = converter::CurrentFailure();
        std::fprintf(stderr, "%s\n", qPrintable(failure.description()));
        return 1;
    }
}
