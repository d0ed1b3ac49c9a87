#include "storage/paradox/code_page.h"

#include <QStringDecoder>

#include <map>
#include <memory>
#include <mutex>

namespace converter::paradox {

namespace {

const char* CodecName(int number) {
    switch (number) {
        case 437:
            return "IBM437";
        case 850:
            return "IBM850";
        case 852:
            return "IBM852";
        case 865:
            return "IBM865";
        case 866:
            return "IBM866";
        case 1250:
            return "windows-1250";
        case 1252:
            return "windows-1252";
        case 1251:
            return "windows-1251";
        default:
            return nullptr;
    }
}

}  // namespace

CodePage::CodePage(int number) : number_(CodecName(number) ? number : 1251), fromUnicode_(1) {
    QStringDecoder decoder(CodecName(number_));
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        QString decoded =
            decoder.isValid() && byte >= 0x80 ? decoder(QByteArray(&c, 1)) : QString();
        char16_t unit = byte < 0x80 ? static_cast<char16_t>(byte) : u'\uFFFD';
        if (decoded.size() == 1) {
            unit = decoded.at(0).unicode();
        }
        toUnicode_[static_cast<size_t>(byte)] = unit;
        if (unit == u'\uFFFD' || unit == 0 || byte == 0) {
            continue;
        }
        std::uint16_t& block = blockOf_[unit >> 8];
        if (block == 0) {
            block = static_cast<std::uint16_t>(fromUnicode_.size());
            fromUnicode_.emplace_back();
        }
        // Where two bytes decode to one character, the first stands for it.
        unsigned char& encoded = fromUnicode_[block][unit & 0xFF];
        if (encoded == 0) {
            encoded = static_cast<unsigned char>(byte);
        }
    }
}

QString CodePage::decode(const char* bytes, qsizetype length) const {
    QString text(length, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < length; ++i) {
        out[i] = QChar(toUnicode_[static_cast<unsigned char>(bytes[i])]);
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

const CodePage& CodePageFor(int number) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<CodePage>> pages;
    const std::lock_guard<std::mutex> lock(mutex);
    const int key = CodecName(number) ? number : 1251;
    auto& page = pages[key];
    if (!page) {
        page = std::make_unique<CodePage>(key);
    }
    return *page;
}

}  // namespace converter::paradox
