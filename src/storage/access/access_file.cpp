#include "storage/access/access_file.h"

#include "common/failure.h"
#include "storage/access/jet_file.h"
#include "storage/access/jet_rows.h"
#include "storage/access/jet_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace converter {

using namespace access;

namespace {

constexpr int kCatalogPage = 2;
constexpr int kLocalTable = 1;
constexpr uint32_t kSystemObject = 0x80000002u;  // MSys* tables, and MSysAccessObjects

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

Failure Damaged(const QString& path) {
    return Failure(
        QStringLiteral("Файл %1 повреждён или не является базой данных Access").arg(Native(path)));
}

int CatalogColumn(const JetTableDefinition& catalog, const char* name) {
    for (size_t i = 0; i < catalog.columns.size(); ++i) {
        if (catalog.columns[i].name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    throw JetDamaged{};
}

// The file's bytes; a Failure when it is missing or cannot be read.
QByteArray WholeFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        throw Failure(QStringLiteral("Не найден файл: %1").arg(Native(path)));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Damaged(path);
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw Damaged(path);
    }
    return bytes;
}

}  // namespace

struct AccessFile::Impl {
    struct Table {
        QString name;
        JetTableDefinition definition;
    };

    QString path;
    std::optional<JetFile> file;
    std::vector<Table> tables;

    void readCatalog();
};

// The user tables the system catalog lists, each definition and page map checked.
void AccessFile::Impl::readCatalog() {
    const JetTableDefinition catalog = ReadTableDefinition(*file, kCatalogPage);
    const int id = CatalogColumn(catalog, "Id");
    const int name = CatalogColumn(catalog, "Name");
    const int type = CatalogColumn(catalog, "Type");
    const int flags = CatalogColumn(catalog, "Flags");
    std::vector<bool> wanted(catalog.columns.size(), false);
    for (const int column : {id, name, type, flags}) {
        wanted[static_cast<size_t>(column)] = true;
    }
    for (const MemoryRecordset::Row& row : ReadRows(*file, catalog, wanted)) {
        const QVariant& objectId = row[static_cast<size_t>(id)];
        const QString objectName = row[static_cast<size_t>(name)].toString();
        if (objectId.isNull() || objectName.isEmpty() ||
            row[static_cast<size_t>(type)].toInt() != kLocalTable ||
            (static_cast<uint32_t>(row[static_cast<size_t>(flags)].toInt()) & kSystemObject) != 0) {
            continue;
        }
        const int64_t page = static_cast<uint32_t>(objectId.toInt()) & 0x00FFFFFFu;
        tables.push_back({objectName, ReadTableDefinition(*file, page)});
    }
}

AccessFile::AccessFile(const QString& path) : AccessFile(WholeFile(path), path) {}

AccessFile::AccessFile(QByteArray bytes, const QString& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = path;
    try {
        impl_->file.emplace(std::move(bytes));
        impl_->readCatalog();
    } catch (const JetDamaged&) {
        throw Damaged(path);
    }
}

AccessFile::~AccessFile() = default;

bool AccessFile::isJet3() const {
    return impl_->file->isJet3();
}

QStringList AccessFile::tableNames() const {
    QStringList names;
    for (const Impl::Table& table : impl_->tables) {
        names.append(table.name);
    }
    return names;
}

std::unique_ptr<MemoryRecordset> AccessFile::readTable(const QString& name) const {
    const Impl::Table* found = nullptr;
    for (const Impl::Table& table : impl_->tables) {
        if (table.name == name) {
            found = &table;
            break;
        }
    }
    for (const Impl::Table& table : impl_->tables) {
        if (!found && table.name.compare(name, Qt::CaseInsensitive) == 0) {
            found = &table;
        }
    }
    if (!found) {
        throw Failure(
            QStringLiteral("Таблица %1 не найдена в файле %2").arg(name, Native(impl_->path)));
    }
    std::vector<FieldInfo> fields;
    for (const JetColumn& column : found->definition.columns) {
        fields.push_back(DescribeColumn(column, isJet3()));
    }
    try {
        return std::make_unique<MemoryRecordset>(std::move(fields),
                                                 ReadRows(*impl_->file, found->definition));
    } catch (const JetDamaged&) {
        throw Damaged(impl_->path);
    }
}

}  // namespace converter
