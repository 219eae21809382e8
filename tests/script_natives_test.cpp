// Every native a script can reach (script_natives.h), called with hostile arguments at the top
// level and inside each of the three pattern functions: each run ends normally or in one script
// failure, never in a crash (under AddressSanitizer in the sanitizer builds), and the table
// holds exactly the natives the VM offers.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "script_natives.h"
#include "script_support.h"

using ats::ScriptVM;
using ats::SquirrelError;
using ats::SquirrelFunction;
using talvik_test::script_native;
using talvik_test::script_natives;
using talvik_test::script_vm_test;

namespace {

// One hostile value per case: each type, the edges of the integers, NaN, huge and empty data,
// the function under test itself, and functions that throw or never end.
constexpr const char* hostile_values[] = {
    "null",
    "true",
    "0",
    "-1",
    "(-1 >>> 1)",  // the largest integer of the build
    "~(-1 >>> 1)", // the smallest
    "0.5",
    "sqrt(-1.0)",
    "1e38 * 1e38",
    "\"\"",
    "\"no/such/directory/%s%d%99999999f\"", // a format, and a file no native can create
    "[]",
    "big()", // array(100000, 1), made again only when a row changed its length
    "{}",
    "F",
    "function(...) { throw \"hostile\"; }",
    "function(...) { while (true) {} }",
    "class { x = 1 }",
    "(class { x = 1 })()",
    "(function() { yield 1; })()",
    "newthread(function(...) { suspend(1); })",
    "blob(4)",
    "getroottable().weakref()",
    "print",
    "regexp(\"(a)|b\")",
};
constexpr int hostile_count = sizeof hostile_values / sizeof *hostile_values;

std::string receiver_of(const std::string& owner) {
    if (owner == "::") return "getroottable()";
    if (owner == "table") return "{a = 1, b = [2]}";
    if (owner == "array") return "[1, 2.5, \"three\", null]";
    if (owner == "string") return "\"text\"";
    if (owner == "number") return "7";
    if (owner == "closure") return "function(...) { return vargv.len(); }";
    if (owner == "generator") return "(function() { yield 1; yield 2; })()";
    if (owner == "thread") return "newthread(function(...) { suspend(vargv.len()); return 2; })";
    if (owner == "class") return "class { x = 1; function f() { return 2; } }";
    if (owner == "instance") return "(class { x = 1; })()";
    if (owner == "weakref") return "getroottable().weakref()";
    if (owner == "blob") return "blob(16)";
    if (owner == "file") return "file(::probe_file, \"w+b\")";
    if (owner == "regexp") return "regexp(\"a(b+)c\")";
    return "";
}

// The operation that calls a metamethod of X (a table with that delegate, then an instance of a
// class with that member; C is the class). _call copies its 200 arguments above the frame.
std::string metamethod_use(const std::string& name) {
    if (name == "_add") return "X + 1";
    if (name == "_sub") return "X - 1";
    if (name == "_mul") return "X * 1";
    if (name == "_div") return "X / 1";
    if (name == "_modulo") return "X % 1";
    if (name == "_unm") return "-X";
    if (name == "_typeof") return "typeof X";
    if (name == "_get") return "X.absent";
    if (name == "_set") return "X.absent = 1";
    if (name == "_newslot") return "X.absent <- 1";
    if (name == "_delslot") return "delete X.absent";
    if (name == "_tostring") return "\"\" + X";
    if (name == "_nexti") return "foreach (k, v in X) {}";
    if (name == "_cmp") return "X < 1";
    if (name == "_cloned") return "clone X";
    if (name == "_inherited") return "local D = class extends C {}";
    if (name == "_newmember") return "C.newmember(\"m\", 1)";
    if (name == "_call") {
        std::string call = "X(A";
        for (int i = 1; i < 200; ++i)
            call += ", A";
        return call + ")";
    }
    return "";
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// A metamethod of a library class (blob, file, regexp): the class keeps it apart from its
// members, so it is reached through its operation only.
bool class_metamethod(const script_native& row) {
    return std::string(row.owner) != "metamethod" && row.name[0] == '_';
}

// The statements that call the row with A, each caught so the next one runs too: only a limit
// of the VM ends the run early.
std::string probe_of(const script_native& row) {
    std::string body;
    const auto attempt = [&](const std::string& statement) {
        body += "  try { " + statement + "; } catch (e) {}\n";
    };
    if (std::string(row.owner) == "metamethod") {
        const std::string use = metamethod_use(row.name);
        for (const char* target : {"M", "N"}) {
            std::string statement = use;
            replace_all(statement, "X", target);
            attempt(statement);
        }
        return body;
    }
    if (class_metamethod(row)) {
        const std::string name = row.name;
        if (name == "_get") return "  try { R[A]; } catch (e) {}\n  try { R[0]; } catch (e) {}\n";
        if (name == "_set") {
            return "  try { R[A] = A; } catch (e) {}\n  try { R[0] = A; } catch (e) {}\n"
                   "  try { R[A] = 0; } catch (e) {}\n";
        }
        std::string use = metamethod_use(name);
        replace_all(use, "X", "R");
        attempt(use);
        return body;
    }
    const std::string call = std::string("R.") + row.name;
    for (const char* args : {"", "A", "A, A", "0, A", "A, 0", "A, A, A"})
        attempt(call + "(" + args + ")");
    attempt("F.call(A)");
    attempt("F.call(A, A)");
    attempt("F.acall([A, A, A])");
    return body;
}

// A pattern script around the probe: the three functions run it with the value their first
// argument names, the top level with the value of the global `which` (none when below 0).
std::string script_of(const script_native& row) {
    std::string script =
        "function big() {\n"
        "  if (!(\"big_array\" in getroottable()) || typeof ::big_array != \"array\" ||\n"
        "      ::big_array.len() != 100000) ::big_array <- array(100000, 1);\n"
        "  return ::big_array;\n"
        "}\n"
        "function hostile(i, F) {\n  switch (i) {\n";
    for (int i = 0; i < hostile_count; ++i)
        script += "  case " + std::to_string(i) + ": return " + hostile_values[i] + ";\n";
    script += "  }\n}\n";
    const bool metamethod = std::string(row.owner) == "metamethod";
    std::string setup;
    if (metamethod) {
        const std::string name = row.name;
        std::string use = metamethod_use(row.name);
        replace_all(use, "X", "M");
        setup = "  local M = null, N = null, C = class {};\n"
                "  local F = function(...) { " +
                use +
                "; };\n"
                "  local A = hostile(i, F);\n"
                "  try { C.rawnewmember(\"" +
                name +
                "\", A); } catch (e) {}\n"
                "  M = {}.setdelegate({[\"" +
                name +
                "\"] = A});\n"
                "  N = C();\n";
    } else {
        setup = "  local R = " + receiver_of(row.owner) +
                ";\n"
                "  local F = " +
                (class_metamethod(row) ? std::string("null") : "R." + std::string(row.name)) +
                ";\n"
                "  local A = hostile(i, F);\n";
    }
    const std::string probe = setup + probe_of(row);
    script += "function probe(i) {\n" + probe + "}\n";
    // One function probes at the end of a stack grown by a recursion: a native that pushes
    // more than a frame's spare slots without room writes past it there.
    script +=
        "function down(n, i) { if (n == 0) { probe(i); return 0; } return 1 + down(n - 1, i); }\n"
        "function get_brake_pattern_offset(x) { probe(x.tointeger()); return 0; }\n"
        "function get_incoming_pattern_offset(x) { local i = x.tointeger(); down(300 + i, i); "
        "return 0; }\n"
        "function lookup_brake_pattern(a, b, d, o) { probe(a.tointeger()); return 100; }\n";
    // The top level's own copy: the natives are called from its frame.
    script += "if (::which >= 0) {\n  local i = ::which;\n" + probe + "}\n";
    return script;
}

// Sets the root table's `which` to `value`.
void set_which(SQInteger value) {
    HSQUIRRELVM v = ScriptVM::vm();
    sq_pushobject(v, ScriptVM::root().handle());
    sq_pushstring(v, "which", -1);
    sq_pushinteger(v, value);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

// Sets the root table's `probe_file`, the file the rows of a file instance use.
void set_probe_file(const std::string& path) {
    HSQUIRRELVM v = ScriptVM::vm();
    sq_pushobject(v, ScriptVM::root().handle());
    sq_pushstring(v, "probe_file", -1);
    sq_pushstring(v, path.c_str(), -1);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

// Whether the VM's root table is still the one the script host holds: a row may replace it.
bool root_kept() {
    HSQUIRRELVM v = ScriptVM::vm();
    sq_pushroottable(v);
    HSQOBJECT now;
    sq_getstackobj(v, -1, &now);
    sq_pop(v, 1);
    return now._unVal.pTable == ScriptVM::root().handle()._unVal.pTable;
}

using ScriptNatives = script_vm_test;

// The list is the VM's own: every native reachable from the root table, the default delegates
// and the library classes is a row, and every row is reachable.
TEST_F(ScriptNatives, TheTableListsEveryNativeTheVMOffers) {
    HSQUIRRELVM v = ScriptVM::vm();
    std::set<std::string> offered;
    const auto collect = [&](const std::string& owner) {
        sq_pushnull(v);
        while (SQ_SUCCEEDED(sq_next(v, -2))) {
            const SQChar* key = nullptr;
            if (sq_gettype(v, -1) == OT_NATIVECLOSURE && SQ_SUCCEEDED(sq_getstring(v, -2, &key)))
                offered.insert(owner + "." + key);
            sq_pop(v, 2);
        }
        sq_pop(v, 1);
    };
    sq_pushroottable(v);
    collect("::");
    for (const char* library_class : {"blob", "file", "regexp"}) {
        sq_pushstring(v, library_class, -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2))) << library_class;
        collect(library_class);
        sq_pop(v, 1);
    }
    sq_pop(v, 1);
    const struct {
        const char* owner;
        SQObjectType type;
    } delegates[] = {{"table", OT_TABLE},    {"array", OT_ARRAY},     {"string", OT_STRING},
                     {"number", OT_INTEGER}, {"closure", OT_CLOSURE}, {"generator", OT_GENERATOR},
                     {"thread", OT_THREAD},  {"class", OT_CLASS},     {"instance", OT_INSTANCE},
                     {"weakref", OT_WEAKREF}};
    for (const auto& d : delegates) {
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getdefaultdelegate(v, d.type))) << d.owner;
        collect(d.owner);
        sq_pop(v, 1);
    }
    std::set<std::string> listed;
    for (const script_native& row : script_natives) {
        // A class's metamethods are not among the members it iterates.
        if (std::string(row.owner) != "metamethod" && !class_metamethod(row))
            listed.insert(std::string(row.owner) + "." + row.name);
    }
    std::string unlisted, absent;
    for (const std::string& name : offered)
        if (listed.count(name) == 0) unlisted += " " + name;
    for (const std::string& name : listed)
        if (offered.count(name) == 0) absent += " " + name;
    EXPECT_EQ(unlisted, "") << "natives the table lacks";
    EXPECT_EQ(absent, "") << "rows the VM does not offer";
}

