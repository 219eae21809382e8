// talvik-sim as a user runs it: exit status, its one-line complaints, the files it writes.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "wiring/cab.h"

namespace {

struct outcome {
    int status = -1;
    std::string output; // standard output and standard error together
};

// Runs talvik-sim with `arguments`; `environment` goes before the command ("PATH=...").
outcome talvik_sim(const std::string& arguments, const std::string& environment = "") {
    const std::string command =
        environment + " " + std::string(TALVIK_SIM_PATH) + " " + arguments + " 2>&1";
    outcome o;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return o;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        o.output.append(buffer, n);
    const int status = pclose(pipe);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

// A scratch directory for one test, removed afterwards.
class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/talvik-sim-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string file(const std::string& name, const std::string& text) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string dir_;
};

const std::string library = std::string("--library ") + TALVIK_LIBRARY_PATH + " ";

TEST_F(CommandLine, DefaultJourneyRunsAndSaysWhatTheCabShows) {
    const outcome o = talvik_sim(library);
    EXPECT_EQ(o.status, 0) << o.output;
    for (const char* words :
         {"bell on", "red lamp on",
          "brake: point check 96.0 \u2265 60 (the host gets power 0, brake 9",
          "brake: unconfirmed alarm", "brake: pattern 82.2 \u2265 64.6",
          "brake: vigilance: no action for 60 s", "vigilance buzzer off", "departure sound (once)",
          "monitor: ", "stop-station indication blinking", "= end after"}) {
        EXPECT_NE(o.output.find(words), std::string::npos) << words;
    }
}

TEST_F(CommandLine, BadScenarioRunsNothing) {
    const std::string path = file("bad.txt", "at 1 s power 3\nat 2 s brake lots\n");
    const outcome o = talvik_sim(library + path);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.output,
              "talvik-sim: " + path + ":2: expected a brake notch or 'emergency', found 'lots'\n");
}

TEST_F(CommandLine, OneBadScenarioAmongSeveralRunsNone) {
    const std::string good = file("good.txt", "end at 1 s\n");
    const std::string bad = file("bad.txt", "frame fast\n");
    const outcome o = talvik_sim(library + good + " " + bad);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.output.find("== "), std::string::npos) << o.output;
}

TEST_F(CommandLine, LibraryProblemsGiveOneClearLine) {
    outcome o = talvik_sim("--library " + dir_ + "/libtalvik.so");
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.output, "talvik-sim: plug-in library not found: " + dir_ + "/libtalvik.so\n");

    o = talvik_sim(std::string("--library ") + NOT_A_PLUGIN_PATH);
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.output, std::string("talvik-sim: ") + NOT_A_PLUGIN_PATH +
                            " is not a talvik plug-in: it lacks the export(s) Dispose, "
                            "GetPluginVersion, SetVehicleSpec, Initialize, Elapse, SetPower, "
                            "SetBrake, SetReverser, KeyDown, KeyUp, HornBlow, DoorOpen, DoorClose, "
                            "SetSignal, SetBeaconData\n");

    o = talvik_sim("--library " + file("fake.so", "not a library"));
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.output.rfind("talvik-sim: cannot load the plug-in library ", 0), 0u) << o.output;
}

TEST_F(CommandLine, CsvHasOneRowPerFrameWithEveryMappedIndex) {
    const std::string scenario = file("short.txt", "frame 50 ms\nat 0 s doors close\n"
                                                   "at 0 s reverser forward\nat 0 s power 2\n"
                                                   "end at 1 s\n");
    const std::string csv = dir_ + "/short.csv";
    const outcome o = talvik_sim(library + "--quiet --csv " + csv + " " + scenario);
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_EQ(o.output, "");
    std::istringstream rows(read(csv));
    std::string header, row, last;
    std::getline(rows, header);
    // A column for every index of the cab's, in index order.
    std::string columns = "time_ms,elapsed_ms,location_m,speed,brake,power,reverser,const_speed";
    for (const std::int32_t i : ats::cab::panel_indices)
        columns += ",panel_" + std::to_string(i);
    for (const std::int32_t i : ats::cab::sound_indices)
        columns += ",sound_" + std::to_string(i);
    EXPECT_EQ(header.rfind(columns, 0), 0u) << header;
    int count = 0;
    while (std::getline(rows, row)) {
        ++count;
        EXPECT_EQ(std::count(row.begin(), row.end(), ','),
                  std::count(header.begin(), header.end(), ','))
            << row;
        last = row;
    }
    EXPECT_EQ(count, 21); // 0 to 1000 ms in 50 ms frames
    EXPECT_EQ(last.rfind("36001000,1000,", 0), 0u) << last;
    EXPECT_NE(last.find(",0,2,1,2,"), std::string::npos) << last; // brake 0, power 2, rev 1, 2
}

