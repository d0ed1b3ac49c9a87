// Keeping records unique by key, and writing a table as a version 7 .db with its .px primary
// index: records sorted by key, blocks packed full, header fields as real files carry them.
#include "common/failure.h"
#include "common/file_errors.h"
#include "common/platform_files.h"
#include "common/safe_write.h"
#include "common/write_fault.h"
#include "storage/paradox/paradox_table.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <optional>
#include <span>
#include <utility>

namespace converter::paradox {

namespace {

constexpr int kHeaderBlock = 0x800;
constexpr int kNameArea = 261;
constexpr std::uint32_t kPointerBase = 0x10000000;  // stands for the engine's memory address
constexpr int kIndexBlockSize = 4096;
constexpr unsigned kMaxStatistic = 32767;
// The change count the .db header carries; the .px header's check byte derives from it.
constexpr unsigned kChangeCount = 2;

void Put8(QByteArray& b, int offset, unsigned value) {
    b[offset] = static_cast<char>(value);
}
void Put16(QByteArray& b, int offset, unsigned value) {
    b[offset] = static_cast<char>(value);
    b[offset + 1] = static_cast<char>(value >> 8);
}
void Put32(QByteArray& b, int offset, std::uint32_t value) {
    Put16(b, offset, value & 0xFFFF);
    Put16(b, offset + 2, value >> 16);
}
// Block numbers and statistics in index entries: big-endian with the top bit flipped.
void PutFlipped16(char* p, unsigned value) {
    const unsigned bits = (value & 0xFFFF) ^ 0x8000;
    p[0] = static_cast<char>(bits >> 8);
    p[1] = static_cast<char>(bits);
}

int HeaderSizeFor(int used) {
    return (used + kHeaderBlock - 1) / kHeaderBlock * kHeaderBlock;
}

struct IndexEntry {
    const char* key;
    unsigned block;  // child block: a .db block on level 1, a .px block above
    unsigned statistic;
};

// Writes the header, then `blockCount` blocks that `fill` makes one at a time into a buffer, so
// that a large table is not held twice in memory; `fill` writes every byte of its block.
template <typename Fill>
void WriteFile(const QString& path, const QByteArray& header, int blockCount, int blockSize,
               Fill fill) {
    int handle = -1;
    int error = platform::CreateFile(path, handle);
    if (error != 0) {
        ThrowFileError(QStringLiteral("Ошибка записи файла "), path, error);
    }
    // `pieces`: the blocks a batch stands for, each counted as a write of its own by the fault
    // seam, so that a failure can be placed at any block.
    auto write = [&](const QByteArray& bytes, int pieces) {
        for (int i = 0; i < pieces; ++i) {
            if (WriteFaultDue()) {
                return ENOSPC;
            }
        }
        return platform::WriteAll(handle, bytes.constData(), bytes.size());
    };
    error = write(header, 1);
    // Blocks go out a batch at a time: one write per block would cost more than making them.
    constexpr int kBatchBytes = 256 * 1024;
    const int batch = std::clamp(kBatchBytes / std::max(blockSize, 1), 1, std::max(blockCount, 1));
    QByteArray blocks(static_cast<qsizetype>(batch) * blockSize, '\0');
    for (int first = 0; error == 0 && first < blockCount; first += batch) {
        const int count = std::min(batch, blockCount - first);
        blocks.resize(static_cast<qsizetype>(count) * blockSize);
        for (int b = 0; b < count; ++b) {
            fill(first + b, blocks.data() + static_cast<qsizetype>(b) * blockSize);
        }
        error = write(blocks, count);
    }
    // A table that only sits in the page cache is not written yet: a full disk may still refuse it.
    if (error == 0) {
        error = platform::SyncHandle(handle);
    }
    const int closed = platform::CloseFile(handle);
    error = error != 0 ? error : closed;
    if (error != 0) {
        platform::RemoveFile(path);
        ThrowFileError(QStringLiteral("Ошибка записи файла "), path, error);
    }
}

void ReplaceFile(const QString& temporary, const QString& target) {
    if (const int error = platform::RenameOver(temporary, target)) {
        platform::RemoveFile(temporary);
        ThrowFileError(QStringLiteral("Не удаётся заменить файл "), target, error);
    }
}

// Secondary indexes and validity checks of the old table no longer match the records just
// written; another program would trust them, so they go.
void RemoveStaleCompanions(const QString& dbPath) {
    const QFileInfo info(dbPath);
    const QDir dir = info.dir();
    const QString base = info.completeBaseName();
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Files)) {
        if (entry.completeBaseName().compare(base, Qt::CaseInsensitive) == 0 &&
            IsTableCompanionSuffix(entry.suffix())) {
            QFile::remove(entry.filePath());
        }
    }
}

}  // namespace

