// The script host: opens and closes the process's one Squirrel VM, compiles and runs scripts, and
// calls their functions. Every successful operation leaves the VM's stack where it found it;
// a failed one does too, so a script that fails every frame cannot grow the stack. Each run and
// call has a budget of steps, and the VM's memory a ceiling: a script that would pass either
// fails like one that raised an error.
#include "protection/script_host.h"

#include <sqstdaux.h>
#include <sqstdblob.h>
#include <sqstdio.h>
#include <sqstdmath.h>
#include <sqstdstring.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "plugin/host/platform.h"
#include "protection/script_file.h"
#include "protection/script_limits.h"
#include "protection/script_memory.h"
#include "protection/squirrel_compat.h"

namespace ats {

namespace {

constexpr SQInteger initial_stack_slots = 1024;
constexpr std::size_t print_buffer_size = script_limits::print_line_bytes;

constexpr char closed_text[] = "the script VM is not open (the plug-in has not been loaded)";
constexpr char call_failed_text[] = "SquirrelFunction<> call failed";
constexpr char type_error_text[] = "sq_get*() failed (type error)";
constexpr char unknown_error_text[] = "unknown error";
constexpr char top_level[] = "its top-level code";
constexpr char compiling[] = "its compilation";

HSQUIRRELVM the_vm = nullptr;
// The open VM's step count, renewed before every run and call.
SQInteger* steps_left = nullptr;
SquirrelObject* root_handle = nullptr;
unsigned vm_generation = 0;

char print_buffer[print_buffer_size];

// The VM's print and error function: one line on standard output per call.
void print_line(HSQUIRRELVM, const SQChar* format, ...) {
    va_list args;
    va_start(args, format);
    const int count = std::vsnprintf(print_buffer, print_buffer_size, format, args);
    va_end(args);
    // Longer text is cut at the buffer's end; the line feed takes the terminator's place.
    std::size_t length = 0;
    if (count > 0) {
        length = static_cast<std::size_t>(count) < print_buffer_size
                     ? static_cast<std::size_t>(count)
                     : print_buffer_size - 1;
    }
    print_buffer[length] = '\n';
    platform::write_stdout(print_buffer, length + 1);
}

[[noreturn]] void raise(script_failure kind, const char* text) { throw SquirrelError(kind, text); }

// Raises the VM's last error when it is a string, "unknown error" otherwise.
[[noreturn]] void raise_last_error(HSQUIRRELVM v, script_failure kind) {
    sq_getlasterror(v);
    const SQChar* text = nullptr;
    const bool is_string =
        sq_gettype(v, -1) == OT_STRING && SQ_SUCCEEDED(sq_getstring(v, -1, &text));
    // The text lives in the VM: copied before its slot goes.
    const SquirrelError error(kind, is_string ? text : unknown_error_text);
    sq_poptop(v);
    throw error;
}

HSQUIRRELVM open_vm() {
    if (the_vm == nullptr) raise(script_failure::no_vm, closed_text);
    return the_vm;
}

// Raises "<what> in <where>", or just <what> when the operation has no name of its own.
[[noreturn]] void raise_limit(script_failure kind, const char* what, const char* where) {
    char text[256];
    if (where != nullptr) {
        std::snprintf(text, sizeof text, "%s in %s", what, where);
    } else {
        std::snprintf(text, sizeof text, "%s", what);
    }
    raise(kind, text);
}

// Drops a VM whose allocation was refused. Squirrel was interrupted halfway through an update of
// its own structures, so none of its code runs again: every handle goes dead (it releases
// nothing), and the allocator frees every block of the VM at once.
void abandon_vm() {
    ++vm_generation;
    // Its files are closed by the library's own list, not through the VM's objects.
    sqstd_closefiles(the_vm);
    the_vm = nullptr;
    steps_left = nullptr;
    script_memory::charge_steps_to(nullptr);
    delete root_handle;
    root_handle = nullptr;
    script_memory::release_all();
}

// Runs `body`, an operation that may make the VM allocate, and turns a refused allocation into
// the script failure that abandons the VM.
template <typename Body> auto contained(const char* where, Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const script_memory::refused&) {
        abandon_vm();
        char what[64];
        std::snprintf(what, sizeof what, "the script used too much memory (more than %u MB)",
                      static_cast<unsigned>(script_limits::memory_bytes >> 20));
        raise_limit(script_failure::too_much_memory, what, where);
    }
}

// Calls the closure and `this` pushed above `top` with the steps renewed. A run that a limit of
// the VM stopped leaves the stack at `top` and raises a description of its own.
SQRESULT budgeted_call(HSQUIRRELVM v, SQInteger top, SQInteger params, const char* where) {
    *steps_left = script_limits::steps_per_run;
    const SQRESULT result = sq_call(v, params, SQTrue, SQTrue);
    if (SQ_SUCCEEDED(result)) return result;
    char what[80];
    script_failure kind;
    if (*steps_left < 0) {
        kind = script_failure::too_long;
        std::snprintf(what, sizeof what, "the script ran too long (more than %ld steps)",
                      script_limits::steps_per_run);
    } else if (sq_calldepthreached(v)) {
        kind = script_failure::too_deep;
        std::snprintf(what, sizeof what, "the script nested its calls too deeply (more than %d)",
                      script_limits::call_depth);
    } else {
        return result;
    }
    sq_settop(v, top);
    raise_limit(kind, what, where);
}

// Puts the stack back to `top` and raises the VM's last error.
[[noreturn]] void fail(HSQUIRRELVM v, SQInteger top, script_failure kind) {
    sq_settop(v, top);
    raise_last_error(v, kind);
}

} // namespace

