// Reading a .db file. Every header field, descriptor and block is checked against the file
// before any of it is used, so a damaged file is refused with a description instead of being
// read out of bounds or walked forever.
#include "common/failure.h"
#include "storage/paradox/paradox_record_view.h"
#include "storage/paradox/paradox_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

namespace converter::paradox {

namespace {

constexpr qint64 kMaxMemoLength = 16 * 1024 * 1024;

class Bytes {
public:
    Bytes(const uchar* data, qint64 size) : data_(data), size_(size) {}
    qint64 size() const { return size_; }
    const char* at(qint64 offset) const { return reinterpret_cast<const char*>(data_ + offset); }
    unsigned u8(qint64 offset) const { return data_[offset]; }
    unsigned u16(qint64 offset) const { return data_[offset] | (unsigned{data_[offset + 1]} << 8); }
    std::uint32_t u32(qint64 offset) const {
        return u16(offset) | (std::uint32_t{static_cast<std::uint16_t>(u16(offset + 2))} << 16);
    }

private:
    const uchar* data_;
    qint64 size_;
};

int CodePageOfDriverName(const QByteArray& id) {
    const QByteArray lower = id.toLower();
    if (lower == "ancyrr" || lower == "bgpd1251" || lower == "dbwinru0") {
        return 1251;
    }
    if (lower == "cyrr" || lower == "db866ru0") {
        return 866;
    }
    if (lower == "ascii") {
        return 437;
    }
    if (lower == "intl850" || lower == "intl") {
        return 850;
    }
    if (lower == "ansii850" || lower == "dbwinus0" || lower == "ansiintl" || lower == "dbwinwe0") {
        return 1252;
    }
    return 0;
}

// Without a code page or driver name only the DOS Cyrillic sort orders tell the text apart;
// everything else is read as 1251.
int CodePageOfSortOrder(unsigned sortOrder) {
    return sortOrder == 0xC0 || sortOrder == 0x81 ? 866 : 1251;
}

}  // namespace

QString SiblingFile(const QString& path, const QString& extension) {
    const QFileInfo info(path);
    const QString wanted = info.completeBaseName() + QLatin1Char('.') + extension;
    const QDir dir = info.dir();
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString& entry : entries) {
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0) {
            return dir.filePath(entry);
        }
    }
    return dir.filePath(info.completeBaseName() + QLatin1Char('.') + extension.toLower());
}

void ParadoxTable::computeLayout() {
    int offset = 0;
    autoIncrementFields_.clear();
    for (ParadoxField& field : fields_) {
        field.offset = offset;
        offset += field.length;
        if (field.type == kAutoIncrement) {
            autoIncrementFields_.push_back(static_cast<int>(&field - fields_.data()));
        }
    }
    recordSize_ = offset;
    hasBlobFields_ = std::any_of(fields_.begin(), fields_.end(), [](const ParadoxField& field) {
        return field.info.type == FieldType::Memo || field.info.type == FieldType::Blob;
    });
}

int ParadoxTable::keySize() const {
    int size = 0;
    for (int i = 0; i < keyFields_; ++i) {
        size += fields_[static_cast<size_t>(i)].length;
    }
    return size;
}

namespace {

// The .db being read: its failures name it.
class DbFile {
public:
    explicit DbFile(const QString& path) : file_(path), shownName_(QDir::toNativeSeparators(path)) {
        // Unbuffered: the window below does the buffering, in larger pieces than QFile would.
        if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            throw Failure(QStringLiteral("Не удаётся открыть файл таблицы %1: %2")
                              .arg(shownName_, file_.errorString()));
        }
        size_ = file_.size();
    }

    qint64 size() const { return size_; }
    const QString& shownName() const { return shownName_; }

    Failure damaged(const QString& what) const {
        return Failure(QStringLiteral("Файл таблицы %1 повреждён: %2").arg(shownName_, what));
    }
    Failure readFailed() const {
        return Failure(QStringLiteral("Ошибка чтения файла таблицы %1: %2")
                           .arg(shownName_, file_.errorString()));
    }

