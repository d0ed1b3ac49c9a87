#pragma once

#include <QString>

namespace converter::platform {
// Test seam of the Windows program's file calls for the fault-injection run. Off unless the
// environment names it. Returns 0 to go on, or the Windows error code the call must fail with;
// ends the process just before the call when asked to.
unsigned long InjectedFault(const char* kind, const QString& path, bool needsSpace);
// The same for a call on an open file; the path is the one noted when it was opened.
unsigned long InjectedFaultOn(const char* kind, void* handle, bool needsSpace);
void NoteOpened(void* handle, const QString& path);
void NoteClosed(void* handle);
}  // namespace converter::platform
