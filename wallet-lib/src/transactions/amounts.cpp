#include "amounts.h"

#include <algorithm>
#include <vector>

namespace vek_lib {
namespace {

std::string without_leading_zeros(std::string digits) {
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return "0";
  digits.erase(0, first);
  return digits;
}

}  // namespace

std::string decimal_text(std::span<const std::uint8_t> be) {
  std::vector<std::uint8_t> n(be.begin(), be.end());
  std::string digits;
  while (std::any_of(n.begin(), n.end(), [](std::uint8_t b) { return b != 0; })) {
    unsigned rem = 0;
    for (auto& b : n) {
      const unsigned cur = rem << 8 | b;
      b = static_cast<std::uint8_t>(cur / 10);
      rem = cur % 10;
    }
    digits.push_back(static_cast<char>('0' + rem));
  }
  if (digits.empty()) return "0";
  std::reverse(digits.begin(), digits.end());
  return digits;
}

std::string decimal_sum(std::string_view a, std::string_view b) {
  std::string out;
  out.reserve(std::max(a.size(), b.size()) + 1);
  unsigned carry = 0;
  for (std::size_t k = 0; k < a.size() || k < b.size() || carry != 0; ++k) {
    unsigned d = carry;
    if (k < a.size()) d += static_cast<unsigned>(a[a.size() - 1 - k] - '0');
    if (k < b.size()) d += static_cast<unsigned>(b[b.size() - 1 - k] - '0');
    out.push_back(static_cast<char>('0' + d % 10));
    carry = d / 10;
  }
  std::reverse(out.begin(), out.end());
  return without_leading_zeros(std::move(out));
}

std::string decimal_product(std::string_view a, std::string_view b) {
  // Schoolbook multiplication, least significant digit first; a column holds at most
  // 81 times the shorter length before the one carrying pass.
  std::vector<std::uint64_t> acc(a.size() + b.size(), 0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<std::uint64_t>(a[a.size() - 1 - i] - '0');
    for (std::size_t j = 0; j < b.size(); ++j) acc[i + j] += x * static_cast<std::uint64_t>(b[b.size() - 1 - j] - '0');
  }
  for (std::size_t k = 0; k + 1 < acc.size(); ++k) {
    acc[k + 1] += acc[k] / 10;
    acc[k] %= 10;
  }
  std::string out;
  out.reserve(acc.size());
  for (auto it = acc.rbegin(); it != acc.rend(); ++it) out.push_back(static_cast<char>('0' + *it));
  return without_leading_zeros(std::move(out));
}

std::string in_units(std::string_view base, unsigned decimals) {
  std::string padded;
  padded.reserve(std::max<std::size_t>(base.size(), decimals + 1));
  if (base.size() <= decimals) padded.append(decimals + 1 - base.size(), '0');
  padded.append(base);
  std::string out = padded.substr(0, padded.size() - decimals);
  std::string frac = padded.substr(padded.size() - decimals);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  if (!frac.empty()) out.append(".").append(frac);
  return out;
}

std::string amount_text(std::string_view base, unsigned decimals, std::string_view currency) {
  std::string out = in_units(base, decimals);
  out.append(" ").append(currency);
  return out;
}

}  // namespace vek_lib
