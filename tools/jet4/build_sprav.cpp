// Builds the dictionary sprav.mdb from the table CSVs of data/dictionary:
//     build_sprav <csv folder> <output .mdb>
#include "jet4/jet4_writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: build_sprav <csv folder> <output .mdb>\n");
        return 2;
    }
    try {
        const auto tables = converter::ReadCsvTables(args[1]);
        if (tables.empty()) {
            throw converter::Jet4Error("no *.csv tables in " + args[1].toStdString());
        }
        QDir().mkpath(QFileInfo(args[2]).absolutePath());
        converter::WriteJet4Database(tables, args[2]);
        size_t rows = 0;
        for (const auto& t : tables) {
            rows += t.rows.size();
        }
        std::printf("%s: %zu tables, %zu rows\n", qPrintable(args[2]), tables.size(), rows);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "build_sprav: %s\n", e.what());
        return 1;
    }
    return 0;
}
