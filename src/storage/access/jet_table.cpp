#include "storage/access/jet_table.h"

#include "storage/access/jet_text.h"

#include <algorithm>
#include <set>

namespace converter::access {

namespace {

constexpr int kTdefPage = 0x02;
constexpr int kDataPage = 0x01;
constexpr int kMapPage = 0x05;
constexpr int kMaxColumns = 255;

// The whole definition: the first page, then the body of each continuation page after its
// 8-byte header. Each page at most once.
QByteArray DefinitionBytes(const JetFile& file, int64_t first) {
    const int pageSize = file.pageSize();
    QByteArray bytes;
    std::set<int64_t> seen;
    for (int64_t number = first; number != 0;) {
        const unsigned char* page = file.page(number);
        Require(page[0] == kTdefPage && seen.insert(number).second);
        const int skip = bytes.isEmpty() ? 0 : 8;
        bytes.append(reinterpret_cast<const char*>(page) + skip, pageSize - skip);
        number = Get32(page + 4);
    }
    return bytes;
}

void AddMapPage(const JetFile& file, std::vector<int>& pages, int64_t number) {
    Require(number >= 0 && number < file.pageCount());
    pages.push_back(static_cast<int>(number));
}

// Pages whose bits are set in `bits`, counted from `first`.
void AddBitmap(const JetFile& file, std::vector<int>& pages, int64_t first,
               const unsigned char* bits, int length) {
    for (int i = 0; i < length; ++i) {
        if (bits[i] == 0) {
            continue;
        }
        for (int bit = 0; bit < 8; ++bit) {
            if ((bits[i] >> bit) & 1) {
                AddMapPage(file, pages, first + i * 8 + bit);
            }
        }
    }
}

// The pages a usage map row lists: inline (a start page and a bitmap), or a list of bitmap pages
// each covering a fixed stretch of the file.
std::vector<int> UsedPages(const JetFile& file, uint32_t pointer) {
    const unsigned char* page = file.page(pointer >> 8);
    Require(page[0] == kDataPage);
    const JetFile::RowSpan row = file.rowSpan(page, static_cast<int>(pointer & 0xFF));
    const unsigned char* map = page + row.start;
    const int length = row.end - row.start;
    Require(length >= 1);
    std::vector<int> pages;
    if (map[0] == 0) {
        Require(length >= 5);
        AddBitmap(file, pages, Get32(map + 1), map + 5, length - 5);
    } else if (map[0] == 1) {
        const int perPage = (file.pageSize() - 4) * 8;
        for (int k = 0; 1 + 4 * k + 4 <= length; ++k) {
            const uint32_t mapPage = Get32(map + 1 + 4 * k);
            if (mapPage == 0) {
                continue;
            }
            const unsigned char* bits = file.page(mapPage);
            Require(bits[0] == kMapPage);
            AddBitmap(file, pages, static_cast<int64_t>(k) * perPage, bits + 4,
                      file.pageSize() - 4);
        }
    } else {
        throw JetDamaged{};
    }
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return pages;
}

JetColumn ReadColumn(const JetLayout& l, const unsigned char* entry) {
    JetColumn c;
    c.type = entry[0];
    c.number = static_cast<int>(Get16(entry + l.columnNumber));
    c.varIndex = static_cast<int>(Get16(entry + l.columnVarIndex));
    c.precision = entry[l.columnPrecision];
    c.scale = entry[l.columnScale];
    c.fixed = (entry[l.columnFlags] & 0x01) != 0;
    c.autoNumber = (entry[l.columnFlags] & 0x04) != 0;
    c.fixedOffset = static_cast<int>(Get16(entry + l.columnFixedOffset));
    c.length = static_cast<int>(Get16(entry + l.columnLength));
    return c;
}

}  // namespace

JetTableDefinition ReadTableDefinition(const JetFile& file, int64_t page) {
    const JetLayout& l = file.layout();
    const QByteArray bytes = DefinitionBytes(file, page);
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const int64_t size = bytes.size();
    JetTableDefinition table;
    table.page = static_cast<int>(page);
    table.rowCount = Get32(d + l.tdefRowCount);
    table.varColumnCount = static_cast<int>(Get16(d + l.tdefVarColumns));
    const int columnCount = static_cast<int>(Get16(d + l.tdefColumns));
    const uint32_t realIndexes = Get32(d + l.tdefRealIndexes);
    Require(columnCount <= kMaxColumns && realIndexes <= 1000);
    int64_t at = l.tdefFirstIndex + static_cast<int64_t>(realIndexes) * l.realIndexSize;
    RequireInside(at, static_cast<int64_t>(columnCount) * l.columnSize, size);
    for (int i = 0; i < columnCount; ++i) {
        table.columns.push_back(ReadColumn(l, d + at + static_cast<int64_t>(i) * l.columnSize));
    }
    at += static_cast<int64_t>(columnCount) * l.columnSize;
    for (JetColumn& column : table.columns) {
        RequireInside(at, l.nameLengthSize, size);
        const int length = static_cast<int>(l.jet3 ? d[at] : Get16(d + at));
        at += l.nameLengthSize;
        RequireInside(at, length, size);
        column.name = JetText(d + at, length, l.jet3, file.codePage());
        at += length;
    }
    std::stable_sort(table.columns.begin(), table.columns.end(),
                     [](const JetColumn& a, const JetColumn& b) { return a.number < b.number; });
    table.dataPages = UsedPages(file, Get32(d + l.tdefUsedPages));
    return table;
}

FieldInfo DescribeColumn(const JetColumn& column, bool jet3) {
    FieldInfo info;
    info.name = column.name;
    switch (column.type) {
        case kJetBoolean:
            info.type = FieldType::Logical;
            break;
        case kJetByte:
        case kJetInteger:
            info.type = FieldType::Short;
            break;
        case kJetLong:
            info.type = column.autoNumber ? FieldType::AutoIncrement : FieldType::Long;
            break;
        case kJetSingle:
        case kJetDouble:
        case kJetNumeric:
            info.type = FieldType::Number;
            break;
        case kJetCurrency:
            info.type = FieldType::Currency;
            break;
        case kJetDateTime:
            info.type = FieldType::Timestamp;
            break;
        case kJetText:
            info.type = FieldType::Text;
            info.size = jet3 ? column.length : column.length / 2;
            break;
        case kJetGuid:
            info.type = FieldType::Text;
            info.size = 38;
            break;
        case kJetMemo:
            info.type = FieldType::Memo;
            break;
        case kJetOle:
        case kJetBinary:
            info.type = FieldType::Bytes;
            info.size = column.length;
            break;
        default:
            info.type = FieldType::Blob;
            break;
    }
    return info;
}

}  // namespace converter::access