ParadoxTable::ParadoxTable(const QString& dbPath, std::vector<ParadoxField> fields)
    : path_(dbPath), fields_(std::move(fields)) {
    computeLayout();
}

void ParadoxTable::buildKeyIndex() {
    if (keyIndexBuilt_) {
        return;
    }
    keyIndex_.clear();
    for (int i = 0; i < rowCount_; ++i) {
        keyIndex_.insert(i, keys());
    }
    keyIndexBuilt_ = true;
}

void ParadoxTable::setKeyFieldCount(int count) {
    if (count < 0 || count > fieldCount() || count > 16) {
        throw Failure(QStringLiteral("Неверное число ключевых полей: %1").arg(count));
    }
    const int previous = keyFields_;
    keyFields_ = count;
    keyIndexBuilt_ = false;
    if (count > 0) {
        buildKeyIndex();
        if (static_cast<int>(keyIndex_.size()) != rowCount_) {
            keyFields_ = previous;
            keyIndexBuilt_ = false;
            throw Failure(QStringLiteral("В таблице есть повторяющиеся значения ключа"));
        }
    }
}

static Failure DuplicateKey(const ParadoxTable& table, const char* record) {
    QStringList parts;
    for (int i = 0; i < table.keyFieldCount(); ++i) {
        parts << table.decodeValue(record, i).toString();
    }
    return Failure(
        QStringLiteral("Запись с ключом (%1) уже есть в таблице %2")
            .arg(parts.join(QStringLiteral(", ")), QFileInfo(table.path()).completeBaseName()));
}

void ParadoxTable::assignAutoIncrement(char* record) {
    for (const int f : autoIncrementFields_) {
        const ParadoxField& field = fields_[static_cast<size_t>(f)];
        if (!decodeValue(record, f).isNull()) {
            continue;
        }
        const qint64 next = autoIncrement_;
        if (next >= 2147483647) {
            throw Failure(QStringLiteral("Счётчик поля [%1] исчерпан").arg(field.name));
        }
        encodeValue(record, f, static_cast<int>(next + 1));
    }
}

void ParadoxTable::appendRow(const char* record) {
    KeyIndex::Probe probe;
    if (keyFields_ > 0) {
        buildKeyIndex();
        probe = keyIndex_.probeForInsert(record, keys());
        if (probe.found) {
            throw DuplicateKey(*this, record);
        }
    }
    // Grown in place (realloc) rather than by a fresh copy, so that a large table is not held
    // twice while it grows.
    if (rows_.size() + recordSize_ > rows_.capacity()) {
        rows_.reserve(std::max<qsizetype>(rows_.capacity() * 2, qsizetype{64} * 1024));
    }
    rows_.append(record, recordSize_);
    ++rowCount_;
    for (const int f : autoIncrementFields_) {
        autoIncrement_ = std::max<qint64>(autoIncrement_, decodeValue(record, f).toInt());
    }
    if (keyFields_ > 0) {
        keyIndex_.insertAt(probe, rowCount_ - 1);
    }
}

void ParadoxTable::replaceRow(int index, const char* record) {
    char* target = rows_.data() + static_cast<qsizetype>(index) * recordSize_;
    const int size = keySize();
    const bool keyChanges =
        keyFields_ > 0 && std::memcmp(target, record, static_cast<size_t>(size)) != 0;
    if (keyChanges) {
        buildKeyIndex();
        if (keyIndex_.contains(record, keys())) {
            throw DuplicateKey(*this, record);
        }
        keyIndex_.erase(index, keys());
    }
    std::memcpy(target, record, static_cast<size_t>(recordSize_));
    if (keyChanges) {
        keyIndex_.insert(index, keys());
    }
}

