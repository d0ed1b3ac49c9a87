# Cross-compiling for 32-bit Windows (7 and later) with Debian's MinGW-w64, for the build against
# Qt 5.15.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Doubles computed in SSE2 registers, as on x64, not in the x87 unit's 80 bits: a value read,
# converted and written must come out bit for bit as on the other systems. Windows keeps the
# stack of a 32-bit program aligned to 4 bytes only; functions realign it where SSE needs 16.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
