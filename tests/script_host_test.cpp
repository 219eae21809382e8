// The script host on its own: the failure descriptions, the stack after every operation, the
// libraries in the root table, printing, repeated runs, compiled scripts and a closed VM.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "protection/pattern_script.h"
#include "script_support.h"

// After squirrel.h, which it needs.
#include <sqstdio.h>

using ats::ScriptVM;
using ats::SquirrelFunction;
using ats::SquirrelObject;
using talvik_test::error_of;
using talvik_test::script_vm_test;
using testing::HasSubstr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using ScriptHost = script_vm_test;

TEST_F(ScriptHost, EachFailureCarriesItsDescriptionAndLeavesTheStackAlone) {
    const SQInteger before = top();

    CaptureStdout();
    EXPECT_EQ(error_of([&] { ScriptVM::compile_file((dir_ / "absent.nut").c_str()); }),
              "cannot open the file");
    EXPECT_EQ(GetCapturedStdout(), "") << "a missing file reports nothing else";
    EXPECT_EQ(top(), before);

    CaptureStdout();
    const std::string compile_error = error_of([&] { load("function broken( {\n", "broken.nut"); });
    const std::string compiler_report = GetCapturedStdout();
    EXPECT_EQ(compile_error, "expected 'IDENTIFIER'");
    EXPECT_THAT(compiler_report,
                HasSubstr("broken.nut line = (1) column = (18) : error " + compile_error + "\n"));
    EXPECT_EQ(top(), before);

    CaptureStdout();
    EXPECT_EQ(error_of([&] { load("local x = 1;\nthrow \"track circuit lost\";\n"); }),
              "track circuit lost");
    const std::string run_report = GetCapturedStdout();
    EXPECT_THAT(run_report, HasSubstr("AN ERROR HAS OCCURED [track circuit lost]"));
    EXPECT_THAT(run_report, HasSubstr("CALLSTACK")) << "the runtime handler adds the call stack";
    EXPECT_EQ(top(), before);

    CaptureStdout();
    EXPECT_EQ(error_of([&] { load("throw 42;\n"); }), "unknown error");
    GetCapturedStdout();
    EXPECT_EQ(top(), before);

    load("function fails(a) { throw \"no pattern here\"; }\n"
         "function answers_text(a) { return \"fast\"; }\n"
         "function answers_null(a) { return null; }\n"
         "function answers_table(a) { return {}; }\n"
         "function answers_bool(a) { return true; }\n"
         "function answers_integer(a) { return 7; }\n"
         "function answers_float(a) { return 2.5; }\n");
    EXPECT_EQ(error_of([] { SquirrelFunction("no_such_function")(0.0f); }),
              "SquirrelFunction<> call failed");
    EXPECT_EQ(top(), before);
    CaptureStdout();
    EXPECT_EQ(error_of([] { SquirrelFunction("fails")(0.0f); }), "SquirrelFunction<> call failed");
    EXPECT_THAT(GetCapturedStdout(), HasSubstr("AN ERROR HAS OCCURED [no pattern here]"));
    EXPECT_EQ(top(), before);
    EXPECT_EQ(error_of([] { SquirrelFunction("fails")(0.0f, 0.0, 0.0, 0.0); }),
              "SquirrelFunction<> call failed")
        << "a wrong argument count fails the call too";
    EXPECT_EQ(top(), before);

    for (const char* name : {"answers_text", "answers_null", "answers_table", "answers_bool"}) {
        EXPECT_EQ(error_of([&] { SquirrelFunction{name}(0.0f); }), "sq_get*() failed (type error)")
            << name;
        EXPECT_EQ(top(), before) << name;
    }
    EXPECT_EQ(SquirrelFunction("answers_integer")(0.0f), 7.0f);
    EXPECT_EQ(SquirrelFunction("answers_float")(0.0f), 2.5f);
    EXPECT_EQ(top(), before);
}

