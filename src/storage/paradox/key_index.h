#pragma once

#include <QtGlobal>

#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

namespace converter::paradox {

// Row numbers of a keyed table hashed by the bytes of their key, in one flat array with linear
// probing: a few bytes per row where a set of nodes took about forty, which counts in a table of
// millions of rows held in memory.
class KeyIndex {
public:
    // Where the key of a row lies: the table's records, one after another.
    struct Keys {
        const char* rows = nullptr;
        int recordSize = 0;
        int keySize = 0;
        const char* of(int row) const { return rows + static_cast<qsizetype>(row) * recordSize; }
    };

    void clear() {
        slots_.clear();
        count_ = 0;
    }
    int size() const { return count_; }

    bool contains(const char* key, const Keys& keys) const {
        if (slots_.empty()) {
            return false;
        }
        for (size_t i = home(key, keys);; i = next(i)) {
            const int row = slots_[i];
            if (row < 0) {
                return false;
            }
            if (same(keys.of(row), key, keys)) {
                return true;
            }
        }
    }

    // Adds a row; false, and nothing added, when a row with the same key is there already.
    bool insert(int row, const Keys& keys) {
        if ((static_cast<size_t>(count_) + 1) * 2 > slots_.size()) {
            grow(keys);
        }
        const char* key = keys.of(row);
        for (size_t i = home(key, keys);; i = next(i)) {
            if (slots_[i] < 0) {
                slots_[i] = row;
                ++count_;
                return true;
            }
            if (same(keys.of(slots_[i]), key, keys)) {
                return false;
            }
        }
    }

    // Removes a row while its key is still the one it was added with.
    void erase(int row, const Keys& keys) {
        if (slots_.empty()) {
            return;
        }
        size_t i = home(keys.of(row), keys);
        while (slots_[i] != row) {
            if (slots_[i] < 0) {
                return;
            }
            i = next(i);
        }
        // Rows after the hole that would no longer be found move into it.
        for (size_t j = next(i); slots_[j] >= 0; j = next(j)) {
            const size_t k = home(keys.of(slots_[j]), keys);
            const bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
            if (!stays) {
                slots_[i] = slots_[j];
                i = j;
            }
        }
        slots_[i] = -1;
        --count_;
    }

private:
    size_t home(const char* key, const Keys& keys) const {
        return std::hash<std::string_view>()(
                   std::string_view(key, static_cast<size_t>(keys.keySize))) &
               (slots_.size() - 1);
    }
    size_t next(size_t i) const { return (i + 1) & (slots_.size() - 1); }
    static bool same(const char* a, const char* b, const Keys& keys) {
        return std::memcmp(a, b, static_cast<size_t>(keys.keySize)) == 0;
    }
    void grow(const Keys& keys) {
        std::vector<int> old;
        old.swap(slots_);
        slots_.assign(old.empty() ? 1024 : old.size() * 2, -1);
        count_ = 0;
        for (const int row : old) {
            if (row >= 0) {
                insert(row, keys);
            }
        }
    }

    std::vector<int> slots_;  // -1: empty; a power of two in size
    int count_ = 0;
};

}  // namespace converter::paradox
