#pragma once

namespace converter {

// A seam for tests of the failed-write paths. After `writes` more successful writes through the
// program's file writers (text files and tables), the next write fails as a full disk would, and
// so does every later one until the count is set again. A negative count turns it off (the
// default).
void FailWriteAfter(int writes);

// Counts one write of a file writer; true when this write must fail.
bool WriteFaultDue();

}  // namespace converter
