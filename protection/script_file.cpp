// Reads a script file whole and compiles it from memory: the same bytes the standard loader
// would compile, UTF-16 turned into UTF-8 (the loader would hand its units to the lexer as
// wchar_t, four bytes on Linux). Compiled code goes to Squirrel's loader, which checks it.
#include "protection/script_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "plugin/host/platform.h"
#include "protection/script_limits.h"

namespace ats {

namespace {

constexpr std::size_t error_size = 160;

// The first two bytes, read as the standard loader reads them (little-endian).
constexpr unsigned compiled_tag = 0xFAFA;
constexpr unsigned utf16_le_mark = 0xFEFF;
constexpr unsigned utf16_be_mark = 0xFFFE;
constexpr unsigned utf8_mark_start = 0xBBEF;

// False with `error` set, or true with the file's bytes in `bytes`.
bool read_whole(const char* path, std::string& bytes, char* error) {
    std::FILE* file = platform::open_for_reading(path);
    // Closed however the read ends: the bytes' growth may fail too.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
    if (file == nullptr) {
        std::snprintf(error, error_size, "cannot open the file");
        return false;
    }
    char chunk[4096];
    bool read = true;
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        if (bytes.size() + n > script_limits::script_file_bytes) {
            std::snprintf(error, error_size, "the file is larger than %u MiB: not a pattern script",
                          static_cast<unsigned>(script_limits::script_file_bytes >> 20));
            read = false;
            break;
        }
        bytes.append(chunk, n);
        if (n < sizeof chunk) {
            if (std::ferror(file)) {
                std::snprintf(error, error_size, "cannot read the file");
                read = false;
            }
            break;
        }
    }
    return read;
}

void append_utf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 after its mark becomes UTF-8; false with `error` for text that is not UTF-16.
bool utf16_to_utf8(std::string& bytes, bool big_endian, char* error) {
    const std::size_t size = bytes.size() - 2;
    if (size % 2 != 0) {
        std::snprintf(error, error_size,
                      "UTF-16 text (it starts with a byte-order mark) with an odd number of "
                      "bytes");
        return false;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + 2;
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        return big_endian ? (b[i] << 8 | b[i + 1]) : (b[i] | b[i + 1] << 8);
    };
    std::string text;
    text.reserve(size * 3 / 2);
    for (std::size_t i = 0; i < size; i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDFFF) {
            const bool paired =
                c <= 0xDBFF && i + 2 < size && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF;
            if (!paired) {
                std::snprintf(error, error_size,
                              "UTF-16 text with an unpaired surrogate at byte %lu",
                              static_cast<unsigned long>(i + 2));
                return false;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        }
        append_utf8(text, c);
    }
    bytes.swap(text);
    return true;
}

// Turns the file's bytes into what the compiler or the code loader reads. Returns false with
// `error` for a file that makes no sense.
bool prepare(std::string& bytes, bool& compiled, char* error) {
    const unsigned first_two = bytes.size() >= 2 ? static_cast<unsigned char>(bytes[0]) |
                                                       static_cast<unsigned char>(bytes[1]) << 8
                                                 : 0u;
    compiled = first_two == compiled_tag;
    switch (first_two) {
    case compiled_tag: return true; // Squirrel's loader checks it as it reads
    case utf16_le_mark: return utf16_to_utf8(bytes, false, error);
    case utf16_be_mark: return utf16_to_utf8(bytes, true, error);
    case utf8_mark_start:
        if (bytes.size() < 3 || static_cast<unsigned char>(bytes[2]) != 0xBF) {
            std::snprintf(error, error_size,
                          "the file starts like a UTF-8 byte-order mark but is not one");
            return false;
        }
        bytes.erase(0, 3);
        return true;
    default: return true;
    }
}

struct memory_reader {
    const std::string& bytes;
    std::size_t at;
};

// The lexer's feed: one byte at a time, 0 at the end (a zero byte ends the text, as it does
// when Squirrel reads the file itself).
SQInteger next_byte(SQUserPointer reader) {
    auto* r = static_cast<memory_reader*>(reader);
    if (r->at >= r->bytes.size()) return 0;
    return static_cast<unsigned char>(r->bytes[r->at++]);
}

// The code loader's feed: as many bytes as asked for, fewer at the end, -1 when none are left.
SQInteger read_bytes(SQUserPointer reader, SQUserPointer out, SQInteger size) {
    auto* r = static_cast<memory_reader*>(reader);
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(size), r->bytes.size() - r->at);
    if (n == 0) return -1;
    std::memcpy(out, r->bytes.data() + r->at, n);
    r->at += n;
    return static_cast<SQInteger>(n);
}

} // namespace

SQRESULT load_script_file(HSQUIRRELVM v, const char* path, script_failure& failure) {
    std::string bytes;
    char error[error_size] = {};
    failure = script_failure::unreadable;
    if (!read_whole(path, bytes, error)) return sq_throwerror(v, error);
    bool compiled = false;
    const bool prepared = prepare(bytes, compiled, error);
    failure = compiled ? script_failure::damaged_code : script_failure::unreadable;
    if (!prepared) return sq_throwerror(v, error);
    memory_reader reader{bytes, 0};
    if (!compiled) {
        failure = script_failure::does_not_compile;
        return sq_compile(v, next_byte, &reader, path, SQTrue);
    }
    return sq_readclosure(v, read_bytes, &reader);
}

} // namespace ats