TEST_F(CommandLine, SeveralScenariosGetACsvEach) {
    const std::string a = file("a.txt", "end at 0.1 s\n");
    const std::string b = file("b.txt", "end at 0.2 s\n");
    const outcome o = talvik_sim(library + "--quiet --csv-dir " + dir_ + " " + a + " " + b);
    ASSERT_EQ(o.status, 0) << o.output;
    const std::string a_csv = read(dir_ + "/a.csv");
    EXPECT_EQ(std::count(a_csv.begin(), a_csv.end(), '\n'), 7); // header and 6 frames
    const std::string b_csv = read(dir_ + "/b.csv");
    EXPECT_EQ(std::count(b_csv.begin(), b_csv.end(), '\n'), 12);
    EXPECT_EQ(talvik_sim(library + "--csv x.csv " + a + " " + b).status, 2);
}

TEST_F(CommandLine, UnwritableCsvStopsBeforeTheRun) {
    const outcome o = talvik_sim(library + "--csv " + dir_ + "/missing/dir/out.csv");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.output, "talvik-sim: cannot write " + dir_ + "/missing/dir/out.csv\n");
}

TEST_F(CommandLine, ReplayPageIsOneFileThatReachesForNothing) {
    const std::string scenario =
        file("check.txt", "name Check <b> & </script>\nat 0 s doors close\n"
                          "at 0 s beacon type 50 signal 0 distance 100 optional 0\nend at 0.1 s\n");
    const std::string page_path = dir_ + "/check.html";
    outcome o = talvik_sim(library + "--quiet --html " + page_path + " " + scenario);
    ASSERT_EQ(o.status, 0) << o.output;
    std::string page = read(page_path);
    EXPECT_NE(page.find("content=\"default-src 'none'; script-src 'sha256-"), std::string::npos);
    for (const char* outside : {" src=", "href=\"http", "@import", "url("})
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    // The scenario's words cannot end the data's script element.
    EXPECT_NE(page.find("\"name\":\"Check \\u003cb\\u003e \\u0026 \\u003c/script\\u003e\""),
              std::string::npos);
    // The check's permitted speed from the bundled script: 38.1 km/h at 100 m.
    EXPECT_NE(page.find("\"distance\":100.000,\"speed\":0.000,\"permitted\":38.099"),
              std::string::npos);

    // With a broken script beside the library the page says why it has no curves.
    const std::string copy = dir_ + "/libtalvik.so";
    std::system(("cp '" + std::string(TALVIK_LIBRARY_PATH) + "' '" + copy + "'").c_str());
    file("signal_pattern.nut", "function (\n");
    o = talvik_sim("--library " + copy + " --quiet --html " + page_path + " " + scenario);
    EXPECT_NE(read(page_path).find("\"script_error\":\""), std::string::npos) << o.output;

    EXPECT_EQ(talvik_sim(library + "--html " + dir_ + "/no/such/dir/x.html").output,
              "talvik-sim: cannot write " + dir_ + "/no/such/dir/x.html\n");
    EXPECT_EQ(talvik_sim(library + "--html x.html " + scenario + " " + scenario).status, 2);
    EXPECT_EQ(talvik_sim(library + "--html x.html --html-dir " + dir_).status, 2);
}

TEST_F(CommandLine, PlotNeedsGnuplotAndSaysSo) {
    const std::string png = dir_ + "/journey.png";
    // Without gnuplot on the search path the run completes but says why there is no plot.
    const outcome without = talvik_sim(library + "--quiet --plot " + png, "PATH=/nonexistent");
    EXPECT_EQ(without.status, 1);
    EXPECT_EQ(without.output, "talvik-sim: gnuplot is not installed (tools/setup.sh plot installs "
                              "it): no plot written\n");
    if (access("/usr/bin/gnuplot", X_OK) == 0) {
        const outcome o = talvik_sim(library + "--quiet --plot " + png);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.output, "");
        const std::string image = read(png);
        ASSERT_GT(image.size(), 8u);
        EXPECT_EQ(image.substr(1, 3), "PNG");
    }
}

