// The TON signer: Ed25519 keys, and the address of the standard v5r1 wallet contract
// deployed for the key's public key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vek/signer/chains/family.h"

namespace vek_signer {

// Holds the network it writes addresses for: mainnet, or the test network (whose
// wallet contract carries the test network's wallet id, so its account id differs, and
// whose user-friendly form sets the test-only flag 0x80: non-bounceable, starting "0Q").
// Keys are 32-byte Ed25519 secret keys; any other length fails every
// key-taking operation with InvalidPrivateKey "expected 32 bytes, got {length}".
// extract_signable_bytes and encode_signed_transaction keep the interface's defaults.
//
// derive_address: the 48-character user-friendly address (URL-safe base64, starts "UQ")
//   of the wallet contract in workchain 0 (mainnet; "0Q" on the test network).
// sign, sign_message, sign_transaction: the 64-byte Ed25519 signature over the bytes as
//   given; no recovery_id.
class TonSigner final : public FamilySigner<ChainType::Ton> {
 public:
  // The v5r1 wallet id is the network's global id (mainnet -239, test network -3) XOR
  // the client context of workchain 0, version 0, subwallet 0 (0x80000000).
  static constexpr std::uint32_t kWalletId = 2147483409;         // 0x7FFFFF11, v5r1 on mainnet
  static constexpr std::uint32_t kTestnetWalletId = 2147483645;  // 0x7FFFFFFD, v5r1 on the test network
  static constexpr std::uint8_t kAddressFlags = 0x51;            // non-bounceable, not test-only
  static constexpr std::uint8_t kTestOnlyFlag = 0x80;
  static constexpr std::size_t kAddressBytes = 36;               // flags, workchain, account id, CRC

  explicit TonSigner(bool testnet = false) noexcept : testnet_(testnet) {}
  [[nodiscard]] bool testnet() const noexcept { return testnet_; }

  // The account id (hash of the StateInit) of the wallet contract above for an Ed25519
  // public key and wallet id, in workchain 0: the 32 bytes inside every address
  // derive_address writes.
  [[nodiscard]] static std::array<std::uint8_t, 32> wallet_account_id(std::span<const std::uint8_t, 32> public_key,
                                                                      std::uint32_t wallet_id = kWalletId);

  VEK_FAMILY_SIGNER_OPERATIONS;

 private:
  bool testnet_;
};

}  // namespace vek_signer
