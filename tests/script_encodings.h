// The pattern script saved the ways editors save it, for the encoding table that the Linux tests
// and the Windows host both walk: the library and talvik-sim --check-script must agree on each.
#pragma once

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
    };
}

} // namespace talvik_test
