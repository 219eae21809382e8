// The script host: one Squirrel VM for the process and the thin binding the protection uses.
#pragma once

#include <squirrel.h>

namespace ats {

// Raised by every failed script operation. `desc` stays valid until the next script operation.
struct SquirrelError {
    const char* desc;
};

// Holds one reference to a script value; null by default.
class SquirrelObject {
  public:
    SquirrelObject();
    SquirrelObject(const SquirrelObject& other);
    SquirrelObject& operator=(const SquirrelObject& other);
    // Releases its reference only while the VM is open.
    ~SquirrelObject();

    // Takes the value at stack slot `index`.
    void attach(SQInteger index);
    // The slot `name` of this value, or null when there is none.
    SquirrelObject get_value(const SQChar* name) const;

    bool is_null() const;
    HSQOBJECT& handle() { return object_; }
    const HSQOBJECT& handle() const { return object_; }

    // True while the VM that holds the value is the open one. A handle that outlived its VM
    // counts as null and never touches the next VM.
    bool live() const;

  private:
    void release();

    HSQOBJECT object_;
    unsigned vm_generation_ = 0;
};

class ScriptVM {
  public:
    // Steps (VM instructions) that one top-level run or one function call may take. The bundled
    // script takes 22 for its top-level run and 14 for a look-up: a million is thousands of
    // times an honest curve and still ends a runaway within tens of milliseconds. Counted steps,
    // not time, so every build of the plug-in stops a script at the same place.
    static constexpr SQInteger step_budget = 1000000;

    // Opens the VM (1024-slot stack, io/blob/math/string libraries, default error handlers);
    // does nothing when it is open already.
    static void init();
    // Closes the VM; does nothing when it is not open.
    static void shutdown();
    static bool is_open();
    // The VM handle; null while the VM is not open.
    static HSQUIRRELVM vm();

    // Loads and compiles a script file (source or compiled code).
    static SquirrelObject compile_file(const char* path);
    // Runs a compiled script's top-level code with the root table as `this`, within the step
    // budget.
    static SquirrelObject run(const SquirrelObject& script);
    // The root table; raises SquirrelError when the VM is not open.
    static SquirrelObject& root();
};

// A call of a function of the root table with float arguments and a float result, within the
// step budget.
//
// Every operation of the script host may raise SquirrelError. When the VM's memory would pass
// its ceiling (protection/script_memory.h), the VM is abandoned: every handle to it goes dead,
// `ScriptVM::is_open` turns false, and only `init` (the next Load) opens a VM again.
class SquirrelFunction {
  public:
    explicit SquirrelFunction(const SQChar* name);
    float operator()(float a);
    float operator()(float a, double b, double c, double d);

  private:
    float call(const SQFloat* args, SQInteger count);

    const SQChar* name_;
    HSQUIRRELVM vm_;
    SquirrelObject this_;
    SquirrelObject function_;
};

} // namespace ats
