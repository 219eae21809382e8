// The Windows test host: loads talvik.dll from a fresh directory like the simulator does, checks
// the calling convention of every export, the debug mailslot of a short session byte for byte,
// folders and script files named and saved the ways users have them, the broken scripts a
// protection must contain, and the shipped tools (talvik-dbgview, talvik-sim), and writes the
// outputs of the shared scripted session and of the broken scripts for comparison with the other
// builds. One run does everything: under emulation every start of a
// 32-bit program costs several seconds.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "channel_listener.h"
#include "plugin/host/host_types.h"
#include "script_encodings.h"
#include "short_session.h"
#include "tools/hostkit/hostkit.h"
#include "win/parity_session.h"
#include "wiring/cab.h"

namespace {

constexpr int bits = static_cast<int>(sizeof(void*) * 8);
int checks = 0;
int failures = 0;

void check(bool ok, const char* format, ...) {
    ++checks;
    if (ok) return;
    ++failures;
    std::va_list args;
    va_start(args, format);
    std::printf("FAIL: ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

using hostkit::plugin_api;
using talvik_test::load_lines;
using mailslot = talvik_test::channel_listener;
namespace beacon = ats::cab::beacon;

// Loads a copy of the plug-in through the host kit; a failure is a failed check.
bool load(hostkit::plugin_library& lib, const std::string& path) {
    std::string error;
    const bool loaded = lib.open(path, error);
    check(loaded, "%s", error.c_str());
    return loaded;
}

// A directory of about 230 characters below `base`, made anew, with the DLL and the files meant
// to lie beside it copied in. Returns the DLL's path there.
std::string prepare_fresh_directory(const std::string& base, const std::string& name,
                                    const std::string& dll, const std::vector<std::string>& beside,
                                    const std::string& dll_name = "talvik.dll") {
    std::string dir = base;
    if (dir.back() != '\\') dir += '\\';
    CreateDirectoryA(dir.c_str(), nullptr);
    dir += name + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    while (dir.size() < 200) {
        dir += "a rather long directory name\\";
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    if (dir.size() < 229) {
        dir += std::string(229 - dir.size(), 'x') + "\\";
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    check(dir.size() == 230, "fresh directory has %u characters", unsigned(dir.size()));

    const std::string target = dir + dll_name;
    const auto copy = [](const std::string& from, const std::string& to) {
        const bool copied = CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
        const DWORD error = GetLastError();
        check(copied, "copy %s to %s (error %lu)", from.c_str(), to.c_str(), error);
    };
    copy(dll, target);
    for (const std::string& file : beside) {
        const std::size_t slash = file.find_last_of("\\/");
        copy(file, dir + (slash == std::string::npos ? file : file.substr(slash + 1)));
    }
    return target;
}

void compare_messages(const char* what, const std::vector<std::string>& got,
                      const std::vector<std::string>& want) {
    const std::size_t n = got.size() > want.size() ? got.size() : want.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string g = i < got.size() ? escaped(got[i]) : "(nothing)";
        const std::string w = i < want.size() ? escaped(want[i]) : "(nothing)";
        check(i < got.size() && i < want.size() && got[i] == want[i],
              "%s: message %u is \"%s\", expected \"%s\"", what, unsigned(i), g.c_str(), w.c_str());
    }
}

// Load without a listener: the whole run stays silent, even once a listener appears.
void check_silence_without_listener(const plugin_api& api) {
    api.Load();
    mailslot slot;
    check(slot.is_open(), "create the mailslot: %s", slot.error().c_str());
    api.Initialize(0);
    api.SetSignal(1);
    api.SetBeaconData(ats::beacon_data{beacon::alarm, 0, 10.0f, 0});
    api.Dispose();
    compare_messages("run without a listener at Load", slot.take(), {});
}

// The short session with the listener present: every line, byte for byte, one per message.
void check_session_messages(const plugin_api& api) {
    mailslot slot;
    check(slot.is_open(), "create the mailslot: %s", slot.error().c_str());
    talvik_test::run_short_session(api);
    compare_messages("session with a listener", slot.take(), talvik_test::short_session_lines());
}

// A copy of the DLL with no script beside it reports that on Load: the script the other copy
// found came from the DLL's own directory, not from anywhere else.
void check_script_is_looked_up_beside_the_dll(const std::string& base, const std::string& dll) {
    hostkit::plugin_library lib;
    if (!load(lib, prepare_fresh_directory(base, "without a script", dll, {}))) return;
    {
        mailslot slot;
        lib.api().Load();
        lib.api().Dispose();
        const std::vector<std::string> got = slot.take();
        const std::string error_line = "talvik > script error: ";
        check(got.size() >= 2 && got[0] == "dll attached.\r\n" &&
                  got[1].compare(0, error_line.size(), error_line) == 0,
              "without a script beside the DLL, Load reports it (got %u messages, second \"%s\")",
              unsigned(got.size()), got.size() >= 2 ? escaped(got[1]).c_str() : "");
    }
}

// Renamed to a Japanese name whose second byte in code page 932 is a backslash, the DLL still
// finds the script beside it: that byte must not count as a separator.
void check_double_byte_file_name(const std::string& base, const std::string& dll,
                                 const std::vector<std::string>& beside) {
    if (GetACP() != 932) {
        check(false, "the ANSI code page is %u, not 932: start the host with LC_ALL=ja_JP.UTF-8",
              GetACP());
        return;
    }
    hostkit::plugin_library lib;
    if (!load(lib,
              prepare_fresh_directory(base, "double-byte name", dll, beside, "\x95\x5c.dll"))) {
        return;
    }
    mailslot slot;
    lib.api().Load();
    lib.api().Dispose();
    compare_messages("DLL with a double-byte name", slot.take(),
                     talvik_test::joined({load_lines, talvik_test::dispose_lines}));
}

#if defined(__i386__)
// Calls `fn` with `count` stack words (args[0] lowest, next to the return address) and reports
// how many bytes the callee removed from the stack. Returns eax. Written by hand so that nothing
// but the callee itself can restore the stack pointer.
extern "C" std::uint32_t call_stdcall(const void* fn, const std::uint32_t* args,
                                      std::uint32_t count, std::uint32_t* removed);
asm(R"(
    .text
    .globl _call_stdcall
_call_stdcall:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  16(%ebp), %ecx
    movl  12(%ebp), %esi
    jecxz 2f
1:  pushl -4(%esi,%ecx,4)
    loop  1b
2:  movl  %esp, %ebx
    call  *8(%ebp)
    movl  %esp, %ecx
    subl  %ebx, %ecx
    movl  20(%ebp), %edx
    movl  %ecx, (%edx)
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

template <typename T> void push_words(std::vector<std::uint32_t>& words, const T& value) {
    static_assert(sizeof(T) % 4 == 0);
    std::uint32_t w[sizeof(T) / 4];
    std::memcpy(w, &value, sizeof w);
    words.insert(words.end(), w, w + sizeof(T) / 4);
}

std::uint32_t raw_call(const char* name, const void* fn, const std::vector<std::uint32_t>& words) {
    std::uint32_t removed = 0xFFFFFFFF;
    const std::uint32_t eax = call_stdcall(fn, words.data(), words.size(), &removed);
    check(removed == 4 * words.size(), "%s removed %u bytes of arguments, expected %u", name,
          removed, unsigned(4 * words.size()));
    return eax;
}

// Every export called by hand, as the host's compiler would, checking what each takes off the
// stack and that Elapse fills and returns the result record it was given.
void check_stack_discipline(const plugin_api& api) {
    const auto w = [](std::int32_t v) { return std::vector<std::uint32_t>{std::uint32_t(v)}; };
    raw_call("Load", reinterpret_cast<const void*>(api.Load), {});
    const std::uint32_t version =
        raw_call("GetPluginVersion", reinterpret_cast<const void*>(api.GetPluginVersion), {});
    check(version == 0x20000, "GetPluginVersion returned %#x", version);
    std::vector<std::uint32_t> vehicle_words;
    push_words(vehicle_words, ats::vehicle_spec{8, 0, 2, 0, 0});
    raw_call("SetVehicleSpec", reinterpret_cast<const void*>(api.SetVehicleSpec), vehicle_words);
    raw_call("Initialize", reinterpret_cast<const void*>(api.Initialize), w(0));
    raw_call("DoorClose", reinterpret_cast<const void*>(api.DoorClose), {});
    raw_call("SetReverser", reinterpret_cast<const void*>(api.SetReverser), w(1));
    raw_call("SetPower", reinterpret_cast<const void*>(api.SetPower), w(2));
    raw_call("SetBrake", reinterpret_cast<const void*>(api.SetBrake), w(0));
    raw_call("KeyDown", reinterpret_cast<const void*>(api.KeyDown), w(2));
    raw_call("KeyUp", reinterpret_cast<const void*>(api.KeyUp), w(2));
    raw_call("HornBlow", reinterpret_cast<const void*>(api.HornBlow), w(0));
    raw_call("SetSignal", reinterpret_cast<const void*>(api.SetSignal), w(2));
    std::vector<std::uint32_t> beacon;
    push_words(beacon, ats::beacon_data{ats::cab::beacon::crew, 0, 0.0f, 1234});
    raw_call("SetBeaconData", reinterpret_cast<const void*>(api.SetBeaconData), beacon);

    constexpr std::int32_t untouched = 0x5A5A5A5A;
    std::int32_t panel[256];
    std::int32_t sound[256];
    ats::vehicle_state state{};
    state.time = 36000000;
    for (int frame = 0; frame < 3; ++frame) {
        for (auto& v : panel)
            v = untouched;
        for (auto& v : sound)
            v = untouched;
        ats::handles result{untouched, untouched, untouched, untouched};
        state.time += 20;
        std::vector<std::uint32_t> args{std::uint32_t(reinterpret_cast<std::uintptr_t>(&result))};
        push_words(args, state);
        args.push_back(std::uint32_t(reinterpret_cast<std::uintptr_t>(panel)));
        args.push_back(std::uint32_t(reinterpret_cast<std::uintptr_t>(sound)));
        check(args.size() == 13, "Elapse takes 13 stack words");
        const std::uint32_t returned =
            raw_call("Elapse", reinterpret_cast<const void*>(api.Elapse), args);
        check(returned == reinterpret_cast<std::uintptr_t>(&result),
              "Elapse returned %#x, not the result record's address %p", returned,
              static_cast<void*>(&result));
        check(result.brake != untouched && result.power != untouched &&
                  result.reverser != untouched && result.const_speed != untouched,
              "Elapse wrote all four handles");
        check(result.power == 2 && result.reverser == 1 && result.brake == 0,
              "doors closed, power 2 forward: handles %d/%d/%d", int(result.brake),
              int(result.power), int(result.reverser));
        bool arrays_written = false;
        for (int i = 0; i < 256; ++i) {
            arrays_written |= panel[i] != untouched || sound[i] != untouched;
        }
        check(arrays_written, "Elapse wrote the panel and sound arrays it was given");
    }
    raw_call("DoorOpen", reinterpret_cast<const void*>(api.DoorOpen), {});
    raw_call("Dispose", reinterpret_cast<const void*>(api.Dispose), {});
}
#endif

// Every export once through its typed stdcall pointer, as a host compiled from C would.
void check_typed_calls(const plugin_api& api) {
    check(api.GetPluginVersion() == 0x20000, "GetPluginVersion before Load");
    api.Load();
    check(api.GetPluginVersion() == 0x20000, "GetPluginVersion after Load");
    api.SetVehicleSpec(ats::vehicle_spec{8, 0, 2, 0, 0});
    api.Initialize(0);
    api.DoorClose();
    api.SetReverser(1);
    api.SetPower(4);
    api.SetBrake(0);
    std::int32_t panel[256] = {};
    std::int32_t sound[256] = {};
    ats::vehicle_state state{};
    state.time = 36000000;
    ats::handles out = api.Elapse(state, panel, sound);
    check(out.power == 4 && out.reverser == 1 && out.brake == 0,
          "doors closed, power 4 forward: handles %d/%d/%d", int(out.brake), int(out.power),
          int(out.reverser));
    api.DoorOpen();
    state.time += 20;
    out = api.Elapse(state, panel, sound);
    check(out.power == 0, "doors open: power withheld, got %d", int(out.power));
    api.KeyDown(ats::cab::key::reset);
    api.KeyUp(ats::cab::key::reset);
    api.HornBlow(0);
    api.SetSignal(1);
    api.SetBeaconData(ats::beacon_data{beacon::alarm, 1, 100.0f, 0});
    api.Dispose();
    check(api.GetPluginVersion() == 0x20000, "GetPluginVersion after Dispose");
}

std::wstring wide(const std::string& ansi) {
    std::wstring out(ansi.size() + 1, L'\0');
    out.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, out.data(), static_cast<int>(out.size())) -
        1));
    return out;
}

std::wstring quoted(const std::string& path) { return L"\"" + wide(path) + L"\""; }

std::string read_file(const std::string& path) {
    std::string text;
    if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
            text.append(chunk, n);
        std::fclose(in);
    }
    return text;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// A program of the package, its standard output and error going to the file `output`.
class child {
  public:
    child(const std::wstring& command_line, std::string output) : output_(std::move(output)) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput =
            CreateFileA("NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
        startup.hStdOutput = startup.hStdError = CreateFileA(
            output_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        std::wstring line = command_line; // CreateProcessW may write into it
        started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process_) != FALSE;
        check(started_, "start %ls (error %lu)", command_line.c_str(), GetLastError());
        CloseHandle(startup.hStdInput);
        CloseHandle(startup.hStdOutput);
    }
    ~child() {
        if (!started_) return;
        if (wait(0) == -1) TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    child(const child&) = delete;
    child& operator=(const child&) = delete;

    // The exit status, or -1 when it has not ended within `ms`.
    int wait(DWORD ms) {
        DWORD status = 0;
        const bool ended = started_ && WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0;
        return ended && GetExitCodeProcess(process_.hProcess, &status) ? int(status) : -1;
    }
    std::string output() const { return read_file(output_); }

  private:
    std::string output_;
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

// The tools of the package and where the checks put what they make.
struct package_tools {
    std::string sim;
    std::string dbgview;
    std::string gnuplot;     // a stand-in that writes the plot script where the plot would go
    std::string journey_csv; // the default journey's outputs, for comparison with Linux
    std::string scripts_csv; // the broken-script table's outputs, likewise
} tools_of_this_run;

// Copies `files` into `dir` (made anew), by their wide names.
bool copy_into(const std::wstring& dir, const std::vector<std::string>& files) {
    CreateDirectoryW(dir.c_str(), nullptr);
    bool copied = true;
    for (const std::string& file : files) {
        const std::wstring name = wide(file.substr(file.find_last_of("\\/") + 1));
        copied = copied && CopyFileW(wide(file).c_str(), (dir + name).c_str(), FALSE);
    }
    return copied;
}

// Puts `script` as signal_pattern.nut into the folder `dir`.
void write_script(const std::wstring& dir, const std::string& script) {
    std::FILE* out = _wfopen((dir + L"signal_pattern.nut").c_str(), L"wb");
    check(out != nullptr && std::fwrite(script.data(), 1, script.size(), out) == script.size() &&
              std::fclose(out) == 0,
          "write the script (%ls)", dir.c_str());
}

// The plug-in in the folder `dir` with `script` as its signal_pattern.nut: Load, a pattern check
// at 45 km/h, Dispose. Whether the train was braked (by a pattern of 45 or less, or by the
// fail-safe outputs without a script) and the script errors the debug channel carried.
bool pattern_check_brakes(const std::wstring& dir, const std::string& dll,
                          const std::string& script, std::string& errors) {
    copy_into(dir, {dll});
    write_script(dir, script);
    hostkit::plugin_library lib;
    const HMODULE module = LoadLibraryW((dir + L"talvik.dll").c_str());
    std::string error = "error " + std::to_string(GetLastError());
    if (module == nullptr || !lib.adopt(module, "talvik.dll", error)) {
        check(false, "load the plug-in from %ls (%s)", dir.c_str(), error.c_str());
        return false;
    }
    const plugin_api& api = lib.api();
    mailslot slot;
    std::int32_t panel[256] = {};
    std::int32_t sound[256] = {};
    ats::vehicle_state state{};
    state.time = 36000000;
    api.Load();
    api.SetVehicleSpec(ats::vehicle_spec{8, 0, 2, 0, 0});
    api.Initialize(0);
    api.DoorClose();
    for (int i = 0; i < 10; ++i, state.time += 20)
        api.Elapse(state, panel, sound);
    state.speed = 45.0f;
    api.SetBeaconData(ats::beacon_data{beacon::pattern_check, 0, 600.0f, 0});
    const ats::handles handles = api.Elapse(state, panel, sound);
    api.Dispose();
    errors.clear();
    for (const std::string& m : slot.take()) {
        if (contains(m, "script error")) errors += escaped(m);
    }
    return handles.brake == ats::cab::emergency_position(8);
}

// The plug-in in folders named in ASCII, in Japanese (which code page 932 spells) and in Greek
// (which it cannot) finds its script; then the encoding table: each script file compiles as in
// the other builds, or is refused with its reason.
void check_folders_and_encodings(const std::string& base, const std::string& dll) {
    const std::vector<talvik_test::encoding_case> cases = talvik_test::encoding_cases();
    std::string errors;
    const std::pair<const char*, const wchar_t*> folders[] = {
        {"ASCII", L"Athens"},
        {"Japanese", L"\u6771\u4EAC"},
        {"Greek", L"\u0391\u03B8\u03AE\u03BD\u03B1"}};
    for (const auto& [language, name] : folders) {
        const bool braked =
            pattern_check_brakes(wide(base) + L"\\" + name + L"\\", dll, cases[0].bytes, errors);
        check(!braked && errors.empty(), "in a folder named in %s: braked %d (\"%s\")", language,
              braked, errors.c_str());
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const talvik_test::encoding_case& c = cases[i];
        const std::wstring dir = wide(base) + L"\\encoding " + std::to_wstring(i) + L"\\";
        const bool braked = pattern_check_brakes(dir, dll, c.bytes, errors);
        check(c.refusal != nullptr ? braked && contains(errors, c.refusal)
                                   : !braked == (c.offset * 10 > 45) && errors.empty(),
              "%s: braked %d (\"%s\")", c.name, braked, errors.c_str());
        // talvik-sim --check-script, in 32 bits only on the UTF-16 row with its Japanese
        // comment: every program start costs seconds under emulation.
        if (bits == 32 && std::strcmp(c.name, "UTF-16 LE") != 0) continue;
        const std::string script =
            base + "\\encoding " + std::to_string(i) + "\\signal_pattern.nut";
        child sim(quoted(tools_of_this_run.sim) + L" --check-script " + quoted(script),
                  script + ".out");
        const int status = sim.wait(120000);
        const std::string out = sim.output();
        const std::string offset = "pattern_offset(0.0)    = " + std::to_string(c.offset);
        check(c.refusal != nullptr ? status == 4 && contains(out, c.refusal)
                                   : status == 0 && contains(out, offset.c_str()),
              "talvik-sim --check-script, %s: exit %d, \"%s\"", c.name, status, out.c_str());
    }
}

// The broken-script table through one copy of the DLL: each script brakes with its report, once,
// on the debug channel, and the next Load, of a sound script, runs normally without one. The
// outputs go to `csv`, for comparison with the Linux library's.
void check_broken_scripts(const std::string& base, const std::string& dll, const std::string& csv) {
    const std::wstring dir = wide(base) + L"\\broken scripts\\";
    hostkit::plugin_library lib;
    if (!copy_into(dir, {dll}) || !load(lib, base + "\\broken scripts\\talvik.dll")) return;
    std::FILE* out = std::fopen(csv.c_str(), "w");
    check(out != nullptr, "open %s", csv.c_str());
    if (out == nullptr) return;
    mailslot slot;
    // The run's own report, once; none after the sound script.
    const auto check_report = [&](const char* report) {
        std::string errors;
        for (const std::string& m : slot.take()) {
            if (contains(m, "script error")) errors += m;
        }
        const std::string want =
            report != nullptr ? std::string("talvik > script error: ") + report + "\r\n" : "";
        check(errors == want, "broken script: reported \"%s\", not \"%s\"", escaped(errors).c_str(),
              escaped(want).c_str());
    };
    talvik_test::parity_session(lib.api(), out)
        .run_broken_scripts([&](const std::string& text) { write_script(dir, text); },
                            check_report);
    check(std::fclose(out) == 0, "write %s", csv.c_str());
}

// talvik-dbgview --raw prints exactly what a session sends; a second listener is turned away
// (checked where starting a program is cheap).
void check_dbgview(const std::string& base, const std::string& dll,
                   const std::vector<std::string>& beside) {
    const std::string& dbgview = tools_of_this_run.dbgview;
    child viewer(quoted(dbgview) + L" --raw", base + "\\dbgview.out");
    for (int i = 0; i < 600 && !hostkit::channel_has_listener(); ++i)
        Sleep(100);
    hostkit::plugin_library sender;
    const bool listening = hostkit::channel_has_listener();
    if (!listening || !load(sender, prepare_fresh_directory(base, "sender", dll, beside))) {
        check(false, "talvik-dbgview listening (%d), the sender loaded", listening);
        return;
    }
    talvik_test::run_short_session(sender.api());
    std::string expected;
    for (const std::string& line : talvik_test::short_session_lines())
        expected += line;
    for (int i = 0; i < 300 && viewer.output().size() < expected.size(); ++i)
        Sleep(100);
    if (bits == 64) {
        child second(quoted(dbgview) + L" --raw", base + "\\dbgview-second.out");
        const int status = second.wait(60000);
        check(status == 1 && contains(second.output(), "another listener already holds"),
              "a second talvik-dbgview: exit %d, \"%s\"", status, second.output().c_str());
    }
    check(viewer.output() == expected, "talvik-dbgview --raw printed \"%s\"",
          escaped(viewer.output()).c_str());
}

// talvik-sim, copied with the plug-in into a folder named in Greek, runs the default journey
// (its CSV file is compared with the Linux build's afterwards), shows the plug-in's debug lines
// and hands its plot to the plotter it finds on the search path.
void check_sim_in_greek_folder(const std::string& base, const std::string& dll,
                               std::vector<std::string> beside) {
    const package_tools& t = tools_of_this_run;
    const std::wstring dir = wide(base) + L"\\\u0391\u03B8\u03AE\u03BD\u03B1 sim\\";
    beside.push_back(dll);
    beside.push_back(t.sim);
    const std::string plotter = base + "\\plot tools";
    const bool copied = copy_into(dir, beside) && copy_into(wide(plotter + "\\"), {t.gnuplot});
    check(copied, "copy talvik-sim, the plug-in and the plotter (error %lu)", GetLastError());
    char path[32767] = {};
    GetEnvironmentVariableA("PATH", path, sizeof path);
    SetEnvironmentVariableA("PATH", (plotter + ";" + path).c_str());
    const std::string png = base + "\\journey.png";
    child sim(L"\"" + dir + L"talvik-sim.exe\" --debug --csv " + quoted(t.journey_csv) +
                  L" --plot " + quoted(png),
              base + "\\journey.out");
    const int status = sim.wait(300000);
    SetEnvironmentVariableA("PATH", path);
    const std::string out = sim.output();
    check(status == 0 && contains(out, "~ debug: talvik > instance created.") &&
              !contains(out, "script error") && !contains(out, "fail-safe"),
          "talvik-sim in a Greek folder: exit %d, \"%s\"", status, out.c_str());
    check(contains(out, "plot written to") && contains(read_file(png), "set output"),
          "talvik-sim --plot handed its script to the plotter");
}

DWORD WINAPI idle_thread(LPVOID) { return 0; }

// The fresh copy, loaded from its own directory: every export typed and by hand, the mailslot
// with and without a listener, across a thread attach, and the shared scripted session's outputs
// written to `csv`.
bool check_fresh_copy(const std::string& dll, const std::string& csv) {
    hostkit::plugin_library lib;
    if (!load(lib, dll)) return false;
    char loaded[MAX_PATH] = {};
    GetModuleFileNameA(static_cast<HMODULE>(lib.module()), loaded, MAX_PATH);
    check(_stricmp(loaded, dll.c_str()) == 0, "loaded %s, not the fresh copy", loaded);
    const plugin_api& api = lib.api();
    check_typed_calls(api);
#if defined(__i386__)
    check_stack_discipline(api);
#endif
    check_silence_without_listener(api);
    // A thread attach records the directory again: the script must still be found after one.
    const HANDLE thread = CreateThread(nullptr, 0, idle_thread, nullptr, 0, nullptr);
    check(thread != nullptr && WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0,
          "a thread started and ended");
    if (thread != nullptr) CloseHandle(thread);
    check_session_messages(api);

    std::FILE* out = std::fopen(csv.c_str(), "w");
    check(out != nullptr, "open %s", csv.c_str());
    if (out != nullptr) {
        talvik_test::parity_session(api, out).run();
        check(std::fclose(out) == 0, "write %s", csv.c_str());
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    package_tools& tools = tools_of_this_run;
    int first = 1;
    for (; first + 1 < argc && std::strncmp(argv[first], "--", 2) == 0; first += 2) {
        const std::string option = argv[first];
        std::string* value = option == "--sim"       ? &tools.sim
                             : option == "--dbgview" ? &tools.dbgview
                             : option == "--gnuplot" ? &tools.gnuplot
                             : option == "--journey" ? &tools.journey_csv
                             : option == "--scripts" ? &tools.scripts_csv
                                                     : nullptr;
        if (value == nullptr) break;
        *value = argv[first + 1];
    }
    if (argc - first < 3) {
        std::printf(
            "usage: talvik_win_host [--sim TALVIK-SIM.EXE --dbgview TALVIK-DBGVIEW.EXE "
            "--gnuplot STAND-IN.EXE --journey JOURNEY.CSV --scripts SCRIPTS.CSV]\n"
            "                       TALVIK.DLL WORK-DIR OUT.CSV [FILE-BESIDE-THE-DLL...]\n");
        return 2;
    }
    const std::string dll_source = argv[first];
    const std::string work = argv[first + 1];
    const std::string csv = argv[first + 2];
    const std::vector<std::string> beside(argv + first + 3, argv + argc);
    const std::string dll = prepare_fresh_directory(
        work, "talvik " + std::to_string(bits) + "-bit host", dll_source, beside);

    if (!check_fresh_copy(dll, csv)) return 1;
    check_script_is_looked_up_beside_the_dll(work, dll_source);
    check_double_byte_file_name(work, dll_source, beside);
    if (tools.sim.empty() || tools.dbgview.empty() || tools.gnuplot.empty() ||
        tools.journey_csv.empty() || tools.scripts_csv.empty()) {
        check(false, "the package's tools and outputs were not named (--sim, --dbgview, "
                     "--gnuplot, --journey, --scripts)");
    } else {
        check_broken_scripts(work, dll_source, tools.scripts_csv);
        check_folders_and_encodings(work, dll_source);
        check_dbgview(work, dll_source, beside);
        check_sim_in_greek_folder(work, dll_source, beside);
    }

    std::printf("%d-bit host: %d checks, %d failed\n", bits, checks, failures);
    return failures == 0 ? 0 : 1;
}
