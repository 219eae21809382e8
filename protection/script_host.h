// The script host: one Squirrel VM for the process and the thin binding the protection uses.
#pragma once

#include <squirrel.h>

#include <cstddef>

#include "protection/script_limits.h"

namespace ats {

// What went wrong with a script. The protection and the tools act on the kind; the text is for
// people and nothing branches on it.
enum class script_failure {
    unreadable,       // the file cannot be opened or read, or holds no text the plug-in reads
    does_not_compile, // the compiler refused the source
    damaged_code,     // compiled script code cut short, damaged, or of a build of other widths
    throws,           // the top-level code or a function raised an error
    missing_function, // the root table holds no function of the name called
    wrong_type,       // a function returned something that is not a number
    not_a_number,     // the pattern speed is NaN
    too_long,         // a run or call went past its steps
    too_deep,         // script calls nested past their limit
    too_much_memory,  // the memory ceiling: the VM is lost with the script
    no_vm,            // no VM is open, or none could be opened
    no_directory,     // the plug-in does not know its own directory
};

// Raised by every failed script operation. Owns its text, so it outlives the VM and the next
// error alike.
class SquirrelError {
  public:
    // Longer text is cut to fit.
    SquirrelError(script_failure kind, const char* text);

    script_failure kind() const { return kind_; }
    const char* what() const { return text_; }

  private:
    static constexpr std::size_t text_size = 2048;

    script_failure kind_;
    char text_[text_size];
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
    // Runs a compiled script's top-level code with the root table as `this`, within
    // `script_limits::steps_per_run`.
    static SquirrelObject run(const SquirrelObject& script);
    // The root table; raises SquirrelError when the VM is not open.
    static SquirrelObject& root();
    // Closes every file the scripts hold open (their file objects then refuse to be used): a
    // script that failed gives the host back what it took.
    static void close_files();
};

// A call of a function of the root table with float arguments and a float result, within
// `script_limits::steps_per_run`.
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