namespace {

// How the records lie in the .db: blocks of one size, each holding `capacity` records.
struct BlockLayout {
    int blockSize = 0;
    int capacity = 0;
    int blockCount = 0;
};

// A row with the first bytes of its key taken as one big-endian number.
struct Ranked {
    std::uint64_t prefix;
    int row;
};

// Sorts by prefix, rows of equal prefixes kept in their order: a pass per byte, least
// significant first, over the bytes in which the prefixes differ at all, all bytes counted in
// one pass beforehand. Keys are short and many: this costs a fraction of a sort by comparison.
void SortByPrefix(std::vector<Ranked>& ranked, int prefixLength) {
    std::array<std::array<size_t, 256>, 8> counts{};
    for (const Ranked& entry : ranked) {
        for (int byte = 0; byte < prefixLength; ++byte) {
            ++counts[static_cast<size_t>(byte)][(entry.prefix >> (8 * byte)) & 0xFF];
        }
    }
    std::vector<Ranked> buffer;
    for (int byte = 0; byte < prefixLength; ++byte) {
        std::array<size_t, 256>& start = counts[static_cast<size_t>(byte)];
        if (std::find(start.begin(), start.end(), ranked.size()) != start.end()) {
            continue;  // every prefix has the same byte here
        }
        size_t sum = 0;
        for (size_t& count : start) {
            sum += std::exchange(count, sum);
        }
        buffer.resize(ranked.size());
        const int shift = 8 * byte;
        for (const Ranked& entry : ranked) {
            buffer[start[(entry.prefix >> shift) & 0xFF]++] = entry;
        }
        ranked.swap(buffer);
    }
}

// Records in key order: the reading program finds a record through the .px only when both
// follow its language driver's order.
std::vector<int> RowsInKeyOrder(const ParadoxTable& table) {
    std::vector<int> order(static_cast<size_t>(table.rowCount()));
    std::iota(order.begin(), order.end(), 0);
    if (table.keyFieldCount() == 0) {
        return order;
    }
    const KeyOrder keyOrder(table.fields(), table.keyFieldCount(), table.driver());
    const auto before = [&table, &keyOrder](int a, int b) {
        return keyOrder(table.row(a), table.row(b));
    };
    // Rows often come in key order already; one pass tells.
    if (std::is_sorted(order.begin(), order.end(), before)) {
        return order;
    }
    // Most comparisons are settled by the key's first bytes: taken once as a number beside the
    // row, they order the rows without a visit to the records; only rows whose first bytes are
    // equal are compared whole.
    const int prefixLength = keyOrder.bytePrefixLength();
    std::vector<Ranked> ranked(order.size());
    constexpr size_t kAhead = 16;  // records asked for before they are read, as in a block
    for (size_t i = 0; i < ranked.size(); ++i) {
        __builtin_prefetch(table.row(static_cast<int>(std::min(i + kAhead, ranked.size() - 1))));
        const auto* key = reinterpret_cast<const unsigned char*>(table.row(static_cast<int>(i)));
        std::uint64_t prefix = 0;
        for (int k = 0; k < prefixLength; ++k) {
            prefix = prefix << 8 | key[k];
        }
        ranked[i] = Ranked{prefix, static_cast<int>(i)};
    }
    SortByPrefix(ranked, prefixLength);
    for (size_t first = 0; first < ranked.size();) {
        size_t end = first + 1;
        while (end < ranked.size() && ranked[end].prefix == ranked[first].prefix) {
            ++end;
        }
        if (end - first > 1) {
            std::sort(ranked.begin() + static_cast<std::ptrdiff_t>(first),
                      ranked.begin() + static_cast<std::ptrdiff_t>(end),
                      [&before](const Ranked& a, const Ranked& b) { return before(a.row, b.row); });
        }
        first = end;
    }
    for (size_t i = 0; i < ranked.size(); ++i) {
        order[i] = ranked[i].row;
    }
    return order;
}

// The smallest block size that holds a record and keeps the block count in 16 bits.
BlockLayout PlanBlocks(int recordSize, int rowCount, const QString& baseName) {
    int blockSize = 2048;
    while (
        blockSize < 32768 &&
        (recordSize > blockSize - 6 ||
         (rowCount + (blockSize - 6) / recordSize - 1) / ((blockSize - 6) / recordSize) > 65535)) {
        blockSize *= 2;
    }
    if (recordSize > blockSize - 6) {
        throw Failure(QStringLiteral("Запись таблицы %1 слишком длинная: %2 байт")
                          .arg(baseName)
                          .arg(recordSize));
    }
    BlockLayout layout;
    layout.blockSize = blockSize;
    layout.capacity = (blockSize - 6) / recordSize;
    layout.blockCount = (rowCount + layout.capacity - 1) / layout.capacity;
    if (layout.blockCount > 65535) {
        throw Failure(QStringLiteral("Таблица %1 слишком велика").arg(baseName));
    }
    return layout;
}

// A data block: the next block's number (0 after the last), its own number counted from 0, the
// bytes its records take after the first, then the records.
void FillDataBlock(const ParadoxTable& table, const std::vector<int>& order,
                   const BlockLayout& layout, int b, char* block) {
    const int recordSize = table.recordSize();
    const int first = b * layout.capacity;
    const int count = std::min(layout.capacity, table.rowCount() - first);
    const unsigned next = b + 1 < layout.blockCount ? static_cast<unsigned>(b + 2) : 0;
    block[0] = static_cast<char>(next);
    block[1] = static_cast<char>(next >> 8);
    block[2] = static_cast<char>(b);
    block[3] = static_cast<char>(b >> 8);
    const int addDataSize = (count - 1) * recordSize;
    block[4] = static_cast<char>(addDataSize);
    block[5] = static_cast<char>(addDataSize >> 8);
    // The records lie scattered in memory when they were added out of key order: each is asked
    // for a few records ahead, so that it has arrived when its turn comes.
    constexpr int kAhead = 8;
    const int last = table.rowCount() - 1;
    for (int r = 0; r < count; ++r) {
        const char* ahead =
            table.row(order[static_cast<size_t>(std::min(first + r + kAhead, last))]);
        for (int byte = 0; byte < recordSize; byte += 64) {
            __builtin_prefetch(ahead + byte);
        }
        std::memcpy(block + 6 + r * recordSize, table.row(order[static_cast<size_t>(first + r)]),
                    static_cast<size_t>(recordSize));
    }
    const int used = 6 + count * recordSize;
    std::memset(block + used, 0, static_cast<size_t>(layout.blockSize - used));
}

// Level 1 of the index: the first key and the record count of each data block.
std::vector<IndexEntry> DataBlockEntries(const ParadoxTable& table, const std::vector<int>& order,
                                         const BlockLayout& layout) {
    std::vector<IndexEntry> leaves;
    leaves.reserve(static_cast<size_t>(layout.blockCount));
    for (int b = 0; b < layout.blockCount; ++b) {
        const int count = std::min(layout.capacity, table.rowCount() - b * layout.capacity);
        leaves.push_back(IndexEntry{table.row(order[static_cast<size_t>(b * layout.capacity)]),
                                    static_cast<unsigned>(b + 1), static_cast<unsigned>(count)});
    }
    return leaves;
}

// Field names in the table's code page, each with its terminating zero counted in `size`.
struct FieldNames {
    std::vector<QByteArray> names;
    int size = 0;
};

FieldNames EncodeFieldNames(const std::vector<ParadoxField>& fields, const CodePage& page) {
    FieldNames encoded;
    for (const ParadoxField& field : fields) {
        const std::optional<QByteArray> name = page.encode(field.name);
        if (!name || name->isEmpty() || name->size() > 25) {
            throw Failure(QStringLiteral("Недопустимое имя поля: [%1]").arg(field.name));
        }
        encoded.names.push_back(*name);
        encoded.size += static_cast<int>(name->size()) + 1;
    }
    return encoded;
}

// The .db header's fixed part, as real files carry it.
void PutDbFixedPart(QByteArray& db, const ParadoxTable& table, const BlockLayout& layout,
                    int realHeader, int namesSize, qint64 autoIncrement) {
    const int nf = table.fieldCount();
    const bool keyed = table.keyFieldCount() > 0;
    const auto blockCount = static_cast<unsigned>(layout.blockCount);
    Put16(db, 0x00, static_cast<unsigned>(table.recordSize()));
    Put16(db, 0x02, static_cast<unsigned>(db.size()));
    Put8(db, 0x04, keyed ? 0 : 2);
    Put8(db, 0x05, static_cast<unsigned>(layout.blockSize / 1024));
    Put32(db, 0x06, static_cast<std::uint32_t>(table.rowCount()));
    Put16(db, 0x0A, blockCount);
    Put16(db, 0x0C, blockCount);
    Put16(db, 0x0E, blockCount > 0 ? 1 : 0);
    Put16(db, 0x10, blockCount);
    Put16(db, 0x12, 5);
    Put32(db, 0x16, keyed ? kPointerBase + 0x1000 : 0);
    Put16(db, 0x21, static_cast<unsigned>(nf));
    Put16(db, 0x23, static_cast<unsigned>(table.keyFieldCount()));
    Put32(db, 0x25, 0xFF00FF00u);
    Put8(db, 0x29, table.driver().sortOrder);
    Put8(db, 0x2D, kChangeCount);
    Put8(db, 0x2E, 1);
    Put32(db, 0x34, kPointerBase + 0x78);
    Put32(db, 0x30, kPointerBase + 0x78 + 2 * static_cast<std::uint32_t>(nf));
    Put8(db, 0x39, 0x0C);
    Put16(db, 0x3A, blockCount);
    Put8(db, 0x3E, 0x1F);
    Put8(db, 0x3F, 0x0F);
    Put32(db, 0x49, static_cast<std::uint32_t>(autoIncrement));
    Put16(db, 0x51, static_cast<unsigned>(realHeader));
    Put8(db, 0x56, 0x20);
    Put16(db, 0x58, 0x010C);
    Put16(db, 0x5A, 0x010C);
    Put32(db, 0x60, static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch()));
    Put16(db, 0x64, static_cast<unsigned>(nf + 1));
    Put16(db, 0x66, static_cast<unsigned>(297 + 6 * nf + namesSize));
    Put16(db, 0x6A, static_cast<unsigned>(table.driver().codePage));
    Put8(db, 0x6C, 1);
    Put8(db, 0x6D, 1);
    Put16(db, 0x6E, static_cast<unsigned>(297 + 8 * nf + namesSize));
    Put16(db, 0x70, keyed ? 2 : 1);
}

