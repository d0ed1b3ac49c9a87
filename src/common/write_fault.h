#pragma once

namespace converter {

// A seam for tests of the failed-write paths. After `writes` more successful writes through the
// program's file writers (text files and tables), the next write fails as a full disk would, and
// so does every later one until the count is set again. A negative count turns it off (the
// default).
void FailWriteAfter(int writes);

// Counts one write of a file writer; true when this write must fail.
bool WriteFaultDue();

// Counts one rename of a replacement's final step in the same count; true when this rename must
// fail. A rename fails once, as an input/output error would: the count is off after it, so
// that the run's own undoing can be watched.
bool RenameFaultDue();

// The writes and renames still to pass before the fault (negative when off): after a run with a
// large count, how many it made.
int WritesLeft();

}  // namespace converter
