// A set of named signal cells; unknown names share one spare cell.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace ats {

// Every device looks its signals up by name in every frame, so the look-up is the frame's main
// cost. The names sit in one array sorted by length first, with an index of where each length
// starts: a look-up goes straight to the few names of its length. Names are compared through
// their first and last eight bytes, two integer comparisons that settle every name of up to 16
// bytes; only longer names that agree on both compare their middle bytes.
template <typename Cell> class basic_bus {
  public:
    virtual ~basic_bus() = default;

    // Registers `name` with a zero cell; a name already there keeps its cell and value.
    // Registering may move cells: references from `get` are for the moment, never kept.
    void add(std::string_view name) {
        const key k = key_of(name);
        const auto it = find(k);
        if (it != cells_.end() && equal(*it, k)) return;
        cells_.insert(it, entry{k.size, k.head, k.tail, std::string(name), Cell{}});
        index_lengths();
    }

    // The cell of `name`, or the spare cell when the name is not registered. Never adds.
    Cell& get(std::string_view name) {
        const key k = key_of(name);
        if (k.size <= max_indexed_size) {
            for (std::size_t i = first_of_size_[k.size]; i < first_of_size_[k.size + 1]; ++i) {
                if (equal(cells_[i], k)) return cells_[i].cell;
            }
            return spare_;
        }
        const auto it = find(k);
        return it != cells_.end() && equal(*it, k) ? it->cell : spare_;
    }

    std::size_t size() const { return cells_.size(); }

  private:
    struct key {
        std::size_t size;
        std::uint64_t head;
        std::uint64_t tail;
        const char* data;
    };
    struct entry {
        std::size_t size;
        std::uint64_t head;
        std::uint64_t tail;
        std::string name;
        Cell cell;
    };
    using iterator = typename std::vector<entry>::iterator;

    static constexpr std::size_t word = sizeof(std::uint64_t);
    // Longer names are found by binary search.
    static constexpr std::size_t max_indexed_size = 32;

    static key key_of(std::string_view name) {
        key k{name.size(), 0, 0, name.data()};
        if (name.size() >= word) {
            std::memcpy(&k.head, name.data(), word);
            std::memcpy(&k.tail, name.data() + name.size() - word, word);
        } else {
            for (std::size_t i = 0; i < name.size(); ++i) {
                k.head |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
            }
        }
        return k;
    }

    // The bytes that neither the head nor the tail covers, compared as unsigned bytes.
    static int middle(const entry& e, const key& k) {
        for (std::size_t i = word; i + word < k.size; ++i) {
            const int d =
                static_cast<unsigned char>(e.name[i]) - static_cast<unsigned char>(k.data[i]);
            if (d != 0) return d;
        }
        return 0;
    }

    static bool before(const entry& e, const key& k) {
        if (e.size != k.size) return e.size < k.size;
        if (e.head != k.head) return e.head < k.head;
        if (e.tail != k.tail) return e.tail < k.tail;
        return middle(e, k) < 0;
    }

    static bool equal(const entry& e, const key& k) {
        return e.size == k.size && e.head == k.head && e.tail == k.tail && middle(e, k) == 0;
    }

    iterator find(const key& k) {
        return std::lower_bound(cells_.begin(), cells_.end(), k, before);
    }

    // first_of_size_[n]: the first entry whose name is n bytes long or longer.
    void index_lengths() {
        std::size_t i = 0;
        for (std::size_t n = 0; n < first_of_size_.size(); ++n) {
            while (i < cells_.size() && cells_[i].size < n)
                ++i;
            first_of_size_[n] = i;
        }
    }

    std::vector<entry> cells_;
    std::array<std::size_t, max_indexed_size + 2> first_of_size_{};
    Cell spare_{};
};

using bus = basic_bus<std::int32_t>;
using bool_bus = basic_bus<bool>;

} // namespace ats