// After the fixed part: the field descriptors, pointers to the table and field names, the name
// area, the field names, the field numbers and the language driver's name.
void PutDbFieldPart(QByteArray& db, const ParadoxTable& table, const FieldNames& names,
                    const QByteArray& tableName) {
    const int nf = table.fieldCount();
    int pos = 0x78;
    for (const ParadoxField& field : table.fields()) {
        Put8(db, pos++, field.type);
        Put8(db, pos++, field.sizeByte);
    }
    const int tableNamePointer = pos;
    const int nameAreaStart = pos + 4 + 4 * nf;
    Put32(db, tableNamePointer, kPointerBase + static_cast<std::uint32_t>(nameAreaStart));
    int nameStart = nameAreaStart + kNameArea;
    for (int f = 0; f < nf; ++f) {
        const QByteArray& name = names.names[static_cast<size_t>(f)];
        Put32(db, tableNamePointer + 4 + 4 * f,
              kPointerBase + static_cast<std::uint32_t>(nameStart));
        std::memcpy(db.data() + nameStart, name.constData(), static_cast<size_t>(name.size()));
        nameStart += static_cast<int>(name.size()) + 1;
    }
    std::memcpy(db.data() + nameAreaStart, tableName.constData(),
                static_cast<size_t>(tableName.size()));
    pos = nameStart;
    for (int f = 0; f < nf; ++f) {
        Put16(db, pos, static_cast<unsigned>(f + 1));
        pos += 2;
    }
    const QByteArray& driverId = table.driver().id;
    std::memcpy(db.data() + pos, driverId.constData(), static_cast<size_t>(driverId.size()));
}

