#include "common/platform_console.h"

#include <unistd.h>

namespace converter {

void PrepareStandardStreams() {}

bool IsConsole(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void WriteText(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

}  // namespace converter
