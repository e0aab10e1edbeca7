// The one JSON text reader of the project, shared by the wallet file, the configuration
// and the key document of private-key wallets. It is not part of the public API: only
// the project's own libraries see this directory.
//
// BasicReader is a strict RFC 8259 reader over a string_view. It owns the syntax (white
// space, strings and their escapes, numbers, literals, the nesting limit) and the error
// texts, "{what} at line {l} column {c}". What becomes of a value is up to a sink:
// BasicReader::value walks one value and reports it to the sink, and the sink decides
// where decoded strings go (an ordinary string, a wiping buffer, nowhere) and what is
// built. Callers that read a record field by field use the steps (next_member,
// next_element, string) directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vek_core::json_text {

// Deepest nesting of arrays and objects accepted, so that hostile input cannot exhaust the stack.
inline constexpr int kMaxDepth = 128;

// `text` with every control character (U+0000 to U+001F, U+007F) written as its JSON
// escape (\n, \t, ... or \u00xx in lower-case hex), so that a message quoting input
// text stays one line. Other bytes are kept as they are.
[[nodiscard]] std::string one_line(std::string_view text);

// Receives the bytes of one decoded string, in pieces. The pieces add up to at most
// BasicReader::string_length_bound() bytes.
class StringSink {
 public:
  virtual void append(const char* bytes, std::size_t n) = 0;

 protected:
  ~StringSink() = default;
};

// A number as written in the text (syntax already checked).
struct NumberToken {
  const char* begin;
  const char* end;
  bool integral;  // no fraction and no exponent
  bool negative;
};

// Sink of BasicReader::value (members called as the value is read):
//   bool null(BasicReader&);  bool boolean(BasicReader&, bool);
//   bool number(BasicReader&, const NumberToken&);
//   bool string(BasicReader&);          reads the string at the reader's position
//   void begin_object();  bool member(BasicReader&, std::string& key, const char* key_at, int depth);
//   void begin_array();   bool element(BasicReader&, int depth);
// member and element read the next value, normally with reader.value(sink, depth).
// Each returns false after setting the reader's error.
class BasicReader {
 public:
  explicit BasicReader(std::string_view text) noexcept
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  // The next significant byte (after white space), or '\0' at the end of the text.
  [[nodiscard]] char peek() noexcept;
  // Consumes `c` if it is the next significant byte.
  [[nodiscard]] bool consume(char c) noexcept;
  [[nodiscard]] bool at_end() const noexcept { return p_ >= end_; }

  enum class Step { Member, End, Error };
  // After the opening brace: reads the next member key of the object, and the colon
  // after it. End when the closing brace was consumed.
  [[nodiscard]] Step next_member(bool first, std::string& key);
  // After the opening bracket: advances to the next element. End when the closing
  // bracket was consumed.
  [[nodiscard]] Step next_element(bool first);

  // Decodes the JSON string that comes next (UTF-8, escapes resolved) into `out`.
  [[nodiscard]] bool string(StringSink& out);
  [[nodiscard]] bool string(std::string& out);
  // An upper bound of the decoded length of the string that comes next (p_ at its quote).
  [[nodiscard]] std::size_t string_length_bound() const noexcept;

  // Reads one value of any kind (checked in full) and reports it to `sink`; `depth` is
  // its nesting level, 1 for a whole document.
  template <class Sink>
  [[nodiscard]] bool value(Sink& sink, int depth);

  // Nothing but white space may follow the document.
  [[nodiscard]] bool finish();

  // Set the error to `what` at the current position (or at `at`) and return false.
  bool fail(std::string_view what);
  bool fail_at(const char* at, std::string_view what);
  // "unexpected end of input" at the end of the text, else `what`.
  bool fail_end_or(std::string_view what);
  [[nodiscard]] const char* position() const noexcept { return p_; }
  // Where the key last read by next_member starts.
  [[nodiscard]] const char* key_position() const noexcept { return key_at_; }
  [[nodiscard]] std::string& error() noexcept { return error_; }

 private:
  void skip_ws() noexcept;
  bool literal(std::string_view word);
  bool number(NumberToken& out);
  bool escape(StringSink& out);
  bool hex4(std::uint32_t& out);

  const char* begin_;
  const char* p_;
  const char* end_;
  const char* key_at_ = nullptr;
  std::string error_;
};

template <class Sink>
bool BasicReader::value(Sink& sink, int depth) {
  if (depth > kMaxDepth) return fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels");
  const char c = peek();
  switch (c) {
    case '"': return sink.string(*this);
    case '{': {
      ++p_;
      sink.begin_object();
      std::string key;
      for (bool first = true;; first = false) {
        const Step step = next_member(first, key);
        if (step != Step::Member) return step == Step::End;
        if (!sink.member(*this, key, key_at_, depth + 1)) return false;
      }
    }
    case '[': {
      ++p_;
      sink.begin_array();
      for (bool first = true;; first = false) {
        const Step step = next_element(first);
        if (step != Step::Member) return step == Step::End;
        if (!sink.element(*this, depth + 1)) return false;
      }
    }
    case 't': return literal("true") && sink.boolean(*this, true);
    case 'f': return literal("false") && sink.boolean(*this, false);
    case 'n': return literal("null") && sink.null(*this);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        NumberToken n{};
        return number(n) && sink.number(*this, n);
      }
      return fail_end_or("expected a value");
  }
}

}  // namespace vek_core::json_text
