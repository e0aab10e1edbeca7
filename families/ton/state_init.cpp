// A TON wallet's StateInit, read from the bag of cells a TON Connect proof carries: its
// hash (the account it deploys) and the public key in its data, for the wallet versions
// in use. The reader is strict and bounded: one root, no absent cells, references only
// to later cells (so hashing is one backward pass, no recursion), ordinary cells and
// library cells only, sizes capped far above any wallet's.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "vek/signer/ed25519_message_formats.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"

namespace vek_signer {
namespace {

constexpr std::size_t kMaxBocBytes = 16 * 1024;
constexpr std::size_t kMaxCells = 1024;
constexpr std::size_t kMaxDepth = 1024;  // the network's own bound on a cell tree's depth
constexpr std::size_t kMaxRefs = 4;
constexpr std::array<std::uint8_t, 4> kBocMagic{0xb5, 0xee, 0x9c, 0x72};
constexpr std::uint8_t kLibraryCellType = 2;

using Hash = std::array<std::uint8_t, 32>;

SignerError invalid(std::string what) {
  return SignerError{SignerErrorKind::InvalidMessage, "invalid state_init: " + std::move(what)};
}

// The wallet versions whose StateInit is read, by the hash of their code (the code a
// library cell names, when the StateInit holds one), and the bit offset of the public key
// in their data: v3 and v4 seqno (32) and wallet id (32); v5r1 a signature flag (1), seqno
// (32) and wallet id (32); the v5 beta seqno (33) and an 80-bit wallet id.
struct WalletCode {
  std::string_view version;
  Hash code_hash;
  std::size_t key_offset;
};

constexpr Hash hash_of(std::string_view hex) {
  Hash out{};
  const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<std::uint8_t>(digit(hex[2 * i]) << 4 | digit(hex[2 * i + 1]));
  }
  return out;
}

constexpr std::array kWalletCodes{
    WalletCode{"v3r1", hash_of("b61041a58a7980b946e8fb9e198e3c904d24799ffa36574ea4251c41a566f581"), 64},
    WalletCode{"v3r2", hash_of("84dafa449f98a6987789ba232358072bc0f76dc4524002a5d0918b9a75d2d599"), 64},
    WalletCode{"v4r2", hash_of("feb5ff6820e2ff0d9483e7e0d62c817d846789fb4ae580c878866d959dabd5c0"), 64},
    WalletCode{"v5r1", hash_of("20834b7b72b112147e1b2fb457b84e74d1a30f04f737d4f62a668e9552d2b72f"), 65},
    WalletCode{"v5 beta", hash_of("e4cf3b2f4c6d6a61ea0f2b5447d266785b26af3637db2deee6bcd1aa826f3412"), 113},
};

struct Cell {
  std::uint8_t d1 = 0;  // references, exotic flag (level 0, no stored hashes)
  std::uint8_t d2 = 0;  // data length descriptor
  std::span<const std::uint8_t> data;
  std::array<std::size_t, kMaxRefs> refs{};
  std::size_t ref_count = 0;
  Hash hash{};
  std::uint16_t depth = 0;
  bool exotic() const { return (d1 & 8) != 0; }
  // The number of data bits: whole bytes, or a final byte whose lowest set bit is a tag.
  std::size_t bits() const {
    if (data.empty()) return 0;
    if ((d2 & 1) == 0) return data.size() * 8;
    const std::uint8_t last = data.back();
    return (data.size() - 1) * 8 + 7 - static_cast<std::size_t>(__builtin_ctz(last));
  }
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
  std::size_t left() const { return in_.size() - at_; }
  bool take(std::size_t n, std::uint64_t& out) {
    if (n > left()) return false;
    out = 0;
    for (std::size_t i = 0; i < n; ++i) out = out << 8 | in_[at_++];
    return true;
  }
  bool bytes(std::size_t n, std::span<const std::uint8_t>& out) {
    if (n > left()) return false;
    out = in_.subspan(at_, n);
    at_ += n;
    return true;
  }
 private:
  std::span<const std::uint8_t> in_;
  std::size_t at_ = 0;
};

// CRC-32C (Castagnoli, reflected), as bags of cells carry it.
std::uint32_t crc32c(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xffffffffu;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0x82f63b78u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Representation hashes, children first: d1, d2, the data, the references' depths
// (u16 BE) and their hashes.
SignerResult<void> hash_cells(std::vector<Cell>& out) {
  for (std::size_t i = out.size(); i-- > 0;) {
    Cell& c = out[i];
    std::vector<std::uint8_t> repr{c.d1, c.d2};
    repr.insert(repr.end(), c.data.begin(), c.data.end());
    for (std::size_t k = 0; k < c.ref_count; ++k) {
      const Cell& child = out[c.refs[k]];
      repr.push_back(static_cast<std::uint8_t>(child.depth >> 8));
      repr.push_back(static_cast<std::uint8_t>(child.depth & 0xff));
      c.depth = std::max<std::uint16_t>(c.depth, static_cast<std::uint16_t>(child.depth + 1));
    }
    if (c.depth > kMaxDepth) return std::unexpected(invalid("deeper than " + std::to_string(kMaxDepth) + " cells"));
    for (std::size_t k = 0; k < c.ref_count; ++k) {
      const Cell& child = out[c.refs[k]];
      repr.insert(repr.end(), child.hash.begin(), child.hash.end());
    }
    c.hash = sha256(repr);
  }
  return {};
}

SignerResult<std::vector<Cell>> read_cells(std::span<const std::uint8_t> boc) {
  if (boc.size() > kMaxBocBytes) {
    return std::unexpected(invalid("larger than " + std::to_string(kMaxBocBytes) + " bytes"));
  }
  const auto truncated = [] { return std::unexpected(invalid("truncated bag of cells")); };
  if (boc.size() < kBocMagic.size() || !std::equal(kBocMagic.begin(), kBocMagic.end(), boc.begin())) {
    return std::unexpected(invalid("not a bag of cells"));
  }
  Reader r(boc.subspan(kBocMagic.size()));
  std::uint64_t flags = 0, off_bytes = 0;
  if (!r.take(1, flags) || !r.take(1, off_bytes)) return truncated();
  const bool has_index = (flags & 0x80) != 0;
  const bool has_crc = (flags & 0x40) != 0;
  const std::size_t size = flags & 7;
  if ((flags & 0x18) != 0 || size == 0 || size > 4 || off_bytes == 0 || off_bytes > 8) {
    return std::unexpected(invalid("unsupported bag of cells header"));
  }
  std::uint64_t cells = 0, roots = 0, absent = 0, total = 0, root = 0;
  if (!r.take(size, cells) || !r.take(size, roots) || !r.take(size, absent) || !r.take(off_bytes, total)) {
    return truncated();
  }
  if (roots != 1) return std::unexpected(invalid("expected one root cell, got " + std::to_string(roots)));
  if (absent != 0) return std::unexpected(invalid("absent cells are not read"));
  if (cells == 0 || cells > kMaxCells) return std::unexpected(invalid("cell count " + std::to_string(cells)));
  if (!r.take(size, root)) return truncated();
  if (root != 0) return std::unexpected(invalid("the root must be the first cell"));
  std::span<const std::uint8_t> skipped;
  if (has_index && !r.bytes(cells * off_bytes, skipped)) return truncated();
  if (total != r.left() - (has_crc ? 4 : 0)) return std::unexpected(invalid("cell data size does not match"));

  std::vector<Cell> out(cells);
  for (std::size_t i = 0; i < cells; ++i) {
    Cell& c = out[i];
    std::uint64_t d1 = 0, d2 = 0;
    if (!r.take(1, d1) || !r.take(1, d2)) return truncated();
    if ((d1 & 0xf0) != 0) return std::unexpected(invalid("cells with levels or stored hashes are not read"));
    c.d1 = static_cast<std::uint8_t>(d1);
    c.d2 = static_cast<std::uint8_t>(d2);
    c.ref_count = d1 & 7;
    if (c.ref_count > kMaxRefs) return std::unexpected(invalid("a cell has more than 4 references"));
    if (!r.bytes((d2 + 1) / 2, c.data)) return truncated();
    if ((d2 & 1) != 0 && c.data.back() == 0) return std::unexpected(invalid("a cell's last byte has no end tag"));
    for (std::size_t k = 0; k < c.ref_count; ++k) {
      std::uint64_t ref = 0;
      if (!r.take(size, ref)) return truncated();
      // References point forward only: no cycles, and hashing is one backward pass.
      if (ref <= i || ref >= cells) return std::unexpected(invalid("a reference does not point to a later cell"));
      c.refs[k] = ref;
    }
    if (c.exotic()) {
      const bool library = c.ref_count == 0 && c.bits() == 8 + 256 && c.data[0] == kLibraryCellType;
      if (!library) return std::unexpected(invalid("exotic cells other than libraries are not read"));
    }
  }
  if (has_crc) {
    std::uint64_t stored = 0;
    if (r.left() != 4) return std::unexpected(invalid("cell data size does not match"));
    std::span<const std::uint8_t> tail;
    r.bytes(4, tail);
    stored = tail[0] | std::uint32_t{tail[1]} << 8 | std::uint32_t{tail[2]} << 16 | std::uint32_t{tail[3]} << 24;
    if (stored != crc32c(boc.first(boc.size() - 4))) return std::unexpected(invalid("checksum mismatch"));
  } else if (r.left() != 0) {
    return std::unexpected(invalid("cell data size does not match"));
  }

  VEK_TRY_VOID(hash_cells(out));
  return out;
}

}  // namespace

SignerResult<TonStateInit> ton_parse_state_init(std::span<const std::uint8_t> boc) {
  auto cells = read_cells(boc);
  if (!cells) return std::unexpected(cells.error());
  const Cell& root = cells->front();
  // No fixed prefix length, no tick-tock, code and data present, no library: the five bits
  // 00110 and their end tag, with two references.
  if (root.exotic() || root.ref_count != 2 || root.d2 != 1 || root.data[0] != 0x34) {
    return std::unexpected(invalid("not a StateInit of code and data"));
  }
  const Cell& code = (*cells)[root.refs[0]];
  const Cell& data = (*cells)[root.refs[1]];
  if (data.exotic()) return std::unexpected(invalid("the data cell is exotic"));
  Hash code_hash = code.hash;
  if (code.exotic()) std::copy_n(code.data.begin() + 1, code_hash.size(), code_hash.begin());
  const auto wallet = std::find_if(kWalletCodes.begin(), kWalletCodes.end(),
                                   [&](const WalletCode& w) { return w.code_hash == code_hash; });
  if (wallet == kWalletCodes.end()) {
    return std::unexpected(invalid("the code is not a wallet of version v3r1, v3r2, v4r2, v5r1 or v5 beta (code hash " +
                                   hex_encode(code_hash) + ")"));
  }
  if (data.bits() < wallet->key_offset + 256) {
    return std::unexpected(invalid("the data is too short for a " + std::string(wallet->version) + " wallet"));
  }
  TonStateInit out;
  out.hash = root.hash;
  out.version = wallet->version;
  for (std::size_t i = 0; i < out.public_key.size(); ++i) {
    const std::size_t bit = wallet->key_offset + 8 * i;
    const std::size_t byte = bit / 8, shift = bit % 8;
    const unsigned hi = data.data[byte];
    const unsigned lo = shift == 0 ? 0 : data.data[byte + 1];
    out.public_key[i] = static_cast<std::uint8_t>((hi << shift | lo >> (8 - shift)) & 0xff);
  }
  return out;
}

}  // namespace vek_signer
