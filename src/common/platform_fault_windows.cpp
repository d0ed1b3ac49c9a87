#include "common/platform_fault.h"

// Placeholder until the seam lands: never faults.
namespace converter::platform {
unsigned long InjectedFault(const char*, const QString&, bool) {
    return 0;
}
unsigned long InjectedFaultOn(const char*, void*, bool) {
    return 0;
}
void NoteOpened(void*, const QString&) {}
void NoteClosed(void*) {}
}  // namespace converter::platform
