#pragma once

#include <array>

namespace converter {

// The byte table of a code page we hold (437, 850, 852, 865, 866, 1250, 1251, 1252), nullptr for
// any other number.
const std::array<char16_t, 256>* CodePageTableOf(int number);

}  // namespace converter
