// Stands in for gnuplot in the Windows checks: takes the plot script on standard input and
// writes it to the file its "set output" line names, so that the check sees talvik-sim find,
// feed and wait for its plotter.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

int main() {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string script;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;)
        script.append(chunk, n);
    const std::string key = "set output \"";
    const std::size_t at = script.find(key);
    if (at == std::string::npos) return 1;
    std::string path;
    for (std::size_t i = at + key.size(); i < script.size() && script[i] != '"'; ++i) {
        if (script[i] == '\\' && i + 1 < script.size()) ++i;
        path += script[i];
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return 1;
    const bool written = std::fwrite(script.data(), 1, script.size(), out) == script.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
