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
    virtual ~SquirrelObject();

    // Takes the value at stack slot `index`.
    void attach(SQInteger index);
    // The slot `name` of this value, or null when there is none.
    SquirrelObject get_value(const SQChar* name) const;

    bool is_null() const;
    HSQOBJECT& handle() { return object_; }
    const HSQOBJECT& handle() const { return object_; }

private:
    HSQOBJECT object_;
};

class ScriptVM {
public:
    // Opens the VM (1024-slot stack, io/blob/math/string libraries, default error handlers).
    static void init();
    // Closes the VM; does nothing when it is not open.
    static void shutdown();
    static bool is_open();
    static HSQUIRRELVM vm();

    // Loads and compiles a script file (source or compiled code).
    static SquirrelObject compile_file(const char* path);
    // Runs a compiled script's top-level code with the root table as `this`.
    static SquirrelObject run(const SquirrelObject& script);
    // The root table.
    static SquirrelObject& root();
};

// A call of a function of the root table with float arguments and a float result.
class SquirrelFunction {
public:
    explicit SquirrelFunction(const SQChar* name);
    float operator()(float a);
    float operator()(float a, double b, double c, double d);

private:
    HSQUIRRELVM vm_;
    SquirrelObject this_;
    SquirrelObject function_;
};

} // namespace ats
