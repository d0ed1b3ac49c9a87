#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <unordered_map>

namespace converter::paradox {

// A single-byte code page as two lookup tables: tables hold text in the code page their header
// names (1251 for the tables we write, 866 and others in older files).
class CodePage {
public:
    // Unknown or multi-byte code pages (and 0) fall back to 1251.
    explicit CodePage(int number = 1251);

    int number() const { return number_; }
    QString decode(const char* bytes, qsizetype length) const;
    // nullopt when a character has no byte in this code page.
    std::optional<QByteArray> encode(const QString& text) const;
    // The same into `out`, which holds text.size() bytes; false when a character has no byte.
    bool encodeInto(const QString& text, char* out) const;

private:
    int number_;
    std::array<char16_t, 256> toUnicode_{};
    std::unordered_map<char16_t, unsigned char> fromUnicode_;
};

// The shared instance for a code page number; built once.
const CodePage& CodePageFor(int number);

}  // namespace converter::paradox
