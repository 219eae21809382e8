// The scenario language's words: a line split into tokens, and the tokens read one by one.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct token {
    enum kind_t { word, number, string } kind = word;
    std::string text;
    double value = 0.0;
    std::string unit; // letters glued to a number: "600m", "20ms"
};

// Splits one line into tokens up to a '#'; false with `problem` set for an unterminated string.
bool tokenize(std::string_view line, std::vector<token>& out, std::string& problem);

// One line's tokens, read in order by the grammar. The first thing that is not as expected
// becomes the line's error; later failures keep it.
class line_parser {
  public:
    explicit line_parser(std::vector<token> tokens) : tokens_(std::move(tokens)) {}

    bool at_end() const { return pos_ >= tokens_.size(); }
    const std::string& error() const { return error_; }
    bool failed() const { return !error_.empty(); }

    // "expected <expected>, found <the next token>"
    bool fail(const std::string& expected);
    // A message that is not of the "expected ..., found ..." kind.
    bool problem(const std::string& message);

    // The next token's text if it is a word or a number (a clock "10:00:00" is a word).
    std::optional<std::string> peek_text() const;
    void skip() { ++pos_; }
    bool accept_word(std::string_view w);

    // A number with an optional unit among `units` (written glued or as the next word).
    bool number(const std::string& what, double& value, std::initializer_list<const char*> units,
                std::string* unit_out = nullptr);
    // A whole number without a unit that fits an int32.
    bool whole(const std::string& what, std::int32_t& value);
    // Refuses the number just read: "expected <what>, found '<number>'".
    bool reject(const std::string& what);

    // True at the end of the line; otherwise the statement has words too many.
    bool finish(const char* statement);
    std::string rest_as_text();

  private:
    std::string found() const;
    bool peek_number() const { return !at_end() && tokens_[pos_].kind == token::number; }

    std::vector<token> tokens_;
    std::size_t pos_ = 0;
    std::size_t last_value_ = static_cast<std::size_t>(-1);
    std::string error_;
};

} // namespace sim
