#pragma once

#include <QIcon>

namespace converter {

// The program's icon (a fir tree over a page of data), drawn at the usual sizes.
QIcon ProgramIcon();

}  // namespace converter
