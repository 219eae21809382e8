// The pattern script saved the ways editors save it, and compiled script code with a damaged
// instruction, for the encoding table that the Linux tests and the Windows host both walk: the
// library and talvik-sim --check-script must agree on each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talvik_test {

// A pattern script whose brake offset is the length in bytes of `word` as the compiler sees it:
// the bytes of the file, or their UTF-8 form for UTF-16. The pattern speed is ten times that.
inline std::string offset_script(const std::string& comment, const std::string& word) {
    return "// " + comment +
           "\n"
           "function get_brake_pattern_offset(a) { return \"" +
           word +
           "\".len(); }\n"
           "function get_incoming_pattern_offset(a) { return 0; }\n"
           "function lookup_brake_pattern(a, b, distance, offset) { return offset * 10; }\n";
}

// Valid UTF-8 as UTF-16 with its byte-order mark, in either byte order.
inline std::string utf16(const std::string& utf8, bool big_endian) {
    std::string out;
    const auto unit = [&](std::uint32_t u) {
        const char hi = static_cast<char>(u >> 8);
        const char lo = static_cast<char>(u & 0xFF);
        out += big_endian ? hi : lo;
        out += big_endian ? lo : hi;
    };
    unit(0xFEFF);
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        std::uint32_t c = length == 1 ? b : b & (0x3F >> (length - 1));
        for (int k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

// Compiled script code of the plug-in's own widths (`integer_bytes`: 4 in the 32-bit DLL, 8
// elsewhere) whose top level loads literal 5 of none. Every tag and count is right: only a
// check of the instructions can tell, and without one the VM reads past the function.
inline std::string damaged_compiled_script(std::size_t integer_bytes) {
    std::string code = "\xFA\xFA";
    const auto word = [&](std::uint64_t value, std::size_t bytes) {
        for (std::size_t i = 0; i < bytes; ++i)
            code += static_cast<char>(value >> (8 * i));
    };
    const auto integer = [&](std::uint64_t value) { word(value, integer_bytes); };
    const std::uint32_t part = 'P' << 24 | 'A' << 16 | 'R' << 8 | 'T';
    const std::uint32_t null_object = 0x01000001;
    word('S' << 24 | 'Q' << 16 | 'I' << 8 | 'R', 4);
    word(1, 4); // character, integer and float widths
    word(integer_bytes, 4);
    word(4, 4);
    word(part, 4);
    word(null_object, 4); // source name and function name
    word(null_object, 4);
    word(part, 4);
    // Literals, parameters, outer values, local variables, line information, default values,
    // instructions, functions.
    for (const std::uint64_t count : {0, 1, 0, 0, 1, 0, 2, 0})
        integer(count);
    word(part, 4);
    word(part, 4);
    word(null_object, 4); // the parameter `this`
    word(part, 4);
    word(part, 4);
    word(part, 4);
    integer(1); // line 1 from instruction 0
    integer(0);
    word(part, 4);
    word(part, 4);
    word(5, 4); // _OP_LOAD into register 0 of literal 5
    word(0x0001, 4);
    word(0, 4); // _OP_RETURN of nothing
    word(0xFF17, 4);
    word(part, 4);
    integer(1); // stack size, no generator, no variable parameters
    code += '\0';
    integer(0);
    word('T' << 24 | 'A' << 16 | 'I' << 8 | 'L', 4);
    return code;
}

struct encoding_case {
    const char* name;
    std::string bytes;
    int offset;          // the brake offset the script computes; 0 when it must be refused
    const char* refusal; // part of the description of the refusal
};

inline std::vector<encoding_case> encoding_cases() {
    // "日本語のコメント: 制限速度 𠮷" (the last one outside the 16-bit range) and "日本".
    const std::string comment = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x82\xB3\xE3"
                                "\x83\xA1\xE3\x83\xB3\xE3\x83\x88: \xE5\x88\xB6\xE9\x99\x90\xE9"
                                "\x80\x9F\xE5\xBA\xA6 \xF0\xA0\xAE\xB7";
    const std::string word = "\xE6\x97\xA5\xE6\x9C\xAC";
    const std::string sjis_comment = "\x93\xFA\x96{\x8C\xEA\x82\xCC\x83R\x83\x81\x83\x93\x83g: "
                                     "\x90\xA7\x8C\xC0\x91\xAC\x93x";
    const std::string sjis_word = "\x93\xFA\x96{";
    const std::string text = offset_script(comment, word);

    std::string odd = utf16(text, false);
    odd.pop_back();
    // The high half of the last character's pair without its low half.
    std::string unpaired = utf16(text, false);
    unpaired.erase(unpaired.find("\x42\xD8\xB7\xDF") + 2, 2);

    return {
        {"UTF-8", text, 6, nullptr},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + text, 6, nullptr},
        {"Shift-JIS", offset_script(sjis_comment, sjis_word), 4, nullptr},
        {"UTF-16 LE, only ASCII", utf16(offset_script("plain", "Nihon"), false), 5, nullptr},
        {"UTF-16 LE", utf16(text, false), 6, nullptr},
        {"UTF-16 BE", utf16(text, true), 6, nullptr},
        {"UTF-16, odd length", odd, 0, "odd number of bytes"},
        {"UTF-16, unpaired surrogate", unpaired, 0, "unpaired surrogate"},
        // The plug-in's integers are as wide as the host's pointers.
        {"compiled script code with a damaged instruction", damaged_compiled_script(sizeof(void*)),
         0,
         "compiled script code that is damaged: instruction 0 (opcode 1) of function '?' reads "
         "literal 5 of 0"},
    };
}

} // namespace talvik_test
