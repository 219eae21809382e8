// The CSV file: a header naming each column, then the host's view of every frame.
#include "tools/sim/csv.h"

#include <cinttypes>
#include <cmath>

namespace sim {

std::string fixed3(double value) {
    const long long thousandths = std::llround(value * 1000.0);
    const unsigned long long magnitude = thousandths < 0
                                             ? 0ULL - static_cast<unsigned long long>(thousandths)
                                             : static_cast<unsigned long long>(thousandths);
    char text[48];
    std::snprintf(text, sizeof text, "%s%llu.%03llu", thousandths < 0 ? "-" : "",
                  magnitude / 1000ULL, magnitude % 1000ULL);
    return text;
}

void csv_writer::on_start(const scenario&, std::int32_t) {
    std::fputs("time_ms,elapsed_ms,location_m,speed,brake,power,reverser,const_speed", out_);
    for (std::int32_t i : panel_indices)
        std::fprintf(out_, ",panel_%" PRId32, i);
    for (std::int32_t i : sound_indices)
        std::fprintf(out_, ",sound_%" PRId32, i);
    std::fputs(",cause\n", out_);
}

void csv_writer::on_frame(const frame_record& f, const scenario&) {
    const ats::handles& h = f.cab.acting;
    std::fprintf(out_, "%" PRId32 ",%lld,%s,%s,%" PRId32 ",%" PRId32 ",%" PRId32 ",%" PRId32,
                 f.at.time_ms, static_cast<long long>(f.at.elapsed_ms),
                 fixed3(f.at.location).c_str(), fixed3(f.at.speed).c_str(), h.brake, h.power,
                 h.reverser, h.const_speed);
    for (std::int32_t v : f.cab.panel)
        std::fprintf(out_, ",%" PRId32, v);
    for (std::int32_t v : f.cab.sound)
        std::fprintf(out_, ",%" PRId32, v);
    std::fputc(',', out_);
    // Quoted when it holds a comma or a quote, as CSV readers expect.
    const std::string& cause = account_.brake_cause();
    if (cause.find_first_of(",\"") == std::string::npos) {
        std::fputs(cause.c_str(), out_);
    } else {
        std::string quoted = "\"";
        for (const char c : cause)
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        std::fputs((quoted + "\"").c_str(), out_);
    }
    std::fputc('\n', out_);
}

} // namespace sim
