// JSON text reading and pretty writing shared by the wallet file and the configuration.
//
// The reader is a strict RFC 8259 parser over a string_view that lets the caller parse
// records field by field straight into their structs, building generic JSON values only
// where a record holds one. Every object it meets, generic or not, refuses a key that
// occurs twice. Errors are one line: "{what} at line {l} column {c}".
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "vek/core/one_line.h"

namespace vek_core::json_text {

// Deepest nesting of arrays and objects accepted, so that hostile input cannot exhaust the stack.
inline constexpr int kMaxDepth = 128;

// "null", "a boolean", "an integer", "a floating-point number", "a string", "an array", "an object".
[[nodiscard]] std::string_view found(const nlohmann::json& v) noexcept;

// A unit-variant enumeration value: a JSON string equal to one of `names`, or an object
// with exactly one member whose key is one of `names` and whose value is null.
// Returns: the index into `names`, or the error text (without position), e.g.
//   "unknown variant `EVM`, expected one of `evm`, `solana`, ..." ("expected `a` or `b`" for two names).
[[nodiscard]] std::expected<std::size_t, std::string> unit_variant(const nlohmann::json& v,
                                                                  std::span<const std::string_view> names);
// The same for a variant given as text.
[[nodiscard]] std::expected<std::size_t, std::string> unit_variant_name(std::string_view text,
                                                                       std::span<const std::string_view> names);

class Reader {
 public:
  explicit Reader(std::string_view text) noexcept
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  // The next significant byte (after white space), or '\0' at the end of the text.
  [[nodiscard]] char peek() noexcept;
  // Consumes `c` if it is the next significant byte.
  [[nodiscard]] bool consume(char c) noexcept;

  enum class Step { Member, End, Error };
  // Opens an object: the next significant byte must be '{'.
  [[nodiscard]] bool begin_object(std::string_view what);
  // Reads the next member key of the open object, and the colon after it. End when the
  // closing brace was consumed.
  [[nodiscard]] Step next_member(bool first, std::string& key);
  // Opens an array: the next significant byte must be '['.
  [[nodiscard]] bool begin_array(std::string_view what);
  // Advances to the next array element. End when the closing bracket was consumed.
  [[nodiscard]] Step next_element(bool first);

  // A JSON string into `out` (UTF-8, escapes resolved).
  [[nodiscard]] bool string(std::string& out, std::string_view field);
  // Any JSON value, built as a generic value (objects ordered by key).
  [[nodiscard]] bool value(nlohmann::json& out, int depth);
  // An unsigned 32-bit integer written without fraction or exponent.
  [[nodiscard]] bool u32(std::uint32_t& out, std::string_view field);
  // Skips one value of any kind (still checked in full).
  [[nodiscard]] bool skip(int depth);
  // Nothing but white space may follow the document.
  [[nodiscard]] bool finish();

  // Sets the error to `what` at the current position (or at `at`) and returns false.
  bool fail(std::string_view what);
  bool fail_at(const char* at, std::string_view what);
  [[nodiscard]] const char* position() const noexcept { return p_; }
  // Where the key last read by next_member starts.
  [[nodiscard]] const char* key_position() const noexcept { return key_at_; }
  [[nodiscard]] std::string& error() noexcept { return error_; }

 private:
  void skip_ws() noexcept;
  bool literal(std::string_view word);
  bool number(nlohmann::json& out);
  bool escape(std::string& out);
  bool utf8_sequence();
  bool begin_container(char open, std::string_view what);
  bool hex4(std::uint32_t& out);

  const char* begin_;
  const char* p_;
  const char* end_;
  const char* key_at_ = nullptr;
  std::string error_;
};

// Parses a whole document into a generic value (duplicate keys and trailing text refused).
[[nodiscard]] std::expected<nlohmann::json, std::string> parse(std::string_view text);

// Appends `s` as a JSON string: only the quotation mark, the backslash and control
// characters are escaped (\b \t \n \f \r, else \u00xx in lower-case hex).
// Returns false when `s` is not valid UTF-8 (nothing meaningful can be written then).
[[nodiscard]] bool write_string(std::string& out, std::string_view s);
// Appends `v` pretty-printed with two spaces per level, its first line continuing the
// current one and nested lines indented from `indent`.
// Returns false when a string in `v` is not valid UTF-8.
[[nodiscard]] bool write_pretty(std::string& out, const nlohmann::json& v, int indent);
// Appends `n` spaces.
void write_indent(std::string& out, int n);

// The length of the longest valid UTF-8 prefix of `s` (s.size() when all of it is valid).
[[nodiscard]] std::size_t utf8_valid_prefix(std::string_view s) noexcept;

}  // namespace vek_core::json_text