TEST_F(CommandLine, CheckScriptShowsThePatternOrSaysWhatIsWrong) {
    outcome o = talvik_sim("--check-script " + std::string(TALVIK_SOURCE_DIR) +
                           "/scripts/signal_pattern.nut");
    if (o.output.find("not available") != std::string::npos) GTEST_SKIP() << o.output;
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("fits the plug-in's script contract"), std::string::npos);
    EXPECT_NE(o.output.find("permitted speed"), std::string::npos);

    const struct {
        const char* script;
        const char* complaint;
    } table[] = {
        {"function get_brake_pattern_offset(r) { return 20; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n",
         "lookup_brake_pattern is missing"},
        {"function get_brake_pattern_offset(r) { return \"far\"; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n"
         "function lookup_brake_pattern(a, b, d, o) { return d; }\n",
         "get_brake_pattern_offset returned a string"},
        {"function get_brake_pattern_offset(r) { return 20; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n"
         "function lookup_brake_pattern(a, b, d, o) { return null; }\n",
         "lookup_brake_pattern returned null at distance 0 m"},
        // Top-level code that only works once: the plug-in runs it before every use.
        {"function get_brake_pattern_offset(r) { return 20; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n"
         "function lookup_brake_pattern(a, b, d, o) { return d; }\n"
         "if (\"ran\" in getroottable()) throw \"second run\"; ::ran <- true;\n",
         "its top-level code raised an error: second run (on run 2)"},
        {"function get_brake_pattern_offset(r) { return 1 +; }\n", "the script does not compile"},
        // Scripts that never end, grow without end, or return NaN: reported, never a hang.
        {"function get_brake_pattern_offset(r) { return 20; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n"
         "function lookup_brake_pattern(a, b, d, o) { return d; }\n"
         "while (true) {}\n",
         "the script ran too long (more than 1000000 steps) in its top-level code (on run 1)"},
        {"function get_brake_pattern_offset(r) { return 20; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n"
         "function lookup_brake_pattern(a, b, d, o) { local v = 0.0; while (true) v += 1.0; }\n",
         "the script ran too long (more than 1000000 steps) in lookup_brake_pattern at distance 0 "
         "m (16 of 16 distances fail)"},
        {"function get_brake_pattern_offset(r) { return 20; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n"
         "function lookup_brake_pattern(a, b, d, o) { local s = \"x\"; while (true) s = s + s; }\n",
         "the script used too much memory (more than 64 MB) in lookup_brake_pattern at distance 0 "
         "m"},
        {"function get_brake_pattern_offset(r) { return 20; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n"
         "function lookup_brake_pattern(a, b, d, o) { return 1 + lookup_brake_pattern(a, b, d, o); "
         "}\n",
         "the script nested its calls too deeply (more than 1000) in lookup_brake_pattern"},
        {"function get_brake_pattern_offset(r) { return 20; }\n"
         "function get_incoming_pattern_offset(r) { return 50; }\n"
         "function lookup_brake_pattern(a, b, d, o) { return sqrt(d - 100.0); }\n",
         "lookup_brake_pattern returned NaN at distance 0 m (5 of 16 distances fail)"},
    };
    for (const auto& row : table) {
        const std::string path = file("signal_pattern.nut", row.script);
        o = talvik_sim("--check-script " + path);
        EXPECT_EQ(o.status, 4) << row.script;
        EXPECT_NE(o.output.find("talvik-sim: " + path + ": " + row.complaint), std::string::npos)
            << o.output;
        // The VM's own report, where it makes one, once.
        const std::size_t report = o.output.find("AN ERROR HAS OCCURED");
        if (report != std::string::npos) {
            EXPECT_EQ(o.output.find("AN ERROR HAS OCCURED", report + 1), std::string::npos);
        }
    }
    // The table marks the distances that fail (the last script: below 100 m).
    EXPECT_NE(o.output.find("            75             FAILS  <- "), std::string::npos)
        << o.output;
    EXPECT_NE(o.output.find("           100               0.0\n"), std::string::npos) << o.output;
    o = talvik_sim("--check-script " + dir_ + "/none.nut");
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.output, "talvik-sim: " + dir_ +
                            "/none.nut: the script cannot be read: cannot open the file\n");
    // The author's own distances; a curve that rises toward the stop point or goes below zero
    // is warned of, not refused.
    const std::string odd =
        file("odd.nut", "function get_brake_pattern_offset(r) { return 0; }\n"
                        "function get_incoming_pattern_offset(r) { return 0; }\n"
                        "function lookup_brake_pattern(a, b, d, o) "
                        "{ return 100 - d; }\n");
    o = talvik_sim("--check-script " + odd + " 150 12.5 0");
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("          12.5              87.5\n"), std::string::npos) << o.output;
    EXPECT_EQ(o.output.find("          10 "), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("warning: at 150 m the permitted speed -50.0 is below zero"),
              std::string::npos)
        << o.output;
    EXPECT_NE(o.output.find("warning: the curve rises toward the stop point: 100.0 at 0 m, 87.5 "
                            "at 12.5 m"),
              std::string::npos)
        << o.output;
}

