#pragma once

#include <QString>

#include <cstdio>
#include <utility>

class QFileDevice;

// What differs between Windows and Linux: file replacement and syncing, a file held open by
// another program, writable folders, the console. Everything else uses Qt.
namespace converter {

// Moves `from` over `to`, replacing it (on Windows with write-through); the system's reason on
// failure, empty when done.
QString MoveReplacing(const QString& from, const QString& to);

// Removes a file; a missing one is no failure. The system's reason on failure, empty when done.
QString RemoveFile(const QString& path);

// Flushes the data of a file, of an open file, of a folder's entries (Windows has no folder
// sync: nothing to do there) to the disk; the system's reason on failure, empty when done.
QString SyncFile(const QString& path);
QString SyncOpenFile(const QFileDevice& file);
QString SyncFolder(const QString& path);

// True when another program holds the file open so that it can be neither replaced nor removed
// (Windows: the GIS keeps its tables open). Always false where an open file can be replaced.
bool FileHeldOpen(const QString& path);

// The size and the modification time (in nanoseconds) of an open file: what a save in place
// changes; {-1, -1} when unknown.
std::pair<qint64, qint64> OpenFileStamp(const QFileDevice& file);

// True when files can be made in `folder`. Windows reports Program Files as writable to users
// who cannot write there, so it is tried.
bool FolderTakesFiles(const QString& folder);

// Sets the standard streams up for WriteText: on Windows binary, so that redirected output has
// the same bytes as on Linux.
void PrepareStandardStreams();

// True when `stream` is a terminal or console window (progress lines go there only).
bool IsConsole(std::FILE* stream);

// Writes text to a standard stream: to a Windows console as wide characters (readable whatever
// its code page), anywhere else as UTF-8.
void WriteText(std::FILE* stream, const QString& text);

}  // namespace converter