SquirrelError::SquirrelError(script_failure kind, const char* text) : kind_(kind) {
    std::snprintf(text_, text_size, "%s", text);
}

// SquirrelObject

SquirrelObject::SquirrelObject() { sq_resetobject(&object_); }

SquirrelObject::SquirrelObject(const SquirrelObject& other) : SquirrelObject() { *this = other; }

SquirrelObject& SquirrelObject::operator=(const SquirrelObject& other) {
    // The new value gains its reference before the old one loses its own: safe when both are
    // the same value, self-assignment included.
    HSQOBJECT value;
    sq_resetobject(&value);
    const bool keep = other.live();
    if (keep) {
        value = other.object_;
        // A new reference may grow the VM's table of references.
        contained(nullptr, [&] { sq_addref(the_vm, &value); });
    }
    release();
    object_ = value;
    vm_generation_ = keep ? vm_generation : 0;
    return *this;
}

SquirrelObject::~SquirrelObject() { release(); }

bool SquirrelObject::live() const { return the_vm != nullptr && vm_generation_ == vm_generation; }

void SquirrelObject::release() {
    if (live()) sq_release(the_vm, &object_);
    sq_resetobject(&object_);
    vm_generation_ = 0;
}

void SquirrelObject::attach(SQInteger index) {
    HSQUIRRELVM v = open_vm();
    HSQOBJECT value;
    sq_resetobject(&value);
    sq_getstackobj(v, index, &value);
    contained(nullptr, [&] { sq_addref(v, &value); });
    release();
    object_ = value;
    vm_generation_ = vm_generation;
}

SquirrelObject SquirrelObject::get_value(const SQChar* name) const {
    HSQUIRRELVM v = open_vm();
    SquirrelObject result;
    const SQInteger top = sq_gettop(v);
    if (live()) {
        sq_pushobject(v, object_);
    } else {
        sq_pushnull(v);
    }
    // The name becomes a script string.
    const bool found = contained(nullptr, [&] {
        sq_pushstring(v, name, -1);
        return SQ_SUCCEEDED(sq_get(v, -2));
    });
    if (found) result.attach(-1);
    sq_settop(v, top);
    return result;
}

bool SquirrelObject::is_null() const { return !live() || sq_isnull(object_); }

// ScriptVM

void ScriptVM::init() {
    if (the_vm != nullptr) return;
    SquirrelObject* root = new SquirrelObject();
    HSQUIRRELVM v = nullptr;
    try {
        v = sq_open(initial_stack_slots);
        sq_compat::set_print_functions(v, print_line);
        sq_pushroottable(v);
        sqstd_register_iolib(v);
        sqstd_register_bloblib(v);
        sqstd_register_mathlib(v);
        sqstd_register_stringlib(v);
        sqstd_seterrorhandlers(v);
    } catch (const script_memory::refused&) {
        // Only the system can refuse this little: nothing of the VM is kept.
        delete root;
        script_memory::release_all();
        raise(script_failure::no_vm, "the script VM cannot be opened: out of memory");
    }
    the_vm = v;
    steps_left = sq_stepcounter(v);
    script_memory::charge_steps_to(v);
    ++vm_generation;
    root_handle = root;
    root_handle->attach(-1);
    sq_pop(v, 1);
}

