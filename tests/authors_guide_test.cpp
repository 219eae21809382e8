// The author's guide against the plug-in: its index, sound, key and beacon tables are read from
// docs/authors-guide.md and checked through the exports, so the guide cannot drift.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "protection/script_limits.h"
#include "sim_process.h"

using namespace talvik_test;

namespace {

constexpr cab_spec spec{8, 4};
constexpr std::int32_t ats_notch = spec.ats_notch;
static_assert(spec.emergency() == emergency);

// One table of the guide: the rows under an anchor comment, cells found by their heading.
class guide_table {
  public:
    guide_table(const std::string& text, const std::string& name) {
        const std::string anchor = "<!-- table: " + name + " -->";
        const std::size_t at = text.find(anchor);
        if (at == std::string::npos) return;
        std::istringstream lines(text.substr(at + anchor.size()));
        std::string line;
        std::getline(lines, line); // rest of the anchor's line
        while (std::getline(lines, line) && !line.empty() && line.front() == '|') {
            std::vector<std::string> cells = split(line);
            if (headings_.empty()) {
                headings_ = cells;
            } else if (cells.empty() || cells.front().find("---") == std::string::npos) {
                rows_.push_back(cells);
            }
        }
    }

    bool found() const { return !rows_.empty(); }
    std::size_t size() const { return rows_.size(); }

    // The cell of `row` under `heading`; empty when there is none.
    std::string cell(std::size_t row, const std::string& heading) const {
        const auto h = std::find(headings_.begin(), headings_.end(), heading);
        if (h == headings_.end()) return {};
        const auto column = static_cast<std::size_t>(h - headings_.begin());
        return column < rows_[row].size() ? rows_[row][column] : std::string{};
    }

    // The whole number in a cell ("`-10000`" included); nothing for "-" or words.
    std::optional<std::int32_t> number(std::size_t row, const std::string& heading) const {
        std::string s = cell(row, heading);
        s.erase(std::remove(s.begin(), s.end(), '`'), s.end());
        if (s.empty() || s == "-") return std::nullopt;
        std::size_t used = 0;
        try {
            const int value = std::stoi(s, &used);
            if (used != s.size()) return std::nullopt;
            return value;
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

    // The numbers in the first column: indices, keys, beacon types, sound commands.
    std::vector<std::int32_t> keys() const {
        std::vector<std::int32_t> out;
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            const auto n = number(r, headings_.front());
            EXPECT_TRUE(n.has_value()) << "row " << r << ": '" << rows_[r].front() << "'";
            if (n) out.push_back(*n);
        }
        return out;
    }

    // The row whose first column is `key`.
    std::size_t row_of(std::int32_t key) const {
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            if (number(r, headings_.front()) == key) return r;
        }
        ADD_FAILURE() << key << " is not in the table";
        return 0;
    }

    // The first column of the row whose `heading` cell is `words`, or else of the one row
    // whose cell contains them (case ignored).
    std::int32_t key_where(const std::string& heading, const std::string& words) const {
        std::vector<std::int32_t> found;
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            const std::string c = cell(r, heading);
            if (contains(c, words) && c.size() == words.size())
                return *number(r, headings_.front());
            if (contains(c, words)) found.push_back(*number(r, headings_.front()));
        }
        EXPECT_EQ(found.size(), 1u) << "rows with '" << words << "' under " << heading;
        return found.empty() ? -1 : found.front();
    }

    static bool contains(std::string text, std::string words) {
        for (auto* s : {&text, &words}) {
            std::transform(s->begin(), s->end(), s->begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        }
        return text.find(words) != std::string::npos;
    }

  private:
    static std::vector<std::string> split(const std::string& line) {
        std::vector<std::string> cells;
        std::string inner = line.substr(1);
        if (!inner.empty() && inner.back() == '|') inner.pop_back();
        std::istringstream parts(inner);
        std::string part;
        while (std::getline(parts, part, '|')) {
            const auto first = part.find_first_not_of(' ');
            const auto last = part.find_last_not_of(' ');
            cells.push_back(first == std::string::npos ? "" : part.substr(first, last - first + 1));
        }
        return cells;
    }

    std::vector<std::string> headings_;
    std::vector<std::vector<std::string>> rows_;
};

const std::string& guide_text() {
    static const std::string text = [] {
        std::ifstream in(std::string(TALVIK_SOURCE_DIR) + "/docs/authors-guide.md");
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }();
    return text;
}

struct guide {
    guide_table panel{guide_text(), "panel"};
    guide_table sound{guide_text(), "sound"};
    guide_table sound_commands{guide_text(), "sound-commands"};
    guide_table keys{guide_text(), "keys"};
    guide_table beacons{guide_text(), "beacons"};

