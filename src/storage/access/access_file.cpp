#include "storage/access/access_file.h"

#include "common/failure.h"

// GLib first: mdbtools.h opens extern "C" before it includes glib.h, which breaks C++.
#include <glib.h>
#include <mdbtools.h>

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <iconv.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace converter {

namespace {

constexpr size_t kMaxTables = 10000;
constexpr int kMaxRows = 10000000;
constexpr int kMaxColumns = 255;
constexpr size_t kBindSize = 65536;

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

Failure Damaged(const QString& path) {
    return Failure(
        QStringLiteral("Файл %1 повреждён или не является базой данных Access").arg(Native(path)));
}

Failure DamagedTable(const QString& table, const QString& path) {
    return Failure(QStringLiteral("Таблица %1 в файле %2 повреждена").arg(table, Native(path)));
}

// libmdb reads its settings from the environment when a file opens. A search path can open a
// same-named file elsewhere or loop forever, and debug switches print to the console, so they
// go; the Jet3 character set is chosen per file (UseJet3CodePage).
void PrepareEnvironment() {
    static std::once_flag once;
    std::call_once(once, [] {
        unsetenv("MDBPATH");
        unsetenv("MDBICONV");
        unsetenv("MDBOPTS");
        unsetenv("MDB_JET3_CHARSET");
    });
}

bool IconvKnows(const QByteArray& charset) {
    const iconv_t probe = iconv_open("UTF-8", charset.constData());
    if (probe == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    iconv_close(probe);
    return true;
}

// Jet3 text is 8-bit in the code page the file declares in its header. A file that declares
// none (or one iconv does not know) was written, for this program's users, in Windows-1251.
// libmdb takes the character set from the environment only when it sets up its converters, so
// they are set up again with the one chosen here.
void UseJet3CodePage(MdbHandle* mdb) {
    QByteArray charset;
    if (mdb->f->code_page != 0) {
        charset = "CP" + QByteArray::number(mdb->f->code_page);
    }
    if (charset.isEmpty() || !IconvKnows(charset)) {
        charset = IconvKnows("WINDOWS-1251") ? QByteArray("WINDOWS-1251") : QByteArray("CP1251");
    }
    setenv("MDB_JET3_CHARSET", charset.constData(), 1);
    mdb_iconv_close(mdb);
    mdb_iconv_init(mdb);
    unsetenv("MDB_JET3_CHARSET");
}

// libmdb reports pages it cannot read (a file cut short) only by printing to standard error,
// which must not reach the user. While an object of this class lives, standard error goes to a
// temporary file; damaged() tells whether the library complained of a short file meanwhile.
class LibraryDiagnostics {
public:
    LibraryDiagnostics() {
        std::fflush(stderr);
        capture_ = std::tmpfile();
        saved_ = capture_ != nullptr ? dup(STDERR_FILENO) : -1;
        if (saved_ >= 0 && dup2(fileno(capture_), STDERR_FILENO) < 0) {
            close(saved_);
            saved_ = -1;
        }
    }
    ~LibraryDiagnostics() {
        restore();
        if (capture_ != nullptr) {
            std::fclose(capture_);
        }
    }
    LibraryDiagnostics(const LibraryDiagnostics&) = delete;
    LibraryDiagnostics& operator=(const LibraryDiagnostics&) = delete;

    bool damaged() {
        restore();
        if (capture_ == nullptr) {
            return false;
        }
        std::rewind(capture_);
        QByteArray text;
        char buffer[4096];
        size_t n = 0;
        while (text.size() < (1 << 20) &&
               (n = std::fread(buffer, 1, sizeof buffer, capture_)) > 0) {
            text.append(buffer, static_cast<qsizetype>(n));
        }
        return text.contains("beyond EOF") || text.contains("didn't get a full page");
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }

    std::FILE* capture_ = nullptr;
    int saved_ = -1;
};

struct TableDefDeleter {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, TableDefDeleter>;

MdbColumn* Column(MdbTableDef* table, unsigned index) {
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, index));
}

// A table definition whose page map is present and whose columns were read; null otherwise.
// A missing map would be dereferenced by the first fetch.
TableDefPtr ReadDefinition(MdbCatalogEntry* entry) {
    TableDefPtr table(mdb_read_table(entry));
    if (!table || !table->usage_map || table->map_sz < 1) {
        return nullptr;
    }
    if (!mdb_read_columns(table.get()) || !table->columns ||
        table->columns->len != table->num_cols || table->num_cols > kMaxColumns) {
        return nullptr;
    }
    return table;
}

// The value of column `col` in the row just fetched, taken from the page bytes, not from the
// library's locale-dependent text. `start`/`len` are checked against the page before reading.
class RowReader {
public:
    explicit RowReader(MdbHandle* mdb)
        : mdb_(mdb), pageSize_(static_cast<int>(mdb->fmt->pg_size)) {}

    bool fits(const MdbColumn* col, int width) const {
        return col->cur_value_len == width && col->cur_value_start >= 0 &&
               col->cur_value_start + width <= pageSize_ && pageSize_ <= MDB_PGSIZE;
    }

    int64_t littleEndian(int start, int width) const {
        uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i) {
            v = (v << 8) | mdb_->pg_buf[start + i];
        }
        return static_cast<int64_t>(v);
    }

    double readDouble(int start) const {
        const auto bits = static_cast<uint64_t>(littleEndian(start, 8));
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    float readSingle(int start) const {
        const auto bits = static_cast<uint32_t>(littleEndian(start, 4));
        float v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    QVariant number(const MdbColumn* col) const {
        const int start = col->cur_value_start;
        switch (col->col_type) {
            case MDB_BYTE:
                return fits(col, 1) ? QVariant(static_cast<int>(mdb_->pg_buf[start])) : QVariant();
            case MDB_INT:
                return fits(col, 2) ? QVariant(static_cast<int>(
                                          static_cast<int16_t>(littleEndian(start, 2))))
                                    : QVariant();
            case MDB_LONGINT:
                return fits(col, 4) ? QVariant(static_cast<int>(
                                          static_cast<int32_t>(littleEndian(start, 4))))
                                    : QVariant();
            case MDB_FLOAT:
                return fits(col, 4) ? QVariant(static_cast<double>(readSingle(start))) : QVariant();
            case MDB_DOUBLE:
                return fits(col, 8) ? QVariant(readDouble(start)) : QVariant();
            case MDB_MONEY:
                return fits(col, 8)
                           ? QVariant(static_cast<double>(littleEndian(start, 8)) / 10000.0)
                           : QVariant();
            case MDB_DATETIME:
                return fits(col, 8) ? JetDate(readDouble(start)) : QVariant();
            case MDB_NUMERIC:
                // A Jet4 column entry holds the precision at +11 and the scale at +12; libmdb
                // files them the other way round, so its "precision" is the scale.
                return fits(col, 17) ? decimal(start, col->col_prec) : QVariant();
            default:
                return {};
        }
    }

    // A Decimal (Access NUMERIC): a sign byte, then the scaled magnitude as four little-endian
    // 32-bit words, the most significant first. As a double, like the other fractional numbers.
    QVariant decimal(int start, int scale) const {
        if (scale < 0 || scale > 28) {
            return {};
        }
        double magnitude = 0;
        for (int word = 0; word < 4; ++word) {
            magnitude =
                magnitude * 4294967296.0 +
                static_cast<double>(static_cast<uint32_t>(littleEndian(start + 1 + 4 * word, 4)));
        }
        const double value = magnitude / std::pow(10.0, scale);
        return (mdb_->pg_buf[start] & 0x80) != 0 ? -value : value;
    }

    // Days since 1899-12-30; the fraction is the time of day, counted away from zero before it.
    static QVariant JetDate(double days) {
        if (!std::isfinite(days) || std::fabs(days) > 3.0e6) {
            return {};
        }
        const double whole = std::trunc(days);
        auto ms = static_cast<qint64>(std::llround(std::fabs(days - whole) * 86400000.0));
        QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
        if (ms >= 86400000) {
            ms -= 86400000;
            date = date.addDays(1);
        }
        return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)), Qt::UTC);
    }

private:
    MdbHandle* mdb_;
    int pageSize_;
};

