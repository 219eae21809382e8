// The console on Linux: SIGINT and SIGTERM end the wait instead of the process.
#include <signal.h>

#include "tools/dbgview/console.h"

namespace dbgview {

namespace {
volatile sig_atomic_t interrupt_seen = 0;
void on_interrupt(int) { interrupt_seen = 1; }
} // namespace

// Without SA_RESTART, a signal ends the blocking receive so that the loop can stop cleanly.
void prepare_console() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return interrupt_seen != 0; }

} // namespace dbgview