    std::int32_t panel_index(const std::string& words) const {
        return panel.key_where("What it shows", words);
    }
    std::int32_t sound_index(const std::string& words) const {
        return sound.key_where("Sound", words);
    }
    std::int32_t key(const std::string& words) const { return keys.key_where("Name", words); }
    // Indices of every row whose "What it shows" mentions `words`.
    std::set<std::int32_t> panel_rows_with(const std::string& words) const {
        std::set<std::int32_t> out;
        for (std::size_t r = 0; r < panel.size(); ++r) {
            if (guide_table::contains(panel.cell(r, "What it shows"), words)) {
                out.insert(*panel.number(r, "Index"));
            }
        }
        return out;
    }
};

const guide& the_guide() {
    static const guide g;
    return g;
}

template <typename C> std::set<std::int32_t> as_set(const C& c) { return {c.begin(), c.end()}; }

// Standing, doors closed, start-up test over and its chime released: the guide's quiet cab.
struct guide_cab : quiet_cab {
    guide_cab() : quiet_cab(spec) { frames(3); }
    // Lamps (rows with the values "0, 1") at `value` now.
    std::set<std::int32_t> panel_at(std::int32_t value) const {
        const guide_table& t = the_guide().panel;
        std::set<std::int32_t> out;
        for (std::size_t r = 0; r < t.size(); ++r) {
            const std::int32_t i = *t.number(r, "Index");
            if (t.cell(r, "Values") == "0, 1" && panel[static_cast<std::size_t>(i)] == value) {
                out.insert(i);
            }
        }
        return out;
    }
    std::set<std::int32_t> sounds_at(std::int32_t value) const {
        std::set<std::int32_t> out;
        for (const std::int32_t i : the_guide().sound.keys()) {
            if (sound[static_cast<std::size_t>(i)] == value) out.insert(i);
        }
        return out;
    }
};

} // namespace

// The index tables say what the signal table says, in its words (talvik-sim and the replay page
// take theirs from there).
TEST(AuthorsGuide, TablesArePresentInTheSignalTablesWords) {
    const guide& g = the_guide();
    ASSERT_FALSE(guide_text().empty()) << "docs/authors-guide.md not found";
    EXPECT_TRUE(g.sound_commands.found());
    EXPECT_TRUE(g.beacons.found());
    EXPECT_EQ(g.keys.size(), ats::cab::keys.size());
    for (const auto& k : ats::cab::keys)
        EXPECT_EQ(g.keys.cell(g.keys.row_of(k.key), "Name"), k.meaning);
    EXPECT_EQ(g.panel.size(), ats::cab::panel_layout.size());
    for (const auto& m : ats::cab::panel_layout) {
        const std::size_t r = g.panel.row_of(m.index);
        EXPECT_EQ(g.panel.cell(r, "What it shows"), m.meaning) << m.index;
        EXPECT_EQ(g.panel.cell(r, "Values"), m.values) << m.index;
    }
    EXPECT_EQ(g.sound.size(), ats::cab::sound_layout.size());
    for (const auto& m : ats::cab::sound_layout) {
        const std::size_t r = g.sound.row_of(m.index);
        EXPECT_EQ(g.sound.cell(r, "Sound"), m.name) << m.index;
        EXPECT_EQ(g.sound.cell(r, "When it sounds"), m.meaning) << m.index;
        EXPECT_EQ(g.sound.cell(r, "Kind"),
                  m.kind == ats::cab::shows::one_shot_sound ? "one-shot" : "continuous");
    }
    // The fail-safe cab it describes is checked with the protection's tests.
    EXPECT_NE(guide_text().find("talvik > script error: cannot open the file"), std::string::npos);
    std::ifstream readme(std::string(TALVIK_SOURCE_DIR) + "/README.md");
    std::stringstream text;
    text << readme.rdbuf();
    EXPECT_NE(text.str().find("(docs/authors-guide.md)"), std::string::npos)
        << "README.md links the guide";
}

