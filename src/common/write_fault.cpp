#include "common/write_fault.h"

namespace converter {

namespace {

// Everything runs on one thread; only tests ever set this.
int writesLeft = -1;

}  // namespace

void FailWriteAfter(int writes) {
    writesLeft = writes;
}

bool WriteFaultDue() {
    if (writesLeft < 0) {
        return false;
    }
    if (writesLeft == 0) {
        return true;
    }
    --writesLeft;
    return false;
}

bool RenameFaultDue() {
    const bool due = WriteFaultDue();
    if (due) {
        writesLeft = -1;
    }
    return due;
}

int WritesLeft() {
    return writesLeft;
}

}  // namespace converter
