#include "storage/access/jet_rows.h"

#include "storage/access/jet_text.h"
#include "storage/access/jet_values.h"

#include <algorithm>
#include <set>

namespace converter::access {

namespace {

constexpr unsigned kDeletedRow = 0x8000;
constexpr unsigned kMovedRow = 0x4000;
constexpr int kDataPage = 0x01;
constexpr int kLongValueHeader = 12;
constexpr int kMaxMoves = 16;

// One row's bytes and where its variable values begin and end.
struct RowBytes {
    const unsigned char* data = nullptr;
    int length = 0;
    int columnCount = 0;  // columns when the row was written
    const unsigned char* nulls = nullptr;
    int fixedEnd = 0;             // where the variable offsets (or the null mask) begin
    std::vector<int> varOffsets;  // starts of the variable values, then their end

    bool present(int number) const {
        return number < columnCount && ((nulls[number / 8] >> (number % 8)) & 1) != 0;
    }
};

class TableReader {
public:
    TableReader(const JetFile& file, const JetTableDefinition& table,
                const std::vector<bool>& wanted)
        : file_(file), l_(file.layout()), table_(table), wanted_(wanted) {}

    std::vector<MemoryRecordset::Row> read();

private:
    RowBytes split(const unsigned char* data, int length) const;
    void jet3Offsets(RowBytes& row, int nullSize) const;
    void jet4Offsets(RowBytes& row, int nullSize) const;
    MemoryRecordset::Row values(const RowBytes& row);
    QVariant value(const JetColumn& column, const RowBytes& row);
    QByteArray longValue(const unsigned char* definition, int size);
    void appendLongRow(QByteArray& out, uint32_t pointer, int length, bool chained, uint32_t* next);