TEST(AuthorsGuide, ListsExactlyTheIndicesThePluginWritesOnEveryFrame) {
    const guide& g = the_guide();
    const std::set<std::int32_t> panel = as_set(g.panel.keys());
    const std::set<std::int32_t> sound = as_set(g.sound.keys());
    EXPECT_EQ(panel.size(), g.panel.size()) << "an index listed twice";
    EXPECT_EQ(sound.size(), g.sound.size()) << "an index listed twice";

    guide_cab h;
    h.speed(60.0f);
    h.beacon(beacon::alarm, 0, 500.0f, 0);
    h.beacon(beacon::stop_station, 0, 0.0f, 0);
    h.beacon(beacon::crew, 0, 0.0f, 1);
    h.frames(20);
    // Every frame writes every listed index: clear the arrays and look after one more frame.
    h.panel.fill(sentinel);
    h.sound.fill(sentinel);
    h.frame();
    for (std::size_t i = 0; i < h.panel.size(); ++i) {
        const bool listed = panel.count(static_cast<std::int32_t>(i)) != 0;
        EXPECT_EQ(h.panel[i] != sentinel, listed) << "panel " << i;
    }
    for (std::size_t i = 0; i < h.sound.size(); ++i) {
        const bool listed = sound.count(static_cast<std::int32_t>(i)) != 0;
        EXPECT_EQ(h.sound[i] != sentinel, listed) << "sound " << i;
    }
}

TEST(AuthorsGuide, QuietCabShowsTheDocumentedValues) {
    const guide& g = the_guide();
    guide_cab h;
    const ats::handles out = h.frame();
    int checked = 0;
    for (std::size_t r = 0; r < g.panel.size(); ++r) {
        const auto expected = g.panel.number(r, "Quiet cab after start");
        if (!expected) continue;
        const std::int32_t i = *g.panel.number(r, "Index");
        EXPECT_EQ(h.panel[static_cast<std::size_t>(i)], *expected) << "panel " << i;
        ++checked;
    }
    for (std::size_t r = 0; r < g.sound.size(); ++r) {
        const auto expected = g.sound.number(r, "Quiet cab after start");
        ASSERT_TRUE(expected) << "every sound has a documented resting value";
        const std::int32_t i = *g.sound.number(r, "Index");
        EXPECT_EQ(h.sound[static_cast<std::size_t>(i)], *expected) << "sound " << i;
        // A one-shot sound rests at "leave unchanged", a continuous one at "silent".
        EXPECT_EQ(*expected, g.sound.cell(r, "Kind") == "one-shot" ? unchanged : silent) << i;
        ++checked;
    }
    EXPECT_GE(checked, 25);
    EXPECT_EQ(out.power, 0);
    EXPECT_EQ(out.brake, 0);
    EXPECT_EQ(out.const_speed, 2);
}

TEST(AuthorsGuide, SoundsOnlyReceiveTheFourCommandsOfTheirKind) {
    const guide& g = the_guide();
    EXPECT_EQ(as_set(g.sound_commands.keys()),
              (std::set<std::int32_t>{silent, playing, start_once, unchanged}));

    std::map<std::int32_t, std::set<std::int32_t>> seen;
    std::map<std::int32_t, int> started;
    guide_cab h;
    const auto watch = [&](int n) {
        for (int f = 0; f < n; ++f) {
            h.frame();
            for (const std::int32_t i : g.sound.keys()) {
                const std::int32_t v = h.sound[static_cast<std::size_t>(i)];
                seen[i].insert(v);
                if (v == start_once) ++started[i];
            }
        }
    };
    // Alarm, confirmed: the bell stops once. A two-person crew departs: one departure sound.
    h.speed(40.0f);
    h.beacon(beacon::crew, 0, 0.0f, 1);
    h.beacon(beacon::alarm, 0, 500.0f, 0);
    h.beacon(beacon::stop_station, 0, 0.0f, 0);
    h.beacon(beacon::section, 0, 0.0f, 0);
    watch(5);
    h.api.SetBrake(ats_notch);
    h.press(g.key("confirm"));
    watch(1);
    h.release(g.key("confirm"));
    watch(5);
    h.doors_closed(false);
    watch(2);
    h.doors_closed(true);
    watch(3100); // past the vigilance warning at 60 s
    for (const std::int32_t i : g.sound.keys()) {
        const std::string kind = g.sound.cell(g.sound.row_of(i), "Kind");
        const std::set<std::int32_t> allowed =
            kind == "one-shot" ? std::set{start_once, unchanged} : std::set{playing, silent};
        for (const std::int32_t v : seen[i]) {
            EXPECT_TRUE(allowed.count(v)) << "sound " << i << " (" << kind << ") got " << v;
        }
    }
    EXPECT_EQ(started[g.sound_index("bell reverberation")], 1);
    EXPECT_EQ(started[g.sound_index("departure")], 1);
    for (const std::int32_t i :
         {g.sound_index("bell"), g.sound_index("chime"), g.sound_index("vigilance"),
          g.sound_index("stop-station"), g.sound_index("section")}) {
        EXPECT_TRUE(seen[i].count(playing)) << "sound " << i << " never played";
    }
}

