#pragma once

#include "common/program_folder.h"
#include "common/text_file.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"
#include "support/dictionary_builder.h"
#include "support/fake_ui.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

namespace converter::testing {

// One Fields row: Tarvel, Dovi, Maket, Position, type word, MultTen, Decode.
struct FieldRow {
    QString tarvel;
    QString dovi;
    int maket = 1;
    int position = 1;
    QString type = QStringLiteral("long");
    bool multTen = false;
    bool decode = false;
};

// A program folder with a sprav.mdb of the given Fields and CodeValues rows and a small
// Ti_Fields, for one test.
class ImportFixture {
public:
    ImportFixture() { SetProgramFolder(dir_.path()); }
    ~ImportFixture() {
        SetProgramFolder(QString());
        ResetDictionaryColumns();
        ClearCodeLists();
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    void writeDictionary(const std::vector<FieldRow>& fields,
                         const std::vector<std::vector<QVariant>>& codeValues = {}) {
        DictionaryBuilder builder;
        builder.table(QStringLiteral("Fields"), {{QStringLiteral("Tarvel"), Jet4Type::Text, 20},
                                                 {QStringLiteral("Dovi"), Jet4Type::Text, 20},
                                                 {QStringLiteral("Maket"), Jet4Type::Integer},
                                                 {QStringLiteral("Position"), Jet4Type::Long},
                                                 {QStringLiteral("MultTen"), Jet4Type::Boolean},
                                                 {QStringLiteral("Type"), Jet4Type::Text, 20},
                                                 {QStringLiteral("SpCode"), Jet4Type::Long},
                                                 {QStringLiteral("EdIzm"), Jet4Type::Text, 20},
                                                 {QStringLiteral("ShortText"), Jet4Type::Text, 50},
                                                 {QStringLiteral("Name"), Jet4Type::Text, 100},
                                                 {QStringLiteral("Decode"), Jet4Type::Boolean}});
        for (const FieldRow& f : fields) {
            builder.row({f.tarvel, f.dovi, f.maket, f.position, f.multTen, f.type, QVariant(),
                         QVariant(), QVariant(), f.tarvel, f.decode});
        }
        builder.table(QStringLiteral("CodeValues"), {{QStringLiteral("Field"), Jet4Type::Text, 20},
                                                     {QStringLiteral("Code"), Jet4Type::Long},
                                                     {QStringLiteral("Name"), Jet4Type::Text, 50}});
        for (const auto& row : codeValues) {
            builder.row(row);
        }
        builder
            .table(QStringLiteral("Ti_Fields"), {{QStringLiteral("Name"), Jet4Type::Text, 20},
                                                 {QStringLiteral("Type"), Jet4Type::Text, 20},
                                                 {QStringLiteral("Length"), Jet4Type::Long},
                                                 {QStringLiteral("Text"), Jet4Type::Text, 50},
                                                 {QStringLiteral("SpCode"), Jet4Type::Long},
                                                 {QStringLiteral("EdIzm"), Jet4Type::Text, 20},
                                                 {QStringLiteral("ShortText"), Jet4Type::Text, 20}})
            .row({QStringLiteral("VID"), QStringLiteral("string"), 20, QStringLiteral("Вид")})
            .row({QStringLiteral("PLV"), QStringLiteral("double"), QVariant(),
                  QStringLiteral("Площадь")});
        builder.writeInto(dir_.path());
    }

    // A Dovi file: seven header lines, then `standLines` from line 8 on (line 8 should be
    // empty). Lines are joined with CR LF in Windows-1251.
    QString writeDoviFile(const QStringList& standLines, const QString& name = "les.txt") const {
        QStringList lines = {"\t", "\t", "MUK=12345678&GIR=05\t", "\t", "\t", "\t", "\t"};
        lines += standLines;
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(EncodeText(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"),
                                  TextCodec::Windows1251));
        }
        return path(name);
    }

    // The rows of a table of the new database as lists of values in column order.
    static std::vector<std::vector<QVariant>> Rows(const QString& dbPath) {
        const QFileInfo info(dbPath);
        RecordsetPtr table = OpenRecordset(
            BuildConnectionString(kParadoxFolder, dbPath),
            QLatin1Char('[') + info.completeBaseName() + QLatin1Char(']'), kSourceTable);
        std::vector<std::vector<QVariant>> rows;
        for (table->moveFirst(); !table->eof(); table->moveNext()) {
            std::vector<QVariant> row;
            for (int c = 0; c < table->fieldCount(); ++c) {
                row.push_back(table->value(c));
            }
            rows.push_back(row);
        }
        CloseRecordset(table);
        return rows;
    }

    static QStringList ColumnNames(const QString& dbPath) {
        const QFileInfo info(dbPath);
        RecordsetPtr table = OpenRecordset(
            BuildConnectionString(kParadoxFolder, dbPath),
            QLatin1Char('[') + info.completeBaseName() + QLatin1Char(']'), kSourceTable);
        QStringList names;
        for (int c = 0; c < table->fieldCount(); ++c) {
            names.append(table->field(c).name);
        }
        CloseRecordset(table);
        return names;
    }

private:
    QTemporaryDir dir_;
};

inline ForestUnitInput Unit(const QString& leshoz = QStringLiteral("12345678"),
                            const QString& lesnich = QStringLiteral("5")) {
    return ForestUnitInput{leshoz, lesnich};
}

}  // namespace converter::testing

namespace converter::testing {

// A row as "v1|v2|...", NULL as "-", for compact comparisons.
inline QString RowText(const std::vector<QVariant>& row) {
    QStringList parts;
    for (const QVariant& v : row) {
        parts.append(v.isNull() ? QStringLiteral("-") : v.toString());
    }
    return parts.join(QLatin1Char('|'));
}

inline QStringList RowTexts(const std::vector<std::vector<QVariant>>& rows) {
    QStringList texts;
    for (const auto& row : rows) {
        texts.append(RowText(row));
    }
    return texts;
}

}  // namespace converter::testing
