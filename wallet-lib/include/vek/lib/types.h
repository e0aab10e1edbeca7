// Secret-free views of wallets and accounts, as handed to the Python interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vek_lib {

using OptText = std::optional<std::string_view>;
using OptIndex = std::optional<std::uint32_t>;

struct AccountInfo {
  std::string chain_id;
  std::string address;
  std::string derivation_path;  // empty for private-key wallets
};

struct WalletInfo {
  std::string id;
  std::string name;
  std::vector<AccountInfo> accounts;
  std::string created_at;
  bool bip39_passphrase = false;  // accounts derived under a BIP-39 passphrase (not stored)
  std::vector<std::string> generated_keys;  // curves whose key the import made at random ("ed25519")
};

// What some formats bind besides the message: TON Connect's dApp domain and Unix
// timestamp (ton_proof, sign_data), whether a sign_data payload is binary rather than
// text, and for checking TON signatures the signer's public key (hex or base64 text; a
// TON address does not reveal it) or the wallet's StateInit (base64 of its bag of cells,
// as a TON Connect proof carries it), which the address is the hash of.
struct MessageContext {
  std::optional<std::string_view> domain;
  std::optional<std::uint64_t> timestamp;
  bool binary = false;
  std::optional<std::string_view> public_key;
  std::optional<std::string_view> state_init;
};

// A signature as lower-case hex (base64 for the message formats that write it so), with
// the signer's recovery id when it gives one. Signed messages of a session also name
// their format and, where the format returns it, the signer's public key.
struct SignResult {
  std::string signature;
  std::optional<std::uint8_t> recovery_id;
  std::string format;                          // the message format; empty for other signatures
  std::optional<std::string> public_key_type;  // adr036: "tendermint/PubKeySecp256k1"
  std::optional<std::string> public_key;       // adr036: base64 of the compressed key
};

}  // namespace vek_lib
