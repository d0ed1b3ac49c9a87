#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include <vector>

namespace converter::bench {

// One indicator of the dictionary as the generator writes it.
struct GeneratorField {
    QString dovi;
    QString tarvel;
    int layout = 0;
    QString type;  // dictionary type word
    bool multTen = false;
    QStringList names;  // the texts of a Decode indicator
};

// What the generator needs of a dictionary: its indicators grouped by layout.
struct ForestryModel {
    std::vector<GeneratorField> fields;
};

// Reads Fields and CodeValues of a sprav.mdb. Indicators that a generated file must not carry
// (the key columns, Decode indicators without texts, layouts outside 1..100) are left out.
// Throws Failure when the file cannot be read.
ForestryModel LoadForestryModel(const QString& mdbPath);

// The lines of a Dovi per-stand file of `stands` stands: the seven header lines, then per stand
// an empty line and its layout lines, 1 to 5 forest elements each, every value valid for the
// dictionary. The same seed gives the same file.
QStringList GenerateForestry(const ForestryModel& model, int stands, quint32 seed);

// sprav.mdb beside the program, or in the build's program folder bin/ beside bench/.
QString DefaultDictionaryPath();

// Writes the lines in Windows-1251 with CR LF; throws Failure.
void WriteForestry(const QString& path, const QStringList& lines);

// The set-up of the operation benchmarks, from their arguments "[stands] [sprav.mdb]": the
// dictionary copied into `folder`, the program folder pointed there and a generated forestry
// (20,000 stands unless told) written to folder/forestry.txt, after `adjust` had its lines.
// Returns that file's path, or an empty text after printing why it could not.
QString PrepareForestry(const QStringList& args, const QString& folder,
                        const std::function<void(QStringList&)>& adjust = {});

}  // namespace converter::bench
