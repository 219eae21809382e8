// Registration and per-frame reset, both walking the one signal table.
#include "wiring/wiring.h"

namespace ats {

void wiring::register_signals() {
    for (const auto& s : signal_table) {
        switch (s.bus) {
        case bus_id::panel: panel.add(s.name); break;
        case bus_id::sound: sound.add(s.name); break;
        case bus_id::output: output.add(s.name); break;
        case bus_id::command: command.add(s.name); break;
        case bus_id::boolean: boolean.add(s.name); break;
        }
    }
}

void wiring::reset() {
    for (const auto& s : signal_table) {
        switch (s.bus) {
        case bus_id::panel: panel.get(s.name) = s.resting; break;
        case bus_id::sound: sound.get(s.name) = s.resting; break;
        case bus_id::output: output.get(s.name) = s.resting; break;
        case bus_id::command: command.get(s.name) = s.resting; break;
        case bus_id::boolean: boolean.get(s.name) = s.resting != 0; break;
        }
    }
}

} // namespace ats