// Inputs and command lines that must stop before anything runs or is written, each with one line.
TEST_F(CommandLine, BadInputsAndCommandLinesGiveOneClearLine) {
    const std::string scenario = file("r.txt", "end at 0.1 s\n");
    mkdir((dir_ + "/a").c_str(), 0700);
    mkdir((dir_ + "/b").c_str(), 0700);
    file("a/r.txt", "end at 0.1 s\n");
    file("b/r.txt", "end at 0.2 s\n");
    std::ofstream(dir_ + "/huge.txt") << std::string((16u << 20) + 1, '\n');
    mkfifo((dir_ + "/pipe").c_str(), 0600);
    // A library cut short inside its segments, and one of the other width.
    const std::string library_bytes = read(TALVIK_LIBRARY_PATH);
    std::ofstream(dir_ + "/cut.so", std::ios::binary) << library_bytes.substr(0, 300000);
    std::string other_width = library_bytes;
    other_width[4] = other_width[4] == 1 ? 2 : 1;
    std::ofstream(dir_ + "/other.so", std::ios::binary) << other_width;

    const std::string d = dir_ + "/";
    const struct {
        std::string arguments;
        int status;
        std::string message; // the start of the one line
    } table[] = {
        {d, 2, d + ": is a directory, not a scenario file"},
        {"/dev/null", 2, "/dev/null: is not a file that can be read as a scenario"},
        {d + "huge.txt", 2, d + "huge.txt: is larger than 16 MB"},
        {d + "pipe " + scenario, 2, d + "pipe: a pipe can be read only once"},
        {"--csv " + d + "x --html " + d + "./x " + scenario, 2,
         "--csv and --html both name the file " + d + "./x"},
        {"--csv " + scenario + " " + scenario, 2, "--csv would overwrite the scenario " + scenario},
        {"--csv-dir " + d + " " + d + "a/r.txt " + d + "b/r.txt", 2,
         d + "a/r.txt and " + d + "b/r.txt would both write " + d + "/r.csv"},
        {"--html-dir " + d + "none " + scenario, 2, "--html-dir needs a directory: " + d + "none"},
        {"--csv " + d + "a " + scenario, 2, "--csv names a directory: " + d + "a"},
        {"--frobnicate", 2, "unknown option --frobnicate (--help lists them)"},
        {"--" + std::string(100, 'x'), 2, "unknown option --" + std::string(58, 'x') + "... "},
        {"--csv", 2, "--csv needs a value"},
        {"--html '' " + scenario, 2, "--html needs a value"},
        {"--plot-x sideways", 2, "--plot-x takes 'time' or 'position', not 'sideways'"},
        {"--library " + d + "cut.so", 3,
         "cannot load the plug-in library " + d + "cut.so: it is cut short"},
        {"--library " + d + "other.so", 3,
         "cannot load the plug-in library " + d + "other.so: it is a"},
        // Sweeps: a range with nothing in it, a zero step, one that runs backward, too many
        // cells, a name the scenario has no number for.
        {"--sweep speed= " + scenario, 2,
         "--sweep takes NAME=FROM:TO:STEP with three numbers, not 'speed='"},
        {"--sweep speed=10:20:0 " + scenario, 2, "--sweep speed: the step must be above 0, not 0"},
        {"--sweep speed=50:10:5 " + scenario, 2,
         "--sweep speed: the range runs backward: 50 is above 10"},
        {"--sweep speed=0:1000:0.001 " + scenario, 2,
         "--sweep speed: the range has more than 100000 values"},
        {"--sweep speed=0:100:1 --sweep train.accel=0:10:0.01 " + scenario, 2,
         "--sweep train.accel: the sweep would run more than 100000 cells"},
        {"--sweep beacon.distance=1:2:1 " + scenario, 2,
         "--sweep beacon.distance: the scenario has no beacon"},
        {"--sweep power=0:2.5:0.5 " + file("p.txt", "at 0 s power 1\n"), 2,
         "--sweep power: a whole number from 0 to 99 is needed, not 0.5"},
        {file("s.txt", "sweep speed from 10 to 5 step 1\n"), 2,
         d + "s.txt:1: sweep speed: the range runs backward: 10 is above 5"},
        {"--set speed=2000 " + scenario, 2, "--set speed: a value from -1000 to 1000 is needed"},
        {"--sweep speed=1:2:1 --sweep location=1:2:1 --sweep train.drag=0:1:1 " + scenario, 2,
         "--sweep train.drag: a sweep takes one or two numbers, and this is a third"},
        {"--set beacon@1.distance=5 " + scenario, 2,
         "--set beacon@1.distance: line 1 of the scenario is no beacon"},
        {"--workers 0 " + scenario, 2, "--workers takes a number from 1 to 256, not '0'"},
    };
    for (const auto& row : table) {
        const outcome o = talvik_sim(library + row.arguments);
        EXPECT_EQ(o.status, row.status) << row.arguments;
        EXPECT_EQ(o.output.rfind("talvik-sim: " + row.message, 0), 0u) << o.output;
        EXPECT_EQ(std::count(o.output.begin(), o.output.end(), '\n'), 1) << o.output;
    }
    EXPECT_EQ(read(scenario), "end at 0.1 s\n");
    // A sweep's worker takes its task down a pipe: whatever comes ends in one line.
    const std::string task = std::string("library ") + TALVIK_LIBRARY_PATH + "\n";
    const struct {
        std::string task, message;
    } tasks[] = {
        {"text 99999999999999999\n", "a scenario larger than any file read"},
        {"axis speed 99999999999\n1\n", "an axis of 99999999999 values"},
        {"frobnicate\n", "a task line not understood: frobnicate"},
        {task + "text 3\nabc\ncells 0 1\n", ":1: expected a setting"},
        {task + "axis speed 1\n5\ntext 0\n\ncells 0 0\n", "a cell line not understood"},
        {task + "axis speed 1\n5\ntext 0\n\ncells 1 1\n", "no cells 1 1"},
    };
    for (const auto& row : tasks) {
        const outcome o = talvik_sim("--sweep-worker < " + file("task", row.task));
        EXPECT_EQ(o.status, 1) << row.task;
        EXPECT_EQ(o.output.rfind("error " + row.message, 0), 0u) << o.output;
        EXPECT_EQ(std::count(o.output.begin(), o.output.end(), '\n'), 1) << o.output;
    }
    const outcome help = talvik_sim("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Exit status"), std::string::npos);
}