// Each failure is known by its kind, never by its words: a script that throws a limit's text
// is a script that throws, and one that catches the depth error and throws another still went
// too deep.
TEST_F(ScriptHost, EachFailureCarriesItsKind) {
    using ats::script_failure;
    using talvik_test::failure_of;
    CaptureStdout();
    load("function fails(a) { throw \"no pattern here\"; }\n"
         "function text(a) { return \"fast\"; }\n"
         "function loops(a) { while (true) {} }\n"
         "function deep(a) { return 1 + deep(a); }\n"
         "function deep_caught(a) { try { return deep(a); } catch (e) { throw \"lost\"; } }\n"
         "function says_deep(a) { throw \"the calls are nested too deeply\"; }\n"
         "function lookup_brake_pattern(a, b, d, o) { return sqrt(-1.0); }\n"
         "function grows(a) { local s = \"x\"; while (true) s = s + s; }\n");
    const struct {
        const char* what;
        std::function<void()> operation;
        script_failure kind;
    } table[] = {
        {"no file", [&] { ScriptVM::compile_file((dir_ / "absent.nut").c_str()); },
         script_failure::unreadable},
        {"odd UTF-16", [&] { load(std::string("\xFF\xFE\x41", 3)); }, script_failure::unreadable},
        {"syntax", [&] { load("function broken( {\n"); }, script_failure::does_not_compile},
        {"cut code", [&] { load(std::string("\xFA\xFARIQS", 6)); }, script_failure::damaged_code},
        {"top level throws", [&] { load("throw 42;"); }, script_failure::throws},
        {"function throws", [] { SquirrelFunction("fails")(0.0f); }, script_failure::throws},
        {"says it is deep", [] { SquirrelFunction("says_deep")(0.0f); }, script_failure::throws},
        {"no function", [] { SquirrelFunction("absent")(0.0f); }, script_failure::missing_function},
        {"a string", [] { SquirrelFunction("text")(0.0f); }, script_failure::wrong_type},
        {"NaN", [&] { ats::pattern_script(script_file("empty.nut", "").c_str()).lookup(0, 0); },
         script_failure::not_a_number},
        {"loop", [] { SquirrelFunction("loops")(0.0f); }, script_failure::too_long},
        {"recursion", [] { SquirrelFunction("deep")(0.0f); }, script_failure::too_deep},
        {"recursion caught", [] { SquirrelFunction("deep_caught")(0.0f); },
         script_failure::too_deep},
        {"memory", [] { SquirrelFunction("grows")(0.0f); }, script_failure::too_much_memory},
        {"VM lost", [] { ScriptVM::root(); }, script_failure::no_vm},
    };
    for (const auto& row : table) {
        EXPECT_EQ(failure_of(row.operation), row.kind) << row.what;
    }
    GetCapturedStdout();
}

TEST_F(ScriptHost, ArgumentsArriveAsSinglePrecisionFloatsInOrder) {
    load("function first(a) { return a; }\n"
         "function pack(a, b, c, d) {\n"
         "  if (typeof b != \"float\" || typeof d != \"float\") return -1;\n"
         "  return a * 1000 + b * 100 + c * 10 + d;\n"
         "}\n"
         "function third(a, b, c, d) { return c; }\n");
    const SQInteger before = top();
    EXPECT_EQ(SquirrelFunction("first")(-12.5f), -12.5f);
    EXPECT_EQ(SquirrelFunction("pack")(1.0f, 2.0, 3.0, 4.0), 1234.0f);
    // A float64 is narrowed to single precision on the way in.
    EXPECT_EQ(SquirrelFunction("third")(0.0f, 0.0, 0.1, 0.0), 0.1f);
    EXPECT_EQ(top(), before);
}

TEST_F(ScriptHost, RootTableHoldsTheFourLibrariesButNotTheSystemLibrary) {
    const SquirrelObject& root = ScriptVM::root();
    // One name from each library (io, blob, math, string) and from the base library.
    for (const char* name : {"file", "dofile", "stdout", "blob", "sqrt", "PI", "rand", "regexp",
                             "format", "split", "print", "getroottable"}) {
        EXPECT_FALSE(root.get_value(name).is_null()) << name;
    }
    for (const char* name : {"clock", "time", "date", "getenv", "system", "remove", "rename"}) {
        EXPECT_TRUE(root.get_value(name).is_null()) << name;
    }
    // The libraries work from a script as well.
    load("function check(a) {\n"
         "  local b = blob(4);\n"
         "  local m = regexp(\"[0-9]+\").search(\"km 42\");\n"
         "  return b.len() + m.begin + floor(sqrt(a));\n"
         "}\n");
    EXPECT_EQ(SquirrelFunction("check")(16.0f), 4.0f + 3.0f + 4.0f);
}

TEST_F(ScriptHost, PrintingWritesOneLinePerCallToStandardOutput) {
    CaptureStdout();
    load("print(\"hello from the pattern\");\n"
         "print(\"100% \" + 3.5);\n");
    EXPECT_EQ(GetCapturedStdout(), "hello from the pattern\n100% 3.5\n");

    // Text longer than the 2048-byte buffer is cut, never written past it.
    CaptureStdout();
    load("local s = \"\";\n"
         "for (local i = 0; i < 5000; i += 1) s += \"x\";\n"
         "print(s);\n"
         "print(\"after\");\n");
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(out, std::string(2047, 'x') + "\nafter\n");
}

