#pragma once

#include "formation/reference_file.h"

#include <vector>

namespace converter {

// The value books that the program itself defines (the enterprise, site classes, aspects, age
// groups), in the order in which they are added after the reference files: 29 rows in 4 books.
const std::vector<SptabEntry>& FixedBookEntries();

}  // namespace converter
