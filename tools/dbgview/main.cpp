// talvik-dbgview: shows the plug-in's diagnostic lines as they arrive, until interrupted.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "plugin/host/channel_name.h"
#include "tools/dbgview/console.h"
#include "tools/hostkit/hostkit.h"

namespace {

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: talvik-dbgview [--raw]\n"
                 "Receives the plug-in's diagnostic lines on %s and prints each as it arrives,\n"
                 "prefixed with the local time, until interrupted (Ctrl+C).\n"
                 "  --raw   print the messages exactly as received, without time stamps\n",
                 ats::debug_channel_name);
}

// "12:34:56.789 ": local time of arrival, to the millisecond.
std::string time_stamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::tm* local = std::localtime(&seconds); // one thread: the shared result is fine
    char text[32] = "??:??:??";
    if (local != nullptr) std::strftime(text, sizeof text, "%H:%M:%S", local);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%s.%03d ", text, static_cast<int>(millis));
    return stamp;
}

} // namespace

int main(int argc, char** argv) {
    bool raw = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--raw") == 0) {
            raw = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "talvik-dbgview: unknown argument '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }

    dbgview::prepare_console();
    hostkit::debug_listener listener;
    std::string error;
    switch (listener.open(error)) {
    case hostkit::listen_result::listening: break;
    case hostkit::listen_result::name_taken:
        std::fprintf(stderr, "talvik-dbgview: another listener already holds %s; close it first.\n",
                     ats::debug_channel_name);
        return 1;
    case hostkit::listen_result::failed:
        std::fprintf(stderr, "talvik-dbgview: cannot listen on %s: %s\n", ats::debug_channel_name,
                     error.c_str());
        return 1;
    }
    if (!raw) {
        std::fprintf(stderr, "talvik-dbgview: listening on %s (Ctrl+C to stop)\n",
                     ats::debug_channel_name);
    }

    const auto show = [raw](const std::string& message) {
        if (!raw) {
            const std::string stamp = time_stamp();
            std::fwrite(stamp.data(), 1, stamp.size(), stdout);
        }
        std::fwrite(message.data(), 1, message.size(), stdout);
        std::fflush(stdout);
    };
    std::string message;
    while (!dbgview::interrupted()) {
        if (listener.wait(message, error)) {
            show(message);
        } else if (!error.empty()) {
            std::fprintf(stderr, "talvik-dbgview: %s\n", error.c_str());
            return 1;
        }
    }
    // Once interrupted, what had already arrived is still shown.
    while (listener.receive(message))
        show(message);
    return 0;
}
