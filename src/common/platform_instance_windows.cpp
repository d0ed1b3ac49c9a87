#include "common/platform_instance.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

namespace converter {

void MarkProgramRunning() {
    // Every user may open the mutex to wait on it, nothing more: each user's copy, whichever
    // started first, then holds the one mutex, which lives until the last copy ends.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100000;;;WD)", SDDL_REVISION_1,
                                                         &descriptor, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // The handle stays open for the process's life: Windows closes it however the process ends.
    if (CreateMutexExW(&attributes, L"Global\\dovi2tarvel-running", 0, SYNCHRONIZE) == nullptr) {
        CreateMutexExW(nullptr, L"Local\\dovi2tarvel-running", 0, SYNCHRONIZE);
    }
    LocalFree(descriptor);
}

}  // namespace converter