TEST(AuthorsGuide, ProtectionLampsSoundsAndKeysMeanWhatTheGuideSays) {
    const guide& g = the_guide();
    EXPECT_EQ(as_set(g.keys.keys()), (std::set<std::int32_t>{0, 1, 2, 3}));
    const std::int32_t white = g.panel_index("white lamp"), red = g.panel_index("red lamp");
    const std::int32_t bell = g.sound_index("bell"), chime = g.sound_index("chime");
    const std::int32_t reverb = g.sound_index("reverberation");
    const std::int32_t confirm = g.key("confirm"), release = g.key("release");
    const std::int32_t reset = g.key("reset");

    guide_cab h;
    EXPECT_EQ(h.panel_at(1).count(white), 1u);
    h.beacon(beacon::alarm, 0, 500.0f, 0);
    h.frame();
    EXPECT_EQ(h.sounds_at(playing), (std::set<std::int32_t>{bell, chime}));
    EXPECT_EQ(h.panel[red], 1);
    EXPECT_EQ(h.panel[white], 0);

    // Keys the guide does not list change nothing; a confirm below the confirm notch is lost.
    h.api.SetBrake(ats_notch);
    for (const std::int32_t other : {4, 5, 6, 7, 8, 15})
        h.tap(other);
    EXPECT_EQ(h.sounds_at(playing), (std::set<std::int32_t>{bell, chime}));
    h.api.SetBrake(ats_notch - 1);
    h.tap(confirm);
    EXPECT_EQ(h.sounds_at(playing), (std::set<std::int32_t>{bell, chime}));

    h.api.SetBrake(ats_notch);
    h.press(confirm);
    h.frame(); // the bell's extra frame
    EXPECT_EQ(h.sounds_at(start_once), (std::set<std::int32_t>{reverb}));
    h.release(confirm);
    h.frame();
    EXPECT_EQ(h.sounds_at(playing), (std::set<std::int32_t>{chime}));
    EXPECT_EQ(h.panel[white], 1);
    h.tap(release);
    EXPECT_TRUE(h.sounds_at(playing).empty());

    // A trip brakes until the brake handle is at emergency and the reset key is pressed.
    h.beacon(beacon::trip, 0, 0.0f, 0);
    h.api.SetBrake(0);
    h.frame();
    EXPECT_EQ(h.out.brake, emergency);
    h.tap(reset);
    EXPECT_EQ(h.out.brake, emergency) << "reset with the brake released keeps the brake";
    h.api.SetBrake(emergency);
    h.tap(reset);
    h.api.SetBrake(0);
    h.frames(2);
    EXPECT_EQ(h.out.brake, 0);
    EXPECT_EQ(h.panel[red], 0);
}

