#include "common/platform_console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

namespace converter {

namespace {

OutputEncoding outputEncoding = OutputEncoding::Utf8;

// The console behind a stream; null when the stream goes to a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

UINT CodePageOf(OutputEncoding encoding) {
    switch (encoding) {
        case OutputEncoding::Oem:
            // What PowerShell decodes with; a process without a console has none.
            if (const UINT console = GetConsoleOutputCP()) {
                return console;
            }
            return GetOEMCP();
        case OutputEncoding::Ansi:
            return GetACP();
        case OutputEncoding::Utf8:
            break;
    }
    return CP_UTF8;
}

QByteArray Encoded(const QString& text) {
    const UINT codePage = CodePageOf(outputEncoding);
    if (codePage == CP_UTF8 || text.isEmpty()) {
        return text.toUtf8();
    }
    // Characters the code page lacks become its default character.
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(codePage, 0, wide, length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

}  // namespace

void PrepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

ConsoleKind ConsoleKindOf(std::FILE* stream) {
    const HANDLE console = ConsoleOf(stream);
    DWORD mode = 0;
    if (console == nullptr || !GetConsoleMode(console, &mode)) {
        return ConsoleKind::None;
    }
    // Consoles obey escape sequences on request; the legacy console refuses the request.
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        return ConsoleKind::Escapes;
    }
    return ConsoleKind::Plain;
}

void SetOutputEncoding(OutputEncoding encoding) {
    outputEncoding = encoding;
}

void WriteText(std::FILE* stream, const QString& text) {
    if (const HANDLE console = ConsoleOf(stream)) {
        std::fflush(stream);
        const std::wstring wide = text.toStdWString();
        DWORD written = 0;
        WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = Encoded(text);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

QLocale::Language UserLanguage() {
    // QLocale::system() follows the formats the user chose, not the language Windows speaks.
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID id = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    if (LCIDToLocaleName(id, name, LOCALE_NAME_MAX_LENGTH, 0) == 0) {
        return QLocale::English;
    }
    return QLocale(QString::fromWCharArray(name)).language();
}

}  // namespace converter