QByteArray DbHeader(const ParadoxTable& table, const CodePage& page, const BlockLayout& layout,
                    qint64 autoIncrement) {
    const FieldNames names = EncodeFieldNames(table.fields(), page);
    const QByteArray tableName = page.encode(QFileInfo(table.path()).fileName())
                                     .value_or(QByteArray("table.db"))
                                     .left(kNameArea - 1);
    const int realHeader = 0x78 + 8 * table.fieldCount() + 4 + kNameArea + names.size +
                           static_cast<int>(table.driver().id.size()) + 1;
    QByteArray db(HeaderSizeFor(realHeader), '\0');
    PutDbFixedPart(db, table, layout, realHeader, names.size, autoIncrement);
    PutDbFieldPart(db, table, names, tableName);
    return db;
}

// The .px: its header and its index blocks, root first.
struct PrimaryIndex {
    QByteArray header;
    QByteArray blocks;
};

// From level 1 up to the root: an entry of a level stands for a block of `fill` entries below,
// with their first key and their record count.
std::vector<std::vector<IndexEntry>> IndexLevels(std::vector<IndexEntry> leaves, int fill) {
    std::vector<std::vector<IndexEntry>> levels{std::move(leaves)};
    while (levels.back().size() > static_cast<size_t>(fill)) {
        const std::vector<IndexEntry>& below = levels.back();
        std::vector<IndexEntry> above;
        for (size_t start = 0; start < below.size(); start += static_cast<size_t>(fill)) {
            const size_t end = std::min(below.size(), start + static_cast<size_t>(fill));
            unsigned statistic = 0;
            for (size_t i = start; i < end; ++i) {
                statistic += below[i].statistic;
            }
            above.push_back(IndexEntry{below[start].key, 0, std::min(statistic, kMaxStatistic)});
        }
        levels.push_back(std::move(above));
    }
    return levels;
}

