#pragma once

#include <QString>

#include <cstdio>

// The console program's standard streams, which differ between systems: a Windows console takes
// wide characters, a redirected stream takes bytes everywhere.
namespace converter {

// Sets the standard streams up for WriteText: on Windows binary, so that redirected output has
// the same bytes as on Linux.
void PrepareStandardStreams();

// True when `stream` is a terminal or console window (progress lines go there only).
bool IsConsole(std::FILE* stream);

// Writes text to a standard stream: to a Windows console as wide characters (readable whatever
// its code page), anywhere else as UTF-8.
void WriteText(std::FILE* stream, const QString& text);

}  // namespace converter
