// A shared library with only one of the plug-in's exports.
extern "C" void Load() {}
