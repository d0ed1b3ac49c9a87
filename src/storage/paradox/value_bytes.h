#pragma once

// How numbers lie in record bytes: integers big-endian with the sign bit flipped, doubles with
// their bits arranged so that byte order is numeric order. Inline, as every numeric field of
// every record passes through them.
#include <QtGlobal>

#include <cstdint>
#include <cstring>

namespace converter::paradox {

inline std::uint32_t ReadBe32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t{u[0]} << 24) | (std::uint32_t{u[1]} << 16) | (std::uint32_t{u[2]} << 8) |
           std::uint32_t{u[3]};
}

inline void WriteBe32(char* p, std::uint32_t v) {
    p[0] = static_cast<char>(v >> 24);
    p[1] = static_cast<char>(v >> 16);
    p[2] = static_cast<char>(v >> 8);
    p[3] = static_cast<char>(v);
}

inline qint32 DecodeInt32(const char* p) {
    return static_cast<qint32>(ReadBe32(p) ^ 0x80000000u);
}

inline void EncodeInt32(char* p, qint32 v) {
    WriteBe32(p, static_cast<std::uint32_t>(v) ^ 0x80000000u);
}

inline double DecodeDouble(const char* p) {
    std::uint64_t bits = (std::uint64_t{ReadBe32(p)} << 32) | ReadBe32(p + 4);
    bits = (bits & 0x8000000000000000ull) ? (bits & 0x7FFFFFFFFFFFFFFFull) : ~bits;
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void EncodeDouble(char* p, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
    WriteBe32(p, static_cast<std::uint32_t>(bits >> 32));
    WriteBe32(p + 4, static_cast<std::uint32_t>(bits));
}

}  // namespace converter::paradox