// Fields of a CSV row without quoted commas (the replay command is the last field).
std::vector<std::string> csv_fields(const std::string& row) {
    std::vector<std::string> fields;
    std::stringstream in(row);
    std::string f;
    while (std::getline(in, f, ','))
        fields.push_back(f);
    return fields;
}

// A coasting train (no running resistance) braked at the emergency rate from the pattern check
// stops v^2 / (2a) past the beacon, within a frame's travel; one worker or two, the same file.
TEST_F(CommandLine, SweepMarginsFollowTheTrainModel) {
    const std::string scenario = file("coast.txt", "train emergency 4 resistance 0 drag 0\n"
                                                   "vehicle brake_notches 8 ats_notch 4\n"
                                                   "end when stopped\n"
                                                   "at 0 s doors close\n"
                                                   "at 0 s reverser forward\n"
                                                   "at 100 m signal 0\n"
                                                   "at 100 m beacon type 50 signal 0 distance 250 "
                                                   "optional 0\n");
    const std::string sweep = "--sweep speed=100:140:20 --sweep beacon.distance=200:400:100 ";
    const outcome one = talvik_sim(library + sweep + "--workers 1 --csv " + dir_ + "/1.csv " +
                                   "--html " + dir_ + "/1.html " + scenario);
    ASSERT_EQ(one.status, 0) << one.output;
    // Only 100 km/h stops within 400 m (347 m); the worst, 140 within 200, needs 681 m.
    EXPECT_EQ(one.output, "sweep of 9 cells (speed x beacon.distance): 8 overran the stop point; "
                          "the worst: speed=140 beacon.distance=200, 480.556 m past the stop "
                          "point\n");
    const outcome two =
        talvik_sim(library + sweep + "--workers 2 --csv " + dir_ + "/2.csv " + scenario);
    ASSERT_EQ(two.status, 0) << two.output;
    EXPECT_EQ(read(dir_ + "/1.csv"), read(dir_ + "/2.csv"));

    std::istringstream rows(read(dir_ + "/1.csv"));
    std::string row;
    std::getline(rows, row);
    EXPECT_EQ(row, "cell,speed,beacon.distance,brake_by,brake_cause,brake_at_m,check_at_m,"
                   "check_speed_kmh,"
                   "permitted_kmh,stop_point_m,stop,stopped_at_m,margin_m,physics_margin_m,"
                   "frames,replay");
    int cells = 0;
    while (std::getline(rows, row)) {
        const std::vector<std::string> f = csv_fields(row);
        ASSERT_EQ(f.size(), 16u) << row;
        const double v = std::stod(f[1]), distance = std::stod(f[2]);
        EXPECT_EQ(f[0], std::to_string(cells));
        EXPECT_EQ(f[3], "protection") << row;
        // The run's account names the check: "pattern 120.0 ≥ 71.3".
        EXPECT_EQ(f[4].rfind("pattern " + f[1] + ".0 \u2265 ", 0), 0u) << row;
        EXPECT_EQ(f[10], "stopped") << row;
        EXPECT_EQ(std::stod(f[7]), v) << row; // coasting: the speed it started with
        EXPECT_GT(v, std::stod(f[8])) << row; // above the permitted speed
        const double expected = distance - v * v / (7.2 * 4.0);
        const double frame_travel = v / 3.6 * 0.020;
        EXPECT_NEAR(std::stod(f[12]), expected, frame_travel) << row;
        EXPECT_NEAR(std::stod(f[13]), expected, frame_travel) << row;
        EXPECT_EQ(f[15], "talvik-sim --library " + std::string(TALVIK_LIBRARY_PATH) +
                             " --set speed=" + f[1] + " --set beacon.distance=" + f[2] + " " +
                             scenario + " --html cell.html");
        ++cells;
    }
    EXPECT_EQ(cells, 9);
    // The replay command runs the cell alone: the same stop, to the millimetre, in its CSV file.
    const outcome alone = talvik_sim(library +
                                     "--quiet --set speed=120 --set "
                                     "beacon.distance=300 --csv " +
                                     dir_ + "/alone.csv " + scenario);
    ASSERT_EQ(alone.status, 0) << alone.output;
    const std::string frames = read(dir_ + "/alone.csv");
    const std::vector<std::string> header = csv_fields(frames.substr(0, frames.find('\n')));
    const std::size_t location =
        std::find(header.begin(), header.end(), "location_m") - header.begin();
    ASSERT_LT(location, header.size());
    const std::string last = frames.substr(frames.rfind('\n', frames.size() - 2) + 1);
    const std::string cell = read(dir_ + "/1.csv");
    const std::size_t at = cell.find("\n4,120,300,");
    ASSERT_NE(at, std::string::npos);
    const std::vector<std::string> f = csv_fields(cell.substr(at + 1, cell.find('\n', at + 1)));
    EXPECT_EQ(csv_fields(last)[location], f[11]) << last;
}

TEST(DebugChannel, ItsLinesJoinTheTimeline) {
    // The channel's name is one for the whole machine: other processes that load the plug-in
    // (other tests, an author's listener) would share it. A private network namespace, which
    // the simulator inherits, keeps this run to itself.
    if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        GTEST_SKIP() << "no private network namespace here";
    const outcome o = talvik_sim(library + "--debug");
    EXPECT_EQ(o.status, 0) << o.output;
    for (const char* line :
         {"debug: dll attached.", "debug: talvik > instance created.",
          "debug: talvik > initialized. param : 0", "debug: talvik > passed beacon.------",
          "debug:    type : 147", "debug: talvik > changed signal. signal : 0",
          "debug: talvik > bye.", "debug: dll detached."}) {
        EXPECT_NE(o.output.find(line), std::string::npos) << line;
    }
}

} // namespace
