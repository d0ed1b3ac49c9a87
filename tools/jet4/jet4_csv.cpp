#include "jet4/jet4_writer.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace converter {

namespace {

struct Cell {
    QString text;
    bool quoted = false;
};

[[noreturn]] void Fail(const QString& path, int line, const QString& why) {
    throw Jet4Error(QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(why).toStdString());
}

// Splits CSV text into records of cells; quoted cells may span lines. Records keep the number of
// the line they start on for messages.
std::vector<std::pair<int, std::vector<Cell>>> ParseCsv(const QString& text, const QString& path) {
    std::vector<std::pair<int, std::vector<Cell>>> records;
    std::vector<Cell> record;
    Cell cell;
    bool inQuotes = false;
    bool cellStarted = false;
    int line = 1;
    int recordLine = 1;
    auto endCell = [&] {
        record.push_back(cell);
        cell = Cell();
        cellStarted = false;
    };
    auto endRecord = [&] {
        endCell();
        // A blank line is no record.
        if (!(record.size() == 1 && record[0].text.isEmpty() && !record[0].quoted)) {
            records.emplace_back(recordLine, std::move(record));
        }
        record.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    cell.text += c;
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                if (c == QLatin1Char('\n')) {
                    ++line;
                }
                cell.text += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            if (cellStarted) {
                Fail(path, line, QStringLiteral("a quote inside an unquoted cell"));
            }
            inQuotes = true;
            cell.quoted = true;
            cellStarted = true;
        } else if (c == QLatin1Char(',')) {
            endCell();
        } else if (c == QLatin1Char('\r')) {
            // CR LF ends a line like LF.
        } else if (c == QLatin1Char('\n')) {
            endRecord();
            ++line;
            recordLine = line;
        } else {
            if (cell.quoted) {
                Fail(path, line, QStringLiteral("text after a closing quote"));
            }
            cell.text += c;
            cellStarted = true;
        }
    }
    if (inQuotes) {
        Fail(path, line, QStringLiteral("a quoted cell is not closed"));
    }
    if (cellStarted || !record.empty()) {
        endRecord();
    }
    return records;
}

Jet4Column ParseColumn(const QString& columnText, const QString& path) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*([^:]+?)\\s*:\\s*([A-Za-z]+)\\s*(?:\\(\\s*(\\d+)\\s*\\))?\\s*$"));
    const auto match = pattern.match(columnText);
    if (!match.hasMatch()) {
        Fail(path, 1, QStringLiteral("column \"%1\" is not written as Name:Type").arg(columnText));
    }
    Jet4Column column;
    column.name = match.captured(1);
    const QString type = match.captured(2).toLower();
    const bool sized = match.hasCaptured(3);
    if (type == QLatin1String("text")) {
        column.type = Jet4Type::Text;
        column.size = sized ? match.captured(3).toInt() : 255;
        return column;
    }
    static const std::pair<const char*, Jet4Type> kTypes[] = {
        {"boolean", Jet4Type::Boolean}, {"byte", Jet4Type::Byte},
        {"integer", Jet4Type::Integer}, {"long", Jet4Type::Long},
        {"double", Jet4Type::Double},   {"datetime", Jet4Type::DateTime},
    };
    for (const auto& [word, value] : kTypes) {
        if (type == QLatin1String(word) && !sized) {
            column.type = value;
            return column;
        }
    }
    Fail(path, 1, QStringLiteral("column \"%1\" has an unknown type").arg(columnText));
}

QVariant ParseValue(const Cell& cell, const Jet4Column& column, const QString& path, int line) {
    if (cell.text.isEmpty() && !cell.quoted) {
        return {};
    }
    if (column.type == Jet4Type::Text) {
        return cell.text;
    }
    const QString text = cell.text.trimmed();
    bool ok = false;
    QVariant value;
    switch (column.type) {
        case Jet4Type::Boolean: {
            const QString word = text.toLower();
            ok = true;
            if (word == QLatin1String("1") || word == QLatin1String("true") ||
                word == QLatin1String("yes")) {
                value = true;
            } else if (word == QLatin1String("0") || word == QLatin1String("false") ||
                       word == QLatin1String("no")) {
                value = false;
            } else {
                ok = false;
            }
            break;
        }
        case Jet4Type::Double:
            value = QLocale::c().toDouble(text, &ok);
            break;
        case Jet4Type::DateTime: {
            const QDate date = QDate::fromString(text, Qt::ISODate);
            ok = date.isValid();
            value = date;
            break;
        }
        default:
            value = QLocale::c().toLongLong(text, &ok);
            break;
    }
    if (!ok) {
        Fail(path, line,
             QStringLiteral("\"%1\" does not fit column %2").arg(cell.text, column.name));
    }
    return value;
}

}  // namespace

Jet4Table ReadCsvTable(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Jet4Error(
            QStringLiteral("cannot read %1: %2").arg(path, file.errorString()).toStdString());
    }
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    const auto records = ParseCsv(text, path);
    if (records.empty()) {
        Fail(path, 1, QStringLiteral("no header line"));
    }
    Jet4Table table;
    table.name = QFileInfo(path).completeBaseName();
    for (const Cell& cell : records[0].second) {
        table.columns.push_back(ParseColumn(cell.text, path));
    }
    for (size_t r = 1; r < records.size(); ++r) {
        const auto& [line, cells] = records[r];
        if (cells.size() != table.columns.size()) {
            Fail(path, line,
                 QStringLiteral("%1 cells for %2 columns")
                     .arg(cells.size())
                     .arg(table.columns.size()));
        }
        std::vector<QVariant> row;
        row.reserve(cells.size());
        for (size_t c = 0; c < cells.size(); ++c) {
            row.push_back(ParseValue(cells[c], table.columns[c], path, line));
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

std::vector<Jet4Table> ReadCsvTables(const QString& folder) {
    const QDir dir(folder);
    if (!dir.exists()) {
        throw Jet4Error(QStringLiteral("no folder %1").arg(folder).toStdString());
    }
    std::vector<Jet4Table> tables;
    for (const QString& name :
         dir.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name | QDir::IgnoreCase)) {
        tables.push_back(ReadCsvTable(dir.filePath(name)));
    }
    return tables;
}

}  // namespace converter