    const JetFile& file_;
    const JetLayout& l_;
    const JetTableDefinition& table_;
    const std::vector<bool>& wanted_;
    std::set<uint32_t> longRows_;  // each long-value row belongs to one value
};

std::vector<MemoryRecordset::Row> TableReader::read() {
    std::vector<MemoryRecordset::Row> rows;
    for (const int number : table_.dataPages) {
        const unsigned char* page = file_.page(number);
        // A map may list pages since given to another table; only this table's rows count.
        if (page[0] != kDataPage || Get32(page + 4) != static_cast<uint32_t>(table_.page)) {
            continue;
        }
        const int count = file_.rowCount(page);
        for (int r = 0; r < count; ++r) {
            JetFile::RowSpan span = file_.rowSpan(page, r);
            // A deleted row, or one moved here that its old place points to.
            if ((span.flags & kDeletedRow) != 0) {
                continue;
            }
            const unsigned char* at = page;
            std::set<uint32_t> moves;
            while ((span.flags & kMovedRow) != 0) {
                Require(span.end - span.start >= 4 && moves.size() < kMaxMoves);
                const uint32_t pointer = Get32(at + span.start);
                Require(moves.insert(pointer).second);
                at = file_.page(pointer >> 8);
                Require(at[0] == kDataPage && Get32(at + 4) == static_cast<uint32_t>(table_.page));
                span = file_.rowSpan(at, static_cast<int>(pointer & 0xFF));
            }
            Require(rows.size() < table_.rowCount);
            rows.push_back(values(split(at + span.start, span.end - span.start)));
        }
    }
    Require(rows.size() == table_.rowCount);
    return rows;
}

RowBytes TableReader::split(const unsigned char* data, int length) const {
    RowBytes row;
    row.data = data;
    row.length = length;
    Require(length >= l_.rowCountSize);
    row.columnCount = static_cast<int>(l_.jet3 ? data[0] : Get16(data));
    const int nullSize = (row.columnCount + 7) / 8;
    Require(l_.rowCountSize + nullSize <= length);
    row.nulls = data + length - nullSize;
    row.fixedEnd = length - nullSize;
    if (table_.varColumnCount > 0) {
        l_.jet3 ? jet3Offsets(row, nullSize) : jet4Offsets(row, nullSize);
    }
    return row;
}

// Jet4: from the null mask back, the number of variable values, their starts (the first value's
// nearest) and the end of the last.
void TableReader::jet4Offsets(RowBytes& row, int nullSize) const {
    const int countAt = row.length - nullSize - 2;
    Require(countAt >= 2);
    const int count = static_cast<int>(Get16(row.data + countAt));
    const int endAt = countAt - 2 * (count + 1);
    Require(endAt >= 2);
    row.varOffsets.resize(static_cast<size_t>(count) + 1);
    for (int i = 0; i <= count; ++i) {
        row.varOffsets[static_cast<size_t>(i)] =
            static_cast<int>(Get16(row.data + countAt - 2 * (i + 1)));
    }
    row.fixedEnd = endAt;
}

// Jet3: one-byte offsets; a jump table before the count says at which value each further 256
// bytes begin. Rows of N bytes have (N - 1) / 256 entries, the last of them possibly unused.
void TableReader::jet3Offsets(RowBytes& row, int nullSize) const {
    const int countAt = row.length - 1 - nullSize;
    Require(countAt >= 1);
    const int count = row.data[countAt];
    int jumps = (row.length - 1) / 256;
    const int firstAt = countAt - jumps - 1;
    Require(firstAt - count >= 1);
    if ((firstAt - count) / 256 < jumps) {
        --jumps;
    }
    row.varOffsets.resize(static_cast<size_t>(count) + 1);
    int used = 0;
    for (int i = 0; i <= count; ++i) {
        while (used < jumps && row.data[countAt - 1 - used] == i) {
            ++used;
        }
        row.varOffsets[static_cast<size_t>(i)] = row.data[firstAt - i] + 256 * used;
    }
    row.fixedEnd = firstAt - count;
}

MemoryRecordset::Row TableReader::values(const RowBytes& row) {
    MemoryRecordset::Row out(table_.columns.size());
    for (size_t i = 0; i < table_.columns.size(); ++i) {
        if (wanted_.empty() || wanted_[i]) {
            out[i] = value(table_.columns[i], row);
        }
    }
    return out;
}

QVariant TableReader::value(const JetColumn& column, const RowBytes& row) {
    if (column.type == kJetBoolean) {
        // The null bit is the value.
        return row.present(column.number);
    }
    if (!row.present(column.number)) {
        return {};
    }
    const bool jet3 = l_.jet3;
    if (column.fixed) {
        const int start = l_.rowCountSize + column.fixedOffset;
        Require(start + column.length <= row.fixedEnd);
        return JetScalar(column, row.data + start, column.length, jet3, file_.codePage());
    }
    if (column.varIndex + 1 >= static_cast<int>(row.varOffsets.size())) {
        return {};  // added to the table after the row was written
    }
    const int start = row.varOffsets[static_cast<size_t>(column.varIndex)];
    const int end = row.varOffsets[static_cast<size_t>(column.varIndex) + 1];
    Require(start >= l_.rowCountSize && start <= end && end <= row.fixedEnd);
    const unsigned char* bytes = row.data + start;
    const int size = end - start;
    if (column.type == kJetMemo) {
        const QByteArray text = longValue(bytes, size);
        return JetText(reinterpret_cast<const unsigned char*>(text.constData()),
                       static_cast<int>(text.size()), jet3, file_.codePage());
    }
    if (column.type == kJetOle) {
        return longValue(bytes, size);
    }
    return JetScalar(column, bytes, size, jet3, file_.codePage());
}

// A memo or OLE value: a 12-byte definition (length, where the bytes are, a row pointer) with
// the bytes after it, in one other row, or in a chain of rows each naming the next.
QByteArray TableReader::longValue(const unsigned char* definition, int size) {
    Require(size >= kLongValueHeader);
    const uint32_t word = Get32(definition);
    const auto length = static_cast<qsizetype>(word & 0x3FFFFFFF);
    Require(length <= static_cast<qsizetype>(file_.pageCount()) * file_.pageSize());
    if ((word & 0x80000000u) != 0) {
        Require(kLongValueHeader + length <= size);
        return QByteArray(reinterpret_cast<const char*>(definition) + kLongValueHeader, length);
    }
    QByteArray out;
    uint32_t pointer = Get32(definition + 4);
    if ((word & 0x40000000u) != 0) {
        appendLongRow(out, pointer, static_cast<int>(length), false, nullptr);
        return out;
    }
    while (out.size() < length) {
        appendLongRow(out, pointer, static_cast<int>(length - out.size()), true, &pointer);
    }
    return out;
}

// Appends at most `length` bytes of the long-value row `pointer` to `out`; a chained row starts
// with the pointer to the next.
void TableReader::appendLongRow(QByteArray& out, uint32_t pointer, int length, bool chained,
                                uint32_t* next) {
    Require(longRows_.insert(pointer).second);
    const unsigned char* page = file_.page(pointer >> 8);
    Require(page[0] == kDataPage);
    const JetFile::RowSpan span = file_.rowSpan(page, static_cast<int>(pointer & 0xFF));
    int start = span.start;
    if (chained) {
        Require(span.end - start >= 4);
        *next = Get32(page + start);
        start += 4;
    } else {
        Require(span.end - start >= length);
    }
    const int take = std::min(length, span.end - start);
    out.append(reinterpret_cast<const char*>(page) + start, take);
}

}  // namespace

std::vector<MemoryRecordset::Row> ReadRows(const JetFile& file, const JetTableDefinition& table,
                                           const std::vector<bool>& wanted) {
    return TableReader(file, table, wanted).read();
}

}  // namespace converter::access
