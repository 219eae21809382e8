// A set of named signal cells; unknown names share one spare cell.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace ats {

template <typename Cell>
class basic_bus {
public:
    virtual ~basic_bus() = default;

    // Registers `name` with a zero cell; a name already there keeps its cell and value.
    void add(std::string_view name) { cells_.try_emplace(std::string(name), Cell{}); }

    // The cell of `name`, or the spare cell when the name is not registered. Never adds.
    Cell& get(std::string_view name) {
        const auto it = cells_.find(name);
        return it == cells_.end() ? spare_ : it->second;
    }

    std::size_t size() const { return cells_.size(); }

private:
    // Transparent comparator: look-ups take a string_view and allocate nothing.
    std::map<std::string, Cell, std::less<>> cells_;
    Cell spare_{};
};

using bus = basic_bus<std::int32_t>;
using bool_bus = basic_bus<bool>;

} // namespace ats
