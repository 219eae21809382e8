// One CSV row per frame: time, location, speed, the four handles, every mapped index, and the
// cause of the device brake the host gets, from the run's account.
#pragma once

#include <cstdio>
#include <string>

#include "tools/sim/account.h"
#include "tools/sim/run.h"

namespace sim {

// `value` with three decimals, the same on every platform (no locale, no printf rounding).
std::string fixed3(double value);

class csv_writer : public run_observer {
  public:
    // `account` is an observer before this one.
    csv_writer(std::FILE* out, const run_account& account) : out_(out), account_(account) {}
    void on_start(const scenario&, std::int32_t) override;
    void on_frame(const frame_record& f, const scenario&) override;

  private:
    std::FILE* out_;
    const run_account& account_;
};

} // namespace sim
