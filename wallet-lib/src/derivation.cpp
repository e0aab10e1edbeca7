#include "vek/lib/derivation.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "refusal.h"
#include "phrase_rules.h"
#include "secret/secret_text.h"
#include "vek/core/utf8.h"
#include "vek/core/wallet_file.h"
#include "vek/lib/secrets.h"
#include "vek/signer/bip39.h"
#include "vek/signer/chains.h"
#include "vek/signer/hd.h"

namespace vek_lib {

using vek_signer::HdDeriver;
using vek_signer::Mnemonic;
using vek_signer::SecretBytes;
using vek_signer::WordCount;

VekResult<WordCount> word_count(std::uint32_t words) {
  if (words == 12) return WordCount::Twelve;
  if (words == 24) return WordCount::TwentyFour;
  return invalid("words must be 12 or 24");
}

VekResult<std::string> generate_mnemonic(std::uint32_t words) {
  VEK_TRY(count, word_count(words));
  auto mnemonic = Mnemonic::generate(*count);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  const SecretBytes phrase = mnemonic->phrase();
  std::string text(text_of(phrase));
  if (auto err = vek_core::utf8_error(text)) {
    vek_signer::wipe_string(text);
    return invalid("invalid UTF-8 in mnemonic: " + *err);
  }
  return text;
}

VekResult<std::string> derive_address(std::string_view phrase, std::string_view chain, OptIndex index,
                                      OptText bip39_passphrase, const Caller& caller, OptText path) {
  VEK_TRY(c, resolve_chain(chain, caller));
  if (index && path) return invalid("give an index or a derivation path, not both");
  auto mnemonic = Mnemonic::from_phrase(phrase);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(*c);
  const std::string at = path ? std::string(*path) : c->default_path(index.value_or(0));
  const SecretBytes seed = mnemonic->to_seed(bip39_passphrase.value_or(""));
  VEK_TRY(key, derive_account_key(seed.span(), at, signer->curve()));
  auto address = signer->derive_address(key->span());
  if (!address) return std::unexpected(VekLibError(std::move(address.error())));
  return std::move(*address);
}

std::vector<std::string_view> mnemonic_words() {
  std::vector<std::string_view> words;
  for (std::size_t i = 0; !vek_signer::bip39_word(i).empty(); ++i) words.push_back(vek_signer::bip39_word(i));
  return words;
}

}  // namespace vek_lib
