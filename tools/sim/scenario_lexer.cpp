// The scenario language's tokens: words, numbers with glued units, quoted strings.
#include "tools/sim/scenario_lexer.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace sim {

namespace {

bool parse_double(std::string_view s, double& value, std::size_t& used) {
    const char* first = s.data();
    if (!s.empty() && s[0] == '+') ++first; // from_chars takes no plus sign
    const auto result = std::from_chars(first, s.data() + s.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value)) return false;
    used = static_cast<std::size_t>(result.ptr - s.data());
    return true;
}

bool is_unit_text(std::string_view s) {
    for (char c : s) {
        if (!std::isalpha(static_cast<unsigned char>(c)) && c != '/') return false;
    }
    return !s.empty();
}

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string unit_list(std::initializer_list<const char*> units) {
    std::string list;
    for (const char* u : units) {
        if (!list.empty()) list += " or ";
        list += "'" + std::string(u) + "'";
    }
    return list;
}

// The token that starts at or after `i`, into `out` when it is not null; false at the end of the
// line (or at a '#') and for a string that is not closed. `i` moves past the token.
bool lex(std::string_view line, std::size_t& i, token* out, bool& unclosed) {
    unclosed = false;
    while (i < line.size() && is_space(line[i]))
        ++i;
    if (i >= line.size() || line[i] == '#') return false;
    if (line[i] == '"') {
        const std::size_t close = line.find('"', i + 1);
        if (close == std::string_view::npos) {
            unclosed = true;
            return false;
        }
        if (out != nullptr) {
            *out = token{};
            out->kind = token::string;
            out->text = std::string(line.substr(i + 1, close - i - 1));
        }
        i = close + 1;
        return true;
    }
    std::size_t end = i;
    while (end < line.size() && !is_space(line[end]) && line[end] != '#' && line[end] != '"')
        ++end;
    if (out != nullptr) {
        *out = token{};
        out->text = std::string(line.substr(i, end - i));
        double value = 0.0;
        std::size_t used = 0;
        if (parse_double(out->text, value, used) &&
            (used == out->text.size() || is_unit_text(std::string_view(out->text).substr(used)))) {
            out->kind = token::number;
            out->value = value;
            out->unit = out->text.substr(used);
        }
    }
    i = end;
    return true;
}

} // namespace

// The length of the UTF-8 character that starts `text`; 0 when it does not start one.
std::size_t utf8_length(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t n = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (n == 0 || n > text.size()) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
    }
    return n;
}

std::string quote_excerpt(std::string_view text) {
    std::string out;
    std::size_t shown = 0; // characters on the screen
    for (std::size_t i = 0; i < text.size();) {
        if (shown >= quoted_text_limit) {
            out += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = utf8_length(text.substr(i));
        // Control characters and bytes that are no UTF-8 are shown by their code.
        if (n == 0 || c < 0x20 || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            out += code;
            shown += 4;
            ++i;
        } else {
            out.append(text.substr(i, n));
            ++shown;
            i += n;
        }
    }
    return out;
}

line_parser::line_parser(std::string_view line) : line_(line) { advance(); }

bool line_parser::strings_closed(std::string_view line, std::string& problem) {
    std::size_t i = 0;
    bool unclosed = false;
    while (lex(line, i, nullptr, unclosed)) {
    }
    if (unclosed) problem = "expected a closing '\"' before the end of the line";
    return !unclosed;
}

void line_parser::advance() {
    bool unclosed = false;
    have_next_ = lex(line_, at_, &next_, unclosed);
    if (unclosed) problem("expected a closing '\"' before the end of the line");
}

std::string line_parser::found() const {
    if (at_end()) return "the end of the line";
    const std::string text = quote_excerpt(next_.text);
    return next_.kind == token::string ? "\"" + text + "\"" : "'" + text + "'";
}

bool line_parser::fail(const std::string& expected) {
    if (error_.empty()) error_ = "expected " + expected + ", found " + found();
    return false;
}

bool line_parser::problem(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
}

std::optional<std::string> line_parser::peek_text() const {
    if (at_end() || next_.kind == token::string) return std::nullopt;
    return next_.text;
}

bool line_parser::accept_word(std::string_view w) {
    if (at_end() || next_.kind != token::word || next_.text != w) return false;
    advance();
    return true;
}

bool line_parser::number(const std::string& what, double& value,
                         std::initializer_list<const char*> units, std::string* unit_out) {
    if (!peek_number()) return fail(what);
    std::string unit = next_.unit;
    if (!unit.empty()) {
        bool known = false;
        for (const char* u : units)
            known = known || unit == u;
        if (!known) return fail(what + " with " + unit_list(units));
    }
    value = next_.value;
    last_value_ = next_.text;
    read_value_ = true;
    advance();
    if (unit.empty() && !at_end() && next_.kind == token::word) {
        for (const char* u : units) {
            if (next_.text == u) {
                unit = u;
                advance();
                break;
            }
        }
    }
    if (unit_out != nullptr) *unit_out = unit;
    return true;
}

bool line_parser::whole(const std::string& what, std::int32_t& value, std::int32_t low,
                        std::int32_t high) {
    if (!peek_number() || !next_.unit.empty() || next_.value != std::floor(next_.value))
        return fail(what);
    if (next_.value < low || next_.value > high) {
        // Every whole number the host can pass needs no range said.
        const bool any = low == std::numeric_limits<std::int32_t>::min() &&
                         high == std::numeric_limits<std::int32_t>::max();
        return fail(any ? what
                        : what + " from " + std::to_string(low) + " to " + std::to_string(high));
    }
    value = static_cast<std::int32_t>(next_.value);
    advance();
    return true;
}

bool line_parser::reject(const std::string& what) {
    if (error_.empty() && read_value_) {
        error_ = "expected " + what + ", found '" + quote_excerpt(last_value_) + "'";
    }
    return false;
}

bool line_parser::finish(const char* statement) {
    if (failed()) return false;
    if (at_end()) return true;
    error_ = "unexpected " + found() + " after the " + statement + " statement";
    return false;
}

std::string line_parser::rest_as_text() {
    std::string text;
    while (!at_end()) {
        if (!text.empty()) text += ' ';
        text += next_.text;
        advance();
    }
    return text;
}

} // namespace sim
