// Every bound a pattern script meets, with its unit and why it has its value. The script host
// and the carried Squirrel patch both take their limits from here (Squirrel's build includes
// this header), so each value has one place.
#pragma once

#include <cstddef>

namespace ats::script_limits {

// Steps one top-level run or one call of a script function may take. A step is one VM
// instruction; a native call takes one, and work through data more (README, "Limits"). The
// bundled script takes 22 for its top-level run and 14 for a look-up: a million is thousands of
// times an honest curve and still ends a runaway within milliseconds. Counted, not timed, so
// every build stops a script at the same place.
constexpr long steps_per_run = 1000000;

// Bytes of script memory, the VM's own structures included. Hundreds of times what a pattern
// script holds (the bundled one with its VM about 80 KB), and little enough to leave a 32-bit
// host's address space alone.
constexpr std::size_t memory_bytes = std::size_t{64} << 20;

// Calls of script functions nested inside each other. Each takes a frame of the VM's own
// stack, not the host's: 1000 lets any honest recursion through and stops an endless one
// long before the memory ceiling.
constexpr int call_depth = 1000;

// Native calls nested inside each other (a native calling back into the script, a thread
// running a thread), Squirrel's own value. Each recurses on the host's stack: 100 stays far
// inside the 1 MB a Windows thread gets.
constexpr int native_call_depth = 100;

// Levels of nesting in a script's source (blocks, expressions, calls). The compiler descends
// recursively on the host's stack; 400 levels are far more than anyone writes and far less
// than that stack holds.
constexpr int compiler_nesting = 400;

// Delegates one behind another, and classes one derived from another. Every look-up walks the
// chain recursively on the host's stack; no honest script goes past a handful.
constexpr int delegate_depth = 100;
constexpr int class_depth = 100;

// Functions nested inside functions in compiled script code. Loading and checking it recurse
// once per level; source within `compiler_nesting` gives far fewer.
constexpr int compiled_function_nesting = 200;

// Bytes of the script file. Far beyond any pattern script; keeps a wrong file from filling the
// host's memory before the memory ceiling could see it.
constexpr std::size_t script_file_bytes = std::size_t{16} << 20;

// Bytes of one line the script prints (standard output), the terminating zero included; longer
// text is cut there.
constexpr std::size_t print_line_bytes = 2048;

// Files a script may hold open at once through the io library. A pattern script reads a table
// or two; a host under the C runtime's limit of 512 streams keeps room for its own.
constexpr int open_files = 32;

} // namespace ats::script_limits
