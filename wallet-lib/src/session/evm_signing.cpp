// The session's EVM signing in the forms eth-account and web3 hand over: transaction
// dictionaries, EIP-191 signable messages by their parts, and bare hashes.
#include <algorithm>
#include <string>
#include <utility>

#include "evm/signer.h"
#include "message_formats.h"
#include "vek/lib/session.h"
#include "vek/signer/chains.h"
#include "vek/signer/family.h"

namespace vek_lib {

using vek_core::ChainType;

namespace {

constexpr std::uint8_t kStructuredVersion = 0x01;  // EIP-191 version of EIP-712 data

VekResult<vek_core::Chain> evm_chain(std::string_view chain, std::string_view what) {
  VEK_TRY(c, resolve_chain(chain));
  if (c->chain_type != ChainType::Evm) {
    return std::unexpected(VekLibError::invalid_input(std::string(what) + " EVM chains only, not " +
                                                      std::string(vek_core::chain_type_name(c->chain_type))));
  }
  return std::move(*c);
}

// The message's bytes are the digest: signed as given, v = 27 or 28 as wallets return it.
VekResult<vek_signer::MessageSignature> digest_sign(const MessageSignRequest& r) {
  auto out = r.signer.sign(r.key, r.message);
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  const auto v = static_cast<std::uint8_t>(out->signature.back() + vek_signer::EvmSigner::kMessageVOffset);
  out->signature.back() = v;
  return vek_signer::MessageSignature{std::move(out->signature), v, {}};
}

bool same_address(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

VekResult<SignResult> Session::sign_evm_digest(const vek_core::Chain& chain, std::span<const std::uint8_t> digest,
                                               AccountRef which, std::string_view format_name) {
  // Written as the EVM format of that name writes its signatures; empty: the standard's text.
  VEK_TRY(row, find_message_format(ChainType::Evm, format_name.empty() ? OptText{} : OptText(format_name)));
  MessageFormat format = **row;
  format.name = format_name;
  format.sign = digest_sign;
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain);
  const MessageContext context{};
  const auto lock = lock_unless_forked();
  if (!lock) return std::unexpected(lock.error());
  VEK_TRY(key, key_locked(chain, which));
  return sign_in_format(format, MessageSignRequest{*signer, *key, digest, context});
}

VekResult<SignedTransaction> Session::sign_transaction_fields(std::string_view chain, std::string_view fields_json,
                                                              AccountRef which) {
  VEK_TRY(c, resolve_chain(chain));
  const auto& family = vek_signer::family(c->chain_type);
  if (family.assemble == nullptr) {
    std::vector<std::string_view> names;
    for (const auto* f : vek_signer::families()) {
      if (f->assemble != nullptr) names.push_back(f->title);
    }
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) list.append(i == 0 ? "" : ", ").append(names[i]);
    return std::unexpected(VekLibError::invalid_input("transaction fields are assembled for " + list +
                                                      " chains only, not " + std::string(family.name)));
  }
  auto assembled = family.assemble(fields_json, *c);
  if (!assembled) return std::unexpected(VekLibError(std::move(assembled.error())));
  if (assembled->from) {
    VEK_TRY(signer, address(chain, which));
    if (!same_address(*assembled->from, *signer)) {
      return std::unexpected(VekLibError::invalid_input("transaction fields: from " + assembled->from->substr(0, 80) +
                                                        " is not the signing account " + *signer));
    }
  }
  return sign_transaction(*c, assembled->unsigned_tx, which);
}

VekResult<SignResult> Session::sign_signable_message(std::string_view chain, std::uint8_t version,
                                                     std::span<const std::uint8_t> header,
                                                     std::span<const std::uint8_t> body, AccountRef which) {
  VEK_TRY(c, evm_chain(chain, "EIP-191 messages are signed by"));
  auto digest = vek_signer::EvmSigner::signable_message_hash(version, header, body);
  if (!digest) return std::unexpected(VekLibError(std::move(digest.error())));
  return sign_evm_digest(*c, *digest, which, version == kStructuredVersion ? "eip712" : "eip191");
}

VekResult<SignResult> Session::unsafe_sign_hash(std::string_view chain, std::span<const std::uint8_t> hash,
                                                AccountRef which) {
  VEK_TRY(c, evm_chain(chain, "hashes are signed by"));
  if (hash.size() != vek_signer::kKeccak256Bytes) {
    return std::unexpected(VekLibError::invalid_input("the hash must be 32 bytes, got " + std::to_string(hash.size())));
  }
  return sign_evm_digest(*c, hash, which, "");
}

}  // namespace vek_lib