    // `length` bytes at `offset`, or a read failure. Reads are served from a window of the
    // file: a table's blocks are small, and two system calls a block cost more than reading
    // them. The window grows while the reads go on through the file and starts small again at a
    // jump, as the blocks of a table edited in place may follow one another in any order.
    void read(qint64 offset, char* into, qint64 length) {
        if (length <= 0) {
            return;
        }
        const qint64 windowEnd = windowStart_ + windowLength_;
        if (offset < windowStart_ || offset + length > windowEnd) {
            const bool onward = windowLength_ > 0 && offset >= windowStart_ && offset <= windowEnd;
            windowWanted_ = onward ? std::min(windowWanted_ * 2, kLargestWindow) : kSmallestWindow;
            fillWindow(offset, std::max(windowWanted_, length));
            if (offset + length > windowStart_ + windowLength_) {
                throw readFailed();
            }
        }
        std::memcpy(into, window_.data() + (offset - windowStart_), static_cast<size_t>(length));
    }

private:
    static constexpr qint64 kSmallestWindow = 8 * 1024;
    static constexpr qint64 kLargestWindow = 256 * 1024;

    void fillWindow(qint64 offset, qint64 size) {
        if (static_cast<qint64>(window_.size()) < size) {
            window_.resize(static_cast<size_t>(size));
        }
        windowStart_ = offset;
        windowLength_ = 0;
        const qint64 wanted = std::clamp<qint64>(size_ - offset, 0, size);
        if (wanted > 0) {
            if (!file_.seek(offset)) {
                throw readFailed();
            }
            windowLength_ = std::max<qint64>(file_.read(window_.data(), wanted), 0);
        }
    }

    QFile file_;
    QString shownName_;
    qint64 size_ = 0;
    std::vector<char> window_;
    qint64 windowStart_ = 0;
    qint64 windowLength_ = 0;
    qint64 windowWanted_ = kSmallestWindow;
};

// The header's fixed part, checked against the file.
struct DbHeader {
    int recordSize = 0;
    qint64 headerSize = 0;
    unsigned fileType = 0;
    qint64 blockSize = 0;
    std::uint32_t numRecords = 0;
    unsigned fileBlocks = 0;
    unsigned firstBlock = 0;
    int numFields = 0;
    int keyFields = 0;
    unsigned version = 0;
    bool dataHeader = false;  // version 5 and later: code page, driver name, field numbers
};

DbHeader ReadFixedPart(const Bytes& in, const DbFile& file) {
    if (file.size() < 0x58) {
        throw file.damaged(QStringLiteral("файл короче заголовка"));
    }
    DbHeader h;
    h.recordSize = static_cast<int>(in.u16(0x00));
    h.headerSize = in.u16(0x02);
    h.fileType = in.u8(0x04);
    const unsigned blockKb = in.u8(0x05);
    h.numRecords = in.u32(0x06);
    h.fileBlocks = in.u16(0x0C);
    h.firstBlock = in.u16(0x0E);
    h.numFields = static_cast<int>(in.u16(0x21));
    h.keyFields = static_cast<int>(in.u16(0x23));
    h.version = in.u8(0x39);

    if (h.version < 3 || h.version > 0x0C) {
        throw file.damaged(QStringLiteral("неизвестная версия файла %1").arg(h.version));
    }
    h.dataHeader = h.version >= 5;
    if (h.dataHeader && file.size() < 0x78) {
        throw file.damaged(QStringLiteral("файл короче заголовка"));
    }
    if (h.fileType != 0 && h.fileType != 2) {
        throw file.damaged(QStringLiteral("это не файл данных (тип %1)").arg(h.fileType));
    }
    if (blockKb < 1 || blockKb > 32) {
        throw file.damaged(QStringLiteral("неверный размер блока"));
    }
    h.blockSize = qint64{blockKb} * 1024;
    if (h.recordSize < 1 || h.recordSize > h.blockSize - 6) {
        throw file.damaged(QStringLiteral("неверный размер записи %1").arg(h.recordSize));
    }
    if (h.dataHeader ? in.u32(0x5C) != 0 : (in.u32(0x25) != 0 && in.u32(0x25) != 0xFF00FF00u)) {
        throw Failure(QStringLiteral("Таблица %1 зашифрована; такие таблицы не поддерживаются")
                          .arg(file.shownName()));
    }
    if (h.numFields < 1 || h.numFields > 255) {
        throw file.damaged(QStringLiteral("неверное число полей %1").arg(h.numFields));
    }
    if (h.keyFields > std::min(16, h.numFields)) {
        throw file.damaged(QStringLiteral("неверное число ключевых полей %1").arg(h.keyFields));
    }
    if (h.headerSize > file.size() || h.headerSize < (h.dataHeader ? 0x78 : 0x58)) {
        throw file.damaged(QStringLiteral("неверный размер заголовка"));
    }
    return h;
}