FieldInfo DescribeColumn(const MdbColumn* col, bool jet3) {
    FieldInfo info;
    info.name = QString::fromUtf8(col->name);
    switch (col->col_type) {
        case MDB_BOOL:
            info.type = FieldType::Logical;
            break;
        case MDB_BYTE:
        case MDB_INT:
            info.type = FieldType::Short;
            break;
        case MDB_LONGINT:
            info.type = col->is_long_auto ? FieldType::AutoIncrement : FieldType::Long;
            break;
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_NUMERIC:
            info.type = FieldType::Number;
            break;
        case MDB_MONEY:
            info.type = FieldType::Currency;
            break;
        case MDB_DATETIME:
            info.type = FieldType::Timestamp;
            break;
        case MDB_TEXT:
            info.type = FieldType::Text;
            info.size = jet3 ? col->col_size : col->col_size / 2;
            break;
        case MDB_MEMO:
            info.type = FieldType::Memo;
            break;
        default:
            info.type = FieldType::Blob;
            break;
    }
    return info;
}

bool IsText(const MdbColumn* col) {
    return col->col_type == MDB_TEXT || col->col_type == MDB_MEMO;
}

// An empty text and a NULL both arrive with no bytes; only the row's null bitmap tells them
// apart, so the current row (still in the page buffer) is cracked once more when it matters.
// True when `cracked` then holds the row's fields.
bool CrackRowIfNeeded(MdbHandle* mdb, MdbTableDef* table, std::vector<MdbField>& cracked) {
    bool needed = false;
    for (unsigned i = 0; i < table->num_cols && !needed; ++i) {
        const MdbColumn* col = Column(table, i);
        needed = IsText(col) && col->cur_value_len == 0;
    }
    int start = 0;
    size_t length = 0;
    if (!needed || table->cur_row == 0 ||
        mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &length) != 0) {
        return false;
    }
    const MdbField unknown{nullptr, 0, 0, 1, 0, -1, 0};
    std::fill(cracked.begin(), cracked.end(), unknown);
    return mdb_crack_row(table, start & 0x1FFF, length, cracked.data()) >= 0;
}

