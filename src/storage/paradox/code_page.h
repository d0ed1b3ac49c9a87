#pragma once

// The code pages live with text files in common; the Paradox engine and its readers keep naming
// them here.
#include "common/code_page.h"

namespace converter::paradox {

using converter::CodePage;
using converter::CodePageFor;

}  // namespace converter::paradox
