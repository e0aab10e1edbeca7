#include "ton/signer.h"

#include <algorithm>
#include <array>

#include "chains/ed25519.h"
#include "vek/signer/crc16.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hash.h"

namespace vek_signer {
namespace {

// Representation hash of the wallet v5r1 code cell, and that cell's depth.
constexpr std::array<std::uint8_t, 32> kCodeHash = {
    0x20, 0x83, 0x4b, 0x7b, 0x72, 0xb1, 0x12, 0x14, 0x7e, 0x1b, 0x2f, 0xb4, 0x57, 0xb8, 0x4e, 0x74,
    0xd1, 0xa3, 0x0f, 0x04, 0xf7, 0x37, 0xd4, 0xf6, 0x2a, 0x66, 0x8e, 0x95, 0x52, 0xd2, 0xb7, 0x2f};
constexpr std::uint16_t kCodeDepth = 6;
constexpr std::uint8_t kWorkchain = 0;

// Writes bits most significant first into a zeroed byte buffer.
class BitWriter {
 public:
  explicit BitWriter(std::span<std::uint8_t> out) : out_(out) {}
  void bit(bool b) {
    if (b) out_[pos_ / 8] |= static_cast<std::uint8_t>(0x80 >> (pos_ % 8));
    ++pos_;
  }
  void uint32(std::uint32_t v) {
    for (int i = 31; i >= 0; --i) bit((v >> i) & 1);
  }
  void bytes(std::span<const std::uint8_t> b) {
    for (std::uint8_t byte : b)
      for (int i = 7; i >= 0; --i) bit((byte >> i) & 1);
  }
 private:
  std::span<std::uint8_t> out_;
  std::size_t pos_ = 0;
};

// The wallet's data cell holds 322 bits: signatures allowed (1), seqno 0, the wallet id,
// the public key, and an empty extensions dictionary (0). Its representation is the two
// descriptor bytes (no references; 322 bits = 40 whole bytes plus a partial one) and the
// bits padded with a 1 and then zeros to 41 bytes.
std::array<std::uint8_t, 32> data_cell_hash(std::span<const std::uint8_t, 32> pk, std::uint32_t wallet_id) {
  constexpr std::size_t kDataBits = 322;
  std::array<std::uint8_t, 2 + 41> repr{};
  repr[0] = 0x00;                                          // refs descriptor: no references
  repr[1] = kDataBits / 8 + (kDataBits + 7) / 8;           // bits descriptor: 0x51
  BitWriter w{std::span<std::uint8_t>(repr).subspan(2)};
  w.bit(true);
  w.uint32(0);
  w.uint32(wallet_id);
  w.bytes(pk);
  w.bit(false);
  w.bit(true);  // completion tag of the partial last byte
  return sha256(repr);
}

// The StateInit cell: no split depth, not special, code and data present, no library;
// those five bits plus the completion tag give the data byte 0x34. Then the depths and
// hashes of its two references.
std::array<std::uint8_t, 32> state_init_hash(const std::array<std::uint8_t, 32>& data_hash) {
  std::array<std::uint8_t, 3 + 2 + 2 + 32 + 32> repr{};
  repr[0] = 0x02;  // two references
  repr[1] = 0x01;  // 5 data bits: ceil(5 / 8) + floor(5 / 8)
  repr[2] = 0x34;
  repr[3] = static_cast<std::uint8_t>(kCodeDepth >> 8);
  repr[4] = static_cast<std::uint8_t>(kCodeDepth & 0xFF);
  repr[5] = 0x00;  // the data cell has no references: depth 0
  repr[6] = 0x00;
  std::copy(kCodeHash.begin(), kCodeHash.end(), repr.begin() + 7);
  std::copy(data_hash.begin(), data_hash.end(), repr.begin() + 39);
  return sha256(repr);
}

}  // namespace

std::array<std::uint8_t, 32> TonSigner::wallet_account_id(std::span<const std::uint8_t, 32> public_key,
                                                        std::uint32_t wallet_id) {
  return state_init_hash(data_cell_hash(public_key, wallet_id));
}

SignerResult<std::string> TonSigner::derive_address(std::span<const std::uint8_t> key) const {
  VEK_TRY(pk, ed25519::public_key(key));
  const auto account_id = wallet_account_id(*pk, testnet_ ? kTestnetWalletId : kWalletId);

  std::array<std::uint8_t, kAddressBytes> addr{};
  addr[0] = testnet_ ? static_cast<std::uint8_t>(kAddressFlags | kTestOnlyFlag) : kAddressFlags;
  addr[1] = kWorkchain;
  std::copy(account_id.begin(), account_id.end(), addr.begin() + 2);
  const std::uint16_t crc = crc16_xmodem(std::span(addr).first(34));
  addr[34] = static_cast<std::uint8_t>(crc >> 8);
  addr[35] = static_cast<std::uint8_t>(crc & 0xFF);
  return base64url_encode(addr);
}

SignerResult<SignOutput> TonSigner::sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) const {
  return ed25519::sign(key, data);
}

SignerResult<SignOutput> TonSigner::sign_message(std::span<const std::uint8_t> key,
                                                 std::span<const std::uint8_t> message) const {
  return ed25519::sign(key, message);
}

SignerResult<SignOutput> TonSigner::sign_transaction(std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> signable) const {
  return ed25519::sign(key, signable);
}

}  // namespace vek_signer