// The values of the fetched row; `cracked` (or null) tells an empty text from a NULL.
MemoryRecordset::Row RowValues(MdbTableDef* table, const std::vector<std::vector<char>>& buffers,
                               const RowReader& reader, const std::vector<MdbField>* cracked) {
    MemoryRecordset::Row row(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbColumn* col = Column(table, i);
        if (col->col_type == MDB_BOOL) {
            // The null bit is the value, reported inverted.
            row[i] = col->cur_value_len == 0;
        } else if (IsText(col)) {
            if (col->cur_value_len != 0) {
                row[i] = QString::fromUtf8(buffers[i].data());
            } else if (cracked != nullptr) {
                bool isNull = true;
                for (const MdbField& f : *cracked) {
                    if (f.colnum == static_cast<int>(i)) {
                        isNull = f.is_null != 0;
                    }
                }
                row[i] = isNull ? QVariant() : QVariant(QString());
            }
        } else {
            row[i] = reader.number(col);
        }
    }
    return row;
}

}  // namespace

struct AccessFile::Impl {
    QString path;
    MdbHandle* mdb = nullptr;
    std::deque<MdbCatalogEntry> tables;  // table definitions keep pointers to their entries

    ~Impl() {
        if (mdb) {
            mdb_close(mdb);
        }
    }

    void readCatalog();
    std::unique_ptr<MemoryRecordset> readRows(MdbCatalogEntry* entry) const;
};

