// The scenario language's words: a line read token by token, as the grammar asks for them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

struct token {
    enum kind_t { word, number, string } kind = word;
    std::string text;
    double value = 0.0;
    std::string unit; // letters glued to a number: "600m", "20ms"
};

// At most this many characters of a line's text go into an error message: a message names what
// it found, it does not repeat a file.
constexpr std::size_t quoted_text_limit = 60;

// `text` for an error message: cut to about `quoted_text_limit` characters (never inside a UTF-8
// character, "..." marking the cut), control characters and bytes that are no UTF-8 shown as
// \xNN.
std::string quote_excerpt(std::string_view text);

// One line's tokens, read in order by the grammar; a token is read when the grammar comes to it,
// so a line costs memory by the statement, not by its length. The first thing that is not as
// expected becomes the line's error; later failures keep it.
class line_parser {
  public:
    explicit line_parser(std::string_view line);

    // False with `problem` set when a string opened on the line is not closed on it.
    static bool strings_closed(std::string_view line, std::string& problem);

    bool at_end() const { return !have_next_; }
    const std::string& error() const { return error_; }
    bool failed() const { return !error_.empty(); }

    // "expected <expected>, found <the next token>"
    bool fail(const std::string& expected);
    // A message that is not of the "expected ..., found ..." kind.
    bool problem(const std::string& message);

    // The next token's text if it is a word or a number (a clock "10:00:00" is a word).
    std::optional<std::string> peek_text() const;
    void skip() { advance(); }
    bool accept_word(std::string_view w);

    // A number with an optional unit among `units` (written glued or as the next word).
    bool number(const std::string& what, double& value, std::initializer_list<const char*> units,
                std::string* unit_out = nullptr);
    // A whole number without a unit from `low` to `high`.
    bool whole(const std::string& what, std::int32_t& value, std::int32_t low, std::int32_t high);
    // Refuses the number just read: "expected <what>, found '<number>'".
    bool reject(const std::string& what);

    // True at the end of the line; otherwise the statement has words too many.
    bool finish(const char* statement);
    std::string rest_as_text();

  private:
    void advance();
    std::string found() const;
    bool peek_number() const { return have_next_ && next_.kind == token::number; }

    std::string_view line_;
    std::size_t at_ = 0; // where the token after `next_` begins
    token next_;
    bool have_next_ = false;
    bool read_value_ = false;
    std::string last_value_; // the last number read, for reject()
    std::string error_;
};

} // namespace sim
