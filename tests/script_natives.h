// Every native function a pattern script can reach, with what it takes from the VM's stack and
// from its arguments. The hostile-argument test (script_natives_test.cpp) calls every row and
// checks that the list is the VM's whole set; the fuzzer's dictionary is made from it.
#pragma once

namespace talvik_test {

struct script_native {
    // Where a script finds it: "::" a global, a type's name its default delegate ("table",
    // "array", "string", "number", "closure", "generator", "thread", "class", "instance",
    // "weakref"), "blob", "file" or "regexp" a method of that class, "metamethod" an operation
    // the VM turns into a call of the script's own function.
    const char* owner;
    const char* name;
    // What it needs: arguments (the receiver counts as the first) and what it puts on the
    // stack; "mended" marks what the carried Squirrel patch changed, with the reason there.
    const char* needs;
};

inline const script_native script_natives[] = {
    // The base library's globals.
    {"::", "seterrorhandler", "any value; called with 2 more on an error"},
    {"::", "setdebughook", "any value; called with 5 more per line"},
    {"::", "enabledebuginfo", "any value"},
    {"::", "getstackinfos",
     "a level not below 0 (mended: -1 read before the call stack); pushes a table per local"},
    {"::", "getroottable", "pushes 1"},
    {"::", "setroottable", "a table only (mended: null broke every closure made later)"},
    {"::", "getconsttable", "pushes 1"},
    {"::", "setconsttable", "a table only (mended: refused by type before the call)"},
    {"::", "assert", "any value"},
    {"::", "print", "any value; its text cut to a line"},
    {"::", "error", "any value; its text cut to a line"},
    {"::", "compilestring", "source and name (strings); compiles within the nesting limit"},
    {"::", "newthread",
     "a function (mended: a native one was read as a script function to size the stack)"},
    {"::", "suspend", "any values; only inside a thread (mended: it suspended the main VM)"},
    {"::", "array", "a size (number), a fill value; size within the memory ceiling"},
    {"::", "type", "any value; pushes 1"},
    {"::", "callee", "pushes the calling closure"},
    {"::", "dummy", "nothing"},
    {"::", "collectgarbage", "marks iteratively, a step per object"},
    {"::", "resurrectunreachable", "marks iteratively, a step per object"},
    // io
    // Every file opened for a script is a regular one (mended: a FIFO, terminal or directory
    // blocked the host on opening or reading); the script's stdin is always at its end (mended:
    // a read waited for the host's standard input).
    {"::", "loadfile", "a file name and a bool; compiles within the nesting limit"},
    {"::", "dofile", "a file name and a bool; compiles and calls it"},
    {"::", "writeclosuretofile", "a file name and a script function"},
    // blob
    {"::", "casti2f", "a number, read in the float's width (mended: read past it)"},
    {"::", "castf2i", "a number, read in the float's width (mended: read past it)"},
    {"::", "swap2", "a number"},
    {"::", "swap4", "a number"},
    {"::", "swapfloat", "a number"},
    // math
    {"::", "sqrt", "a number"},
    {"::", "sin", "a number"},
    {"::", "cos", "a number"},
    {"::", "asin", "a number"},
    {"::", "acos", "a number"},
    {"::", "log", "a number"},
    {"::", "log10", "a number"},
    {"::", "tan", "a number"},
    {"::", "atan", "a number"},
    {"::", "atan2", "two numbers"},
    {"::", "pow", "two numbers"},
    {"::", "floor", "a number"},
    {"::", "ceil", "a number"},
    {"::", "exp", "a number"},
    {"::", "srand", "a number"},
    {"::", "rand", "nothing"},
    {"::", "fabs", "a number"},
    {"::", "abs", "a number (the smallest integer stays itself)"},
    // string
    {"::", "format", "a format and one value per conversion"},
    {"::", "strip", "a string"},
    {"::", "lstrip", "a string"},
    {"::", "rstrip", "a string"},
    {"::", "split", "two strings; pushes the array of parts"},
    {"::", "escape", "a string"},
    {"::", "startswith", "two strings"},
    {"::", "endswith", "two strings"},

    {"table", "len", "the table"},
    {"table", "rawget", "a key"},
    {"table", "rawset", "a key and a value"},
    {"table", "rawdelete", "a key"},
    {"table", "rawin", "a key"},
    {"table", "weakref", "pushes 1"},
    {"table", "tostring", "pushes 1"},
    {"table", "clear", "a table or an array"},
    {"table", "setdelegate", "a table or null; chain within the delegate depth"},
    {"table", "getdelegate", "pushes 1"},

    {"array", "len", "the array"},
    {"array", "append", "a value"},
    {"array", "extend", "an array"},
    {"array", "push", "a value"},
    {"array", "pop", "an array with an element"},
    {"array", "top", "an array with an element"},
    {"array", "insert", "an index within the array and a value"},
    {"array", "remove", "an index within the array"},
    {"array", "resize", "a size not below 0, a fill value"},
    {"array", "reverse", "a step per element"},
    {"array", "sort", "a comparison function; a step per comparison, 3 pushed per call"},
    {"array", "slice", "two indices within the array"},
    {"array", "weakref", "pushes 1"},
    {"array", "tostring", "pushes 1"},
    {"array", "clear", "a table or an array"},
    {"array", "map", "a function; 2 pushed per element"},
    {"array", "apply", "a function; 2 pushed per element"},
    {"array", "reduce", "a function; 3 pushed per element"},
    {"array", "filter", "a function; 4 pushed per element"},
    {"array", "find", "a value"},

    {"string", "len", "the string"},
    {"string", "tointeger", "a base (number)"},
    {"string", "tofloat", "the string"},
    {"string", "tostring", "pushes 1"},
    {"string", "slice", "two indices within the string"},
    {"string", "find", "a string and a start within the string"},
    {"string", "tolower", "two indices within the string"},
    {"string", "toupper", "two indices within the string"},
    {"string", "weakref", "pushes 1"},

    {"number", "tointeger", "a number or a bool; floats out of range saturate"},
    {"number", "tofloat", "a number or a bool"},
    {"number", "tostring", "pushes 1"},
    {"number", "tochar", "a number or a bool"},
    {"number", "weakref", "pushes 1"},

    {"closure", "call", "a this and any arguments, already on the stack"},
    {"closure", "pcall", "a this and any arguments, already on the stack"},
    {"closure", "acall",
     "an array [this, arguments...]; pushes its elements (mended: without room, more than a "
     "frame's spare slots overran the stack)"},
    {"closure", "pacall", "as acall (mended alike)"},
    {"closure", "weakref", "pushes 1"},
    {"closure", "tostring", "pushes 1"},
    {"closure", "bindenv", "a table, class or instance"},
    {"closure", "getinfos", "pushes a table"},
    {"closure", "getroot", "pushes 1"},
    {"closure", "setroot", "a table"},

    {"generator", "getstatus", "the generator"},
    {"generator", "weakref", "pushes 1"},
    {"generator", "tostring", "pushes 1"},

    {"thread", "call",
     "any arguments, moved to the thread (mended: a stack that could not grow was written "
     "past)"},
    {"thread", "wakeup", "a suspended thread and a value"},
    {"thread", "wakeupthrow", "a suspended thread, a value and a bool"},
    {"thread", "getstatus", "the thread"},
    {"thread", "weakref", "pushes 1"},
    {"thread", "getstackinfos", "a level (number); pushes a table"},
    {"thread", "tostring", "pushes 1"},

    {"class", "getattributes", "a member name or null"},
    {"class", "setattributes", "a member name or null and a value"},
    {"class", "rawget", "a key"},
    {"class", "rawset", "a key and a value; not once instantiated"},
    {"class", "rawin", "a key"},
    {"class", "weakref", "pushes 1"},
    {"class", "tostring", "pushes 1"},
    {"class", "instance", "pushes 1 without its constructor"},
    {"class", "getbase", "pushes 1"},
    {"class", "newmember", "a key, a value, attributes and a bool; calls _newmember"},
    {"class", "rawnewmember", "a key, a value, attributes and a bool"},

    {"instance", "getclass", "pushes 1"},
    {"instance", "rawget", "a key"},
    {"instance", "rawset", "a key and a value"},
    {"instance", "rawin", "a key"},
    {"instance", "weakref", "pushes 1"},
    {"instance", "tostring", "pushes 1"},

    {"weakref", "ref", "pushes 1"},
    {"weakref", "weakref", "pushes 1"},
    {"weakref", "tostring", "pushes 1"},

    {"blob", "constructor",
     "a size within the memory ceiling; once (mended: a second lost the first buffer)"},
    {"blob", "resize", "a size not below 0 (mended: went to the allocator)"},
    {"blob", "swap2", "a step per 64 bytes"},
    {"blob", "swap4", "a step per 64 bytes"},
    {"blob", "_set", "an index within the blob and a number"},
    {"blob", "_get", "an index within the blob"},
    {"blob", "_typeof", "pushes 1"},
    {"blob", "_nexti", "an index (mended: the largest overflowed)"},
    {"blob", "_cloned", "a blob instance, into a new one (mended alike)"},
    {"blob", "readblob", "a size (mended: one below 0 went to memcpy)"},
    {"blob", "readn", "a number type"},
    {"blob", "writeblob", "a blob, itself too (mended: it read its old buffer after growing)"},
    {"blob", "writen", "a number and a number type"},
    {"blob", "seek", "an offset and an origin (mended: a huge offset overflowed the sum)"},
    {"blob", "tell", "the stream"},
    {"blob", "len", "the stream"},
    {"blob", "eos", "the stream"},
    {"blob", "flush", "the stream"},

    {"file", "constructor",
     "a name and a mode; at most script_limits::open_files open (mended: any number, left "
     "open when the VM was abandoned), regular files only (mended: any)"},
    {"file", "_typeof", "pushes 1"},
    {"file", "close", "the file; its handle released once"},
    {"file", "readblob", "a size (mended alike)"},
    {"file", "readn", "a number type"},
    {"file", "writeblob", "a blob"},
    {"file", "writen", "a number and a number type"},
    {"file", "seek", "an offset and an origin"},
    {"file", "tell", "the stream"},
    {"file", "len", "the stream"},
    {"file", "eos", "the stream"},
    {"file", "flush", "the stream"},
    {"file", "_cloned", "refuses to clone"},

    {"regexp", "constructor",
     "a pattern, on a new regexp instance only (mended: another lost what it held)"},
    {"regexp", "search", "a string and a start within it; a step per node tried"},
    {"regexp", "match", "a string; a step per node tried"},
    {"regexp", "capture", "a string and a start within it; pushes a table per group"},
    {"regexp", "subexpcount", "the regexp (checked by its tag)"},
    {"regexp", "_typeof", "pushes 1"},

    // The operations below call the script's function named so, on a table with such a
    // delegate or a class with such a member (metamethod_use in the test says how). Inside
    // one the stack cannot grow (mended: a frame refused its room was left half entered, and a
    // metamethod calling itself ran on in it).
    {"metamethod", "_add", "2 pushed"},
    {"metamethod", "_sub", "2 pushed"},
    {"metamethod", "_mul", "2 pushed"},
    {"metamethod", "_div", "2 pushed"},
    {"metamethod", "_modulo", "2 pushed"},
    {"metamethod", "_unm", "1 pushed"},
    {"metamethod", "_typeof", "1 pushed"},
    {"metamethod", "_get", "2 pushed"},
    {"metamethod", "_set", "3 pushed"},
    {"metamethod", "_newslot", "3 pushed"},
    {"metamethod", "_delslot", "2 pushed"},
    {"metamethod", "_tostring", "1 pushed"},
    {"metamethod", "_nexti", "2 pushed"},
    {"metamethod", "_cmp", "2 pushed"},
    {"metamethod", "_call",
     "the call's arguments pushed (mended: up to 255 without room overran the stack)"},
    {"metamethod", "_cloned", "2 pushed"},
    {"metamethod", "_inherited", "2 pushed"},
    {"metamethod", "_newmember", "5 pushed"},
};

} // namespace talvik_test
