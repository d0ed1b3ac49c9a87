#pragma once

#include <QtGlobal>

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace converter::paradox {

// Row numbers of a keyed table hashed by the bytes of their key, in one flat array with linear
// probing: a few bytes per row where a set of nodes took about forty, which counts in a table of
// millions of rows held in memory. Each slot keeps its key's hash beside the row, so that a
// probe compares records only when the hashes agree (a record lies far away in memory) and the
// array grows without reading a record.
class KeyIndex {
public:
    // Where the key of a row lies: the table's records, one after another.
    struct Keys {
        const char* rows = nullptr;
        int recordSize = 0;
        int keySize = 0;
        const char* of(int row) const { return rows + static_cast<qsizetype>(row) * recordSize; }
    };

    // Where a key was looked for: the slot it is in, or the free slot it would go into.
    struct Probe {
        size_t slot = 0;
        std::uint32_t hash = 0;
        bool found = false;
    };

    void clear() {
        slots_.clear();
        shift_ = 32;
        count_ = 0;
    }
    int size() const { return count_; }

    bool contains(const char* key, const Keys& keys) const {
        return !slots_.empty() && find(key, keys).found;
    }

    // Looks a key up with room for one more row made beforehand, so that insertAt() may follow
    // once the row is stored; nothing else may change the index in between.
    Probe probeForInsert(const char* key, const Keys& keys) {
        if ((static_cast<size_t>(count_) + 1) * 4 > slots_.size() * 3) {
            grow();
        }
        return find(key, keys);
    }
    void insertAt(const Probe& probe, int row) {
        slots_[probe.slot] = Slot{probe.hash, row};
        ++count_;
    }

    // Adds a row; false, and nothing added, when a row with the same key is there already.
    bool insert(int row, const Keys& keys) {
        const Probe probe = probeForInsert(keys.of(row), keys);
        if (probe.found) {
            return false;
        }
        insertAt(probe, row);
        return true;
    }

    // Removes a row while its key is still the one it was added with.
    void erase(int row, const Keys& keys) {
        if (slots_.empty()) {
            return;
        }
        size_t i = home(Hash(keys.of(row), keys.keySize));
        while (slots_[i].row != row) {
            if (slots_[i].row < 0) {
                return;
            }
            i = next(i);
        }
        // Rows after the hole that would no longer be found move into it.
        for (size_t j = next(i); slots_[j].row >= 0; j = next(j)) {
            const size_t k = home(slots_[j].hash);
            const bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
            if (!stays) {
                slots_[i] = slots_[j];
                i = j;
            }
        }
        slots_[i].row = -1;
        --count_;
    }

private:
    struct Slot {
        std::uint32_t hash = 0;
        int row = -1;  // -1: empty
    };

    // A multiplicative hash of the key's bytes, eight at a time: keys are short, and a call into
    // the library's string hash cost more than the rest of a lookup.
    static std::uint32_t Hash(const char* key, int size) {
        auto n = static_cast<size_t>(size);
        std::uint64_t h = 0x9E3779B97F4A7C15ull * (n + 1);
        std::uint64_t word = 0;
        for (; n >= 8; n -= 8, key += 8) {
            std::memcpy(&word, key, 8);
            h = (h ^ word) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 29;
        }
        if (n > 0) {
            word = 0;
            std::memcpy(&word, key, n);
            h = (h ^ word) * 0xC4CEB9FE1A85EC53ull;
        }
        h ^= h >> 32;
        h *= 0xFF51AFD7ED558CCDull;
        return static_cast<std::uint32_t>(h >> 32);
    }

    // The top bits of the hash choose the slot, so that the hash alone places a row again when
    // the array doubles. Only asked while there are slots.
    size_t home(std::uint32_t hash) const { return hash >> shift_; }
    size_t next(size_t i) const { return (i + 1) & (slots_.size() - 1); }

    Probe find(const char* key, const Keys& keys) const {
        const std::uint32_t hash = Hash(key, keys.keySize);
        for (size_t i = home(hash);; i = next(i)) {
            const Slot& slot = slots_[i];
            if (slot.row < 0) {
                return Probe{i, hash, false};
            }
            if (slot.hash == hash &&
                std::memcmp(keys.of(slot.row), key, static_cast<size_t>(keys.keySize)) == 0) {
                return Probe{i, hash, true};
            }
        }
    }

    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        const size_t size = old.empty() ? 1024 : old.size() * 2;
        slots_.assign(size, Slot{});
        shift_ = 32 - static_cast<int>(std::countr_zero(size));
        for (const Slot& slot : old) {
            if (slot.row >= 0) {
                size_t i = home(slot.hash);
                while (slots_[i].row >= 0) {
                    i = next(i);
                }
                slots_[i] = slot;
            }
        }
    }

    std::vector<Slot> slots_;  // a power of two in size
    int shift_ = 32;           // 32 minus the bits of a slot number
    int count_ = 0;
};

}  // namespace converter::paradox
