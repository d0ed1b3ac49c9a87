#include "common/code_page.h"
#include "common/platform_console.h"

#include <unistd.h>

namespace converter {

namespace {

OutputEncoding outputEncoding = OutputEncoding::Utf8;

}  // namespace

void PrepareStandardStreams() {}

ConsoleKind ConsoleKindOf(std::FILE* stream) {
    return isatty(fileno(stream)) != 0 ? ConsoleKind::Escapes : ConsoleKind::None;
}

void SetOutputEncoding(OutputEncoding encoding) {
    outputEncoding = encoding;
}

void WriteText(std::FILE* stream, const QString& text) {
    // The code pages a Russian Windows gives its console and its programs, for files that go there.
    QByteArray bytes;
    switch (outputEncoding) {
        case OutputEncoding::Utf8:
            bytes = text.toUtf8();
            break;
        case OutputEncoding::Oem:
            bytes = CodePageFor(866).encodeReplacing(text);
            break;
        case OutputEncoding::Ansi:
            bytes = CodePageFor(1251).encodeReplacing(text);
            break;
    }
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

QLocale::Language UserLanguage() {
    // Qt reads the variables themselves, so a locale that is not generated still counts.
    return QLocale::system().language();
}

}  // namespace converter