TEST_F(ScriptNatives, HostileArgumentsEndNormallyOrInOneScriptFailure) {
    testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    const char* const functions[] = {"get_brake_pattern_offset", "get_incoming_pattern_offset",
                                     "lookup_brake_pattern"};
    int runs = 0;
    int failures = 0;
    // Kept until standard output is back: the scripts print there meanwhile.
    std::vector<std::string> problems;
    for (const script_native& row : script_natives) {
        const std::string path = script_file("probe.nut", script_of(row));
        ats::SquirrelObject script;
        // A fresh VM a row, and again after one lost its VM or root table.
        ScriptVM::shutdown();
        for (int value = 0; value < hostile_count; ++value) {
            const std::string where =
                std::string(row.owner) + "." + row.name + " with " + hostile_values[value];
            // The top level, then the three functions: each returns or raises one
            // SquirrelError and leaves the stack as it was.
            for (int context = 0; context < 4; ++context) {
                try {
                    if (!ScriptVM::is_open() || !root_kept()) {
                        ScriptVM::shutdown();
                        ScriptVM::init();
                        script = ScriptVM::compile_file(path.c_str());
                        set_which(-1);
                        set_probe_file((dir_ / "probe.bin").string());
                        ScriptVM::run(script);
                    }
                } catch (const SquirrelError& error) {
                    problems.push_back(where + ": the probe does not load: " + error.what());
                    break;
                }
                const SQInteger before = top();
                try {
                    if (context == 0) {
                        set_which(value);
                        ScriptVM::run(script);
                        set_which(-1);
                    } else {
                        const float argument = static_cast<float>(value);
                        SquirrelFunction function(functions[context - 1]);
                        if (context == 3) {
                            function(argument, 0, 0, 0);
                        } else {
                            function(argument);
                        }
                    }
                } catch (const SquirrelError&) {
                    ++failures;
                }
                ++runs;
                if (ScriptVM::is_open() && top() != before) {
                    problems.push_back(where + " in place " + std::to_string(context) +
                                       ": the stack moved by " + std::to_string(top() - before));
                }
            }
        }
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    testing::internal::GetCapturedStdout();
    for (const std::string& problem : problems)
        ADD_FAILURE() << problem;
    std::printf("%zu natives x %d values x 4 places: %d runs, %d failed safely, %lld ms\n",
                sizeof script_natives / sizeof *script_natives, hostile_count, runs, failures,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

} // namespace
