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

using CsvRecords = std::vector<std::pair<int, std::vector<Cell>>>;

// Splits CSV text into records of cells; quoted cells may span lines. Records keep the number of
// the line they start on for messages.
class CsvParser {
public:
    explicit CsvParser(const QString& path) : path_(path) {}

    CsvRecords parse(const QString& text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (inQuotes_) {
                i = quoted(text, i);
            } else {
                plain(text.at(i));
            }
        }
        if (inQuotes_) {
            Fail(path_, line_, QStringLiteral("a quoted cell is not closed"));
        }
        if (cellStarted_ || !record_.empty()) {
            endRecord();
        }
        return std::move(records_);
    }

private:
    // A character inside quotes; a doubled quote stands for one. Returns the index of the last
    // character used.
    qsizetype quoted(const QString& text, qsizetype i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                cell_.text += c;
                return i + 1;
            }
            inQuotes_ = false;
            return i;
        }
        if (c == QLatin1Char('\n')) {
            ++line_;
        }
        cell_.text += c;
        return i;
    }

    void plain(QChar c) {
        if (c == QLatin1Char('"')) {
            if (cellStarted_) {
                Fail(path_, line_, QStringLiteral("a quote inside an unquoted cell"));
            }
            inQuotes_ = true;
            cell_.quoted = true;
            cellStarted_ = true;
        } else if (c == QLatin1Char(',')) {
            endCell();
        } else if (c == QLatin1Char('\r')) {
            // CR LF ends a line like LF.
        } else if (c == QLatin1Char('\n')) {
            endRecord();
            ++line_;
            recordLine_ = line_;
        } else {
            if (cell_.quoted) {
                Fail(path_, line_, QStringLiteral("text after a closing quote"));
            }
            cell_.text += c;
            cellStarted_ = true;
        }
    }

    void endCell() {
        record_.push_back(cell_);
        cell_ = Cell();
        cellStarted_ = false;
    }

    void endRecord() {
        endCell();
        // A blank line is no record.
        if (!(record_.size() == 1 && record_[0].text.isEmpty() && !record_[0].quoted)) {
            records_.emplace_back(recordLine_, std::move(record_));
        }
        record_.clear();
    }

    const QString& path_;
    CsvRecords records_;
    std::vector<Cell> record_;
    Cell cell_;
    bool inQuotes_ = false;
    bool cellStarted_ = false;
    int line_ = 1;
    int recordLine_ = 1;
};

CsvRecords ParseCsv(const QString& text, const QString& path) {
    return CsvParser(path).parse(text);
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
    const bool sized = !match.captured(3).isEmpty();
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
        // An empty quoted cell is an empty text, never a null string: Qt 5 counts a variant
        // holding a null string as null.
        return cell.text.isNull() ? QString(QLatin1String("")) : cell.text;
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
