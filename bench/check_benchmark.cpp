// Checks a synthetic forestry of N stands (20,000 by default) against reference tables that
// describe every column and code the columns the dictionary gives a book (SpCode), and prints the
// time of the check alone. With "all", every whole-number column gets a book of its own: the most
// queries a check can run.
//     check_benchmark [stands] [sprav.mdb] [all]
#include "bench_ui.h"
#include "check/reference_check.h"
#include "common/failure.h"
#include "common/program_folder.h"
#include "common/ui.h"
#include "forestry_generator.h"
#include "import/import_driver.h"
#include "import/stand_database.h"
#include "reference/reference_tables.h"
#include "storage/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace converter;

bool IsWholeNumberType(FieldType type) {
    return type == FieldType::Short || type == FieldType::Long;
}

// The upper-cased Tarvel names of the dictionary's coded columns, with their books.
QHash<QString, int> DictionaryBooks(const QString& mdbPath) {
    QHash<QString, int> books;
    RecordsetPtr fields =
        OpenRecordset(BuildConnectionString(kAccessFile, mdbPath), "Fields", kSourceTable);
    for (; !fields->eof(); fields->moveNext()) {
        const QVariant book = fields->valueByName("SpCode");
        if (!book.isNull()) {
            books.insert(fields->valueByName("Tarvel").toString().toUpper(), book.toInt());
        }
    }
    return books;
}