// Where each level's blocks lie in the .px: the root is block 1, then each lower level in order.
struct IndexBlockPlan {
    std::vector<int> firstBlockOfLevel;
    std::vector<int> blocksOfLevel;
    int blockCount = 0;
};

IndexBlockPlan NumberIndexBlocks(std::vector<std::vector<IndexEntry>>& levels, int fill) {
    IndexBlockPlan plan;
    plan.firstBlockOfLevel.assign(levels.size(), 0);
    plan.blocksOfLevel.assign(levels.size(), 0);
    for (size_t l = levels.size(); l-- > 0;) {
        plan.firstBlockOfLevel[l] = plan.blockCount + 1;
        plan.blocksOfLevel[l] =
            levels[l].empty() ? 0 : static_cast<int>((levels[l].size() + fill - 1) / fill);
        plan.blockCount += plan.blocksOfLevel[l];
    }
    for (size_t l = 1; l < levels.size(); ++l) {
        for (size_t i = 0; i < levels[l].size(); ++i) {
            levels[l][i].block =
                static_cast<unsigned>(plan.firstBlockOfLevel[l - 1]) + static_cast<unsigned>(i);
        }
    }
    return plan;
}

// An index block: next and previous block numbers, the bytes its entries take after the first,
// then the entries: key, child block, record count and a zero, the numbers flipped big-endian.
void FillIndexBlock(char* block, int number, int blockCount, std::span<const IndexEntry> entries,
                    int keyBytes) {
    const int entrySize = keyBytes + 6;
    const unsigned next = number < blockCount ? static_cast<unsigned>(number + 1) : 0;
    const unsigned prev = static_cast<unsigned>(number - 1);
    block[0] = static_cast<char>(next);
    block[1] = static_cast<char>(next >> 8);
    block[2] = static_cast<char>(prev);
    block[3] = static_cast<char>(prev >> 8);
    const int addDataSize = (static_cast<int>(entries.size()) - 1) * entrySize;
    block[4] = static_cast<char>(addDataSize);
    block[5] = static_cast<char>(addDataSize >> 8);
    for (size_t i = 0; i < entries.size(); ++i) {
        const IndexEntry& entry = entries[i];
        char* out = block + 6 + static_cast<qsizetype>(i) * entrySize;
        std::memcpy(out, entry.key, static_cast<size_t>(keyBytes));
        PutFlipped16(out + keyBytes, entry.block);
        PutFlipped16(out + keyBytes + 2, entry.statistic);
        PutFlipped16(out + keyBytes + 4, 0);
    }
}

