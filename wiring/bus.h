// A set of named signal cells; unknown names share one spare cell.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "wiring/cab.h"

namespace ats {

// The resting values of one bus's signals, in the order of its cells.
template <bus_id Bus, typename Cell> constexpr std::array<Cell, signals_on(Bus)> resting_values() {
    std::array<Cell, signals_on(Bus)> values{};
    std::size_t slot = 0;
    for (const auto& s : signal_table) {
        if (s.bus != Bus) continue;
        values[slot++] = static_cast<Cell>(s.resting);
    }
    return values;
}

// The cells of one bus's signals, in the order of the signal table. A name written in the code
// is found by the compiler (`at`), so a frame compares no strings and a misspelt name does not
// build; a name that arrives at run time goes through `get`, which answers the spare cell for
// anything unknown.
template <bus_id Bus, typename Cell> class basic_bus {
  public:
    static constexpr std::size_t table_size = signals_on(Bus);

    // Registers `name`; a name already there keeps its cell and value. Only the table's names
    // have cells: any other name stays unknown.
    void add(std::string_view name) {
        const std::size_t slot = slot_of(Bus, name);
        if (slot != no_slot) registered_[slot] = true;
    }

    // The cell of a registered `name`, or the spare cell. Never adds.
    Cell& get(std::string_view name) {
        const std::size_t slot = slot_of(Bus, name);
        return slot != no_slot && registered_[slot] ? cells_[slot] : spare_;
    }

    // The cell of a signal named in the code. The vehicle registers its wiring when it is built,
    // so this skips the registration test that `get` makes.
    template <const std::string_view& Name> Cell& at() {
        constexpr std::size_t slot = slot_of(Bus, Name);
        static_assert(slot != no_slot, "no signal of this name on this bus");
        return cells_[slot];
    }

    // The cell at a slot found by `slot_of`, for tables of signals walked every frame.
    Cell& at_slot(std::size_t slot) { return cells_[slot]; }

    std::size_t size() const {
        std::size_t count = 0;
        for (const bool r : registered_)
            count += r ? 1 : 0;
        return count;
    }

    // Every cell back to its signal's resting value.
    void reset() { cells_ = resting_; }

  private:
    static constexpr std::array<Cell, table_size> resting_ = resting_values<Bus, Cell>();

    std::array<Cell, table_size> cells_{};
    std::array<bool, table_size> registered_{};
    Cell spare_{};
};

using panel_bus = basic_bus<bus_id::panel, std::int32_t>;
using sound_bus = basic_bus<bus_id::sound, std::int32_t>;
using output_bus = basic_bus<bus_id::output, std::int32_t>;
using command_bus = basic_bus<bus_id::command, std::int32_t>;
using bool_bus = basic_bus<bus_id::boolean, bool>;

} // namespace ats
