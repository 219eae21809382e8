// The scenario language's tokens: words, numbers with glued units, quoted strings.
#include "tools/sim/scenario_lexer.h"

#include <cctype>
#include <charconv>
#include <cmath>
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

std::string unit_list(std::initializer_list<const char*> units) {
    std::string list;
    for (const char* u : units) {
        if (!list.empty()) list += " or ";
        list += "'" + std::string(u) + "'";
    }
    return list;
}

} // namespace

bool tokenize(std::string_view line, std::vector<token>& out, std::string& problem) {
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '#') break;
        if (c == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                problem = "expected a closing '\"' before the end of the line";
                return false;
            }
            token t;
            t.kind = token::string;
            t.text = std::string(line.substr(i + 1, close - i - 1));
            out.push_back(t);
            i = close + 1;
            continue;
        }
        std::size_t end = i;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])) &&
               line[end] != '#' && line[end] != '"') {
            ++end;
        }
        token t;
        t.text = std::string(line.substr(i, end - i));
        double value = 0.0;
        std::size_t used = 0;
        if (parse_double(t.text, value, used) &&
            (used == t.text.size() || is_unit_text(std::string_view(t.text).substr(used)))) {
            t.kind = token::number;
            t.value = value;
            t.unit = t.text.substr(used);
        }
        out.push_back(t);
        i = end;
    }
    return true;
}

std::string line_parser::found() const {
    if (at_end()) return "the end of the line";
    const token& t = tokens_[pos_];
    return t.kind == token::string ? "\"" + t.text + "\"" : "'" + t.text + "'";
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
    if (at_end() || tokens_[pos_].kind == token::string) return std::nullopt;
    return tokens_[pos_].text;
}

bool line_parser::accept_word(std::string_view w) {
    if (at_end() || tokens_[pos_].kind != token::word || tokens_[pos_].text != w) return false;
    ++pos_;
    return true;
}

bool line_parser::number(const std::string& what, double& value,
                         std::initializer_list<const char*> units, std::string* unit_out) {
    if (!peek_number()) return fail(what);
    const token& t = tokens_[pos_];
    std::string unit = t.unit;
    last_value_ = pos_;
    ++pos_;
    if (unit.empty() && !at_end() && tokens_[pos_].kind == token::word) {
        for (const char* u : units) {
            if (tokens_[pos_].text == u) {
                unit = u;
                ++pos_;
                break;
            }
        }
    }
    if (!unit.empty()) {
        bool known = false;
        for (const char* u : units)
            known = known || unit == u;
        if (!known) {
            --pos_;
            return fail(what + " with " + unit_list(units));
        }
    }
    value = t.value;
    if (unit_out != nullptr) *unit_out = unit;
    return true;
}

bool line_parser::whole(const std::string& what, std::int32_t& value) {
    if (!peek_number() || !tokens_[pos_].unit.empty()) return fail(what);
    const double v = tokens_[pos_].value;
    if (v != std::floor(v) || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max()) {
        return fail(what);
    }
    value = static_cast<std::int32_t>(v);
    ++pos_;
    return true;
}

bool line_parser::reject(const std::string& what) {
    if (error_.empty() && last_value_ < tokens_.size()) {
        error_ = "expected " + what + ", found '" + tokens_[last_value_].text + "'";
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
        text += tokens_[pos_++].text;
    }
    return text;
}

} // namespace sim
