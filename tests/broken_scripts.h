// The broken pattern scripts every build must contain alike: what each breaks and the report it
// must give. Run through the exports natively (protection_test.cpp) and through both Windows
// DLLs (win/parity_session.h), whose outputs must equal the Linux library's.
#pragma once

namespace talvik_test {

// The three functions, each answering at once; a row replaces one of them after these.
inline const char* const sound_functions = R"(
function get_brake_pattern_offset(x) { return 0; }
function get_incoming_pattern_offset(x) { return 0; }
function lookup_brake_pattern(a, b, d, o) { return 1000; }
)";

struct broken_script {
    const char* what;
    const char* script; // after sound_functions
    const char* report; // after "talvik > script error: "
    bool lost;          // the VM is lost with the script: braked until the next Load
};

inline const broken_script broken_scripts[] = {
    {"throws", "function lookup_brake_pattern(a, b, d, o) { throw \"broken curve\"; }",
     "SquirrelFunction<> call failed", false},
    {"string offset", "function get_brake_pattern_offset(x) { return \"far\"; }",
     "sq_get*() failed (type error)", false},
    {"no incoming", "delete getroottable().get_incoming_pattern_offset;",
     "SquirrelFunction<> call failed", false},
    {"top-level loop", "while (true) {}",
     "the script ran too long (more than 1000000 steps) in its top-level code", false},
    {"offset loop", "function get_brake_pattern_offset(x) { for (;;) {} }",
     "the script ran too long (more than 1000000 steps) in get_brake_pattern_offset", false},
    {"incoming loop, caught",
     "function get_incoming_pattern_offset(x) { for (;;) try { while (true) {} } catch (e) {} }",
     "the script ran too long (more than 1000000 steps) in get_incoming_pattern_offset", false},
    {"lookup loop",
     "function lookup_brake_pattern(a, b, d, o) { local v = 0.0; while (true) { v += 1.0; } }",
     "the script ran too long (more than 1000000 steps) in lookup_brake_pattern", false},
    {"recursion",
     "function lookup_brake_pattern(a, b, d, o) { return 1 + lookup_brake_pattern(a, b, d, o); }",
     "the script nested its calls too deeply (more than 1000) in lookup_brake_pattern", false},
    {"NaN", "function lookup_brake_pattern(a, b, d, o) { return sqrt(-1.0); }",
     "the pattern speed is not a number", false},
    {"string growth",
     "function lookup_brake_pattern(a, b, d, o) { local s = \"x\"; while (true) s = s + s; }",
     "the script used too much memory (more than 64 MB) in lookup_brake_pattern", true},
    {"huge array", "function lookup_brake_pattern(a, b, d, o) { return array(1 << 28).len(); }",
     "the script used too much memory (more than 64 MB) in lookup_brake_pattern", true},
    // More bytes than an integer counts: once wrapped round to a few, overrun by the elements.
    {"array past the byte range",
     "function lookup_brake_pattern(a, b, d, o) { return array(1 << 62).len(); }",
     "the script used too much memory (more than 64 MB) in lookup_brake_pattern", true},
    // The iterated generator replaced through an outer value while it runs: the VM read the
    // integer as a generator.
    {"generator replaced while iterated",
     "local g = null; function gen() { g = 5; yield 1; } g = gen(); foreach (x in g) {}",
     "the generator iterated is gone", false},
    // Natives that crashed the host before the carried patch mended them (script_natives.h).
    {"acall of a long array", "print.acall(array(1100, 1));", "wrong number of parameters", false},
    {"null root table", "setroottable(null); local f = function() {};",
     "parameter 1 has an invalid type 'null' ; expected: 'table'", false},
    {"thread of a native function", "newthread(print).call(1); throw \"the thread ran\";",
     "the thread ran", false},
    // 200 arguments copied above a frame at the stack's end, through _call.
    {"_call at the stack's end",
     "local M = {}.setdelegate({_call = function(...) { return vargv.len(); }});\n"
     "function down(n) { if (n == 0) { local r = M("
     "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,"
     "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,"
     "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,"
     "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,"
     "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1"
     "); return r; } return 1 + down(n - 1); }\n"
     "for (local i = 200; i < 400; i++) down(i);\n"
     "throw \"the calls ran\";",
     "the calls ran", false},
    // The script's stdin is always at its end: a read of the host's waited for ever.
    {"reads standard input", "stdin.readn('c');", "io error", false},
    {"stack information below the first level",
     "if (getstackinfos(-1000000) == null) throw \"no such level\";", "no such level", false},
    // A metamethod that calls itself, at the stack's end: a frame refused its room was left
    // half entered, and run.
    {"metamethod calling itself at the stack's end",
     "local M = null; M = {}.setdelegate({_modulo = function(...) { M % 1; }});\n"
     "function down(n) { if (n == 0) { try { M % 1; } catch (e) {} return 0; }\n"
     "  return 1 + down(n - 1); }\n"
     "for (local i = 200; i < 260; i++) down(i);\n"
     "throw \"the metamethods ran\";",
     "the metamethods ran", false},
    // The kernel's files, by their Unix names too (as Wine reaches them): writing
    // /proc/self/mem overwrote the host's own code.
    {"opens the kernel's files",
     "foreach (path in [\"/proc/self/mem\", \"/proc/self/maps\", \"Z:\\\\proc\\\\self\\\\mem\",\n"
     "                  \"Z:\\\\proc\\\\self\\\\maps\"])\n"
     "  foreach (mode in [\"rb\", \"r+b\"])\n"
     "    try { file(path, mode); throw \"opened \" + path; }\n"
     "    catch (e) { if (e != \"cannot open file\") throw e; }\n"
     "throw \"kernel files refused\";",
     "kernel files refused", false},
};

} // namespace talvik_test
