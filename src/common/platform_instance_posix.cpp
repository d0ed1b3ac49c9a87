#include "common/platform_instance.h"

namespace converter {

void MarkProgramRunning() {}

}  // namespace converter
