// One CSV row per frame: time, location, speed, the four handles, every mapped index.
#pragma once

#include <cstdio>
#include <string>

#include "tools/sim/run.h"

namespace sim {

// `value` with three decimals, the same on every platform (no locale, no printf rounding).
std::string fixed3(double value);

class csv_writer : public run_observer {
  public:
    explicit csv_writer(std::FILE* out) : out_(out) {}
    void on_start(const scenario&, std::int32_t) override;
    void on_frame(const frame_record& f, const scenario&) override;

  private:
    std::FILE* out_;
};

} // namespace sim