TEST(AuthorsGuide, VigilanceAndMonitorIndicesMeanWhatTheGuideSays) {
    const guide& g = the_guide();
    {
        SCOPED_TRACE("vigilance");
        guide_cab h;
        h.speed(30.0f);
        h.reach_vigilance_warning();
        EXPECT_EQ(h.panel_at(1).count(g.panel_index("vigilance lamp")), 1u);
        EXPECT_EQ(h.sounds_at(playing), (std::set<std::int32_t>{g.sound_index("vigilance")}));
        h.press(g.key("vigilance"));
        h.frame();
        EXPECT_TRUE(h.sounds_at(playing).empty());
        EXPECT_EQ(h.panel_at(1).count(g.panel_index("vigilance lamp")), 0u);
    }
    {
        SCOPED_TRACE("handle lamps, crew, stop station, section");
        guide_cab h;
        const std::set<std::int32_t> lit = h.panel_at(1);
        h.api.SetBrake(emergency);
        h.frame();
        std::set<std::int32_t> now = h.panel_at(1);
        for (std::int32_t i : lit)
            now.erase(i);
        EXPECT_EQ(now, (std::set<std::int32_t>{g.panel_index("emergency-brake lamp")}));
        h.api.SetBrake(0);
        h.frame();
        EXPECT_EQ(h.panel[static_cast<std::size_t>(g.panel_index("one-man"))], 1);
        h.beacon(beacon::crew, 0, 0.0f, 1);
        h.frame();
        EXPECT_EQ(h.panel[static_cast<std::size_t>(g.panel_index("one-man"))], 0);

        h.beacon(beacon::stop_station, 0, 0.0f, 0);
        h.beacon(beacon::section, 0, 0.0f, 0);
        std::set<std::int32_t> blinked;
        for (int f = 0; f < 60; ++f) {
            h.frame();
            for (std::int32_t i : h.panel_at(1)) {
                if (!lit.count(i)) blinked.insert(i);
            }
        }
        EXPECT_EQ(blinked, (std::set<std::int32_t>{g.panel_index("stop-station lamp")}));
        EXPECT_EQ(h.sounds_at(playing), (std::set<std::int32_t>{g.sound_index("stop-station"),
                                                                g.sound_index("section")}));
        h.doors_closed(false);
        h.frame();
        EXPECT_TRUE(h.sounds_at(playing).empty()) << "open doors end both";
    }
    {
        SCOPED_TRACE("traction state");
        guide_cab h;
        h.state.traction_value = 1.0f;
        h.frames(60);
        EXPECT_EQ(h.panel[static_cast<std::size_t>(g.panel_index("traction lamp"))], 1);
        EXPECT_EQ(h.panel[static_cast<std::size_t>(g.panel_index("traction state:"))], 1);
        const std::string codes =
            g.panel.cell(g.panel.row_of(g.panel_index("traction state:")), "What it shows");
        EXPECT_TRUE(guide_table::contains(codes, "1 power")) << codes;
        h.state.traction_value = -1.0f;
        h.api.SetBrake(1);
        h.frames(60);
        EXPECT_EQ(h.panel[static_cast<std::size_t>(g.panel_index("traction state:"))], 3);
        EXPECT_TRUE(guide_table::contains(codes, "3 electric brake at notch 1")) << codes;
    }
    {
        SCOPED_TRACE("position, clock, date, train number, maximum speed");
        cab h({spec.notches, spec.ats_notch, (10 * 3600 + 45 * 60 + 27) * 1000});
        h.state.location = 12345.6;
        h.beacon(beacon::max_speed, 0, 0.0f, 123);
        for (std::int32_t k = 0; k < 6; ++k)
            h.beacon(beacon::train_number + k, 0, 0.0f, k + 1);
        h.frame(0);
        const auto at = [&](std::int32_t i) { return h.panel[static_cast<std::size_t>(i)]; };

        EXPECT_EQ(g.panel_rows_with("position, ").size(), 4u);
        EXPECT_EQ(at(g.panel_index("position, hundreds")), 11) << "blank";
        EXPECT_EQ(at(g.panel_index("position, tens")), 1);
        EXPECT_EQ(at(g.panel_index("position, units")), 2);
        EXPECT_EQ(at(g.panel_index("position, tenths")), 3);
        const std::string blank =
            g.panel.cell(g.panel.row_of(g.panel_index("hundreds of kilo")), "Values");
        EXPECT_TRUE(guide_table::contains(blank, "11")) << blank;

        EXPECT_EQ(at(g.panel_index("clock, minutes")), 45);
        EXPECT_EQ(at(g.panel_index("clock, seconds")), 27);
        const std::time_t t = std::time(nullptr);
        const std::tm* local = std::localtime(&t);
        EXPECT_EQ(at(g.panel_index("date, month")), local->tm_mon + 1);
        EXPECT_EQ(at(g.panel_index("date, day")), local->tm_mday);

        EXPECT_EQ(g.panel_rows_with("train number").size(), 6u);
        for (std::int32_t k = 1; k <= 6; ++k) {
            EXPECT_EQ(at(g.panel_index("train number, digit " + std::to_string(k))), k);
        }
        EXPECT_EQ(at(g.panel_index("maximum speed, hundreds")), 1);
        EXPECT_EQ(at(g.panel_index("maximum speed, tens")), 2);
        EXPECT_EQ(at(g.panel_index("maximum speed, units")), 3);
    }
}

