// Registration and per-frame reset, both following the one signal table.
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
    panel.reset();
    sound.reset();
    output.reset();
    command.reset();
    boolean.reset();
}

} // namespace ats
