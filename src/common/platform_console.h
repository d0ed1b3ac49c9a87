#pragma once

#include <QLocale>
#include <QString>

#include <cstdio>

// The console program's standard streams and the user's language, which differ between systems:
// a Windows console takes wide characters, a redirected stream takes bytes everywhere.
namespace converter {

// Sets the standard streams up for WriteText: on Windows binary, so that redirected output has
// the same bytes as on Linux.
void PrepareStandardStreams();

// What a stream is to progress lines, which rewrite themselves in place.
enum class ConsoleKind {
    None,     // a file or a pipe: no progress lines
    Plain,    // a console that shows escape sequences as text (the legacy Windows console)
    Escapes,  // a terminal, or a console that obeys escape sequences
};
ConsoleKind ConsoleKindOf(std::FILE* stream);

// The bytes of text that goes anywhere but a Windows console window. PowerShell 5.1 decodes a
// program's redirected output in the console's code page, so the user may ask for that instead
// of UTF-8: Oem is the console's code page (Linux: 866), Ansi the system's (Linux: 1251).
enum class OutputEncoding { Utf8, Oem, Ansi };
void SetOutputEncoding(OutputEncoding encoding);

// Writes text to a standard stream: to a Windows console as wide characters (readable whatever
// its code page), anywhere else as bytes of the output encoding.
void WriteText(std::FILE* stream, const QString& text);

// The language the user reads programs in: on Windows the user's interface language, elsewhere
// the locale's (LC_ALL, LC_MESSAGES, LANG, whether or not the locale is installed).
QLocale::Language UserLanguage();

}  // namespace converter
