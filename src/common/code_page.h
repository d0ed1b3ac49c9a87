#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace converter {

// A single-byte code page as two lookup tables, from our own byte tables (code_page_tables.cpp),
// so that text reads and writes alike on every system whatever converters its Qt was built
// with. Text files are in 1251 or 866; Paradox tables in the code page their header names (1251
// for the tables we write, 866 and others in older files); Jet3 files in the one they declare.
class CodePage {
public:
    // Code pages without a table (and 0) fall back to 1251.
    explicit CodePage(int number = 1251);

    int number() const { return number_; }
    // A byte the page leaves undefined reads as U+FFFD.
    QString decode(const char* bytes, qsizetype length) const;
    // nullopt when a character has no byte in this code page; a zero character, which ends a
    // text in a fixed-size field, is refused as well.
    std::optional<QByteArray> encode(const QString& text) const;
    // The same into `out`, which holds text.size() bytes; false when a character has no byte.
    // Inline: every text of every record written passes through it.
    bool encodeInto(const QString& text, char* out) const {
        const QChar* units = text.constData();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const unsigned char byte = byteOf(units[i].unicode());
            if (byte == 0) {
                return false;
            }
            out[i] = static_cast<char>(byte);
        }
        return true;
    }
    // For text files: a character without a byte becomes "?" (a character outside the basic
    // plane is one character, not two) and is added to *unmappable when given; a zero character
    // is kept.
    QByteArray encodeReplacing(const QString& text, int* unmappable = nullptr) const;

private:
    // The byte of a UTF-16 unit, 0 when it has none: a table of 256 bytes for each block of 256
    // units that holds one of the page's characters, the first of them all zeros for the others.
    unsigned char byteOf(char16_t unit) const {
        return fromUnicode_[blockOf_[unit >> 8]][unit & 0xFF];
    }

    int number_;
    const std::array<char16_t, 256>* toUnicode_;
    std::array<std::uint16_t, 256> blockOf_{};
    std::vector<std::array<unsigned char, 256>> fromUnicode_;
};

// Whether we have a table for a code page number.
bool HasCodePage(int number);

// The shared instance for a code page number; built once.
const CodePage& CodePageFor(int number);

}  // namespace converter