// The header's variable part: field descriptors, field names and the language driver's name,
// each still in the table's code page.
struct DbFieldPart {
    std::vector<std::pair<std::uint8_t, std::uint8_t>> descriptors;  // type, size byte
    std::vector<QByteArray> rawNames;
    QByteArray driverId;
};

// Field descriptors and the variable part; every read stays inside the header.
DbFieldPart ReadFieldPart(const Bytes& in, const DbHeader& h, const DbFile& file) {
    qint64 pos = h.dataHeader ? 0x78 : 0x58;
    auto need = [&](qint64 bytes) {
        if (pos + bytes > h.headerSize) {
            throw file.damaged(QStringLiteral("заголовок обрезан"));
        }
    };
    // A name ends at its zero, which must come before the header does.
    auto zeroEnded = [&](qint64 limit, const QString& what) {
        const void* nul =
            limit > 0 ? std::memchr(in.at(pos), 0, static_cast<size_t>(limit)) : nullptr;
        if (!nul) {
            throw file.damaged(what);
        }
        return QByteArray(in.at(pos), static_cast<const char*>(nul) - in.at(pos));
    };
    DbFieldPart part;
    need(2 * qint64{h.numFields});
    int sum = 0;
    for (int i = 0; i < h.numFields; ++i) {
        const auto type = static_cast<std::uint8_t>(in.u8(pos + 2 * i));
        const auto size = static_cast<std::uint8_t>(in.u8(pos + 2 * i + 1));
        const int length = FieldLength(type, size);
        if (length == 0) {
            throw file.damaged(QStringLiteral("поле %1 неверного типа %2 или размера %3")
                                   .arg(i + 1)
                                   .arg(type)
                                   .arg(size));
        }
        sum += length;
        part.descriptors.emplace_back(type, size);
    }
    if (sum != h.recordSize) {
        throw file.damaged(QStringLiteral("размер записи не равен сумме размеров полей"));
    }
    pos += 2 * qint64{h.numFields};
    const qint64 nameArea = h.version >= 0x0C ? 261 : 79;
    need(4 + 4 * qint64{h.numFields} + nameArea);
    pos += 4 + 4 * qint64{h.numFields} + nameArea;
    for (int i = 0; i < h.numFields; ++i) {
        part.rawNames.push_back(zeroEnded(std::min(h.headerSize - pos, qint64{261}),
                                          QStringLiteral("имя поля %1 не завершено").arg(i + 1)));
        pos += part.rawNames.back().size() + 1;
    }
    if (h.dataHeader) {
        need(2 * qint64{h.numFields});
        pos += 2 * qint64{h.numFields};
        part.driverId =
            zeroEnded(h.headerSize - pos, QStringLiteral("имя языкового драйвера не завершено"));
    }
    return part;
}

// The code page of the text: the driver's name decides, then the header's code page, then the
// sort order.
int ChooseCodePage(const Bytes& in, const DbHeader& h, const QByteArray& driverId) {
    const int codePage = h.dataHeader ? static_cast<int>(in.u16(0x6A)) : 0;
    const int chosen = CodePageOfDriverName(driverId);
    if (chosen != 0) {
        return chosen;
    }
    return HasCodePage(codePage) ? codePage : CodePageOfSortOrder(in.u8(0x29));
}

// Whether a record read is held; empty: every one.
using Keep = std::function<bool(const char* record)>;

// The records of one block, `addDataSize` bytes after its first, appended to `rows`; `before`
// records were read from the blocks before it. Returns how many the block holds.

