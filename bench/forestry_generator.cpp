#include "forestry_generator.h"

#include "common/failure.h"
#include "common/program_folder.h"
#include "common/text_file.h"
#include "storage/access/access_table.h"
#include "storage/recordset.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <cstdio>
#include <map>

namespace converter::bench {

namespace {

QString Text(const Recordset& table, const char* column) {
    const int index = table.indexOf(QString::fromLatin1(column));
    return index < 0 ? QString() : table.value(index).toString();
}

// A value the column takes: smallint columns stay small, ten-fold values are whole numbers.
QString RandomValue(const GeneratorField& field, QRandomGenerator& random) {
    if (!field.names.isEmpty()) {
        return field.names[random.bounded(static_cast<int>(field.names.size()))];
    }
    const QString type = field.type.toLower();
    if (field.dovi == QLatin1String("ADMR")) {
        return QString::number(random.bounded(1, 1000));
    }
    if (type == QLatin1String("double")) {
        return field.multTen ? QString::number(random.bounded(0, 5000))
                             : QString::number(random.bounded(0, 50000) / 100.0, 'f', 2);
    }
    if (type == QLatin1String("integer")) {
        return QString::number(random.bounded(0, field.multTen ? 9000 : 900));
    }
    return QString::number(random.bounded(0, 100000));
}

void AppendItems(QString& line, const std::vector<const GeneratorField*>& fields,
                 QRandomGenerator& random, int percent) {
    for (const GeneratorField* field : fields) {
        if (random.bounded(100) < percent) {
            line +=
                field->dovi + QLatin1Char('=') + RandomValue(*field, random) + QLatin1Char('\t');
        }
    }
}

}  // namespace

ForestryModel LoadForestryModel(const QString& mdbPath) {
    QHash<QString, QStringList> names;
    {
        RecordsetPtr codes = OpenAccessTable(mdbPath, QStringLiteral("CodeValues"));
        for (codes->moveFirst(); !codes->eof(); codes->moveNext()) {
            const QString field = Text(*codes, "Field").toUpper();
            const QString name = Text(*codes, "Name");
            // The import upper-cases its lines, so only names stored in upper case can be
            // found; a tab or an equals sign could not stand in a Dovi item.
            if (!name.isEmpty() && name == name.toUpper() && !name.contains(QLatin1Char('\t')) &&
                !name.contains(QLatin1Char('=')) && name.trimmed() == name &&
                !names[field].contains(name)) {
                names[field].append(name);
            }
        }
    }
    static const QStringList kKeys = {"GIR", "KV", "SKNR", "MUK", "NUM"};
    ForestryModel model;
    RecordsetPtr fields = OpenAccessTable(mdbPath, QStringLiteral("Fields"));
    QHash<QString, bool> seen;
    for (fields->moveFirst(); !fields->eof(); fields->moveNext()) {
        GeneratorField field;
        field.dovi = Text(*fields, "Dovi").toUpper();
        field.tarvel = Text(*fields, "Tarvel");
        field.layout = Text(*fields, "Maket").toInt();
        field.type = Text(*fields, "Type");
        const int multTen = fields->indexOf(QStringLiteral("MultTen"));
        field.multTen = multTen >= 0 && fields->value(multTen).toBool();
        const int decode = fields->indexOf(QStringLiteral("Decode"));
        const bool coded = decode >= 0 && fields->value(decode).toBool();
        if (field.dovi.isEmpty() || field.tarvel.isEmpty() || field.layout < 1 ||
            field.layout > 100 || kKeys.contains(field.tarvel.toUpper()) ||
            seen.contains(field.dovi)) {
            continue;
        }
        if (coded) {
            field.names = names.value(field.dovi);
            if (field.names.isEmpty()) {
                continue;
            }
        }
        seen.insert(field.dovi, true);
        model.fields.push_back(field);
    }
    return model;
}

QStringList GenerateForestry(const ForestryModel& model, int stands, quint32 seed) {
    std::map<int, std::vector<const GeneratorField*>> byLayout;
    for (const GeneratorField& field : model.fields) {
        byLayout[field.layout].push_back(&field);
    }
    QRandomGenerator random(seed);
    QStringList lines = {"\t", "\t", "MUK=12345678&GIR=05\t", "\t", "\t", "\t", "\t"};
    lines.reserve(lines.size() + stands * 8);
    constexpr int kStandsPerQuarter = 40;
    for (int s = 0; s < stands; ++s) {
        lines.append(QString());
        QString first = QStringLiteral("KV=%1\tVYDEL=%2\t")
                            .arg(s / kStandsPerQuarter + 1)
                            .arg(s % kStandsPerQuarter + 1);
        AppendItems(first, byLayout[1], random, 90);
        lines.append(first);
        for (const auto& [layout, fields] : byLayout) {
            if (layout == 1) {
                continue;
            }
            if (layout == 10) {
                const int elements = random.bounded(1, 6);
                for (int e = 0; e < elements; ++e) {
                    QString line = QStringLiteral("M#10\t");
                    AppendItems(line, fields, random, 90);
                    lines.append(line);
                }
                continue;
            }
            if (random.bounded(100) >= (layout < 10 ? 60 : 30)) {
                continue;
            }
            QString line = layout >= 10 ? QStringLiteral("M#%1\t").arg(layout) : QString();
            AppendItems(line, fields, random, 80);
            if (!line.isEmpty()) {
                lines.append(line);
            }
        }
    }
    return lines;
}

QString DefaultDictionaryPath() {
    const QString besideProgram = ProgramFile(QStringLiteral("sprav.mdb"));
    if (QFileInfo::exists(besideProgram)) {
        return besideProgram;
    }
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/sprav.mdb");
}

void WriteForestry(const QString& path, const QStringList& lines) {
    TextFileWriter writer(path);
    for (const QString& line : lines) {
        writer.writeLine(line);
    }
    writer.commit();
}

QString PrepareForestry(const QStringList& args, const QString& folder,
                        const std::function<void(QStringList&)>& adjust) {
    const int stands = args.size() > 1 ? args[1].toInt() : 20000;
    const QString mdb = args.size() > 2 ? args[2] : DefaultDictionaryPath();
    const QString copy = folder + QStringLiteral("/sprav.mdb");
    if (!QFile::copy(mdb, copy)) {
        std::fprintf(stderr, "cannot prepare a folder with %s\n", qPrintable(mdb));
        return {};
    }
    SetProgramFolder(folder);
    const QString text = folder + QStringLiteral("/forestry.txt");
    try {
        QStringList lines = GenerateForestry(LoadForestryModel(copy), stands, 2026);
        if (adjust) {
            adjust(lines);
        }
        WriteForestry(text, lines);
    } catch (...) {
        std::fprintf(stderr, "%s\n", qPrintable(CurrentFailure().description()));
        return {};
    }
    return text;
}

}  // namespace converter::bench
