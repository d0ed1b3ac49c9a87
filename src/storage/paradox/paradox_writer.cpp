// Keeping records unique by key, and writing a table as a version 7 .db with its .px primary
// index: records sorted by key, blocks packed full, header fields as real files carry them.
#include "common/failure.h"
#include "common/safe_write.h"
#include "common/write_fault.h"
#include "storage/paradox/paradox_table.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>

#include <unistd.h>

namespace converter::paradox {

namespace {

constexpr int kHeaderBlock = 0x800;
constexpr int kNameArea = 261;
constexpr std::uint32_t kPointerBase = 0x10000000;  // stands for the engine's memory address
constexpr int kIndexBlockSize = 4096;
constexpr unsigned kMaxStatistic = 32767;

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
// that a large table is not held twice in memory.
template <typename Fill>
void WriteFile(const QString& path, const QByteArray& header, int blockCount, int blockSize,
               Fill fill) {
    QFile file(path);
    int error = 0;
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    auto write = [&](const QByteArray& bytes) {
        if (WriteFaultDue()) {
            error = ENOSPC;
            return false;
        }
        return file.write(bytes) == bytes.size();
    };
    ok = ok && write(header);
    QByteArray block(blockSize, '\0');
    for (int b = 0; ok && b < blockCount; ++b) {
        block.fill('\0');
        fill(b, block.data());
        ok = write(block);
    }
    // A table that only sits in the page cache is not written yet: a full disk may still refuse it.
    ok = ok && file.flush() && ::fsync(file.handle()) == 0;
    if (!ok) {
        const QString reason = DeviceErrorText(file.errorString(), error != 0 ? error : errno);
        file.close();
        QFile::remove(path);
        throw Failure(QStringLiteral("Ошибка записи файла %1: %2")
                          .arg(QDir::toNativeSeparators(path), reason));
    }
    file.close();
}

void ReplaceFile(const QString& temporary, const QString& target) {
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(target).constData()) != 0) {
        const QString reason = SystemErrorText(errno);
        QFile::remove(temporary);
        throw Failure(QStringLiteral("Не удаётся заменить файл %1: %2")
                          .arg(QDir::toNativeSeparators(target), reason));
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
    if (keyFields_ > 0) {
        buildKeyIndex();
        if (keyIndex_.contains(record, keys())) {
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
        keyIndex_.insert(rowCount_ - 1, keys());
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

void ParadoxTable::save() const {
    const int nf = fieldCount();
    if (nf < 1 || nf > 255) {
        throw Failure(QStringLiteral("Неверное число полей таблицы: %1").arg(nf));
    }
    const CodePage& page = *codePage_;
    const QFileInfo info(path_);
    const QString baseName = info.completeBaseName();

    // Records in key order: the reading program finds a record through the .px only when both
    // follow its language driver's order.
    std::vector<int> order(static_cast<size_t>(rowCount_));
    std::iota(order.begin(), order.end(), 0);
    const int keyBytes = keySize();
    if (keyFields_ > 0) {
        const KeyOrder keyOrder(fields_, keyFields_, driver_);
        std::sort(order.begin(), order.end(),
                  [this, &keyOrder](int a, int b) { return keyOrder(row(a), row(b)); });
    }

    // The smallest block size that holds a record and keeps the block count in 16 bits.
    int blockSize = 2048;
    while (blockSize < 32768 &&
           (recordSize_ > blockSize - 6 ||
            (rowCount_ + (blockSize - 6) / recordSize_ - 1) / ((blockSize - 6) / recordSize_) >
                65535)) {
        blockSize *= 2;
    }
    if (recordSize_ > blockSize - 6) {
        throw Failure(QStringLiteral("Запись таблицы %1 слишком длинная: %2 байт")
                          .arg(baseName)
                          .arg(recordSize_));
    }
    const int capacity = (blockSize - 6) / recordSize_;
    const int blockCount = (rowCount_ + capacity - 1) / capacity;
    if (blockCount > 65535) {
        throw Failure(QStringLiteral("Таблица %1 слишком велика").arg(baseName));
    }

    std::vector<IndexEntry> leaves;
    leaves.reserve(static_cast<size_t>(blockCount));
    for (int b = 0; b < blockCount; ++b) {
        const int count = std::min(capacity, rowCount_ - b * capacity);
        leaves.push_back(IndexEntry{row(order[static_cast<size_t>(b * capacity)]),
                                    static_cast<unsigned>(b + 1), static_cast<unsigned>(count)});
    }
    const auto fillDataBlock = [&](int b, char* block) {
        const int first = b * capacity;
        const int count = std::min(capacity, rowCount_ - first);
        const unsigned next = b + 1 < blockCount ? static_cast<unsigned>(b + 2) : 0;
        block[0] = static_cast<char>(next);
        block[1] = static_cast<char>(next >> 8);
        block[2] = static_cast<char>(b);
        block[3] = static_cast<char>(b >> 8);
        const int addDataSize = (count - 1) * recordSize_;
        block[4] = static_cast<char>(addDataSize);
        block[5] = static_cast<char>(addDataSize >> 8);
        for (int r = 0; r < count; ++r) {
            std::memcpy(block + 6 + r * recordSize_, row(order[static_cast<size_t>(first + r)]),
                        static_cast<size_t>(recordSize_));
        }
    };

    // .db header.
    std::vector<QByteArray> names;
    int namesSize = 0;
    for (const ParadoxField& field : fields_) {
        const std::optional<QByteArray> name = page.encode(field.name);
        if (!name || name->isEmpty() || name->size() > 25) {
            throw Failure(QStringLiteral("Недопустимое имя поля: [%1]").arg(field.name));
        }
        names.push_back(*name);
        namesSize += static_cast<int>(name->size()) + 1;
    }
    QByteArray tableName =
        page.encode(info.fileName()).value_or(QByteArray("table.db")).left(kNameArea - 1);
    const int realHeader =
        0x78 + 8 * nf + 4 + kNameArea + namesSize + static_cast<int>(driver_.id.size()) + 1;
    const int headerSize = HeaderSizeFor(realHeader);
    const bool keyed = keyFields_ > 0;
    QByteArray db(headerSize, '\0');
    Put16(db, 0x00, static_cast<unsigned>(recordSize_));
    Put16(db, 0x02, static_cast<unsigned>(headerSize));
    Put8(db, 0x04, keyed ? 0 : 2);
    Put8(db, 0x05, static_cast<unsigned>(blockSize / 1024));
    Put32(db, 0x06, static_cast<std::uint32_t>(rowCount_));
    Put16(db, 0x0A, static_cast<unsigned>(blockCount));
    Put16(db, 0x0C, static_cast<unsigned>(blockCount));
    Put16(db, 0x0E, blockCount > 0 ? 1 : 0);
    Put16(db, 0x10, static_cast<unsigned>(blockCount));
    Put16(db, 0x12, 5);
    Put32(db, 0x16, keyed ? kPointerBase + 0x1000 : 0);
    Put16(db, 0x21, static_cast<unsigned>(nf));
    Put16(db, 0x23, static_cast<unsigned>(keyFields_));
    Put32(db, 0x25, 0xFF00FF00u);
    Put8(db, 0x29, driver_.sortOrder);
    const unsigned changeCount = 2;
    Put8(db, 0x2D, changeCount);
    Put8(db, 0x2E, 1);
    Put32(db, 0x34, kPointerBase + 0x78);
    Put32(db, 0x30, kPointerBase + 0x78 + 2 * static_cast<std::uint32_t>(nf));
    Put8(db, 0x39, 0x0C);
    Put16(db, 0x3A, static_cast<unsigned>(blockCount));
    Put8(db, 0x3E, 0x1F);
    Put8(db, 0x3F, 0x0F);
    const qint64 autoIncrement = autoIncrement_;
    Put32(db, 0x49, static_cast<std::uint32_t>(autoIncrement));
    Put16(db, 0x51, static_cast<unsigned>(realHeader));
    Put8(db, 0x56, 0x20);
    Put16(db, 0x58, 0x010C);
    Put16(db, 0x5A, 0x010C);
    Put32(db, 0x60, static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch()));
    Put16(db, 0x64, static_cast<unsigned>(nf + 1));
    Put16(db, 0x66, static_cast<unsigned>(297 + 6 * nf + namesSize));
    Put16(db, 0x6A, static_cast<unsigned>(driver_.codePage));
    Put8(db, 0x6C, 1);
    Put8(db, 0x6D, 1);
    Put16(db, 0x6E, static_cast<unsigned>(297 + 8 * nf + namesSize));
    Put16(db, 0x70, keyed ? 2 : 1);
    int pos = 0x78;
    for (const ParadoxField& field : fields_) {
        Put8(db, pos++, field.type);
        Put8(db, pos++, field.sizeByte);
    }
    const int tableNamePointer = pos;
    const int nameAreaStart = pos + 4 + 4 * nf;
    Put32(db, tableNamePointer, kPointerBase + static_cast<std::uint32_t>(nameAreaStart));
    int nameStart = nameAreaStart + kNameArea;
    for (int f = 0; f < nf; ++f) {
        Put32(db, tableNamePointer + 4 + 4 * f,
              kPointerBase + static_cast<std::uint32_t>(nameStart));
        std::memcpy(db.data() + nameStart, names[static_cast<size_t>(f)].constData(),
                    static_cast<size_t>(names[static_cast<size_t>(f)].size()));
        nameStart += static_cast<int>(names[static_cast<size_t>(f)].size()) + 1;
    }
    std::memcpy(db.data() + nameAreaStart, tableName.constData(),
                static_cast<size_t>(tableName.size()));
    pos = nameStart;
    for (int f = 0; f < nf; ++f) {
        Put16(db, pos, static_cast<unsigned>(f + 1));
        pos += 2;
    }
    std::memcpy(db.data() + pos, driver_.id.constData(), static_cast<size_t>(driver_.id.size()));

    // .px: level 1 has one entry per data block; each level above one per block below, blocks
    // filled to one less than capacity, the root written first and every level in key order.
    QByteArray px;
    QByteArray indexBlocks;
    if (keyed) {
        const int entrySize = keyBytes + 6;
        const int fill = (kIndexBlockSize - 6) / entrySize - 1;
        if (fill < 2) {
            throw Failure(QStringLiteral("Ключ таблицы %1 слишком длинный").arg(baseName));
        }
        std::vector<std::vector<IndexEntry>> levels{leaves};
        while (levels.back().size() > static_cast<size_t>(fill)) {
            const std::vector<IndexEntry>& below = levels.back();
            std::vector<IndexEntry> above;
            for (size_t start = 0; start < below.size(); start += static_cast<size_t>(fill)) {
                const size_t end = std::min(below.size(), start + static_cast<size_t>(fill));
                unsigned statistic = 0;
                for (size_t i = start; i < end; ++i) {
                    statistic += below[i].statistic;
                }
                above.push_back(
                    IndexEntry{below[start].key, 0, std::min(statistic, kMaxStatistic)});
            }
            levels.push_back(std::move(above));
        }
        const int levelCount = blockCount > 0 ? static_cast<int>(levels.size()) : 0;
        // Block numbers: the root is 1, then each lower level in order.
        std::vector<int> firstBlockOfLevel(levels.size(), 0);
        std::vector<int> blocksOfLevel(levels.size(), 0);
        int numbered = 0;
        for (size_t l = levels.size(); l-- > 0;) {
            firstBlockOfLevel[l] = numbered + 1;
            blocksOfLevel[l] =
                levels[l].empty() ? 0 : static_cast<int>((levels[l].size() + fill - 1) / fill);
            numbered += blocksOfLevel[l];
        }
        for (size_t l = 1; l < levels.size(); ++l) {
            for (size_t i = 0; i < levels[l].size(); ++i) {
                levels[l][i].block =
                    static_cast<unsigned>(firstBlockOfLevel[l - 1]) + static_cast<unsigned>(i);
            }
        }
        const int indexBlockCount = numbered;
        indexBlocks = QByteArray(static_cast<qsizetype>(indexBlockCount) * kIndexBlockSize, '\0');
        std::uint32_t entryCount = 0;
        for (size_t l = 0; l < levels.size(); ++l) {
            for (int b = 0; b < blocksOfLevel[l]; ++b) {
                const int number = firstBlockOfLevel[l] + b;
                char* block =
                    indexBlocks.data() + static_cast<qsizetype>(number - 1) * kIndexBlockSize;
                const size_t first = static_cast<size_t>(b) * static_cast<size_t>(fill);
                const size_t count = std::min(static_cast<size_t>(fill), levels[l].size() - first);
                const unsigned next =
                    number < indexBlockCount ? static_cast<unsigned>(number + 1) : 0;
                const unsigned prev = static_cast<unsigned>(number - 1);
                block[0] = static_cast<char>(next);
                block[1] = static_cast<char>(next >> 8);
                block[2] = static_cast<char>(prev);
                block[3] = static_cast<char>(prev >> 8);
                const int addDataSize = (static_cast<int>(count) - 1) * entrySize;
                block[4] = static_cast<char>(addDataSize);
                block[5] = static_cast<char>(addDataSize >> 8);
                for (size_t i = 0; i < count; ++i) {
                    const IndexEntry& entry = levels[l][first + i];
                    char* out = block + 6 + static_cast<qsizetype>(i) * entrySize;
                    std::memcpy(out, entry.key, static_cast<size_t>(keyBytes));
                    PutFlipped16(out + keyBytes, entry.block);
                    PutFlipped16(out + keyBytes + 2, entry.statistic);
                    PutFlipped16(out + keyBytes + 4, 0);
                }
                entryCount += static_cast<std::uint32_t>(count);
            }
        }
        px = QByteArray(kHeaderBlock, '\0');
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
        Put16(px, 0x21, static_cast<unsigned>(keyFields_));
        Put8(px, 0x29, driver_.sortOrder);
        unsigned check = changeCount;
        if (driver_.sortOrder != 0) {
            check += driver_.sortOrder + 2u;
            if (check > 255) {
                check = (check & 0xFF) + 1;  // end-around carry, as real files store it
            }
        }
        Put8(px, 0x2C, check);
        Put32(px, 0x34, kPointerBase + 0x58);
        Put32(px, 0x30, kPointerBase + 0x58 + 2 * static_cast<std::uint32_t>(keyFields_));
        Put8(px, 0x39, 0x0C);
        Put16(px, 0x3A, static_cast<unsigned>(indexBlockCount));
        Put32(px, 0x49, 1);
        Put16(px, 0x51, static_cast<unsigned>(353 + 2 * keyFields_));
        int p = 0x58;
        for (int f = 0; f < keyFields_; ++f) {
            Put8(px, p++, fields_[static_cast<size_t>(f)].type);
            Put8(px, p++, fields_[static_cast<size_t>(f)].sizeByte);
        }
        Put32(px, p, kPointerBase + static_cast<std::uint32_t>(p + 4));
        const QByteArray indexName = page.encode(baseName + QStringLiteral(".PX"))
                                         .value_or(QByteArray("table.PX"))
                                         .left(kNameArea - 1);
        std::memcpy(px.data() + p + 4, indexName.constData(),
                    static_cast<size_t>(indexName.size()));
    }

    // Both files complete in temporary files first; only then do they replace the old ones.
    const QString pxPath = SiblingFile(path_, QStringLiteral("px"));
    const QString dbTemporary = path_ + QStringLiteral(".tmp~");
    const QString pxTemporary = pxPath + QStringLiteral(".tmp~");
    WriteFile(dbTemporary, db, blockCount, blockSize, fillDataBlock);
    if (keyed) {
        try {
            WriteFile(pxTemporary, px, 1, static_cast<int>(indexBlocks.size()),
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
    ReplaceFile(dbTemporary, path_);
    RemoveStaleCompanions(path_);
}

}  // namespace converter::paradox