qint64 ReadBlockRecords(DbFile& file, const DbHeader& h, unsigned block, qint64 offset,
                        qint64 addDataSize, qint64 before, QByteArray& rows, const Keep& keep) {
    if (addDataSize % h.recordSize != 0 || addDataSize + h.recordSize > h.blockSize - 6) {
        throw file.damaged(QStringLiteral("неверная длина данных блока %1").arg(block));
    }
    const qint64 records = addDataSize / h.recordSize + 1;
    if (offset + 6 + records * h.recordSize > file.size()) {
        throw file.damaged(QStringLiteral("записи блока %1 за концом файла").arg(block));
    }
    if (before + records > h.numRecords) {
        throw file.damaged(QStringLiteral("записей в блоках больше, чем в заголовке"));
    }
    const qsizetype start = rows.size();
    const auto length = static_cast<qsizetype>(records * h.recordSize);
    rows.resize(start + length);
    file.read(offset + 6, rows.data() + start, length);
    if (keep) {
        // The kept records move down over the others, so that only they stay held.
        qsizetype kept = start;
        for (qsizetype at = start; at < start + length; at += h.recordSize) {
            if (keep(rows.constData() + at)) {
                if (kept != at) {
                    std::memmove(rows.data() + kept, rows.constData() + at,
                                 static_cast<size_t>(h.recordSize));
                }
                kept += h.recordSize;
            }
        }
        rows.resize(kept);
    }
    return records;
}

// Follows the block chain from the first block, appending each block's records to `rows`;
// returns the record count. A loop, a block past the file's end or more records than the header
// says stop the walk as damage.
qint64 ReadBlockChain(DbFile& file, const DbHeader& h, QByteArray& rows, const Keep& keep) {
    const qint64 capacity = (h.blockSize - 6) / h.recordSize;
    if (h.fileBlocks > 0 &&
        h.headerSize + (qint64{h.fileBlocks} - 1) * h.blockSize + 6 > file.size()) {
        throw file.damaged(QStringLiteral("файл короче указанного числа блоков"));
    }
    if (h.numRecords > qint64{h.fileBlocks} * capacity) {
        throw file.damaged(QStringLiteral("число записей больше вместимости блоков"));
    }
    if (h.firstBlock > h.fileBlocks || (h.firstBlock == 0 && h.numRecords != 0)) {
        throw file.damaged(QStringLiteral("неверный номер первого блока"));
    }
    if (!keep) {
        rows.reserve(static_cast<qsizetype>(h.numRecords) * h.recordSize);
    }
    std::vector<bool> visited(h.fileBlocks + 1, false);
    qint64 count = 0;
    for (unsigned block = h.firstBlock; block != 0;) {
        if (visited[block]) {
            throw file.damaged(QStringLiteral("цепочка блоков замкнута на блоке %1").arg(block));
        }
        visited[block] = true;
        const qint64 offset = h.headerSize + (qint64{block} - 1) * h.blockSize;
        if (offset + 6 > file.size()) {
            throw file.damaged(QStringLiteral("блок %1 за концом файла").arg(block));
        }
        uchar blockHeader[6];
        file.read(offset, reinterpret_cast<char*>(blockHeader), 6);
        const Bytes header(blockHeader, 6);
        const unsigned next = header.u16(0);
        const auto addDataSize = static_cast<qint16>(header.u16(4));
        if (addDataSize >= 0) {
            count += ReadBlockRecords(file, h, block, offset, addDataSize, count, rows, keep);
        }
        if (next > h.fileBlocks) {
            throw file.damaged(
                QStringLiteral("блок %1 ссылается на несуществующий блок %2").arg(block).arg(next));
        }
        block = next;
    }
    if (count != h.numRecords) {
        throw file.damaged(
            QStringLiteral("записей в блоках %1, в заголовке %2").arg(count).arg(h.numRecords));
    }
    return count;
}

