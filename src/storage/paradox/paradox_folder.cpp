#include "storage/paradox/paradox_folder.h"

#include "common/failure.h"
#include "storage/paradox/paradox_record_view.h"
#include "storage/paradox/paradox_recordset.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace converter::paradox {

namespace {

constexpr int kMaxFieldNameLength = 25;

QString ShownFolder(const QString& folder) {
    return QDir::toNativeSeparators(folder);
}

}  // namespace

QString FindTableFile(const QString& folder, const QString& tableName) {
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    const QString wanted = tableName + QStringLiteral(".db");
    const QString exact = dir.filePath(wanted);
    if (QFileInfo(exact).isFile()) {
        return exact;
    }
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString& entry : entries) {
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0) {
            return dir.filePath(entry);
        }
    }
    return {};
}

namespace {

// The table's file; Failure when there is none.
QString ExistingTableFile(const QString& folder, const QString& tableName) {
    const QString path = FindTableFile(folder, tableName);
    if (path.isEmpty()) {
        throw Failure(QStringLiteral("Таблица [%1] не найдена в папке %2")
                          .arg(tableName, ShownFolder(folder)));
    }
    return path;
}

}  // namespace

ParadoxTable LoadTable(const QString& folder, const QString& tableName,
                       const ParadoxTable::NumberFilter* keep, const RowFilter* wanted) {
    return ParadoxTable::Load(ExistingTableFile(folder, tableName), keep, wanted);
}

RecordsetPtr OpenTable(const QString& folder, const QString& tableName, bool updatable,
                       const ParadoxTable::NumberFilter* keep, const RowFilter* wanted) {
    // A table open for changes is written back whole: it is never read in part.
    return std::make_unique<ParadoxRecordset>(
        updatable ? LoadTable(folder, tableName) : LoadTable(folder, tableName, keep, wanted),
        updatable);
}

RecordsetPtr OpenTableFields(const QString& folder, const QString& tableName) {
    return std::make_unique<ParadoxRecordset>(
        ParadoxTable::LoadVisiting(ExistingTableFile(folder, tableName),
                                   [](const ParadoxTable&, const char*) {}),
        false);
}

void ScanTable(const QString& folder, const QString& tableName,
               const std::function<void(const Recordset& fields)>& begin,
               const std::function<void(const Recordset& row)>& each) {
    // The view shows the table as it is being read; it lives only while the records are handed
    // over. A table without records still shows its fields.
    std::optional<ParadoxRecordView> view;
    const ParadoxTable table = ParadoxTable::LoadVisiting(
        ExistingTableFile(folder, tableName), [&](const ParadoxTable& read, const char* record) {
            if (!view) {
                view.emplace(read);
                begin(*view);
            }
            view->show(record);
            each(*view);
        });
    if (!view) {
        begin(ParadoxRecordView(table));
    }
}

void CreateTable(const QString& folder, const QString& tableName,
                 std::vector<ParadoxField> fields) {
    if (tableName.trimmed().isEmpty() || tableName.contains(QLatin1Char('/')) ||
        tableName.contains(QLatin1Char('\\'))) {
        throw Failure(QStringLiteral("Недопустимое имя таблицы: [%1]").arg(tableName));
    }
    if (!QFileInfo(folder.isEmpty() ? QStringLiteral(".") : folder).isDir()) {
        throw Failure(QStringLiteral("Папка %1 не найдена").arg(ShownFolder(folder)));
    }
    if (!FindTableFile(folder, tableName).isEmpty()) {
        throw Failure(QStringLiteral("Таблица [%1] уже существует").arg(tableName));
    }
    if (fields.empty() || fields.size() > 255) {
        throw Failure(QStringLiteral("Таблица [%1]: допустимо от 1 до 255 полей").arg(tableName));
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        const QString& name = fields[i].name;
        if (name.trimmed().isEmpty() || name.size() > kMaxFieldNameLength) {
            throw Failure(QStringLiteral("Недопустимое имя поля: [%1] (от 1 до %2 символов)")
                              .arg(name)
                              .arg(kMaxFieldNameLength));
        }
        for (size_t j = 0; j < i; ++j) {
            if (fields[j].name.compare(name, Qt::CaseInsensitive) == 0) {
                throw Failure(QStringLiteral("Поле [%1] определено несколько раз").arg(name));
            }
        }
        if (fields[i].length == 0) {
            throw Failure(QStringLiteral("Недопустимый тип поля [%1]").arg(name));
        }
    }
    const QString path = QDir(folder.isEmpty() ? QStringLiteral(".") : folder)
                             .filePath(tableName + QStringLiteral(".db"));
    ParadoxTable(path, std::move(fields)).save();
}

void CreatePrimaryIndex(const QString& folder, const QString& tableName,
                        const QStringList& columns) {
    ParadoxTable table = LoadTable(folder, tableName);
    if (columns.isEmpty() || columns.size() > 16 || columns.size() > table.fieldCount()) {
        throw Failure(QStringLiteral("Первичный ключ таблицы [%1]: допустимо от 1 до 16 полей")
                          .arg(tableName));
    }
    for (int i = 0; i < columns.size(); ++i) {
        const QString& actual = table.fields()[static_cast<size_t>(i)].name;
        if (actual.compare(columns[i], Qt::CaseInsensitive) != 0) {
            throw Failure(
                QStringLiteral("Поле [%1] первичного ключа таблицы [%2] должно быть полем номер %3 "
                               "(ключевые поля стоят в начале записи)")
                    .arg(columns[i], tableName)
                    .arg(i + 1));
        }
    }
    for (int i = 0; i < columns.size(); ++i) {
        const FieldType type = table.fields()[static_cast<size_t>(i)].info.type;
        if (type == FieldType::Memo || type == FieldType::Blob) {
            throw Failure(
                QStringLiteral("Поле [%1] не может входить в первичный ключ").arg(columns[i]));
        }
    }
    table.setKeyFieldCount(static_cast<int>(columns.size()));
    table.save();
}

}  // namespace converter::paradox
