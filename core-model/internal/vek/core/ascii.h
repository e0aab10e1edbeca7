// Letter case and hex prefixes of ASCII text, the one place they are handled.
#pragma once

#include <string>
#include <string_view>

namespace vek_core {

// `c` with A-Z turned into a-z; every other byte (UTF-8 sequences included) unchanged,
// whatever the locale.
[[nodiscard]] constexpr char ascii_lower(char c) noexcept {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with ascii_lower applied to every byte.
[[nodiscard]] inline std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

// Whether `text` begins with `prefix` (given in lower case), ASCII letters compared without regard to case.
[[nodiscard]] constexpr bool starts_with_ascii_ci(std::string_view text, std::string_view prefix) noexcept {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

// Which hex prefixes without_0x drops: "0x" only (what the hex inputs of transactions and
// raw keys have always taken), or "0x" and "0X".
enum class HexPrefix : unsigned char { LowerOnly, EitherCase };

// `text` without one leading hex prefix of the kind `which` names; anything else
// (another prefix, a lone "0") is left as it is, for the hex reader to judge.
[[nodiscard]] constexpr std::string_view without_0x(std::string_view text, HexPrefix which) noexcept {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || (which == HexPrefix::EitherCase && text[1] == 'X'))) {
    text.remove_prefix(2);
  }
  return text;
}

}  // namespace vek_core