// The .px header: sizes and counts, the key's field descriptors and the index's own name.
QByteArray PxHeader(const ParadoxTable& table, const CodePage& page, int entrySize,
                    std::uint32_t entryCount, int indexBlockCount, int levelCount) {
    const int keyFields = table.keyFieldCount();
    const std::uint8_t sortOrder = table.driver().sortOrder;
    QByteArray px(kHeaderBlock, '\0');
    Put16(px, 0x00, static_cast<unsigned>(entrySize));
    Put16(px, 0x02, kHeaderBlock);
    Put8(px, 0x04, 1);
    Put8(px, 0x05, kIndexBlockSize / 1024);
    Put32(px, 0x06, entryCount);
    Put16(px, 0x0A, static_cast<unsigned>(indexBlockCount));
    Put16(px, 0x0C, static_cast<unsigned>(indexBlockCount));
    Put16(px, 0x0E, indexBlockCount > 0 ? 1 : 0);
    Put16(px, 0x10, static_cast<unsigned>(indexBlockCount));
    Put16(px, 0x12, 6);
    Put16(px, 0x1E, 1);
    Put8(px, 0x20, static_cast<unsigned>(levelCount));
    Put16(px, 0x21, static_cast<unsigned>(keyFields));
    Put8(px, 0x29, sortOrder);
    unsigned check = kChangeCount;
    if (sortOrder != 0) {
        check += sortOrder + 2u;
        if (check > 255) {
            check = (check & 0xFF) + 1;  // end-around carry, as real files store it
        }
    }
    Put8(px, 0x2C, check);
    Put32(px, 0x34, kPointerBase + 0x58);
    Put32(px, 0x30, kPointerBase + 0x58 + 2 * static_cast<std::uint32_t>(keyFields));
    Put8(px, 0x39, 0x0C);
    Put16(px, 0x3A, static_cast<unsigned>(indexBlockCount));
    Put32(px, 0x49, 1);
    Put16(px, 0x51, static_cast<unsigned>(353 + 2 * keyFields));
    int p = 0x58;
    for (int f = 0; f < keyFields; ++f) {
        Put8(px, p++, table.fields()[static_cast<size_t>(f)].type);
        Put8(px, p++, table.fields()[static_cast<size_t>(f)].sizeByte);
    }
    Put32(px, p, kPointerBase + static_cast<std::uint32_t>(p + 4));
    const QByteArray indexName =
        page.encode(QFileInfo(table.path()).completeBaseName() + QStringLiteral(".PX"))
            .value_or(QByteArray("table.PX"))
            .left(kNameArea - 1);
    std::memcpy(px.data() + p + 4, indexName.constData(), static_cast<size_t>(indexName.size()));
    return px;
}

