#include "storage/access/jet_file.h"

#include <array>
#include <cstring>

namespace converter::access {

namespace {

constexpr int kMaskedStart = 0x18;
constexpr int kCodePage = 0x3C;
constexpr int kDatabaseKey = 0x3E;
constexpr int kJet3SortOrder = 0x3A;
constexpr int kJet4SortOrder = 0x6E;

// RC4 over `length` bytes: the header's fixed mask, and the pages of a file with a database key.
void Rc4(unsigned char* data, int length, const std::array<unsigned char, 4>& key) {
    std::array<unsigned char, 256> s{};
    for (int i = 0; i < 256; ++i) {
        s[static_cast<size_t>(i)] = static_cast<unsigned char>(i);
    }
    for (size_t i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    size_t i = 0, j = 0;
    for (int n = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

JetLayout Jet3Layout() {
    JetLayout l;
    l.jet3 = true;
    l.pageSize = 2048;
    l.dataRowCount = 8;
    l.tdefRowCount = 12;
    l.tdefVarColumns = 23;
    l.tdefColumns = 25;
    l.tdefRealIndexes = 31;
    l.tdefUsedPages = 35;
    l.tdefFirstIndex = 43;
    l.realIndexSize = 8;
    l.columnSize = 18;
    l.columnNumber = 1;
    l.columnVarIndex = 3;
    l.columnPrecision = 11;
    l.columnScale = 12;
    l.columnFlags = 13;
    l.columnFixedOffset = 14;
    l.columnLength = 16;
    l.nameLengthSize = 1;
    l.rowCountSize = 1;
    return l;
}

}  // namespace

JetFile::JetFile(QByteArray bytes) : bytes_(std::move(bytes)) {
    const auto* head = reinterpret_cast<const unsigned char*>(bytes_.constData());
    Require(bytes_.size() >= 0x80 + 0x18);
    Require(head[0] == 0 && (std::memcmp(head + 4, "Standard Jet DB", 16) == 0 ||
                             std::memcmp(head + 4, "Standard ACE DB", 16) == 0));
    // 0 is Jet3; 1 Jet4; later versions (.accdb) keep Jet4's layout.
    const int version = head[0x14];
    Require(version <= 6);
    if (version == 0) {
        layout_ = Jet3Layout();
    }
    const qsizetype size = bytes_.size();
    Require(size % layout_.pageSize == 0 && size / layout_.pageSize >= 3 &&
            size / layout_.pageSize <= 0x00FFFFFF);
    pageCount_ = static_cast<int>(size / layout_.pageSize);

    // The header from 0x18 on is masked with a fixed RC4 stream (126 bytes in Jet3, 128 in Jet4).
    auto* data = reinterpret_cast<unsigned char*>(bytes_.data());
    std::array<unsigned char, 128> header{};
    const int masked = layout_.jet3 ? 126 : 128;
    std::memcpy(header.data(), data + kMaskedStart, static_cast<size_t>(masked));
    Rc4(header.data(), masked, {0xC7, 0xDA, 0x39, 0x6B});
    auto at = [&](int offset) { return header.data() + (offset - kMaskedStart); };
    codePage_ = static_cast<int>(Get16(at(kCodePage)));
    sortOrder_ = static_cast<int>(Get16(at(layout_.jet3 ? kJet3SortOrder : kJet4SortOrder)));
    const uint32_t key = Get32(at(kDatabaseKey));
    if (key != 0) {
        // A database key encodes every page after the header with RC4 keyed by key ^ page.
        for (int p = 1; p < pageCount_; ++p) {
            const uint32_t k = key ^ static_cast<uint32_t>(p);
            Rc4(data + static_cast<qsizetype>(p) * layout_.pageSize, layout_.pageSize,
                {static_cast<unsigned char>(k), static_cast<unsigned char>(k >> 8),
                 static_cast<unsigned char>(k >> 16), static_cast<unsigned char>(k >> 24)});
        }
    }
}

const unsigned char* JetFile::page(int64_t number) const {
    Require(number >= 0 && number < pageCount_);
    return reinterpret_cast<const unsigned char*>(bytes_.constData()) +
           number * static_cast<int64_t>(layout_.pageSize);
}

int JetFile::rowCount(const unsigned char* page) const {
    const int count = static_cast<int>(Get16(page + layout_.dataRowCount));
    // Row numbers are one byte in every pointer to a row.
    Require(count <= 256 && layout_.dataRowCount + 2 + 2 * count <= layout_.pageSize);
    return count;
}

JetFile::RowSpan JetFile::rowSpan(const unsigned char* page, int row) const {
    Require(row >= 0 && row < rowCount(page));
    const unsigned char* offsets = page + layout_.dataRowCount + 2;
    const unsigned raw = Get16(offsets + 2 * row);
    RowSpan span;
    span.start = static_cast<int>(raw & 0x1FFF);
    span.flags = raw & 0xC000;
    // Rows fill the page from its end: each ends where the one before it starts.
    span.end =
        row == 0 ? layout_.pageSize : static_cast<int>(Get16(offsets + 2 * row - 2) & 0x1FFF);
    const int headerEnd = layout_.dataRowCount + 2 + 2 * rowCount(page);
    Require(span.start >= headerEnd && span.start <= span.end && span.end <= layout_.pageSize);
    return span;
}

}  // namespace converter::access
