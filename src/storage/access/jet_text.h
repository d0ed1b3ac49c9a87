#pragma once

#include <QString>

namespace converter::access {

// Text as a Jet file stores it. Jet4: UTF-16LE, or "compressed" behind an FF FE mark (runs of
// one byte per character, switched by zero bytes). Jet3: single bytes in the file's code page,
// Windows-1251 when it declares none or one we do not know.
QString JetText(const unsigned char* bytes, int length, bool jet3, int codePage);

}  // namespace converter::access
