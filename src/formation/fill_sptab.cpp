#include "formation/fill_sptab.h"

#include "common/failure.h"
#include "common/safe_write.h"
#include "common/text_file.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "formation/fixed_books.h"
#include "formation/formation_errors.h"
#include "formation/formation_tables.h"
#include "formation/reference_file.h"
#include "reference/dictionary_checks.h"
#include "reference/reference_tables.h"
#include "storage/database.h"

#include <QDir>
#include <QFile>

#include <set>
#include <utility>

namespace converter {

namespace {

using SptabKey = std::pair<qint32, qint32>;

// Writes entries into the open sptab recordset and remembers which keys the table holds, so that
// a refusal can be told apart: a key already present is dropped quietly, any other refusal is a
// lost value and goes to the report.
class SptabWriter {
public:
    SptabWriter(Recordset& table, const SptabColumns& columns, FormationErrors& errors)
        : table_(table), columns_(columns), errors_(errors) {}

    void store(const SptabEntry& entry) {
        const SptabKey key{entry.SpNum, entry.Code};
        try {
            table_.addNew();
        } catch (...) {
            // A refusal to begin shows again, and is handled, when the row is saved.
        }
        try {
            table_.setValue(columns_.Code, entry.Code);
            table_.setValue(columns_.Name, entry.Name);
            table_.setValue(columns_.ShortName, entry.ShortName);
            table_.setValue(columns_.SpNum, entry.SpNum);
            table_.update();
            stored_.insert(key);
        } catch (...) {
            try {
                table_.cancelUpdate();
            } catch (...) {
                // Nothing was begun; the next row starts cleanly either way.
            }
            if (stored_.count(key) == 0) {
                AddFormationError(errors_, kRefusedRowSection, EntryDetail(entry));
            }
        }
    }

    static QString EntryDetail(const SptabEntry& entry) {
        return QString::number(entry.SpNum) + QStringLiteral(" - ") + QString::number(entry.Code) +
               QStringLiteral(" - ") + entry.Name;
    }

private:
    Recordset& table_;
    const SptabColumns& columns_;
    FormationErrors& errors_;
    std::set<SptabKey> stored_;
};

// Reads one book's file line by line and stores its entries, then the book's "нет" row. Keys
// seen in the files are kept across books (as a pair: glued decimal texts would make book 1
// code 23 and book 12 code 3 look alike).
void ReadBook(const QString& path, const NsiBook& book, BookLayout layout, SptabWriter& writer,
              std::set<SptabKey>& seenKeys, FormationErrors& errors) {
    const QStringList lines = ReadTextLines(path, TextCodec::Cp866);
    int lineNumber = 0;
    for (const QString& line : lines) {
        ++lineNumber;
        if (line.size() < kShortestReferenceLine) {
            continue;
        }
        const ReferenceLine read = ReadReferenceLine(line, book, layout, lineNumber);
        if (!read.codeFault.isEmpty()) {
            AddFormationError(errors, kNonNumericCodeSection, read.codeFault);
        }
        const SptabKey key{read.entry.SpNum, read.entry.Code};
        if (!seenKeys.insert(key).second) {
            AddFormationError(errors, kRepeatedKeySection, SptabWriter::EntryDetail(read.entry));
            continue;
        }
        writer.store(read.entry);
    }
    writer.store({book.Code, 0, QStringLiteral("нет"), QString()});
}

// Reads the value book of each Nsi row into the table; a book that is missing or of an unknown
// type is reported and passed over. Returns how many books were read.
int StoreValueBooks(Ui& ui, Recordset& nsi, const QString& referenceFolder, SptabWriter& writer,
                    FormationErrors& errors) {
    const NsiColumns& nsiColumns = CurrentDictionaryColumns().nsi;
    std::set<SptabKey> seenKeys;
    int booksRead = 0;
    for (nsi.moveFirst(); !nsi.eof(); nsi.moveNext()) {
        const NsiBook book = ReadNsiBook(nsi, nsiColumns);
        const QString path = ReferenceFilePath(referenceFolder, book.Code);
        if (!QFile::exists(path)) {
            AddFormationError(errors, kMissingFileSection, QDir::toNativeSeparators(path));
            continue;
        }
        const auto layout = BookLayoutOf(book);
        if (!layout) {
            AddFormationError(errors, kUnknownTypeSection, QDir::toNativeSeparators(path));
            continue;
        }
        // A link to a device or a pipe would never end; real books are kilobytes.
        const QString problem = InputFileProblem(path, kMaxValueBookSize);
        if (!problem.isEmpty()) {
            throw Failure(problem);
        }
        ++booksRead;
        ReadBook(path, book, *layout, writer, seenKeys, errors);
        ui.processEvents();
    }
    return booksRead;
}

}  // namespace

bool FillSptab(Ui& ui, const QString& targetFolder, const QString& referenceFolder, QString& report,
               FormationErrors& errors) {
    RecordsetPtr nsi;
    RecordsetPtr sptab;
    try {
        nsi = OpenRecordset(BuildConnectionString(kAccessFile, DictionaryPath()), kNsiTable,
                            kSourceTable);
        if (!CheckConnected(ui, nsi.get())) {
            return false;
        }
        const QString sptabPath = FindFileIgnoringCase(SptabPath(targetFolder));
        if (sptabPath.isEmpty()) {
            CloseRecordset(nsi);
            return false;
        }
        sptab = OpenRecordset(BuildConnectionString(kParadoxFolder, sptabPath),
                              SplitPath(sptabPath, kPathBaseName), kSourceTable);
        if (!CheckConnected(ui, sptab.get())) {
            CloseRecordset(nsi);
            return false;
        }

        SptabWriter writer(*sptab, CurrentSptabColumns(), errors);
        const int booksRead = StoreValueBooks(ui, *nsi, referenceFolder, writer, errors);
        for (const SptabEntry& entry : FixedBookEntries()) {
            writer.store(entry);
        }
        // The table is written when it closes: a failure there must not pass for success.
        sptab->close();
        CloseRecordset(sptab);
        CloseRecordset(nsi);

        // The program's own books add 2 to the count (not 4): the figure users know.
        report =
            QStringLiteral("Загружено справочников значений: ") + QString::number(booksRead + 2);
        return true;
    } catch (...) {
        const Failure failure = CurrentFailure();
        CloseRecordset(sptab);
        CloseRecordset(nsi);
        ShowErrorBox(ui, failure, QStringLiteral("Ошибка при заполнении справочника SpTAB.Db"));
        return false;
    }
}

}  // namespace converter
