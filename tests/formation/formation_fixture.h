#pragma once

#include "common/program_folder.h"
#include "common/text_file.h"
#include "storage/database.h"
#include "support/dictionary_builder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <utility>

namespace converter::testing {

// A program folder with its own dictionary, a folder of value books and an empty target folder,
// all in a temporary folder that lives as long as the fixture.
class FormationFixture {
public:
    FormationFixture() {
        QDir root(dir_.path());
        root.mkpath(QStringLiteral("program"));
        root.mkpath(QStringLiteral("nsi"));
        root.mkpath(QStringLiteral("target"));
        SetProgramFolder(programFolder());

        dictionary.table(QStringLiteral("Nsi"), {{QStringLiteral("Code"), Jet4Type::Long},
                                                 {QStringLiteral("Name"), Jet4Type::Text, 50},
                                                 {QStringLiteral("Type"), Jet4Type::Text, 10},
                                                 {QStringLiteral("PosCode"), Jet4Type::Integer},
                                                 {QStringLiteral("LenCode"), Jet4Type::Integer},
                                                 {QStringLiteral("PosText"), Jet4Type::Integer},
                                                 {QStringLiteral("LenText"), Jet4Type::Integer},
                                                 {QStringLiteral("PosShort"), Jet4Type::Integer},
                                                 {QStringLiteral("LenShort"), Jet4Type::Integer}});
        dictionary.table(QStringLiteral("Fields"),
                         {{QStringLiteral("Tarvel"), Jet4Type::Text, 20},
                          {QStringLiteral("Dovi"), Jet4Type::Text, 20},
                          {QStringLiteral("Maket"), Jet4Type::Integer},
                          {QStringLiteral("Position"), Jet4Type::Integer},
                          {QStringLiteral("MultTen"), Jet4Type::Boolean},
                          {QStringLiteral("Type"), Jet4Type::Text, 10},
                          {QStringLiteral("SpCode"), Jet4Type::Long},
                          {QStringLiteral("EdIzm"), Jet4Type::Text, 10},
                          {QStringLiteral("ShortText"), Jet4Type::Text, 25},
                          {QStringLiteral("Name"), Jet4Type::Text, 40},
                          {QStringLiteral("Decode"), Jet4Type::Boolean}});
        dictionary.table(QStringLiteral("Makets"),
                         {{QStringLiteral("Name"), Jet4Type::Text, 20},
                          {QStringLiteral("Text"), Jet4Type::Text, 40},
                          {QStringLiteral("ShortText"), Jet4Type::Text, 25}});
        dictionary.table(QStringLiteral("Ti_Fields"),
                         {{QStringLiteral("Name"), Jet4Type::Text, 20},
                          {QStringLiteral("Type"), Jet4Type::Text, 10},
                          {QStringLiteral("Length"), Jet4Type::Integer},
                          {QStringLiteral("Text"), Jet4Type::Text, 40},
                          {QStringLiteral("SpCode"), Jet4Type::Long},
                          {QStringLiteral("EdIzm"), Jet4Type::Text, 10},
                          {QStringLiteral("ShortText"), Jet4Type::Text, 25}});
    }

    ~FormationFixture() { SetProgramFolder(QString()); }

    QString programFolder() const { return dir_.filePath(QStringLiteral("program")); }
    // As the dialog gives it: with the final separator.
    QString nsiFolder() const { return dir_.filePath(QStringLiteral("nsi")) + QLatin1Char('/'); }
    QString targetFolder() const {
        return dir_.filePath(QStringLiteral("target")) + QLatin1Char('/');
    }

    void addStandartBook(int number, const QString& type = QStringLiteral("standart")) {
        dictionary.tableNamed(QStringLiteral("Nsi"))
            .rows.push_back({number, QStringLiteral("Книга"), type});
    }
    void addCustomBook(int number, QVariant posCode, QVariant lenCode, QVariant posText,
                       QVariant lenText, QVariant posShort, QVariant lenShort) {
        dictionary.tableNamed(QStringLiteral("Nsi"))
            .rows.push_back({number, QStringLiteral("Книга"), QStringLiteral("custom"), posCode,
                             lenCode, posText, lenText, posShort, lenShort});
    }

    // A value book in the DOS code page with CR LF line ends.
    void writeBook(const QString& fileName, const QStringList& lines) const {
        QByteArray bytes;
        for (const QString& line : lines) {
            bytes += EncodeText(line, TextCodec::Cp866) + "\r\n";
        }
        QFile file(dir_.filePath(QStringLiteral("nsi/")) + fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    void writeDictionary() const { dictionary.writeInto(programFolder()); }

    DictionaryBuilder dictionary;

private:
    QTemporaryDir dir_;
};

struct SptabRow {
    QString name;
    QString shortName;
    bool operator==(const SptabRow&) const = default;
};
using SptabRows = std::map<std::pair<int, int>, SptabRow>;

inline SptabRows ReadSptab(const QString& folder) {
    SptabRows rows;
    const QString path = folder + QStringLiteral("sptab.db");
    RecordsetPtr table = OpenRecordset(BuildConnectionString(kParadoxFolder, path),
                                       QStringLiteral("sptab"), kSourceTable);
    for (table->moveFirst(); !table->eof(); table->moveNext()) {
        rows[{table->valueByName(QStringLiteral("SpNum")).toInt(),
              table->valueByName(QStringLiteral("Code")).toInt()}] =
            SptabRow{table->valueByName(QStringLiteral("NAME")).toString(),
                     table->valueByName(QStringLiteral("ShortName")).toString()};
    }
    CloseRecordset(table);
    return rows;
}

}  // namespace converter::testing