namespace {
// Every output of three frames after an optional beacon, from a quiet cab at 60.
std::vector<std::int32_t> outputs_after(const ats::beacon_data* b) {
    guide_cab h;
    h.speed(60.0f);
    h.frame();
    if (b != nullptr) h.api.SetBeaconData(*b);
    std::vector<std::int32_t> out;
    const std::set<std::int32_t> date = the_guide().panel_rows_with("date");
    for (int f = 0; f < 3; ++f) {
        const ats::handles hs = h.frame();
        out.insert(out.end(), {hs.brake, hs.power, hs.reverser, hs.const_speed});
        for (const std::int32_t i : the_guide().panel.keys()) {
            if (!date.count(i)) out.push_back(h.panel[static_cast<std::size_t>(i)]);
        }
        for (const std::int32_t i : the_guide().sound.keys()) {
            out.push_back(h.sound[static_cast<std::size_t>(i)]);
        }
    }
    return out;
}
} // namespace

TEST(AuthorsGuide, BeaconTableListsEveryTypeThePluginReactsTo) {
    const guide& g = the_guide();
    const std::vector<std::int32_t> listed = g.beacons.keys();
    const std::vector<std::int32_t> baseline = outputs_after(nullptr);

    // distance 100: the bundled pattern permits less than 60 there; optional 5: a value that
    // differs from every default and is below 60.
    std::set<std::int32_t> reacting_at_stop;
    for (std::int32_t type = -2; type <= 300; ++type) {
        const ats::beacon_data b{type, 0, 100.0f, 5};
        if (outputs_after(&b) != baseline) reacting_at_stop.insert(type);
    }
    EXPECT_EQ(reacting_at_stop, as_set(listed));

    for (const std::int32_t type : listed) {
        const std::string when = g.beacons.cell(g.beacons.row_of(type), "Acts when `signal` is");
        EXPECT_TRUE(when == "0" || when == "any") << type << ": " << when;
        const ats::beacon_data clear{type, 3, 100.0f, 5};
        EXPECT_EQ(outputs_after(&clear) != baseline, when == "any") << "type " << type;
    }
}

TEST(AuthorsGuide, ListsTheLimitsOfAScriptWithThePluginsOwnFigures) {
    const std::string text = guide_text();
    const std::string steps = std::to_string(ats::script_limits::steps_per_run);
    const std::string megabytes = std::to_string(ats::script_limits::memory_bytes >> 20);
    for (const std::string& report :
         {std::string("`the pattern speed is not a number`"),
          "`the script ran too long (more than " + steps + " steps) in NAME`",
          "`the script nested its calls too deeply (more than " +
              std::to_string(ats::script_limits::call_depth) + ") in NAME`",
          "`the script used too much memory (more than " + megabytes + " MB) in NAME`",
          "at most " + std::to_string(ats::script_limits::open_files) + " files open at once"}) {
        EXPECT_NE(text.find(report), std::string::npos) << report;
    }
}

namespace {
using talvik_test::run_sim;

// The indented block of the guide that starts with `first_line`.
std::string code_block(const std::string& first_line) {
    const std::string& text = guide_text();
    std::size_t at = text.find("\n    " + first_line + "\n");
    if (at == std::string::npos) return {};
    std::string block;
    std::istringstream lines(text.substr(at + 1));
    std::string line;
    while (std::getline(lines, line) && (line.empty() || line.rfind("    ", 0) == 0)) {
        block += (line.empty() ? line : line.substr(4)) + "\n";
    }
    return block;
}
} // namespace