// SPFIELD.DB lists every column of the main table; each coded column gets its book, filled with
// the values the column holds less every tenth one, so that the check also has shortcomings to
// report. Returns the number of coded columns.
int CreateCoveringReferences(const QString& mainPath, const QString& folder,
                             const QHash<QString, int>& dictionaryBooks, bool codeAll) {
    const QString database = BuildConnectionString(kParadoxFolder, mainPath);
    const QString tableName = QFileInfo(mainPath).completeBaseName();
    RecordsetPtr stands =
        OpenRecordset(database, QLatin1Char('[') + tableName + QLatin1Char(']'), kSourceTable);

    const QString references = BuildConnectionString(kParadoxFolder, folder + "/spfield.db");
    ExecuteStatement(references, kCreateSpfieldTable);
    ExecuteStatement(references, kCreateSpfieldIndex);
    ExecuteStatement(references, kCreateSptabTable);
    ExecuteStatement(references, kCreateSptabIndex);
    RecordsetPtr spfield = OpenRecordset(references, kSpfieldTable, kSourceTable);
    RecordsetPtr sptab = OpenRecordset(references, kSptabTable, kSourceTable);

    const QSet<QString> keys{"GIR", "KV", "SKNR", "MUK"};
    int codedColumns = 0;
    // Columns may share a book; each book is written once, with what all of them hold.
    QHash<int, QSet<int>> bookCodes;
    for (int i = 0; i < stands->fieldCount(); ++i) {
        const FieldInfo& field = stands->field(i);
        const QString upperName = field.name.toUpper();
        int book = 0;
        if (codeAll) {
            book = IsWholeNumberType(field.type) && !keys.contains(upperName) ? i + 1 : 0;
        } else if (IsWholeNumberType(field.type)) {
            book = dictionaryBooks.value(upperName);
        }
        const bool coded = book != 0;
        spfield->addNew();
        spfield->setValueByName("FieldName", field.name);
        spfield->setValueByName("Text", field.name.toLower());
        spfield->setValueByName("SpNum", book);
        spfield->update();
        if (!coded) {
            continue;
        }
        ++codedColumns;
        QString columns = QLatin1Char('[') + field.name + QLatin1Char(']');
        QString orderBy;
        RecordsetPtr values =
            OpenRecordset(database, BuildSelect(tableName, columns, {}, true, orderBy), kSourceSql);
        int n = 0;
        for (; !values->eof(); values->moveNext()) {
            const QVariant value = values->value(0);
            if (value.isNull() || ++n % 10 == 0) {
                continue;
            }
            bookCodes[book].insert(value.toInt());
        }
    }
    for (auto book = bookCodes.cbegin(); book != bookCodes.cend(); ++book) {
        for (const int code : book.value()) {
            sptab->addNew();
            sptab->setValueByName("SpNum", book.key());
            sptab->setValueByName("Code", code);
            sptab->update();
        }
    }
    spfield->close();
    sptab->close();
    return codedColumns;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int stands = args.size() > 1 ? args[1].toInt() : 20000;
    const QString mdb = args.size() > 2 ? args[2] : bench::DefaultDictionaryPath();
    QTemporaryDir dir;
    if (!dir.isValid() || !QFile::copy(mdb, dir.filePath("sprav.mdb")) ||
        !QDir(dir.path()).mkdir("ref")) {
        std::fprintf(stderr, "cannot prepare a folder with %s\n", qPrintable(mdb));
        return 1;
    }
    SetProgramFolder(dir.path());
    bench::QuietUi ui;
    int codedColumns = 0;
    const QString mainPath = dir.filePath("forestry.db");
    const QString referenceFolder = dir.filePath("ref") + QLatin1Char('/');
    try {
        const QString text = dir.filePath("forestry.txt");
        const auto model = bench::LoadForestryModel(dir.filePath("sprav.mdb"));
        bench::WriteForestry(text, bench::GenerateForestry(model, stands, 2026));
        QString countText;
        bool hadErrors = false;
        if (!ImportDoviFile(ui, text, mainPath, ElementsTablePath(mainPath), countText,
                            hadErrors)) {
            std::fprintf(stderr, "the import failed\n");
            return 1;
        }
        const bool codeAll = args.size() > 3 && args[3] == QStringLiteral("all");
        codedColumns = CreateCoveringReferences(
            mainPath, dir.filePath("ref"), DictionaryBooks(dir.filePath("sprav.mdb")), codeAll);
    } catch (...) {
        std::fprintf(stderr, "%s\n", qPrintable(CurrentFailure().description()));
        return 1;
    }

    QString reportText;
    bool deficiencies = false;
    QElapsedTimer timer;
    timer.start();
    const bool ok = CheckTarvelDatabase(ui, mainPath, referenceFolder, reportText, deficiencies);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!ok) {
        std::fprintf(stderr, "the check failed\n");
        return 1;
    }
    // Reference: what the check cost when it ran one DISTINCT query per coded column, each
    // reading the whole table again.
    timer.restart();
    try {
        const QString connection = BuildConnectionString(kParadoxFolder, mainPath);
        const QString tableName = QFileInfo(mainPath).completeBaseName();
        RecordsetPtr spfield =
            OpenRecordset(BuildConnectionString(kParadoxFolder, referenceFolder + "spfield.db"),
                          "spfield", kSourceTable);
        for (; !spfield->eof(); spfield->moveNext()) {
            if (spfield->valueByName("SpNum").toInt() == 0) {
                continue;
            }
            QString columns = '[' + spfield->valueByName("FieldName").toString() + ']';
            QString orderBy;
            RecordsetPtr values = OpenRecordset(
                connection, BuildSelect(tableName, columns, {}, true, orderBy), kSourceSql);
        }
    } catch (...) {
        std::fprintf(stderr, "%s\n", qPrintable(CurrentFailure().description()));
        return 1;
    }
    const double referenceSeconds = timer.nsecsElapsed() / 1e9;
    QFile report(dir.filePath("reports/проверка.txt"));
    const qint64 reportSize = report.exists() ? report.size() : 0;
    std::printf(
        "check of %d stands, %d coded columns: %.3f s, deficiencies: %s, report %lld bytes\n",
        stands, codedColumns, seconds, deficiencies ? "yes" : "no",
        static_cast<long long>(reportSize));
    std::printf("reference, one DISTINCT query per coded column: %.3f s (%.1f x the check)\n",
                referenceSeconds, referenceSeconds / seconds);
    return 0;
}