// What decides, record by record, whether a record read is held (empty: every one): a visit
// holds none; else the numeric filter, then the caller's test, which sees each record as a
// one-row recordset through `view`.
Keep RecordTest(const ParadoxTable& table, int filterField, double value,
                const ParadoxTable::Visit* visit, const RowFilter* wanted,
                std::optional<ParadoxRecordView>& view) {
    if (visit != nullptr) {
        return [&table, visit](const char* record) {
            (*visit)(table, record);
            return false;
        };
    }
    if (filterField < 0 && wanted == nullptr) {
        return {};
    }
    if (wanted != nullptr) {
        view.emplace(table);
    }
    return [&table, filterField, value, &view, wanted](const char* record) {
        if (filterField >= 0) {
            const OptionalNumber number = table.decodeNumber(record, filterField);
            if (!number || *number != value) {
                return false;
            }
        }
        if (view) {
            view->show(record);
            return (*wanted)(*view);
        }
        return true;
    };
}

}  // namespace

int ParadoxTable::filterField(const NumberFilter* keep) const {
    if (keep == nullptr) {
        return -1;
    }
    for (int f = 0; f < fieldCount(); ++f) {
        if (fields_[static_cast<size_t>(f)].name.compare(keep->field, Qt::CaseInsensitive) == 0) {
            return IsNumberField(fields_[static_cast<size_t>(f)].type) ? f : -1;
        }
    }
    return -1;
}

ParadoxTable ParadoxTable::Read(const QString& dbPath, const NumberFilter* keep, const Visit* visit,
                                const RowFilter* wanted) {
    DbFile file(dbPath);
    // The header (at most 64 KiB) is read whole; records go straight from the blocks into the
    // table, so that memory holds the table once.
    QByteArray headerBytes(std::min<qint64>(file.size(), 0xFFFF), '\0');
    file.read(0, headerBytes.data(), headerBytes.size());
    const Bytes in(reinterpret_cast<const uchar*>(headerBytes.constData()), headerBytes.size());
    const DbHeader header = ReadFixedPart(in, file);
    const DbFieldPart fieldPart = ReadFieldPart(in, header, file);

    ParadoxTable table;
    table.path_ = dbPath;
    const int chosen = ChooseCodePage(in, header, fieldPart.driverId);
    table.driver_.sortOrder = static_cast<std::uint8_t>(in.u8(0x29));
    table.autoIncrement_ = static_cast<qint64>(in.u32(0x49) & 0x7FFFFFFFu);
    table.driver_.codePage = chosen;
    table.driver_.id = fieldPart.driverId;
    table.codePage_ = &CodePageFor(chosen);
    table.version_ = static_cast<int>(header.version);
    for (size_t i = 0; i < fieldPart.descriptors.size(); ++i) {
        const QByteArray& rawName = fieldPart.rawNames[i];
        table.fields_.push_back(
            MakeField(table.codePage_->decode(rawName.constData(), rawName.size()),
                      fieldPart.descriptors[i].first, fieldPart.descriptors[i].second));
    }
    table.computeLayout();
    table.keyFields_ = header.fileType == 0 ? header.keyFields : 0;

    if (table.hasBlobFields()) {
        // Only a memo value asked for is read from the .mb, and only its block: the file may be
        // far larger than any operation needs. Found before the records are read, for a visit.
        const QString memo = SiblingFile(dbPath, QStringLiteral("mb"));
        if (QFileInfo(memo).isFile()) {
            table.memoPath_ = memo;
            table.memoFileFound_ = true;
        }
    }
    std::optional<ParadoxRecordView> view;  // what the caller's test sees of each record
    const Keep keepRecord = RecordTest(table, table.filterField(keep),
                                       keep != nullptr ? keep->value : 0, visit, wanted, view);
    table.partial_ = static_cast<bool>(keepRecord);
    ReadBlockChain(file, header, table.rows_, keepRecord);
    table.rowCount_ = static_cast<int>(table.rows_.size() / table.recordSize_);
    table.sortByKeyIfNeeded();
    table.catchUpAutoIncrement();
    return table;
}

void ParadoxTable::catchUpAutoIncrement() {
    // The header's counter may lag behind the records of a damaged file: numbers go on from both.
    for (int f = 0; f < fieldCount(); ++f) {
        if (fields_[static_cast<size_t>(f)].type == kAutoIncrement) {
            for (int r = 0; r < rowCount_; ++r) {
                autoIncrement_ = std::max<qint64>(autoIncrement_, decodeValue(row(r), f).toInt());
            }
        }
    }
}

