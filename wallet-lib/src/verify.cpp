#include "vek/lib/verify.h"

#include <algorithm>

#include "vek/signer/chains/evm.h"
#include "vek/signer/eip712.h"
#include "vek/signer/hex.h"
#include "vek/signer/verify.h"

namespace vek_lib {
namespace {

std::unexpected<VekLibError> invalid(std::string text) {
  return std::unexpected(VekLibError::invalid_input(std::move(text)));
}

// The 32-byte digest an EVM key signs for `message` in `format`.
VekResult<std::array<std::uint8_t, vek_signer::kKeccak256Bytes>> evm_digest(std::span<const std::uint8_t> message,
                                                                            OptText format) {
  const std::string_view f = format.value_or("eip191");
  if (f == "eip191") return vek_signer::EvmSigner::personal_message_hash(message);
  if (f == "eip712") {
    auto digest = vek_signer::typed_data_hash(
        std::string_view(reinterpret_cast<const char*>(message.data()), message.size()));
    if (!digest) return std::unexpected(VekLibError(digest.error()));
    return *digest;
  }
  return invalid("unknown format for an EVM chain: '" + std::string(f) + "' (use eip191 or eip712)");
}

bool is_evm_address(std::string_view a) {
  return a.size() == 42 && a[0] == '0' && (a[1] == 'x' || a[1] == 'X') &&
         std::all_of(a.begin() + 2, a.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

VekResult<std::vector<std::uint8_t>> decode_signature_hex(std::string_view text) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  auto bytes = vek_signer::hex_decode(text);
  if (!bytes) return invalid("invalid hex signature: " + bytes.error());
  return std::move(*bytes);
}

namespace {

// recover_address with the signer's own error, so that a signature of no key can be told apart.
VekResult<vek_signer::SignerResult<std::string>> recover(std::string_view chain, std::span<const std::uint8_t> message,
                                                         std::span<const std::uint8_t> signature, OptText format) {
  auto c = resolve_chain(chain, vek_core::ChainScope::All);
  if (!c) return std::unexpected(std::move(c.error()));
  if (c->chain_type != vek_core::ChainType::Evm) {
    return invalid("recovering the signer covers EVM chains only, not " +
                   std::string(vek_core::chain_type_name(c->chain_type)));
  }
  auto digest = evm_digest(message, format);
  if (!digest) return std::unexpected(std::move(digest.error()));
  return vek_signer::evm_recover_address(*digest, signature);
}

}  // namespace

VekResult<std::string> recover_address(std::string_view chain, std::span<const std::uint8_t> message,
                                       std::span<const std::uint8_t> signature, OptText format) {
  auto address = recover(chain, message, signature, format);
  if (!address) return std::unexpected(std::move(address.error()));
  if (!*address) return std::unexpected(VekLibError(std::move(address->error())));
  return std::move(**address);
}

VekResult<bool> verify_message(std::string_view chain, std::string_view address, std::span<const std::uint8_t> message,
                               std::span<const std::uint8_t> signature, OptText format) {
  auto c = resolve_chain(chain, vek_core::ChainScope::All);
  if (!c) return std::unexpected(std::move(c.error()));
  if (c->chain_type == vek_core::ChainType::Solana) {
    if (format && *format != "raw") return invalid("unknown format for a Solana chain: '" + std::string(*format) + "' (use raw)");
    auto ok = vek_signer::solana_verify(address, message, signature);
    if (!ok) return std::unexpected(VekLibError(std::move(ok.error())));
    return *ok;
  }
  if (c->chain_type != vek_core::ChainType::Evm) {
    return invalid("signature checks cover EVM and Solana chains only, not " +
                   std::string(vek_core::chain_type_name(c->chain_type)));
  }
  if (!is_evm_address(address)) return invalid("invalid EVM address: '" + std::string(address) + "'");
  auto signer = recover(chain, message, signature, format);
  if (!signer) return std::unexpected(std::move(signer.error()));
  if (!*signer) {
    if (signer->error().detail == vek_signer::kRecoversNoKey) return false;
    return std::unexpected(VekLibError(std::move(signer->error())));
  }
  const std::string& who = **signer;
  return std::equal(who.begin(), who.end(), address.begin(), address.end(),
                    [](char a, char b) { return lower(a) == lower(b); });
}

}  // namespace vek_lib