void ScriptVM::shutdown() {
    if (the_vm == nullptr) return;
    sq_pushnull(the_vm);
    sq_setroottable(the_vm);
    delete root_handle; // releases while the VM is still open
    root_handle = nullptr;
    HSQUIRRELVM v = the_vm;
    the_vm = nullptr;
    steps_left = nullptr;
    script_memory::charge_steps_to(nullptr);
    try {
        sq_close(v);
    } catch (const script_memory::refused&) {
        // Closing may allocate too: what it could not free goes below, without its code.
    }
    // What a script left behind without an owner (a file or block the VM no longer reaches)
    // goes with the VM: the next one starts with none of it.
    sqstd_closefiles(v);
    script_memory::release_all();
}

bool ScriptVM::is_open() { return the_vm != nullptr; }

HSQUIRRELVM ScriptVM::vm() { return the_vm; }

SquirrelObject ScriptVM::compile_file(const char* path) {
    HSQUIRRELVM v = open_vm();
    const SQInteger top = sq_gettop(v);
    // An error left from an earlier operation must not pass for this one's.
    sq_reseterror(v);
    script_failure failure = script_failure::does_not_compile;
    if (SQ_FAILED(contained(compiling, [&] { return load_script_file(v, path, failure); }))) {
        fail(v, top, failure);
    }
    SquirrelObject script;
    script.attach(-1);
    sq_pop(v, 1);
    return script;
}

SquirrelObject ScriptVM::run(const SquirrelObject& script) {
    HSQUIRRELVM v = open_vm();
    const SQInteger top = sq_gettop(v);
    sq_reseterror(v);
    // A script of a closed VM runs as null, which fails: its handle must not reach this VM. The
    // stack holds the script while it runs.
    if (script.live()) {
        sq_pushobject(v, script.handle());
    } else {
        sq_pushnull(v);
    }
    sq_pushobject(v, root_handle->handle());
    const SQRESULT ran = contained(top_level, [&] { return budgeted_call(v, top, 1, top_level); });
    if (SQ_FAILED(ran)) fail(v, top, script_failure::throws);
    SquirrelObject result;
    result.attach(-1);
    sq_pop(v, 2);
    return result;
}

void ScriptVM::close_files() {
    if (the_vm != nullptr) sqstd_closefiles(the_vm);
}

SquirrelObject& ScriptVM::root() {
    open_vm();
    return *root_handle;
}

// SquirrelFunction

SquirrelFunction::SquirrelFunction(const SQChar* name)
    : name_(name), vm_(open_vm()), this_(ScriptVM::root()), function_(this_.get_value(name)) {}

float SquirrelFunction::operator()(float a) {
    const SQFloat args[] = {a};
    return call(args, 1);
}

float SquirrelFunction::operator()(float a, double b, double c, double d) {
    const SQFloat args[] = {a, static_cast<SQFloat>(b), static_cast<SQFloat>(c),
                            static_cast<SQFloat>(d)};
    return call(args, 4);
}

float SquirrelFunction::call(const SQFloat* args, SQInteger count) {
    // The VM may have been closed, or closed and opened again, since this call was built.
    open_vm();
    if (!this_.live()) raise(script_failure::no_vm, closed_text);
    HSQUIRRELVM v = vm_;
    const SQInteger top = sq_gettop(v);
    sq_pushobject(v, function_.handle());
    sq_pushobject(v, this_.handle());
    for (SQInteger i = 0; i < count; ++i)
        sq_pushfloat(v, args[i]);
    const SQRESULT called =
        contained(name_, [&] { return budgeted_call(v, top, count + 1, name_); });
    if (SQ_FAILED(called)) {
        sq_settop(v, top);
        const SQObjectType type = function_.handle()._type;
        const bool callable = type == OT_CLOSURE || type == OT_NATIVECLOSURE;
        raise(callable ? script_failure::throws : script_failure::missing_function,
              call_failed_text);
    }
    SQFloat result = 0;
    // An integer result is converted; anything that is not a number is refused.
    if (SQ_FAILED(sq_getfloat(v, -1, &result))) {
        sq_settop(v, top);
        raise(script_failure::wrong_type, type_error_text);
    }
    sq_pop(v, 2);
    return static_cast<float>(result);
}

} // namespace ats
