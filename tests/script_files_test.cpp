// Files a pattern script opens, through the exports: at most script_limits::open_files at once,
// and every one closed again after any script failure and when the VM goes, however it goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "channel_listener.h"
#include "open_descriptors.h"
#include "plugin_host.h"
#include "protection/script_limits.h"
#include "scripted_library.h"

using namespace talvik_test;
namespace fs = std::filesystem;

namespace {

// The top-level code opens 40 files and keeps those it gets; a refused one must fail as a file
// that cannot be opened does.
std::string opening_files(const std::string& dir) {
    return "held <- [];\n"
           "for (local i = 0; i < 40; i++) {\n"
           "  try { held.append(file(\"" +
           dir + "/held\" + i, \"w\")); }\n" +
           "  catch (e) { if (e != \"cannot open file\") throw \"refused so: \" + e; }\n"
           "}\n"
           "if (held.len() != " +
           std::to_string(ats::script_limits::open_files) +
           ") throw \"held \" + held.len();\n"
           "function get_brake_pattern_offset(x) { return 0; }\n"
           "function get_incoming_pattern_offset(x) { return 0; }\n";
}

} // namespace

TEST(ScriptFiles, AtMostTheLimitOpenAndAllClosedAfterAFailureOrWithTheVM) {
    const bool listening = isolate_channel_name();
    const struct {
        const char* what;
        const char* rest;   // after the files are opened
        const char* report; // nullptr: the script runs normally
    } rows[] = {
        {"runs normally", "function lookup_brake_pattern(a, b, d, o) { return 1000; }", nullptr},
        {"throws", "function lookup_brake_pattern(a, b, d, o) { throw \"broken\"; }",
         "SquirrelFunction<> call failed"},
        {"not a number", "function lookup_brake_pattern(a, b, d, o) { return sqrt(-1.0); }",
         "the pattern speed is not a number"},
        {"too long", "function lookup_brake_pattern(a, b, d, o) { while (true) {} }",
         "the script ran too long (more than 1000000 steps) in lookup_brake_pattern"},
        {"memory ceiling",
         "function lookup_brake_pattern(a, b, d, o) { local s = \"x\"; while (true) s += s; }",
         "the script used too much memory (more than 64 MB) in lookup_brake_pattern"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        scripted_library lib(nullptr);
        lib.write_script(opening_files(lib.dir()) + row.rest + "\n");
        channel_listener listener;
        const int before_load = open_descriptors();
        {
            quiet_cab h(lib.library());
            const int loaded = open_descriptors();
            h.speed(10.0f);
            h.beacon(beacon::pattern_check, 0, 600.0f, 0);
            listener.collect();
            EXPECT_EQ(open_descriptors(), loaded + ats::script_limits::open_files)
                << "the script holds its files while it runs";
            h.frame();
            listener.collect();
            if (row.report != nullptr) {
                EXPECT_TRUE(h.latched());
                EXPECT_EQ(open_descriptors(), loaded) << "closed after the failure";
            } else {
                EXPECT_TRUE(h.quiet());
            }
            // The next arming opens them again: the limit counts open files, not files ever.
            h.beacon(beacon::pattern_check, 0, 600.0f, 0);
            h.frame();
            listener.collect();
        }
        EXPECT_EQ(open_descriptors(), before_load) << "closed with the VM";
        if (listening) {
            const std::vector<std::string> lines = listener.take();
            if (row.report != nullptr) {
                const std::string report =
                    std::string("talvik > script error: ") + row.report + "\r\n";
                EXPECT_GE(std::count(lines.begin(), lines.end(), report), 1) << "reported";
            }
            for (const std::string& line : lines)
                EXPECT_EQ(line.find("held"), std::string::npos) << line;
        }
    }
}

#ifdef __linux__
// The kernel's files call themselves regular, but /proc/self/mem writes the host's own memory,
// code included (a script could find its code in /proc/self/maps and overwrite it): no script
// opens a file on the kernel's file systems, for reading or writing. Nor does it write the
// plug-in's own library, or truncate it (the host died of SIGBUS at its next page); a file of its
// own opened "w" is still emptied.
TEST(ScriptFiles, KernelFilesAndTheHostsCodeAreRefused) {
    scripted_library lib(nullptr);
    const std::string own = lib.dir() + "/own.txt";
    std::ofstream(own) << "twelve bytes";
    const std::string library = lib.dir() + "/" + hostkit::library_file_name();
    const auto library_size = fs::file_size(library);
    lib.write_script(
        "local f = file(\"" + own +
        "\", \"w\"); f.close();\n"
        "file(\"" +
        library +
        "\", \"rb\").close(); // reading it does no harm\n"
        "foreach (path, modes in {[\"/proc/self/mem\"] = \"r\", [\"/proc/self/maps\"] = \"r\",\n"
        "                         [\"/proc/self/status\"] = \"r\",\n"
        "                         [\"/sys/devices/system/cpu/online\"] = \"r\",\n"
        "                         [\"" +
        library +
        "\"] = \"\"})\n"
        "  foreach (mode in [modes, \"r+b\", \"w\", \"a\"]) {\n"
        "    if (mode == \"\") continue;\n"
        "    try { file(path, mode); } catch (e) {\n"
        "      if (e != \"cannot open file\") throw \"refused so: \" + e;\n"
        "      continue;\n"
        "    }\n"
        "    throw path + \" opened\";\n"
        "  }\n"
        "function get_brake_pattern_offset(x) { return 0; }\n"
        "function get_incoming_pattern_offset(x) { return 0; }\n"
        "function lookup_brake_pattern(a, b, d, o) { return 1000; }\n");
    quiet_cab h(lib.library());
    h.speed(10.0f);
    h.beacon(beacon::pattern_check, 0, 600.0f, 0);
    h.frame();
    EXPECT_TRUE(h.quiet()) << "a kernel file or the library was opened, or the script failed";
    EXPECT_EQ(fs::file_size(library), library_size);
    EXPECT_EQ(fs::file_size(own), 0u);
}
#endif
