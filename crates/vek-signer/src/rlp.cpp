#include "vek/signer/rlp.h"

#include <limits>

namespace vek_signer::rlp {
namespace {

constexpr std::size_t kShortLimit = 56;  // payloads below this get a one-byte header
constexpr std::uint8_t kLongStringFirst = 0xb8;
constexpr std::uint8_t kListShortFirst = 0xc0;
constexpr std::uint8_t kLongListFirst = 0xf8;
constexpr std::uint8_t kTypeAccessList = 0x01;  // EIP-2930
constexpr std::uint8_t kTypeDynamicFee = 0x02;  // EIP-1559

std::span<const std::uint8_t> strip_leading_zeros(std::span<const std::uint8_t> v) {
  std::size_t i = 0;
  while (i < v.size() && v[i] == 0) ++i;
  return v.subspan(i);
}

void append(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::vector<std::uint8_t> encode_length(std::size_t length, std::uint8_t offset) {
  if (length < kShortLimit) return {static_cast<std::uint8_t>(offset + length)};
  std::uint8_t be[sizeof(std::size_t)];
  std::size_t n = 0;
  for (std::size_t v = length; v != 0; v >>= 8) be[sizeof be - 1 - n++] = static_cast<std::uint8_t>(v & 0xff);
  std::vector<std::uint8_t> out;
  out.reserve(1 + n);
  out.push_back(static_cast<std::uint8_t>(offset + 55 + n));
  out.insert(out.end(), be + sizeof be - n, be + sizeof be);
  return out;
}

std::vector<std::uint8_t> encode_bytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() == 1 && bytes[0] < kStringOffset) return {bytes[0]};
  std::vector<std::uint8_t> out = encode_length(bytes.size(), kStringOffset);
  append(out, bytes);
  return out;
}

namespace {

struct ItemBounds {
  std::size_t header;
  std::size_t payload;
};

// The header and payload lengths of the typed transaction's one RLP item.
std::expected<ItemBounds, std::string_view> typed_item_bounds(std::span<const std::uint8_t> tx) {
  if (tx.empty()) return std::unexpected(std::string_view("empty transaction"));
  const std::uint8_t type = tx[0];
  if (type != kTypeAccessList && type != kTypeDynamicFee) {
    return std::unexpected(std::string_view("unsupported transaction type (expected 0x01 or 0x02)"));
  }
  const std::span<const std::uint8_t> item = tx.subspan(1);
  if (item.empty()) return std::unexpected(std::string_view("empty input"));

  // One header; string and list forms are read alike.
  const std::uint8_t h0 = item[0];
  std::size_t header = 0;
  std::size_t payload = 0;
  if (h0 < kStringOffset) {
    header = 0;
    payload = 1;
  } else if (h0 < kLongStringFirst) {
    header = 1;
    payload = h0 - kStringOffset;
  } else if (h0 < kListShortFirst || h0 >= kLongListFirst) {
    const std::size_t n = h0 < kListShortFirst ? h0 - (kLongStringFirst - 1) : h0 - (kLongListFirst - 1);
    if (n >= item.size()) return std::unexpected(std::string_view("truncated length"));
    // Up to 8 length bytes; any declared length that does not fit a size_t is certainly
    // longer than the input.
    bool too_big = false;
    for (std::size_t i = 0; i < n; ++i) {
      if (payload > (std::numeric_limits<std::size_t>::max() >> 8)) too_big = true;
      payload = (payload << 8) | item[1 + i];
    }
    if (too_big) return std::unexpected(std::string_view("truncated RLP payload"));
    header = 1 + n;
  } else {
    header = 1;
    payload = h0 - kListShortFirst;
  }
  // header <= item.size() here, so the subtraction cannot wrap and the sum is never formed.
  if (header > item.size() || payload > item.size() - header) {
    return std::unexpected(std::string_view("truncated RLP payload"));
  }
  return ItemBounds{header, payload};
}

}  // namespace

std::expected<std::size_t, std::string_view> typed_tx_length(std::span<const std::uint8_t> tx) {
  const auto bounds = typed_item_bounds(tx);
  if (!bounds) return std::unexpected(bounds.error());
  return 1 + bounds->header + bounds->payload;  // fits: both were checked against tx.size()
}

std::expected<std::vector<std::uint8_t>, std::string_view> encode_signed_typed_tx(
    std::span<const std::uint8_t> tx, std::uint8_t y_parity, std::span<const std::uint8_t, kSignatureScalarBytes> r,
    std::span<const std::uint8_t, kSignatureScalarBytes> s) {
  const auto bounds = typed_item_bounds(tx);
  if (!bounds) return std::unexpected(bounds.error());
  const std::uint8_t type = tx[0];
  const std::span<const std::uint8_t> fields = tx.subspan(1 + bounds->header, bounds->payload);

  std::vector<std::uint8_t> body;
  body.reserve(fields.size() + 1 + 2 * (1 + kSignatureScalarBytes));
  append(body, fields);
  if (y_parity == 0) {
    body.push_back(kStringOffset);  // the integer 0 is the empty string
  } else {
    const std::uint8_t v[1] = {y_parity};
    append(body, encode_bytes(v));
  }
  append(body, encode_bytes(strip_leading_zeros(r)));
  append(body, encode_bytes(strip_leading_zeros(s)));

  std::vector<std::uint8_t> out;
  const std::vector<std::uint8_t> list_header = encode_length(body.size(), kListOffset);
  out.reserve(1 + list_header.size() + body.size());
  out.push_back(type);
  append(out, list_header);
  append(out, body);
  return out;
}

}  // namespace vek_signer::rlp