TEST(AuthorsGuide, BundledCurveSpeedsAreThoseTalvikSimPrints) {
    const std::string& text = guide_text();
    const std::size_t at = text.find("Permitted speeds with these values:");
    ASSERT_NE(at, std::string::npos);
    const std::string sentence = text.substr(at, text.find("\n\n", at) - at);

    std::string out;
    const std::string script = std::string(TALVIK_SOURCE_DIR) + "/scripts/signal_pattern.nut";
    ASSERT_EQ(run_sim("--check-script " + script, out), 0) << out;
    std::map<int, std::string> printed; // distance -> permitted speed, as printed
    const std::regex row(R"(^\s+(\d+)\s+(-?\d+\.\d)\s*$)");
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, row)) printed[std::stoi(m[1])] = m[2];
    }

    const std::regex quoted(R"((\d+\.\d)(?:\s+km/h)?\s+at\s+(\d+)\s+m)");
    int checked = 0;
    for (auto it = std::sregex_iterator(sentence.begin(), sentence.end(), quoted);
         it != std::sregex_iterator(); ++it, ++checked) {
        const int distance = std::stoi((*it)[2]);
        ASSERT_TRUE(printed.count(distance)) << distance << " m is not in the table:\n" << out;
        EXPECT_EQ(printed[distance], (*it)[1].str()) << "at " << distance << " m";
    }
    EXPECT_EQ(checked, 6) << sentence;
    EXPECT_EQ(printed[10], "0.0") << "0 at 20 m or less";
}

TEST(AuthorsGuide, WorkedExampleRunsAsTheGuideTellsIt) {
    const std::string scenario = code_block("name Approach to S1 at stop");
    ASSERT_FALSE(scenario.empty());
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("talvik-guide-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "approach.txt") << scenario;

    std::string out;
    const int status = run_sim(
        "--quiet --csv " + (dir / "run.csv").string() + " " + (dir / "approach.txt").string(), out);
    ASSERT_EQ(status, 0) << out;
    std::ifstream csv(dir / "run.csv");
    std::string line;
    std::getline(csv, line); // header: time_ms,elapsed_ms,location_m,speed,brake,...
    // The guide names every column of the header, the indices as `panel_N` and `sound_N`.
    const guide_table columns(guide_text(), "csv");
    std::string named;
    for (std::size_t r = 0; r < columns.size(); ++r)
        named += columns.cell(r, "Column") + ",";
    std::istringstream header(line);
    for (std::string column; std::getline(header, column, ',');) {
        const std::string as_named = column.rfind("panel_", 0) == 0   ? "panel_N"
                                     : column.rfind("sound_", 0) == 0 ? "sound_N"
                                                                      : column;
        EXPECT_NE(named.find("`" + as_named + "`"), std::string::npos) << column;
    }
    const std::string pattern_cause = "pattern ";
    std::string cause_at_brake;
    double first_brake_at = -1.0, last_location = 0.0;
    double speed_at_brake = 0.0;
    while (std::getline(csv, line)) {
        std::istringstream cells(line);
        std::string time, elapsed, location, speed, brake;
        std::getline(cells, time, ',');
        std::getline(cells, elapsed, ',');
        std::getline(cells, location, ',');
        std::getline(cells, speed, ',');
        std::getline(cells, brake, ',');
        last_location = std::stod(location);
        if (first_brake_at < 0.0 && std::stoi(brake) == emergency) {
            first_brake_at = last_location;
            speed_at_brake = std::stod(speed);
            cause_at_brake = line.substr(line.rfind(',') + 1);
        }
    }
    fs::remove_all(dir);
    // Braked at the 50 m beacon at about 26 km/h, standing some 30 m before S1 at 2000 m.
    EXPECT_GE(first_brake_at, 1950.0);
    EXPECT_LT(first_brake_at, 1952.0);
    EXPECT_NEAR(speed_at_brake, 26.0, 1.0);
    EXPECT_EQ(cause_at_brake.rfind(pattern_cause, 0), 0u) << cause_at_brake;
    EXPECT_NEAR(2000.0 - last_location, 30.0, 5.0);
}
