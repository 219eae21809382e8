// Worker processes for sweeps: copies of this program, each fed lines on its standard input and
// answering lines on its standard output.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace sim::os {

class worker_pool {
  public:
    worker_pool();
    ~worker_pool();
    worker_pool(const worker_pool&) = delete;
    worker_pool& operator=(const worker_pool&) = delete;

    // Starts `count` copies of this program with the one argument `argument`.
    bool start(int count, const char* argument, std::string& error);
    int size() const;
    bool send(int worker, std::string_view text);
    // The next whole line from any worker, without its line end. False once every worker's
    // output has ended (or reading failed).
    bool next_line(int& worker, std::string& line);
    // Closes every worker's input and waits for them; true when all of them exited with 0.
    bool finish();

  private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

// The number of cores.
int core_count();
// Standard error is a terminal (a progress bar may be drawn on it).
bool stderr_is_terminal();
// Standard input and output as bytes, without line-end translation (the workers' pipes).
void binary_stdio();

} // namespace sim::os
