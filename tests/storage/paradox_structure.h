#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstring>
#include <functional>
#include <vector>

namespace converter::testing {

namespace structure_detail {

struct Reader {
    QByteArray bytes;
    bool ok(qint64 offset, qint64 length) const {
        return offset >= 0 && offset + length <= bytes.size();
    }
    unsigned u8(qint64 o) const { return static_cast<unsigned char>(bytes.at(o)); }
    unsigned u16(qint64 o) const { return u8(o) | (u8(o + 1) << 8); }
    unsigned u32(qint64 o) const { return u16(o) | (u16(o + 2) << 16); }
    unsigned be16flipped(qint64 o) const { return ((u8(o) << 8) | u8(o + 1)) ^ 0x8000; }
};

inline int LengthOf(unsigned type, unsigned size) {
    switch (type) {
        case 0x01:
        case 0x18:
            return static_cast<int>(size);
        case 0x03:
            return 2;
        case 0x09:
            return 1;
        case 0x05:
        case 0x06:
        case 0x15:
            return 8;
        case 0x17:
            return 17;
        default:
            return 4;
    }
}

}  // namespace structure_detail
using namespace structure_detail;

// An independent check of a written keyed or unkeyed table: header formulas, key order across
// blocks (byte order unless `keyLess` gives the table's own), and a .px whose entries match the
// data blocks level by level. Returns the problems found, empty when the files agree.
inline QStringList CheckTableStructure(
    const QString& dbPath, const QString& pxPath,
    const std::function<bool(const char*, const char*)>& keyLess = {}) {
    QStringList problems;
    QFile dbFile(dbPath);
    if (!dbFile.open(QIODevice::ReadOnly)) {
        return {QStringLiteral("cannot open ") + dbPath};
    }
    const Reader db{dbFile.readAll()};
    if (!db.ok(0, 0x78)) {
        return {QStringLiteral("db shorter than its header")};
    }
    const int rs = static_cast<int>(db.u16(0));
    const qint64 headerSize = db.u16(2);
    const bool keyed = db.u8(4) == 0;
    const qint64 bs = qint64{db.u8(5)} * 1024;
    const unsigned numRecords = db.u32(6);
    const unsigned fileBlocks = db.u16(0x0C);
    const int nf = static_cast<int>(db.u16(0x21));
    const int nk = static_cast<int>(db.u16(0x23));
    if (db.u8(0x39) != 0x0C || db.u16(0x58) != 0x010C || db.u16(0x5A) != 0x010C) {
        problems << QStringLiteral("not a version 7 header");
    }
    if (db.u16(0x0A) != fileBlocks || db.u16(0x3A) != fileBlocks || db.u16(0x10) != fileBlocks ||
        db.u16(0x0E) != (fileBlocks ? 1u : 0u)) {
        problems << QStringLiteral("block counts disagree");
    }
    if (db.bytes.size() != headerSize + fileBlocks * bs) {
        problems << QStringLiteral("file size is not header + blocks");
    }
    if (keyed != (nk > 0) || (keyed && db.u32(0x16) == 0) || (!keyed && db.u32(0x16) != 0)) {
        problems << QStringLiteral("key count, file type and 0x16 disagree");
    }
    if (db.u8(0x29) == 0x8F && (db.u16(0x6A) != 1251)) {
        problems << QStringLiteral("Cyrillic driver without code page 1251");
    }
    // Field descriptors and the variable part formulas.
    std::vector<int> lengths;
    int sum = 0;
    for (int i = 0; i < nf; ++i) {
        lengths.push_back(LengthOf(db.u8(0x78 + 2 * i), db.u8(0x79 + 2 * i)));
        sum += lengths.back();
    }
    if (sum != rs) {
        problems << QStringLiteral("record size is not the sum of field sizes");
    }
    qint64 pos = 0x78 + 2 * nf + 4 + 4 * nf + 261;
    int namesSize = 0;
    for (int i = 0; i < nf; ++i) {
        const qint64 nul = db.bytes.indexOf('\0', pos);
        namesSize += static_cast<int>(nul - pos) + 1;
        pos = nul + 1;
    }
    for (int i = 0; i < nf; ++i) {
        if (db.u16(pos + 2 * i) != static_cast<unsigned>(i + 1)) {
            problems << QStringLiteral("field numbers are not 1..n");
            break;
        }
    }
    const qint64 idStart = pos + 2 * nf;
    const qint64 idLength = db.bytes.indexOf('\0', idStart) - idStart;
    if (db.u16(0x66) != static_cast<unsigned>(297 + 6 * nf + namesSize) ||
        db.u16(0x6E) != static_cast<unsigned>(297 + 8 * nf + namesSize) ||
        db.u16(0x51) != static_cast<unsigned>(386 + 8 * nf + namesSize + idLength) ||
        idStart - 0x58 != db.u16(0x6E)) {
        problems << QStringLiteral("header offsets 0x51/0x66/0x6E do not match the layout");
    }
    const int keySize = [&] {
        int size = 0;
        for (int i = 0; i < nk; ++i) {
            size += lengths[static_cast<size_t>(i)];
        }
        return size;
    }();

    // Data chain: sorted unique keys across blocks, counts adding up.
    struct Block {
        unsigned number;
        QByteArray firstKey;
        unsigned count;
    };
    std::vector<Block> chain;
    QByteArray previousKey;
    unsigned total = 0;
    for (unsigned block = db.u16(0x0E), steps = 0; block != 0 && steps <= fileBlocks; ++steps) {
        const qint64 offset = headerSize + (block - 1) * bs;
        if (!db.ok(offset, bs)) {
            problems << QStringLiteral("block %1 outside the file").arg(block);
            break;
        }
        const int ads = static_cast<qint16>(db.u16(offset + 4));
        const unsigned count = ads < 0 ? 0 : static_cast<unsigned>(ads / rs + 1);
        if (ads % rs != 0) {
            problems << QStringLiteral("block %1 data size not a multiple of the record size")
                            .arg(block);
        }
        for (unsigned r = 0; r < count; ++r) {
            const QByteArray key = db.bytes.mid(offset + 6 + r * rs, keySize);
            const bool ascending =
                previousKey.isNull() ||
                (keyLess ? keyLess(previousKey.constData(), key.constData()) : previousKey < key);
            if (keyed && !ascending) {
                problems
                    << QStringLiteral("keys not ascending at block %1 record %2").arg(block).arg(r);
            }
            previousKey = key;
        }
        chain.push_back(Block{block, db.bytes.mid(offset + 6, keySize), count});
        total += count;
        block = db.u16(offset);
    }
    if (total != numRecords) {
        problems << QStringLiteral("chain holds %1 records, header %2").arg(total).arg(numRecords);
    }
    if (!keyed) {
        if (QFile::exists(pxPath)) {
            problems << QStringLiteral("unkeyed table has a .px");
        }
        return problems;
    }

    QFile pxFile(pxPath);
    if (!pxFile.open(QIODevice::ReadOnly)) {
        return problems << QStringLiteral("keyed table without .px");
    }
    const Reader px{pxFile.readAll()};
    if (!px.ok(0, 0x800)) {
        return problems << QStringLiteral(".px shorter than its header");
    }
    const int entrySize = static_cast<int>(px.u16(0));
    const qint64 pbs = qint64{px.u8(5)} * 1024;
    const qint64 pHeader = px.u16(2);
    if (px.u8(4) != 1 || entrySize != keySize + 6 || static_cast<int>(px.u16(0x21)) != nk ||
        px.u8(0x29) != db.u8(0x29) || px.u8(0x39) != db.u8(0x39)) {
        problems << QStringLiteral(".px header disagrees with the .db");
    }
    unsigned expected = db.u8(0x2D) + (db.u8(0x29) ? db.u8(0x29) + 2 : 0);
    if (px.u8(0x2C) != expected) {
        problems << QStringLiteral(".px 0x2C is %1, expected %2").arg(px.u8(0x2C)).arg(expected);
    }
    for (int i = 0; i < 2 * nk; ++i) {
        if (px.u8(0x58 + i) != db.u8(0x78 + i)) {
            problems << QStringLiteral(".px key descriptors differ");
            break;
        }
    }
    const unsigned levels = px.u8(0x20);
    const unsigned root = px.u16(0x1E);
    if (chain.empty()) {
        if (levels != 0 || px.u32(6) != 0) {
            problems << QStringLiteral("empty table with index entries");
        }
        return problems;
    }
    // Walks a .px block; returns its first key and the records below it.
    std::vector<Block> leaves;
    unsigned entries = 0;
    std::function<std::pair<QByteArray, unsigned>(unsigned, unsigned)> walk = [&](unsigned number,
                                                                                  unsigned level) {
        const qint64 offset = pHeader + (number - 1) * pbs;
        if (!px.ok(offset, pbs) || level == 0) {
            problems << QStringLiteral(".px block %1 invalid").arg(number);
            return std::make_pair(QByteArray(), 0u);
        }
        const int ads = static_cast<qint16>(px.u16(offset + 4));
        const int count = ads / entrySize + 1;
        entries += static_cast<unsigned>(count);
        unsigned sumBelow = 0;
        QByteArray first;
        for (int i = 0; i < count; ++i) {
            const qint64 e = offset + 6 + i * entrySize;
            const QByteArray key = px.bytes.mid(e, keySize);
            const unsigned child = px.be16flipped(e + keySize);
            const unsigned statistic = px.be16flipped(e + keySize + 2);
            if (i == 0) {
                first = key;
            }
            if (level == 1) {
                leaves.push_back(Block{child, key, statistic});
                sumBelow += statistic;
            } else {
                const auto [childKey, childCount] = walk(child, level - 1);
                if (childKey != key) {
                    problems << QStringLiteral(".px block %1 entry %2: key differs from child's")
                                    .arg(number)
                                    .arg(i);
                }
                if (statistic != std::min(childCount, 32767u)) {
                    problems << QStringLiteral(
                                    ".px block %1 entry %2: statistic %3, child holds %4")
                                    .arg(number)
                                    .arg(i)
                                    .arg(statistic)
                                    .arg(childCount);
                }
                sumBelow += childCount;
            }
        }
        return std::make_pair(first, sumBelow);
    };
    walk(root, levels);
    if (entries != px.u32(6)) {
        problems << QStringLiteral(".px holds %1 entries, header %2").arg(entries).arg(px.u32(6));
    }
    if (leaves.size() != chain.size()) {
        problems << QStringLiteral("%1 leaf entries for %2 data blocks")
                        .arg(leaves.size())
                        .arg(chain.size());
    } else {
        for (size_t i = 0; i < leaves.size(); ++i) {
            if (leaves[i].number != chain[i].number || leaves[i].firstKey != chain[i].firstKey ||
                leaves[i].count != chain[i].count) {
                problems << QStringLiteral("leaf entry %1 does not match data block %2")
                                .arg(i)
                                .arg(chain[i].number);
                break;
            }
        }
    }
    return problems;
}

}  // namespace converter::testing
