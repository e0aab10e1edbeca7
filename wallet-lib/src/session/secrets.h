// What a session keeps of a decrypted wallet, in locked pages.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "vek/core/wallet_file.h"
#include "vek/lib/secrets.h"
#include "vek/lib/session.h"
#include "vek/signer/chains.h"
#include "vek/signer/hd.h"
#include "vek/signer/process_hardening.h"

namespace vek_lib {
using vek_core::ChainType;
using vek_core::EncryptedWallet;
using vek_signer::Curve;
using vek_signer::SecretBytes;

constexpr std::size_t kKeyBytes = vek_signer::kHdKeyBytes;
// Keys derived for explicit indices are kept up to this many, the oldest replaced first.
constexpr std::size_t kDerivedSlots = 32;
// Extended keys of the parents of keys derived (m/44'/60'/0'/0 for m/44'/60'/0'/0/i), so
// that the key at a new index costs the last step alone.
constexpr std::size_t kNodeSlots = 8;
constexpr std::size_t kNodeBytes = vek_signer::kHdNodeBytes;


// Anonymous pages that are locked in memory (a refusal only warns, as for SecretBytes),
// left out of core dumps and of forked children, and wiped before they are unmapped.
// A forked child sees them as zeros; their last byte, set here, tells it so.
class LockedPages {
 public:
  static VekResult<LockedPages> map(std::size_t bytes) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t size = (bytes + 1 + page - 1) / page * page;
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return std::unexpected(VekLibError::io_errno(errno));
    (void)::madvise(p, size, MADV_DONTDUMP);
#ifdef MADV_WIPEONFORK
    (void)::madvise(p, size, MADV_WIPEONFORK);
#endif
    (void)vek_signer::mlock_slice(p, size);
    static_cast<std::uint8_t*>(p)[size - 1] = kIntact;
    return LockedPages(static_cast<std::uint8_t*>(p), size);
  }

  // False in a forked child of the process that mapped the pages (where the kernel
  // wipes them on fork): what they held is gone there.
  [[nodiscard]] bool intact() const noexcept { return p_[size_ - 1] == kIntact; }

  LockedPages(LockedPages&& o) noexcept : p_(std::exchange(o.p_, nullptr)), size_(std::exchange(o.size_, 0)) {}
  LockedPages& operator=(LockedPages&&) = delete;
  LockedPages(const LockedPages&) = delete;
  LockedPages& operator=(const LockedPages&) = delete;
  ~LockedPages() {
    if (p_ == nullptr) return;
    vek_signer::secure_wipe(p_, size_);
    (void)::munlock(p_, size_);
    (void)::munmap(p_, size_);
  }

  [[nodiscard]] std::span<std::uint8_t> at(std::size_t offset, std::size_t len) const { return {p_ + offset, len}; }

  // Overwrites every byte, the marker included (intact() is false afterwards).
  void wipe() noexcept { vek_signer::secure_wipe(p_, size_); }

 private:
  static constexpr std::uint8_t kIntact = 0xa5;
  LockedPages(std::uint8_t* p, std::size_t size) noexcept : p_(p), size_(size) {}
  std::uint8_t* p_;
  std::size_t size_;
};

std::size_t family_slot(ChainType t) { return static_cast<std::size_t>(t); }

class Session::Secrets {

 public:
  // Everything a session keeps of a decrypted wallet is made here, from the plaintext
  // of its envelope: this is where a decrypted wallet is checked before anything is
  // signed with it. A mnemonic wallet keeps its BIP-39 seed (the phrase is not kept), a
  // private-key wallet its two keys.
  static VekResult<std::unique_ptr<Secrets>> open(const EncryptedWallet& wallet, const SecretBytes& plain,
                                                  OptText bip39_passphrase) {
    // The stored addresses are what the owner hands out: nothing is signed with a
    // wallet whose accounts are not those of its secret.
    if (auto checked = check_stored_accounts(wallet, plain, bip39_passphrase); !checked) {
      return std::unexpected(std::move(checked.error()));
    }
    std::unique_ptr<Secrets> s;
    if (wallet.key_type == vek_core::KeyType::Mnemonic) {
      VEK_TRY(mnemonic, parse_mnemonic_secret(plain));
      const SecretBytes seed = mnemonic->to_seed(bip39_passphrase.value_or(""));
      VEK_TRY(pages, LockedPages::map(seed.size() + kDerivedSlots * kKeyBytes + kNodeSlots * kNodeBytes));
      s.reset(new Secrets(std::move(*pages), true, seed.size(), 0));
      std::memcpy(s->pages_.at(0, seed.size()).data(), seed.data(), seed.size());
    } else {
      VEK_TRY(pair, parse_key_document(plain));
      // Kept at the length stored; the signers judge the keys as they do for ops.h.
      const std::size_t secp = pair->secp256k1.size(), ed = pair->ed25519.size();
      VEK_TRY(pages, LockedPages::map(std::max<std::size_t>(secp + ed, 1)));
      s.reset(new Secrets(std::move(*pages), false, secp, ed));
      if (secp != 0) std::memcpy(s->pages_.at(0, secp).data(), pair->secp256k1.data(), secp);
      if (ed != 0) std::memcpy(s->pages_.at(secp, ed).data(), pair->ed25519.data(), ed);
    }
    s->crypto_ = wallet.crypto;
    // The account the wallet stores for each family (the first one listed).
    for (const auto& account : wallet.accounts) {
      auto chain = vek_signer::parse_chain(account.chain_id);
      if (!chain || account.derivation_path.empty()) continue;
      auto& stored = s->stored_paths_[family_slot(chain->chain_type)];
      if (!stored) stored = account.derivation_path;
    }
    return s;
  }