// .px: level 1 has one entry per data block; each level above one per block below, blocks
// filled to one less than capacity, the root written first and every level in key order.
PrimaryIndex BuildPrimaryIndex(const ParadoxTable& table, const CodePage& page,
                               std::vector<IndexEntry> leaves) {
    const int keyBytes = table.keySize();
    const int entrySize = keyBytes + 6;
    const int fill = (kIndexBlockSize - 6) / entrySize - 1;
    if (fill < 2) {
        throw Failure(QStringLiteral("Ключ таблицы %1 слишком длинный")
                          .arg(QFileInfo(table.path()).completeBaseName()));
    }
    const bool empty = leaves.empty();
    std::vector<std::vector<IndexEntry>> levels = IndexLevels(std::move(leaves), fill);
    const IndexBlockPlan plan = NumberIndexBlocks(levels, fill);
    PrimaryIndex index;
    index.blocks = QByteArray(static_cast<qsizetype>(plan.blockCount) * kIndexBlockSize, '\0');
    std::uint32_t entryCount = 0;
    for (size_t l = 0; l < levels.size(); ++l) {
        for (int b = 0; b < plan.blocksOfLevel[l]; ++b) {
            const int number = plan.firstBlockOfLevel[l] + b;
            const size_t first = static_cast<size_t>(b) * static_cast<size_t>(fill);
            const size_t count = std::min(static_cast<size_t>(fill), levels[l].size() - first);
            char* block =
                index.blocks.data() + static_cast<qsizetype>(number - 1) * kIndexBlockSize;
            FillIndexBlock(block, number, plan.blockCount,
                           std::span<const IndexEntry>(levels[l]).subspan(first, count), keyBytes);
            entryCount += static_cast<std::uint32_t>(count);
        }
    }
    const int levelCount = empty ? 0 : static_cast<int>(levels.size());
    index.header = PxHeader(table, page, entrySize, entryCount, plan.blockCount, levelCount);
    return index;
}

// Both files complete in temporary files first; only then do they replace the old ones. A table
// without a key loses its old .px.
template <typename FillDataBlock>
void ReplaceTableFiles(const QString& dbPath, const QByteArray& db, const BlockLayout& layout,
                       FillDataBlock fillDataBlock, const PrimaryIndex* index) {
    const QString pxPath = SiblingFile(dbPath, QStringLiteral("px"));
    const QString dbTemporary = dbPath + QStringLiteral(".tmp~");
    const QString pxTemporary = pxPath + QStringLiteral(".tmp~");
    WriteFile(dbTemporary, db, layout.blockCount, layout.blockSize, fillDataBlock);
    if (index != nullptr) {
        const QByteArray& indexBlocks = index->blocks;
        try {
            WriteFile(pxTemporary, index->header, 1, static_cast<int>(indexBlocks.size()),
                      [&indexBlocks](int, char* out) {
                          std::memcpy(out, indexBlocks.constData(),
                                      static_cast<size_t>(indexBlocks.size()));
                      });
        } catch (...) {
            QFile::remove(dbTemporary);
            throw;
        }
        try {
            ReplaceFile(pxTemporary, pxPath);
        } catch (...) {
            QFile::remove(dbTemporary);
            throw;
        }
    } else if (QFile::exists(pxPath) && !QFile::remove(pxPath)) {
        QFile::remove(dbTemporary);
        throw Failure(
            QStringLiteral("Не удаётся удалить файл %1").arg(QDir::toNativeSeparators(pxPath)));
    }
    ReplaceFile(dbTemporary, dbPath);
}

}  // namespace

void ParadoxTable::save() const {
    if (partial_) {
        throw Failure(QStringLiteral("Таблица %1 прочитана не полностью и не может быть записана")
                          .arg(QDir::toNativeSeparators(path_)));
    }
    const int nf = fieldCount();
    if (nf < 1 || nf > 255) {
        throw Failure(QStringLiteral("Неверное число полей таблицы: %1").arg(nf));
    }
    const std::vector<int> order = RowsInKeyOrder(*this);
    const BlockLayout layout =
        PlanBlocks(recordSize_, rowCount_, QFileInfo(path_).completeBaseName());
    const QByteArray db = DbHeader(*this, *codePage_, layout, autoIncrement_);
    std::optional<PrimaryIndex> index;
    if (keyFields_ > 0) {
        index = BuildPrimaryIndex(*this, *codePage_, DataBlockEntries(*this, order, layout));
    }
    ReplaceTableFiles(
        path_, db, layout,
        [&](int b, char* block) { FillDataBlock(*this, order, layout, b, block); },
        index ? &*index : nullptr);
    RemoveStaleCompanions(path_);
}

}  // namespace converter::paradox
