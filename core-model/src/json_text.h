// JSON values and records read from text, for the wallet file and the configuration.
//
// Reader adds to the project's JSON reader what records need: typed fields with
// messages that name them, and generic JSON values, built only where a record holds
// one. Every object it meets, generic or not, refuses a key that occurs twice. Errors
// are one line: "{what} at line {l} column {c}".
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "vek/core/json_reader.h"
#include "vek/core/json_value.h"

namespace vek_core::json_text {

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

// The sink that builds a generic JSON value (objects ordered by key, a repeated key
// refused, integers kept exact within 64 bits, other numbers as doubles).
class ValueBuilder {
 public:
  explicit ValueBuilder(nlohmann::json& out) noexcept : out_(out) {}
  bool null(BasicReader&);
  bool boolean(BasicReader&, bool b);
  bool number(BasicReader& r, const NumberToken& n);
  bool string(BasicReader& r);
  void begin_object();
  bool member(BasicReader& r, std::string& key, const char* key_at, int depth);
  void begin_array();
  bool element(BasicReader& r, int depth);

 private:
  nlohmann::json& out_;
};

class Reader : public BasicReader {
 public:
  using BasicReader::BasicReader;
  using BasicReader::string;
  using BasicReader::value;

  // Opens an object: the next significant byte must be '{'.
  [[nodiscard]] bool begin_object(std::string_view what);
  // Opens an array: the next significant byte must be '['.
  [[nodiscard]] bool begin_array(std::string_view what);
  // A JSON string into `out`; another kind of value is refused naming `field`.
  [[nodiscard]] bool string(std::string& out, std::string_view field);
  // Any JSON value, built as a generic value.
  [[nodiscard]] bool value(nlohmann::json& out, int depth);
  // An unsigned 32-bit integer written without fraction or exponent.
  [[nodiscard]] bool u32(std::uint32_t& out, std::string_view field);
  // Skips one value of any kind (still checked in full).
  [[nodiscard]] bool skip(int depth);

 private:
  bool begin_container(char open, std::string_view what);
};

}  // namespace vek_core::json_text
