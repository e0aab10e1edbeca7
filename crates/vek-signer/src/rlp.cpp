#include "vek/signer/rlp.h"

#include <array>
#include <limits>

#include "vek/core/error.h"

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

// What a header says, read without judging its form.
struct Header {
  bool list = false;
  std::size_t header = 0;   // bytes of the header itself
  std::size_t payload = 0;  // bytes of payload it declares
  // Empty for the canonical form; otherwise what is not canonical about it.
  std::string_view non_canonical;
};

enum class HeaderFault { TruncatedLength, TruncatedPayload };

// The one header reader: the header at the start of `item` (not empty) and the payload
// it declares, which must fit in `item`. Both readers below use it: the lenient one
// of encode_signed_typed_tx ignores `non_canonical`, read_item refuses it.
std::expected<Header, HeaderFault> read_header(std::span<const std::uint8_t> item) {
  const std::uint8_t h0 = item[0];
  Header h;
  if (h0 < kStringOffset) {
    h.payload = 1;  // the byte is its own payload
    return h;
  }
  h.list = h0 >= kListShortFirst;
  if (h0 < kLongStringFirst || (h0 >= kListShortFirst && h0 < kLongListFirst)) {
    h.header = 1;
    h.payload = static_cast<std::size_t>(h0 - (h.list ? kListShortFirst : kStringOffset));
  } else {
    const auto n = static_cast<std::size_t>(h.list ? h0 - (kLongListFirst - 1) : h0 - (kLongStringFirst - 1));
    if (n >= item.size()) return std::unexpected(HeaderFault::TruncatedLength);
    // Up to 8 length bytes; any declared length that does not fit a size_t is certainly
    // longer than the input.
    bool too_big = false;
    for (std::size_t i = 0; i < n; ++i) {
      if (h.payload > (std::numeric_limits<std::size_t>::max() >> 8)) too_big = true;
      h.payload = (h.payload << 8) | item[1 + i];
    }
    if (too_big) return std::unexpected(HeaderFault::TruncatedPayload);
    h.header = 1 + n;
    if (item[1] == 0) {
      h.non_canonical = "non-canonical RLP length: leading zero bytes";
    } else if (h.payload < kShortLimit) {
      h.non_canonical = "non-canonical RLP length: a long form for a length below 56";
    }
  }
  // header <= item.size() here, so the subtraction cannot wrap and the sum is never formed.
  if (h.payload > item.size() - h.header) return std::unexpected(HeaderFault::TruncatedPayload);
  if (h0 == kStringOffset + 1 && item[1] < kStringOffset) {
    h.non_canonical = "non-canonical RLP string: a single byte below 0x80 is its own encoding";
  }
  return h;
}

struct ItemBounds {
  std::size_t header;
  std::size_t payload;
};

// The header and payload lengths of the typed transaction's one RLP item, read as
// encode_signed_typed_tx documents: any header form, string or list.
std::expected<ItemBounds, std::string_view> typed_item_bounds(std::span<const std::uint8_t> tx) {
  if (tx.empty()) return std::unexpected(std::string_view("empty transaction"));
  const std::uint8_t type = tx[0];
  if (type != kTypeAccessList && type != kTypeDynamicFee) {
    return std::unexpected(std::string_view("unsupported transaction type (expected 0x01 or 0x02)"));
  }
  const std::span<const std::uint8_t> item = tx.subspan(1);
  if (item.empty()) return std::unexpected(std::string_view("empty input"));
  const auto h = read_header(item);
  if (!h) {
    return std::unexpected(std::string_view(h.error() == HeaderFault::TruncatedLength ? "truncated length"
                                                                                       : "truncated RLP payload"));
  }
  return ItemBounds{h->header, h->payload};
}

}  // namespace

std::expected<std::size_t, std::string_view> typed_tx_length(std::span<const std::uint8_t> tx) {
  VEK_TRY(bounds, typed_item_bounds(tx));
  return 1 + bounds->header + bounds->payload;  // fits: both were checked against tx.size()
}