void AccessFile::Impl::readCatalog() {
    MdbCatalogEntry system{};
    system.mdb = mdb;
    system.object_type = MDB_TABLE;
    system.table_pg = 2;
    g_strlcpy(system.object_name, "MSysObjects", sizeof system.object_name);
    TableDefPtr catalog = ReadDefinition(&system);
    if (!catalog) {
        throw Damaged(path);
    }
    auto find = [&](const char* name) {
        for (unsigned i = 0; i < catalog->num_cols; ++i) {
            if (g_ascii_strcasecmp(Column(catalog.get(), i)->name, name) == 0) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    const int idColumn = find("Id");
    const int nameColumn = find("Name");
    const int typeColumn = find("Type");
    const int flagsColumn = find("Flags");
    if (idColumn < 0 || nameColumn < 0 || typeColumn < 0 || flagsColumn < 0) {
        throw Damaged(path);
    }
    std::vector<char> name(mdb->bind_size + 1, '\0');
    mdb_bind_column(catalog.get(), nameColumn + 1, name.data(), nullptr);
    const RowReader reader(mdb);
    MdbColumn* id = Column(catalog.get(), static_cast<unsigned>(idColumn));
    MdbColumn* type = Column(catalog.get(), static_cast<unsigned>(typeColumn));
    MdbColumn* flags = Column(catalog.get(), static_cast<unsigned>(flagsColumn));
    mdb_rewind_table(catalog.get());
    int rows = 0;
    while (mdb_fetch_row(catalog.get()) && tables.size() < kMaxTables && ++rows < kMaxRows) {
        if (!reader.fits(id, 4) || !reader.fits(type, 2) || !reader.fits(flags, 4)) {
            continue;
        }
        const auto objectId = static_cast<uint32_t>(reader.littleEndian(id->cur_value_start, 4));
        const auto objectType = static_cast<int16_t>(reader.littleEndian(type->cur_value_start, 2));
        const auto objectFlags =
            static_cast<uint32_t>(reader.littleEndian(flags->cur_value_start, 4));
        // Local user tables only: system tables carry 0x80000000 or 0x00000002.
        if (objectType != 1 || (objectFlags & 0x80000002u) != 0 || name[0] == '\0') {
            continue;
        }
        MdbCatalogEntry entry{};
        entry.mdb = mdb;
        entry.object_type = MDB_TABLE;
        entry.flags = static_cast<int>(objectFlags);
        entry.table_pg = objectId & 0x00FFFFFFu;
        g_strlcpy(entry.object_name, name.data(), sizeof entry.object_name);
        tables.push_back(entry);
    }
}

std::unique_ptr<MemoryRecordset> AccessFile::Impl::readRows(MdbCatalogEntry* entry) const {
    const QString tableName = QString::fromUtf8(entry->object_name);
    TableDefPtr table = ReadDefinition(entry);
    if (!table) {
        throw DamagedTable(tableName, path);
    }
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    const unsigned columnCount = table->num_cols;
    std::vector<FieldInfo> fields;
    std::vector<std::vector<char>> buffers(columnCount);
    bool hasText = false;
    for (unsigned i = 0; i < columnCount; ++i) {
        MdbColumn* col = Column(table.get(), i);
        fields.push_back(DescribeColumn(col, jet3));
        if (IsText(col)) {
            buffers[i].assign(mdb->bind_size + 1, '\0');
            mdb_bind_column(table.get(), static_cast<int>(i) + 1, buffers[i].data(), nullptr);
            hasText = true;
        }
    }

    const RowReader reader(mdb);
    std::vector<MemoryRecordset::Row> rows;
    std::vector<MdbField> cracked(columnCount);
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        if (static_cast<int>(rows.size()) >= kMaxRows) {
            throw DamagedTable(tableName, path);
        }
        const bool crackedOk = hasText && CrackRowIfNeeded(mdb, table.get(), cracked);
        rows.push_back(RowValues(table.get(), buffers, reader, crackedOk ? &cracked : nullptr));
    }
    return std::make_unique<MemoryRecordset>(std::move(fields), std::move(rows));
}

AccessFile::AccessFile(const QString& path) : impl_(std::make_unique<Impl>()) {
    PrepareEnvironment();
    const QFileInfo info(path);
    impl_->path = path;
    if (!info.exists() || !info.isFile()) {
        throw Failure(QStringLiteral("Не найден файл: %1").arg(Native(path)));
    }
    if (info.size() < 2048 || !info.isReadable()) {
        throw Damaged(path);
    }
    LibraryDiagnostics diagnostics;
    impl_->mdb = mdb_open(QFile::encodeName(info.absoluteFilePath()).constData(), MDB_NOFLAGS);
    if (!impl_->mdb || !impl_->mdb->f || !impl_->mdb->fmt ||
        impl_->mdb->f->jet_version > MDB_VER_ACCDB_2019) {
        throw Damaged(path);
    }
    if (impl_->mdb->f->jet_version == MDB_VER_JET3) {
        UseJet3CodePage(impl_->mdb);
    }
    // Memo values longer than the library's default buffer would come back cut short.
    mdb_set_bind_size(impl_->mdb, kBindSize);
    impl_->readCatalog();
    // A catalog cut short lists too few tables: say that the file is damaged, not that a table
    // is missing.
    if (diagnostics.damaged()) {
        throw Damaged(path);
    }
}

AccessFile::~AccessFile() = default;

bool AccessFile::isJet3() const {
    return impl_->mdb->f->jet_version == MDB_VER_JET3;
}

QStringList AccessFile::tableNames() const {
    QStringList names;
    for (const MdbCatalogEntry& e : impl_->tables) {
        names.append(QString::fromUtf8(e.object_name));
    }
    return names;
}

std::unique_ptr<MemoryRecordset> AccessFile::readTable(const QString& name) const {
    MdbCatalogEntry* found = nullptr;
    for (MdbCatalogEntry& e : impl_->tables) {
        if (QString::fromUtf8(e.object_name) == name) {
            found = &e;
            break;
        }
    }
    for (MdbCatalogEntry& e : impl_->tables) {
        if (!found && QString::fromUtf8(e.object_name).compare(name, Qt::CaseInsensitive) == 0) {
            found = &e;
        }
    }
    if (!found) {
        throw Failure(
            QStringLiteral("Таблица %1 не найдена в файле %2").arg(name, Native(impl_->path)));
    }
    LibraryDiagnostics diagnostics;
    std::unique_ptr<MemoryRecordset> rows = impl_->readRows(found);
    if (diagnostics.damaged()) {
        throw DamagedTable(QString::fromUtf8(found->object_name), impl_->path);
    }
    return rows;
}

}  // namespace converter
