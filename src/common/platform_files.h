#pragma once

#include <QString>

#include <utility>

// The few file-system and process calls whose form differs between systems. Every function
// returns the system's error code of the failing call (0 when done), read at once where the call
// failed; SystemErrorText and ErrorKindOf interpret those codes.
namespace converter::platform {

// A new file to write, replacing any file of that name; `handle` is set when made.
int CreateFile(const QString& path, int& handle);
// Writes all of `size` bytes.
int WriteAll(int handle, const char* data, qint64 size);
// Closes a handle of CreateFile; an error here may be a write that failed late.
int CloseFile(int handle);

// Moves `from` to `to`, replacing a file there in one step.
int RenameOver(const QString& from, const QString& to);
// A second name `link` for the existing file `existing` (the same data, no copy).
int HardLink(const QString& existing, const QString& link);
int MakeFolder(const QString& path);
// True when `error` of HardLink says the file system keeps one name a file (FAT, some network
// shares).
bool LinksUnsupported(int error);
// Removes a file; a missing one is no error.
int RemoveFile(const QString& path);
// Flushes a file's or a folder's entries to the disk. Systems and file systems that cannot sync
// that kind of object count as done.
int SyncPath(const QString& path);
// The same for a file open under the descriptor `handle` (QFile::handle()).
int SyncHandle(int handle);
// True when the files are one and the same (two names of one file).
bool SameFile(const QString& first, const QString& second);

// True when another program holds the file open so that it can be neither replaced nor removed
// (on Windows, where the GIS keeps its tables open); never where open files can be replaced.
bool HeldOpen(const QString& path);

// A file of a final step kept from other programs until it is let go: on Windows it is open with
// delete access and shared for deletion only, so that no other program can open, replace or
// remove it, and it is renamed through that handle. Where open files never stop a rename nothing
// is held (`handle` stays null). EBUSY when another program has the file open.
using HeldHandle = void*;
int HoldForStep(const QString& path, HeldHandle& handle);
// Moves a held file to `to`, replacing a file there.
int RenameHeld(HeldHandle handle, const QString& to);
void ReleaseHeld(HeldHandle handle);
// True when the file's own attribute makes it read-only, so that it can be neither replaced nor
// removed (Windows); never where only the folder's permissions count.
bool ReadOnlyAttribute(const QString& path);
// True when the file system takes two names that differ only in letter case for one (Windows,
// Cyrillic included).
bool NamesIgnoreCase();
// The size and the modification time (in nanoseconds) of the file open under `handle`: what a
// save in place changes; {-1, -1} when unknown.
std::pair<qint64, qint64> OpenFileStamp(int handle);
// True when files can be made in `folder`. Windows calls Program Files writable for users who
// cannot write there, so it is tried there.
bool FolderTakesFiles(const QString& folder);
// The program's folder for every user of the machine, which the administrator fills and
// installers and packages leave alone: /etc/dovi2tarvel, %PROGRAMDATA%\dovi2tarvel. Empty when
// the system names none.
QString MachineWideFolder();

qint64 ProcessId();
// False only when no process `pid` runs on this machine.
bool ProcessRunning(qint64 pid);

// The classes of errors that the user is told in our own words.
enum class ErrorKind { NoPermission, NoSpace, ReadOnly, InUse, Missing, InputOutput, Other };
ErrorKind ErrorKindOf(int error);
// The system's own words for an error, in Russian where we have words of our own.
QString SystemErrorText(int error);
// Our own words for the C library's codes that file calls give; empty for the rest.
QString OwnErrorWords(int error);

// An exclusive lock on a lock file that the system releases when its holder ends, however it
// ends. `handle` is set when locked.
enum class LockOutcome { Locked, Busy, Failed };
LockOutcome TryLockFile(const QString& path, int& handle, int& error);
// Unlocks, removing the lock file first so that nobody takes a lock on a name that is going.
void ReleaseLockFile(int handle, const QString& path);

}  // namespace converter::platform