std::expected<std::vector<std::uint8_t>, std::string_view> encode_signed_typed_tx(
    std::span<const std::uint8_t> tx, std::uint8_t y_parity, std::span<const std::uint8_t, kSignatureScalarBytes> r,
    std::span<const std::uint8_t, kSignatureScalarBytes> s) {
  VEK_TRY(bounds, typed_item_bounds(tx));
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

// ---------------------------------------------------------------- strict reading

std::expected<Item, std::string_view> read_item(std::span<const std::uint8_t> in, std::size_t at) {
  if (at >= in.size()) return std::unexpected(std::string_view("truncated RLP item"));
  const auto h = read_header(in.subspan(at));
  if (!h) {
    return std::unexpected(std::string_view(h.error() == HeaderFault::TruncatedLength ? "truncated RLP length"
                                                                                       : "truncated RLP payload"));
  }
  if (!h->non_canonical.empty()) return std::unexpected(h->non_canonical);
  const std::size_t start = at + h->header;
  return Item{h->list, in.subspan(start, h->payload), start + h->payload};
}

std::string trailing_bytes_text(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " byte follows" : " bytes follow") + " the transaction's RLP list";
}

namespace {

constexpr std::size_t kMaxIntegerBytes = 32;  // a 256-bit unsigned integer

// The integer fields of each type's layout, by position; empty names are the fields
// that are not integers (recipient, data, access list).
constexpr std::array<std::string_view, 8> kAccessListLayout = {
    "the chain id", "the nonce", "the gas price", "the gas limit", "", "the value", "", ""};
constexpr std::array<std::string_view, 9> kDynamicFeeLayout = {
    "the chain id", "the nonce", "the priority fee", "the maximum fee", "the gas limit", "", "the value", "", ""};

}  // namespace

std::expected<TypedTx, std::string> read_typed_tx(std::span<const std::uint8_t> tx) {
  if (tx.empty()) return std::unexpected(std::string("empty transaction"));
  if (tx[0] != kTypeAccessList && tx[0] != kTypeDynamicFee) {
    return std::unexpected(std::string("unsupported transaction type (expected 0x01 or 0x02)"));
  }
  const auto list = read_item(tx, 1);
  if (!list) return std::unexpected(std::string(list.error()));
  if (!list->list) return std::unexpected(std::string("the fields are not an RLP list"));
  if (list->end != tx.size()) return std::unexpected(trailing_bytes_text(tx.size() - list->end));

  TypedTx out;
  out.type = tx[0];
  // The fields, then every list nested in them (the access list), without recursion.
  std::vector<std::span<const std::uint8_t>> lists = {list->payload};
  for (bool top = true; !lists.empty(); top = false) {
    const std::span<const std::uint8_t> payload = lists.back();
    lists.pop_back();
    for (std::size_t at = 0; at < payload.size();) {
      const auto item = read_item(payload, at);
      if (!item) return std::unexpected(std::string(item.error()));
      if (item->list) lists.push_back(item->payload);
      if (top) out.fields.push_back(*item);
      at = item->end;
    }
  }

  const std::span<const std::string_view> layout =
      out.type == kTypeDynamicFee ? std::span<const std::string_view>(kDynamicFeeLayout)
                                  : std::span<const std::string_view>(kAccessListLayout);
  for (std::size_t i = 0; i < out.fields.size() && i < layout.size(); ++i) {
    const std::string_view name = layout[i];
    const Item& f = out.fields[i];
    if (name.empty()) continue;
    if (f.list) return std::unexpected(std::string(name) + " is a list, not an integer");
    if (f.payload.size() > kMaxIntegerBytes) return std::unexpected(std::string(name) + " is longer than 32 bytes");
    if (!f.payload.empty() && f.payload[0] == 0) return std::unexpected(std::string(name) + " has a leading zero byte");
  }
  return out;
}

}  // namespace vek_signer::rlp