TEST_F(ScriptHost, EveryRunRepeatsTheTopLevelCodeAndRedefinesItsFunctions) {
    const std::string first =
        script_file("first.nut", "runs <- (\"runs\" in getroottable()) ? runs + 1 : 1;\n"
                                 "function pattern(a) { return runs * 10; }\n");
    const SquirrelObject script = ScriptVM::compile_file(first.c_str());
    EXPECT_TRUE(ScriptVM::root().get_value("pattern").is_null()) << "compiling runs nothing";
    ScriptVM::run(script);
    EXPECT_EQ(SquirrelFunction("pattern")(0.0f), 10.0f);
    ScriptVM::run(script);
    ScriptVM::run(script);
    EXPECT_EQ(SquirrelFunction("pattern")(0.0f), 30.0f);

    // Another script replaces the function; the next run of the first brings its own back, and
    // each call looks the name up anew.
    load("function pattern(a) { return -1; }\n", "other.nut");
    EXPECT_EQ(SquirrelFunction("pattern")(0.0f), -1.0f);
    ScriptVM::run(script);
    EXPECT_EQ(SquirrelFunction("pattern")(0.0f), 40.0f);

    // The run's result is handed back; the stack is where it was.
    const SQInteger before = top();
    const SquirrelObject answer =
        ScriptVM::run(ScriptVM::compile_file(script_file("answer.nut", "return 5;").c_str()));
    EXPECT_EQ(answer.handle()._type, OT_INTEGER);
    EXPECT_EQ(top(), before);
}

TEST_F(ScriptHost, CompiledScriptCodeLoadsLikeSource) {
    const std::string source = script_file("source.nut", "function pattern(a) { return 42; }\n");
    HSQUIRRELVM v = ScriptVM::vm();
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_loadfile(v, source.c_str(), SQFalse)));
    const std::string compiled = (dir_ / "compiled.cnut").string();
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_writeclosuretofile(v, compiled.c_str())));
    sq_pop(v, 1);

    ScriptVM::run(ScriptVM::compile_file(compiled.c_str()));
    EXPECT_EQ(SquirrelFunction("pattern")(0.0f), 42.0f);
}

TEST_F(ScriptHost, GetValueFindsSlotsAndGivesNullForMissingOnes) {
    load("limits <- { approach = 45, stop = 0.0 };\n");
    const SQInteger before = top();
    const SquirrelObject limits = ScriptVM::root().get_value("limits");
    EXPECT_EQ(limits.handle()._type, OT_TABLE);
    EXPECT_EQ(limits.get_value("approach").handle()._type, OT_INTEGER);
    EXPECT_TRUE(limits.get_value("departure").is_null());
    EXPECT_TRUE(SquirrelObject().get_value("approach").is_null()) << "nothing in a null value";
    EXPECT_EQ(top(), before);
}

// With the VM closed (a vehicle built before Load) every operation raises instead of touching
// a VM that is not there.
TEST(ScriptHostClosed, OperationsRaiseAClearError) {
    ASSERT_FALSE(ScriptVM::is_open());
    EXPECT_EQ(ScriptVM::vm(), nullptr);
    const std::string closed = error_of([] { ScriptVM::compile_file("signal_pattern.nut"); });
    EXPECT_THAT(closed, HasSubstr("script VM is not open"));
    EXPECT_EQ(error_of([] { ScriptVM::root(); }), closed);
    EXPECT_EQ(error_of([] { ScriptVM::run(SquirrelObject()); }), closed);
    EXPECT_EQ(error_of([] { SquirrelObject().get_value("x"); }), closed);
    EXPECT_EQ(error_of([] { SquirrelObject().attach(-1); }), closed);
    EXPECT_EQ(error_of([] { SquirrelFunction("lookup_brake_pattern"); }), closed);

    // A call built while the VM was open fails cleanly once it has been closed.
    ScriptVM::init();
    SquirrelFunction pattern("print");
    ScriptVM::shutdown();
    EXPECT_EQ(error_of([&] { pattern(0.0f); }), closed);
    ScriptVM::init();
    EXPECT_EQ(error_of([&] { pattern(0.0f); }), closed) << "a new VM is not the old one";
    ScriptVM::shutdown();
}

} // namespace