  [[nodiscard]] bool intact() const noexcept { return pages_.intact(); }
  void wipe() noexcept { pages_.wipe(); }

  // The envelope the secret was decrypted from, as the wallet's file held it.
  [[nodiscard]] const nlohmann::json& crypto() const noexcept { return crypto_; }

  // The derivation path `which` names for `chain`: the given path, the chain's default
  // path for the index, or the account the wallet stores for the chain's family
  // (chain_account_path). Empty for a private-key wallet, which has no paths.
  VekResult<std::string> path(const vek_core::Chain& chain, const AccountRef& which) const {
    if (which.index && which.path) {
      return std::unexpected(VekLibError::invalid_input("give an index or a derivation path, not both"));
    }
    if (!mnemonic_) {
      if (which.path) return std::unexpected(VekLibError::invalid_input("a private-key wallet has no derivation paths"));
      return std::string();
    }
    if (which.path) return std::string(*which.path);
    if (which.index) return chain.default_path(*which.index);
    const auto& stored = stored_paths_[family_slot(chain.chain_type)];
    return chain_account_path(chain, stored ? std::optional<std::string_view>(*stored) : std::nullopt);
  }

  [[nodiscard]] bool mnemonic() const noexcept { return mnemonic_; }

  // The key for `chain` at path(chain, which): for a private-key wallet the stored key
  // of the family's curve.
  VekResult<std::span<const std::uint8_t>> key(const vek_core::Chain& chain, const AccountRef& which) {
    const Curve curve = vek_signer::signer_for_chain(chain.chain_type)->curve();
    VEK_TRY(resolved, path(chain, which));
    if (!mnemonic_) {
      return curve == Curve::Ed25519 ? std::span<const std::uint8_t>(pages_.at(head_, second_))
                                     : std::span<const std::uint8_t>(pages_.at(0, head_));
    }
    const std::string& path = *resolved;
    for (std::size_t i = 0; i < kDerivedSlots; ++i) {
      if (derived_[i].used && derived_[i].curve == curve && derived_[i].path == path) return slot(i);
    }
    VEK_TRY(key, derive_key(path, curve));
    if (key->size() != kKeyBytes) {
      return std::unexpected(VekLibError(vek_signer::HdError{vek_signer::HdErrorKind::DerivationFailed, "bad key size"}));
    }
    const std::size_t i = next_;
    next_ = (next_ + 1) % kDerivedSlots;
    std::memcpy(pages_.at(head_ + i * kKeyBytes, kKeyBytes).data(), key->data(), kKeyBytes);
    derived_[i] = Derived{path, curve, true};
    return slot(i);
  }

 private:
  struct Derived {
    std::string path;
    Curve curve = Curve::Secp256k1;
    bool used = false;
  };

  // The key at `path` of a mnemonic wallet, from the cached node of its parent (made
  // first when missing); derive_account_key's result and errors.
  VekResult<SecretBytes> derive_key(const std::string& path, Curve curve) {
    const std::size_t cut = path.rfind('/');
    if (path == kSeedPrefixPath || cut == std::string::npos || cut < 2) {
      return derive_account_key(pages_.at(0, head_), path, curve);
    }
    const std::string_view parent(path.data(), cut);
    std::size_t i = 0;
    while (i < kNodeSlots && !(nodes_[i].used && nodes_[i].curve == curve && nodes_[i].path == parent)) ++i;
    if (i == kNodeSlots) {
      auto node = vek_signer::HdDeriver::derive_node(pages_.at(0, head_), parent, curve);
      // The parent's own error would name the parent: the whole path's is the one to give.
      if (!node) return derive_account_key(pages_.at(0, head_), path, curve);
      i = next_node_;
      next_node_ = (next_node_ + 1) % kNodeSlots;
      std::memcpy(node_slot(i).data(), node->data(), kNodeBytes);
      nodes_[i] = Derived{std::string(parent), curve, true};
    }
    auto key = vek_signer::HdDeriver::derive_below(node_slot(i), parent, path, curve);
    if (!key) return std::unexpected(VekLibError(std::move(key.error())));
    return std::move(*key);
  }

  [[nodiscard]] std::span<std::uint8_t> node_slot(std::size_t i) const {
    return pages_.at(head_ + kDerivedSlots * kKeyBytes + i * kNodeBytes, kNodeBytes);
  }

  Secrets(LockedPages pages, bool mnemonic, std::size_t head, std::size_t second)
      : pages_(std::move(pages)), mnemonic_(mnemonic), head_(head), second_(second) {}
  [[nodiscard]] std::span<const std::uint8_t> slot(std::size_t i) const {
    return pages_.at(head_ + i * kKeyBytes, kKeyBytes);
  }

  // Mnemonic wallet: the seed (head_ bytes), then kDerivedSlots derived keys, then
  // kNodeSlots nodes.
  // Private-key wallet: the secp256k1 key (head_ bytes), then the ed25519 key (second_).
  LockedPages pages_;
  nlohmann::json crypto_;
  const bool mnemonic_;
  const std::size_t head_;
  const std::size_t second_;
  std::array<std::optional<std::string>, vek_core::kAllChainTypes.size()> stored_paths_;
  std::array<Derived, kDerivedSlots> derived_;
  std::size_t next_ = 0;
  std::array<Derived, kNodeSlots> nodes_;  // then kNodeSlots nodes (mnemonic wallets)
  std::size_t next_node_ = 0;
};

}  // namespace vek_lib
