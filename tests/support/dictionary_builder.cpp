#include "support/dictionary_builder.h"

#include "support/test_paths.h"

#include <QDir>

#include <algorithm>

namespace converter::testing {

namespace {

[[noreturn]] void Fail(const QString& why) {
    throw Jet4Error(why.toStdString());
}

size_t ColumnIndex(const Jet4Table& table, const QString& columnName) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].name.compare(columnName, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    Fail(QStringLiteral("table %1 has no column %2").arg(table.name, columnName));
}

}  // namespace

DictionaryBuilder DictionaryBuilder::Standard() {
    return FromCsvFolder(SourceDir() + QStringLiteral("/data/dictionary"));
}

DictionaryBuilder DictionaryBuilder::FromCsvFolder(const QString& folder) {
    DictionaryBuilder builder;
    builder.tables_ = ReadCsvTables(folder);
    return builder;
}

DictionaryBuilder& DictionaryBuilder::table(const QString& name, std::vector<Jet4Column> columns) {
    for (size_t i = 0; i < tables_.size(); ++i) {
        if (tables_[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            tables_[i] = Jet4Table{name, std::move(columns), {}};
            current_ = static_cast<int>(i);
            return *this;
        }
    }
    tables_.push_back(Jet4Table{name, std::move(columns), {}});
    current_ = static_cast<int>(tables_.size()) - 1;
    return *this;
}

DictionaryBuilder& DictionaryBuilder::row(std::vector<QVariant> values) {
    if (current_ < 0) {
        Fail(QStringLiteral("row() before table()"));
    }
    tables_[static_cast<size_t>(current_)].rows.push_back(std::move(values));
    return *this;
}

DictionaryBuilder& DictionaryBuilder::row(std::initializer_list<QVariant> values) {
    return row(std::vector<QVariant>(values));
}

Jet4Table& DictionaryBuilder::tableNamed(const QString& name) {
    for (Jet4Table& t : tables_) {
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) {
            return t;
        }
    }
    Fail(QStringLiteral("no table %1").arg(name));
}

DictionaryBuilder& DictionaryBuilder::removeTable(const QString& name) {
    Jet4Table& doomed = tableNamed(name);
    const auto index = static_cast<int>(&doomed - tables_.data());
    tables_.erase(tables_.begin() + index);
    if (current_ == index) {
        current_ = -1;
    } else if (current_ > index) {
        --current_;
    }
    return *this;
}

DictionaryBuilder& DictionaryBuilder::removeColumn(const QString& tableName,
                                                   const QString& columnName) {
    Jet4Table& t = tableNamed(tableName);
    const size_t index = ColumnIndex(t, columnName);
    t.columns.erase(t.columns.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto& r : t.rows) {
        if (index < r.size()) {
            r.erase(r.begin() + static_cast<std::ptrdiff_t>(index));
        }
    }
    return *this;
}

DictionaryBuilder& DictionaryBuilder::renameColumn(const QString& tableName,
                                                   const QString& columnName,
                                                   const QString& newName) {
    Jet4Table& t = tableNamed(tableName);
    t.columns[ColumnIndex(t, columnName)].name = newName;
    return *this;
}

DictionaryBuilder& DictionaryBuilder::moveColumnToEnd(const QString& tableName,
                                                      const QString& columnName) {
    Jet4Table& t = tableNamed(tableName);
    const size_t index = ColumnIndex(t, columnName);
    std::rotate(t.columns.begin() + static_cast<std::ptrdiff_t>(index),
                t.columns.begin() + static_cast<std::ptrdiff_t>(index) + 1, t.columns.end());
    for (auto& r : t.rows) {
        r.resize(t.columns.size());
        std::rotate(r.begin() + static_cast<std::ptrdiff_t>(index),
                    r.begin() + static_cast<std::ptrdiff_t>(index) + 1, r.end());
    }
    return *this;
}

DictionaryBuilder& DictionaryBuilder::clearRows(const QString& tableName) {
    tableNamed(tableName).rows.clear();
    return *this;
}

void DictionaryBuilder::write(const QString& path) const {
    WriteJet4Database(tables_, path);
}

QString DictionaryBuilder::writeInto(const QString& folder) const {
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("sprav.mdb"));
    write(path);
    return path;
}

QString WriteStandardDictionary(const QString& folder) {
    return DictionaryBuilder::Standard().writeInto(folder);
}

}  // namespace converter::testing
