// The values of an EIP-712 document: the failure type with its member path, and the
// readers of hex, integer and address values. Shared by the typed-data encoder only.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace vek_signer::eip712 {

using json = nlohmann::json;
using Word = std::array<std::uint8_t, 32>;

// A failure, with the member path it concerns.
struct Failure {
  std::string text;
};
template <typename T>
using Result = std::expected<T, Failure>;

// Where a value lies in the document: a chain of links on the encoder's stack, written
// out ("message.to.wallet", "message.items[3]") only when an error names it.
struct Path {
  const Path* parent = nullptr;
  std::string_view member;  // the member's name, or the root ("domain", "message")
  std::size_t index = 0;    // the element's index when `member` is empty
};

std::unexpected<Failure> fail(const std::string& where, const std::string& what);
std::unexpected<Failure> fail(const Path& where, const std::string& what);
// ", got {kind of the JSON value}".
std::string got(const json& v);
// Text taken from the document, as an error message quotes it: up to 96 bytes as they
// are, a longer text as its first and last 40 bytes around "...". A cut never splits a
// UTF-8 sequence.
std::string shown(std::string_view s);
std::string path_text(const Path& at);
Word keccak(std::span<const std::uint8_t> bytes);
std::span<const std::uint8_t> text_bytes(std::string_view s);

// "0x" followed by hex digits (any even number, none included).
Result<std::vector<std::uint8_t>> hex_value(const json& v, const Path& where, const std::string& expected);
// The number N of "prefix{N}" when N is a multiple of `step` in [step, max].
std::optional<unsigned> sized(std::string_view type, std::string_view prefix, unsigned step, unsigned max);
// The 32-byte two's complement word of an integer of type uintN or intN.
Result<Word> integer_word(const json& v, unsigned bits, bool is_signed, const Path& where, std::string_view type);
// The value in decimal ("-" before a negative one) when it reads as an integer.
std::optional<std::string> integer_text(const json& v);
// The word of an address: 0x and 40 hex digits, mixed case only with its EIP-55 checksum.
Result<Word> address_word(const json& v, const Path& where);

}  // namespace vek_signer::eip712
