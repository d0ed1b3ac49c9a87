#include "common/platform_console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

namespace converter {

namespace {

// The console behind a stream; null when the stream goes to a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

void PrepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool IsConsole(std::FILE* stream) {
    const HANDLE console = ConsoleOf(stream);
    if (console == nullptr) {
        return false;
    }
    // Progress lines erase themselves with escape sequences, which consoles obey on request.
    DWORD mode = 0;
    GetConsoleMode(console, &mode);
    SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    return true;
}

void WriteText(std::FILE* stream, const QString& text) {
    if (const HANDLE console = ConsoleOf(stream)) {
        std::fflush(stream);
        const std::wstring wide = text.toStdWString();
        DWORD written = 0;
        WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

}  // namespace converter
