#pragma once

#include <algorithm>
#include <vector>

namespace converter::paradox {

struct ParadoxField;
struct LanguageDriver;

// The order of a table's primary keys, as the engine that reads the table looks records up by
// it: key fields one after another, Alpha text in the order of the table's language driver,
// every other type by its encoded bytes (which are built so that byte order is value order).
// Only the Cyrillic ANSI driver `ancyrr` has an order of its own here; `ascii` and every driver
// we do not know compare Alpha text byte by byte.
//
// Two keys compare equal only when their bytes are equal (letters that differ only in case
// are still told apart), so keys may be hashed by their bytes.
class KeyOrder {
public:
    // Byte order over no bytes: every key equal. Replaced before keys are compared.
    KeyOrder() = default;
    KeyOrder(const std::vector<ParadoxField>& fields, int keyFields, const LanguageDriver& driver);

    // Negative, zero or positive as key `a` sorts before, with or after key `b`.
    int compare(const char* a, const char* b) const;
    bool operator()(const char* a, const char* b) const { return compare(a, b) < 0; }
    // How many leading key bytes (at most 8) order keys by plain byte comparison, so that they
    // may be compared as one big-endian number before the rest is looked at.
    int bytePrefixLength() const {
        return segments_.empty() || segments_.front().driverOrdered || segments_.front().offset != 0
                   ? 0
                   : std::min(segments_.front().length, 8);
    }

private:
    // A run of key bytes compared one way: consecutive byte-ordered fields form one run.
    struct Segment {
        int offset = 0;
        int length = 0;
        bool driverOrdered = false;
    };
    std::vector<Segment> segments_;
};

// Whether Alpha keys of tables of this driver follow the Cyrillic ANSI order rather than bytes.
bool HasCyrillicAnsiOrder(const LanguageDriver& driver);

}  // namespace converter::paradox
