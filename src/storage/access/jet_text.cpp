#include "storage/access/jet_text.h"

#include "storage/paradox/code_page.h"

namespace converter::access {

namespace {

void AppendSegment(QString& text, const unsigned char* bytes, int length, bool compressed) {
    if (compressed) {
        for (int i = 0; i < length; ++i) {
            text.append(QChar(static_cast<char16_t>(bytes[i])));
        }
        return;
    }
    // An odd byte at the end of a two-byte run is no character.
    for (int i = 0; i + 1 < length; i += 2) {
        text.append(QChar(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8)));
    }
}

}  // namespace

QString JetText(const unsigned char* bytes, int length, bool jet3, int codePage) {
    if (length <= 0) {
        return QString(QLatin1String(""));
    }
    if (jet3) {
        // The one place the reader meets code pages.
        return paradox::CodePageFor(codePage).decode(reinterpret_cast<const char*>(bytes), length);
    }
    if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        QString text;
        text.reserve(length);
        int start = 2;
        bool compressed = true;
        for (int i = 2; i < length; ++i) {
            if (bytes[i] == 0) {
                AppendSegment(text, bytes + start, i - start, compressed);
                compressed = !compressed;
                start = i + 1;
            }
        }
        AppendSegment(text, bytes + start, length - start, compressed);
        return text;
    }
    QString text(length / 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (int i = 0; i + 1 < length; i += 2) {
        *out++ = QChar(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    return text;
}

}  // namespace converter::access