// A sound keyed file holds its records in key order already, and that stored order stands. Only
// a file whose numeric key is out of byte order (edited by a careless tool) is put in order,
// since byte order is the one certain order of such keys. Alpha keys are never re-sorted: the
// program that wrote them knew its driver's order, ours is an inference of it.
void ParadoxTable::sortByKeyIfNeeded() {
    const int size = keySize();
    if (keyFields_ == 0 || rowCount_ < 2) {
        return;
    }
    for (int i = 0; i < keyFields_; ++i) {
        const std::uint8_t type = fields_[static_cast<size_t>(i)].type;
        if (type == kAlpha || type == kBytes) {
            return;
        }
    }
    bool sorted = true;
    for (int r = 1; r < rowCount_ && sorted; ++r) {
        sorted = std::memcmp(row(r - 1), row(r), static_cast<size_t>(size)) <= 0;
    }
    if (sorted) {
        return;
    }
    std::vector<int> order(static_cast<size_t>(rowCount_));
    for (int r = 0; r < rowCount_; ++r) {
        order[static_cast<size_t>(r)] = r;
    }
    std::stable_sort(order.begin(), order.end(), [this, size](int a, int b) {
        return std::memcmp(row(a), row(b), static_cast<size_t>(size)) < 0;
    });
    QByteArray sortedRows(rows_.size(), Qt::Uninitialized);
    for (int r = 0; r < rowCount_; ++r) {
        std::memcpy(sortedRows.data() + static_cast<qsizetype>(r) * recordSize_,
                    row(order[static_cast<size_t>(r)]), static_cast<size_t>(recordSize_));
    }
    rows_ = std::move(sortedRows);
}

QVariant ParadoxTable::decodeMemo(const char* bytes, int length) const {
    const int leader = length - 10;
    const auto* pointer = reinterpret_cast<const uchar*>(bytes + leader);
    const Bytes ptr(pointer, 10);
    const std::uint32_t location = ptr.u32(0);
    const std::uint32_t size = ptr.u32(4);
    const CodePage& page = *codePage_;
    if (location == 0 && size <= static_cast<std::uint32_t>(leader)) {
        return size == 0 ? QVariant() : QVariant(page.decode(bytes, size));
    }
    if (!memoFileFound_) {
        return QVariant();
    }
    auto damaged = [this]() {
        return Failure(QStringLiteral("Файл примечаний таблицы %1 повреждён")
                           .arg(QDir::toNativeSeparators(path_)));
    };
    if (size > kMaxMemoLength) {
        throw damaged();
    }
    QFile file(memoPath_);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Failure(QStringLiteral("Не удалось открыть файл %1: %2")
                          .arg(QDir::toNativeSeparators(memoPath_), file.errorString()));
    }
    const qint64 block = location & ~0xFFu;
    const unsigned index = location & 0xFFu;
    // The block alone: a single-value block holds its header and the value, a shared one 4 KiB.
    const qint64 wanted = index == 0xFF ? 9 + qint64{size} : 4096;
    if (block + wanted > file.size() || !file.seek(block)) {
        throw damaged();
    }
    const QByteArray chunk = file.read(wanted);
    if (chunk.size() != wanted) {
        throw damaged();
    }
    const Bytes mb(reinterpret_cast<const uchar*>(chunk.constData()), chunk.size());
    if (index == 0xFF) {
        if (mb.u8(0) != 2 || mb.u32(3) != size) {
            throw damaged();
        }
        return QVariant(page.decode(mb.at(9), size));
    }
    if (index >= 64 || mb.u8(0) != 3) {
        throw damaged();
    }
    const qint64 slot = 12 + 5 * qint64{index};
    const qint64 dataOffset = 16 * qint64{mb.u8(slot)};
    const qint64 chunks = mb.u8(slot + 1);
    const qint64 last = mb.u8(slot + 4);
    if (chunks == 0 || last == 0) {
        throw damaged();
    }
    const qint64 dataLength = (chunks - 1) * 16 + last;
    if (dataOffset + dataLength > 4096 || dataLength != qint64{size}) {
        throw damaged();
    }
    return QVariant(page.decode(mb.at(dataOffset), dataLength));
}

}  // namespace converter::paradox
