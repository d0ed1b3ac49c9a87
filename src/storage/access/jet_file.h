#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace converter::access {

// Thrown by every check of the reader; the file's front turns it into the one message a user
// sees for a damaged or foreign file.
struct JetDamaged {};

// Where the two Jet generations keep the same things.
struct JetLayout {
    bool jet3 = false;
    int pageSize = 4096;
    int dataRowCount = 12;  // data page: number of rows, then their offsets
    int tdefRowCount = 16;  // table definition: rows in the table
    int tdefVarColumns = 43;
    int tdefColumns = 45;
    int tdefRealIndexes = 51;
    int tdefUsedPages = 55;
    int tdefFirstIndex = 63;
    int realIndexSize = 12;
    int columnSize = 25;
    int columnNumber = 5;
    int columnVarIndex = 7;
    int columnPrecision = 11;
    int columnScale = 12;
    int columnFlags = 15;
    int columnFixedOffset = 21;
    int columnLength = 23;
    int nameLengthSize = 2;  // column names: length then bytes
    int rowCountSize = 2;    // in a row: its column count, and its variable offsets
};

// A Jet3 or Jet4 file held in memory. Every read of a page, offset or length goes through the
// checked helpers below, which throw JetDamaged rather than read outside the file or the page.
class JetFile {
public:
    // Checks the header and decodes what the header keeps masked. JetDamaged when the bytes are
    // not a Jet file or are not whole pages.
    explicit JetFile(QByteArray bytes);

    const JetLayout& layout() const { return layout_; }
    bool isJet3() const { return layout_.jet3; }
    int pageSize() const { return layout_.pageSize; }
    int pageCount() const { return pageCount_; }
    int codePage() const { return codePage_; }
    int sortOrder() const { return sortOrder_; }

    // The page's first byte; JetDamaged for a page outside the file.
    const unsigned char* page(int64_t number) const;
    unsigned char pageType(int64_t number) const { return page(number)[0]; }

    // A row's bytes [start, end) inside its page, from the page's offset table; `flags` gets the
    // offset's two top bits (0x8000 deleted, 0x4000 moved to another page).
    struct RowSpan {
        int start = 0;
        int end = 0;
        unsigned flags = 0;
    };
    int rowCount(const unsigned char* page) const;
    RowSpan rowSpan(const unsigned char* page, int row) const;

private:
    QByteArray bytes_;
    JetLayout layout_;
    int pageCount_ = 0;
    int codePage_ = 0;
    int sortOrder_ = 0;
};

inline unsigned Get16(const unsigned char* p) {
    return static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8;
}

inline uint32_t Get32(const unsigned char* p) {
    return static_cast<uint32_t>(Get16(p)) | static_cast<uint32_t>(Get16(p + 2)) << 16;
}

// Bounds of a read of `length` bytes at `offset` in a block of `size` bytes.
inline void Require(bool condition) {
    if (!condition) {
        throw JetDamaged{};
    }
}

inline void RequireInside(int64_t offset, int64_t length, int64_t size) {
    Require(offset >= 0 && length >= 0 && offset <= size && length <= size - offset);
}

}  // namespace converter::access
