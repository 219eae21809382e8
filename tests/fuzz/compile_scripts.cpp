// Writes compiled script code of this build: compile_scripts OUT_DIR SCRIPT... puts NAME.cnut in
// OUT_DIR for every script that compiles, the compiled-code fuzzer's seeds.
#include <cstdio>
#include <filesystem>

#include "protection/script_host.h"
// After squirrel.h, which it needs.
#include <sqstdio.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: compile_scripts OUT_DIR SCRIPT...\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);
    int written = 0;
    for (int i = 2; i < argc; ++i) {
        ats::ScriptVM::init();
        try {
            const ats::SquirrelObject script = ats::ScriptVM::compile_file(argv[i]);
            HSQUIRRELVM v = ats::ScriptVM::vm();
            sq_pushobject(v, script.handle());
            const auto name = out / std::filesystem::path(argv[i]).stem().concat(".cnut");
            if (SQ_SUCCEEDED(sqstd_writeclosuretofile(v, name.c_str()))) ++written;
            sq_pop(v, 1);
        } catch (const ats::SquirrelError&) {
            // Some seeds are there to break the compiler: they have no compiled form.
        }
        ats::ScriptVM::shutdown();
    }
    std::printf("%d compiled scripts in %s\n", written, out.c_str());
    return written > 0 ? 0 : 1;
}
