#include "common/code_page.h"

#include "common/code_page_tables.h"

#include <map>
#include <memory>
#include <mutex>

namespace converter {

CodePage::CodePage(int number)
    : number_(HasCodePage(number) ? number : 1251),
      toUnicode_(CodePageTableOf(number_)),
      fromUnicode_(1) {
    for (int byte = 1; byte < 256; ++byte) {
        const char16_t unit = (*toUnicode_)[static_cast<size_t>(byte)];
        if (unit == u'\uFFFD') {
            continue;
        }
        std::uint16_t& block = blockOf_[unit >> 8];
        if (block == 0) {
            block = static_cast<std::uint16_t>(fromUnicode_.size());
            fromUnicode_.emplace_back();
        }
        // Were two bytes to stand for one character, the first would be written.
        unsigned char& encoded = fromUnicode_[block][unit & 0xFF];
        if (encoded == 0) {
            encoded = static_cast<unsigned char>(byte);
        }
    }
}

QString CodePage::decode(const char* bytes, qsizetype length) const {
    QString text(length, Qt::Uninitialized);
    QChar* out = text.data();
    const std::array<char16_t, 256>& table = *toUnicode_;
    for (qsizetype i = 0; i < length; ++i) {
        out[i] = QChar(table[static_cast<unsigned char>(bytes[i])]);
    }
    return text;
}

std::optional<QByteArray> CodePage::encode(const QString& text) const {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    if (!encodeInto(text, bytes.data())) {
        return std::nullopt;
    }
    return bytes;
}

QByteArray CodePage::encodeReplacing(const QString& text, int* unmappable) const {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    const QChar* units = text.constData();
    qsizetype written = 0;
    int lost = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = units[i].unicode();
        unsigned char byte = byteOf(unit);
        if (byte == 0 && unit != 0) {
            if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
                units[i + 1].isLowSurrogate()) {
                ++i;
            }
            byte = '?';
            ++lost;
        }
        out[written++] = static_cast<char>(byte);
    }
    bytes.truncate(written);
    if (unmappable != nullptr) {
        *unmappable += lost;
    }
    return bytes;
}

bool HasCodePage(int number) {
    return CodePageTableOf(number) != nullptr;
}

const CodePage& CodePageFor(int number) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<CodePage>> pages;
    const std::lock_guard<std::mutex> lock(mutex);
    const int key = HasCodePage(number) ? number : 1251;
    auto& page = pages[key];
    if (!page) {
        page = std::make_unique<CodePage>(key);
    }
    return *page;
}

}  // namespace converter
