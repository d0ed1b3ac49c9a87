#pragma once

#include <QString>

// The Windows program's own fault injection: a library preloaded into a process reaches Linux
// programs only, so the Windows platform layer asks here before each file call it makes. The
// environment names the folder whose calls are counted (FAULT_ROOT), what happens (FAULT_MODE:
// trace, eio, enospc, kill, sharing or denied) and at which call (FAULT_AT, from 1); each counted
// call is appended to FAULT_LOG as "N kind path", and FAULT_NO_LINKS=1 refuses every link there
// as a share without hard links does. Without those variables every call goes on at once.
namespace converter::platform {

// Counts one call of `kind` (create, write, sync, close, rename, link, unlink, mkdir, rmdir,
// lock, hold) on `path` when it lies under the counted folder. Returns 0 to go on, or the Windows
// error code the call must fail with; ends the process just before the call when asked to.
// `needsSpace`: a full disk refuses the call (it does not refuse removals and closes).
unsigned long InjectedFault(const char* kind, const QString& path, bool needsSpace);
// The same for a call on an open file; the path is the one noted when it was opened.
unsigned long InjectedFaultOn(const char* kind, void* handle, bool needsSpace);
// The path of a file opened under `handle` (a HANDLE), for the calls on it; forgotten on close.
void NoteOpened(void* handle, const QString& path);
void NoteClosed(void* handle);

}  // namespace converter::platform
