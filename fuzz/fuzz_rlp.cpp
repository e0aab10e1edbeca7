// encode_signed_typed_tx and the strict reader read_typed_tx on untrusted transaction
// bytes. Input layout: byte 0 is the y parity, bytes 1 and 2 the number of leading zero
// bytes of r and s (mod 33), the rest the unsigned transaction. The output is checked
// against an independent decoding of the input's first RLP item and the encoding rules
// of the Ethereum Yellow Paper, appendix B; what the strict reader accepts must be read
// whole by the lenient one and be the canonical encoding of the fields it returns.
#include <optional>
#include <vector>

#include "fuzz_check.h"
#include "vek/signer/rlp.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The payload of the RLP item at the start of `item`, or nullopt when the input does
// not hold all of it. Offsets are computed in 128 bits so no length can wrap.
std::optional<std::span<const std::uint8_t>> first_item_payload(std::span<const std::uint8_t> item) {
  if (item.empty()) return std::nullopt;
  const unsigned b = item[0];
  unsigned __int128 start = 0;
  unsigned __int128 len = 0;
  if (b < 0x80) {
    start = 0;
    len = 1;
  } else if (b <= 0xb7 || (b >= 0xc0 && b <= 0xf7)) {
    start = 1;
    len = b - (b <= 0xb7 ? 0x80u : 0xc0u);
  } else {
    const unsigned n = b - (b <= 0xbf ? 0xb7u : 0xf7u);
    if (item.size() < 1 + static_cast<std::size_t>(n)) return std::nullopt;
    for (unsigned i = 0; i < n; ++i) len = (len << 8) | item[1 + i];
    start = 1 + n;
  }
  if (start + len > item.size()) return std::nullopt;
  return item.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(len));
}

void put_header(Bytes& out, std::size_t len, std::uint8_t offset) {
  if (len <= 55) {
    out.push_back(static_cast<std::uint8_t>(offset + len));
    return;
  }
  Bytes be;
  for (std::size_t v = len; v != 0; v >>= 8) be.insert(be.begin(), static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(offset + 55 + be.size()));
  out.insert(out.end(), be.begin(), be.end());
}

void put_string(Bytes& out, std::span<const std::uint8_t> s) {
  if (s.size() == 1 && s[0] < 0x80) {
    out.push_back(s[0]);
    return;
  }
  put_header(out, s.size(), 0x80);
  out.insert(out.end(), s.begin(), s.end());
}

// A big-endian scalar without leading zeros (the RLP form of an integer).
std::span<const std::uint8_t> minimal(std::span<const std::uint8_t> v) {
  while (!v.empty() && v.front() == 0) v = v.subspan(1);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t y_parity = data[0];
  std::uint8_t r[32];
  std::uint8_t s[32];
  const std::size_t r_zeros = data[1] % 33;
  const std::size_t s_zeros = data[2] % 33;
  for (std::size_t i = 0; i < 32; ++i) {
    r[i] = i < r_zeros ? 0 : static_cast<std::uint8_t>(0x7f + i);
    s[i] = i < s_zeros ? 0 : static_cast<std::uint8_t>(0x01 + i);
  }
  const std::span<const std::uint8_t> tx(data + 3, size - 3);

  const auto out = vek_signer::rlp::encode_signed_typed_tx(tx, y_parity, std::span<const std::uint8_t, 32>(r),
                                                           std::span<const std::uint8_t, 32>(s));

  if (const auto strict = vek_signer::rlp::read_typed_tx(tx)) {
    const auto used = vek_signer::rlp::typed_tx_length(tx);
    FUZZ_CHECK(used.has_value() && *used == tx.size());
    FUZZ_CHECK(out.has_value());
    Bytes fields;
    for (const auto& f : strict->fields) {
      if (f.list) {
        put_header(fields, f.payload.size(), 0xc0);
        fields.insert(fields.end(), f.payload.begin(), f.payload.end());
      } else {
        put_string(fields, f.payload);
      }
    }
    Bytes canonical = {strict->type};
    put_header(canonical, fields.size(), 0xc0);
    canonical.insert(canonical.end(), fields.begin(), fields.end());
    FUZZ_CHECK(canonical == Bytes(tx.begin(), tx.end()));
  }

  const bool typed = !tx.empty() && (tx[0] == 0x01 || tx[0] == 0x02);
  const auto fields = typed ? first_item_payload(tx.subspan(1)) : std::nullopt;
  if (!fields) {
    FUZZ_CHECK(!out);
    if (tx.empty()) FUZZ_CHECK(out.error() == "empty transaction");
    if (!tx.empty() && !typed) FUZZ_CHECK(out.error() == "unsupported transaction type (expected 0x01 or 0x02)");
    if (typed && tx.size() == 1) FUZZ_CHECK(out.error() == "empty input");
    return 0;
  }
  FUZZ_CHECK(out.has_value());

  Bytes body(fields->begin(), fields->end());
  if (y_parity == 0) {
    body.push_back(0x80);
  } else {
    put_string(body, std::span<const std::uint8_t>(&y_parity, 1));
  }
  put_string(body, minimal(r));
  put_string(body, minimal(s));
  Bytes expected = {tx[0]};
  put_header(expected, body.size(), 0xc0);
  expected.insert(expected.end(), body.begin(), body.end());
  FUZZ_CHECK(*out == expected);
  return 0;
}
