// A table of values keyed by adapter index or address text. Lookups are hash lookups; iteration
// follows the order in which keys were first stored (the platform's own order), so the adapter
// box and the list show entries the way the host lists them. Storing under an existing key
// replaces the value in place.
#pragma once

#include <cstddef>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nicops::inventory {

template <typename Key, typename Value>
class KeyedTable {
public:
    using Entry = std::pair<Key, Value>;

    void clear() {
        entries_.clear();
        positions_.clear();
    }

    void reserve(std::size_t n) {
        entries_.reserve(n);
        positions_.reserve(n);
    }

    // Inserts or replaces; true when a value was replaced.
    bool store(const Key& key, Value value) {
        auto [it, inserted] = positions_.try_emplace(key, entries_.size());
        if (!inserted) {
            entries_[it->second].second = std::move(value);
            return true;
        }
        entries_.emplace_back(key, std::move(value));
        return false;
    }

    std::optional<Value> lookup(const Key& key) const {
        const Value* v = find(key);
        return v ? std::optional<Value>(*v) : std::nullopt;
    }

    const Value* find(const Key& key) const {
        auto it = positions_.find(key);
        return it == positions_.end() ? nullptr : &entries_[it->second].second;
    }

    bool contains(const Key& key) const { return positions_.count(key) != 0; }
    std::size_t count() const { return entries_.size(); }

    std::vector<Key> keys() const {
        std::vector<Key> out;
        out.reserve(entries_.size());
        for (const auto& e : entries_) {
            out.push_back(e.first);
        }
        return out;
    }

    auto begin() const { return entries_.cbegin(); }
    auto end() const { return entries_.cend(); }

private:
    std::vector<Entry> entries_;
    std::unordered_map<Key, std::size_t> positions_;
};

}  // namespace nicops::inventory
