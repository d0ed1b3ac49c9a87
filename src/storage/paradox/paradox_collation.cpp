// Key order of keyed tables. Under the Cyrillic ANSI driver (`ancyrr`, sort byte 0x8F over code
// page 1251) the reading program finds records through the primary index only if they are
// stored in that driver's order, which differs from byte order as soon as a key holds lower
// case or Cyrillic letters.
#include "storage/paradox/paradox_collation.h"

#include "storage/paradox/paradox_table.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace converter::paradox {

namespace {

constexpr std::uint8_t kCyrillicDriverSortOrder = 0x8F;
constexpr unsigned char kUpperIo = 0xA8;  // Ё
constexpr unsigned char kLowerIo = 0xB8;  // ё

// The primary weight of each cp1251 byte under `ancyrr`, built from the order of classes:
// control characters, blank, signs up to '@' and the digits in byte order; Latin letters with
// both cases on one weight; Cyrillic letters likewise, Ё right after Е; the signs [\]^_` and
// {|}~ with 0x7F; then the rest of 0x80-0xBF in byte order (Ґ, Є, І and the like are not
// letters to this driver and keep their case apart).
constexpr std::array<std::uint8_t, 256> CyrillicAnsiWeights() {
    std::array<std::uint8_t, 256> weight{};
    int next = 0;
    for (int b = 0x00; b <= 0x40; ++b) {
        weight[static_cast<size_t>(b)] = static_cast<std::uint8_t>(next++);
    }
    for (int letter = 0; letter < 26; ++letter) {
        weight[static_cast<size_t>('A' + letter)] = static_cast<std::uint8_t>(next);
        weight[static_cast<size_t>('a' + letter)] = static_cast<std::uint8_t>(next++);
    }
    for (int letter = 0; letter < 32; ++letter) {  // А..Я at 0xC0, а..я at 0xE0
        if (letter == 6) {                         // Ж: Ё comes first
            weight[kUpperIo] = static_cast<std::uint8_t>(next);
            weight[kLowerIo] = static_cast<std::uint8_t>(next++);
        }
        weight[static_cast<size_t>(0xC0 + letter)] = static_cast<std::uint8_t>(next);
        weight[static_cast<size_t>(0xE0 + letter)] = static_cast<std::uint8_t>(next++);
    }
    for (int b = 0x5B; b <= 0x60; ++b) {
        weight[static_cast<size_t>(b)] = static_cast<std::uint8_t>(next++);
    }
    for (int b = 0x7B; b <= 0x7F; ++b) {
        weight[static_cast<size_t>(b)] = static_cast<std::uint8_t>(next++);
    }
    for (int b = 0x80; b <= 0xBF; ++b) {
        if (b != kUpperIo && b != kLowerIo) {
            weight[static_cast<size_t>(b)] = static_cast<std::uint8_t>(next++);
        }
    }
    return weight;
}

constexpr std::array<std::uint8_t, 256> kWeight = CyrillicAnsiWeights();

// Of two different bytes with one weight (the two cases of a letter), the lower-case one.
bool IsLowerCaseLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || c >= 0xE0 || c == kLowerIo;
}

// Compares two Alpha fields of `length` bytes. The zero bytes that pad a text weigh least, so a
// text sorts before every longer text it begins. Case decides only between texts whose weights
// are all equal, at the first letter whose case differs, lower case first.
int CompareCyrillicAnsi(const unsigned char* a, const unsigned char* b, int length) {
    int byCase = 0;
    for (int i = 0; i < length; ++i) {
        if (a[i] == b[i]) {
            continue;
        }
        const int wa = kWeight[a[i]];
        const int wb = kWeight[b[i]];
        if (wa != wb) {
            return wa < wb ? -1 : 1;
        }
        if (byCase == 0) {
            byCase = IsLowerCaseLetter(a[i]) ? -1 : 1;
        }
    }
    return byCase;
}

}  // namespace

bool HasCyrillicAnsiOrder(const LanguageDriver& driver) {
    // The sort byte alone also names a cp852 driver: the name decides, or the code page when a
    // header carries no name.
    if (!driver.id.isEmpty()) {
        return driver.id.compare("ancyrr", Qt::CaseInsensitive) == 0;
    }
    return driver.sortOrder == kCyrillicDriverSortOrder && driver.codePage == 1251;
}

KeyOrder::KeyOrder(const std::vector<ParadoxField>& fields, int keyFields,
                   const LanguageDriver& driver) {
    const bool cyrillic = HasCyrillicAnsiOrder(driver);
    for (int f = 0; f < keyFields && f < static_cast<int>(fields.size()); ++f) {
        const ParadoxField& field = fields[static_cast<size_t>(f)];
        const bool driverOrdered = cyrillic && field.type == kAlpha;
        if (!driverOrdered && !segments_.empty() && !segments_.back().driverOrdered) {
            segments_.back().length += field.length;
        } else {
            segments_.push_back(Segment{field.offset, field.length, driverOrdered});
        }
    }
}

int KeyOrder::compare(const char* a, const char* b) const {
    for (const Segment& segment : segments_) {
        const auto* left = reinterpret_cast<const unsigned char*>(a + segment.offset);
        const auto* right = reinterpret_cast<const unsigned char*>(b + segment.offset);
        const int order = segment.driverOrdered
                              ? CompareCyrillicAnsi(left, right, segment.length)
                              : std::memcmp(left, right, static_cast<size_t>(segment.length));
        if (order != 0) {
            return order;
        }
    }
    return 0;
}

}  // namespace converter::paradox
