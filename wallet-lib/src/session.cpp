#include "vek/lib/session.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "message_formats.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/vault.h"
#include "vek/signer/chains.h"
#include "evm/signer.h"
#include "vek/signer/eip712.h"
#include "vek/signer/hash.h"
#include "vek/signer/hd.h"
#include "vek/signer/hex.h"
#include "vek/signer/process_hardening.h"
#include "vek/signer/rlp.h"

namespace vek_lib {

using vek_core::ChainType;
using vek_core::EncryptedWallet;
using vek_signer::Curve;
using vek_signer::SecretBytes;

namespace {

constexpr std::size_t kKeyBytes = vek_signer::kHdKeyBytes;
// Keys derived for explicit indices are kept up to this many, the oldest replaced first.
constexpr std::size_t kDerivedSlots = 32;
// Extended keys of the parents of keys derived (m/44'/60'/0'/0 for m/44'/60'/0'/0/i), so
// that the key at a new index costs the last step alone.
constexpr std::size_t kNodeSlots = 8;
constexpr std::size_t kNodeBytes = vek_signer::kHdNodeBytes;
constexpr std::string_view kForkedText = "a session does not pass to a forked process; unlock the wallet again to sign";

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

std::string seconds_text(double seconds) {
  std::array<char, 64> buf{};
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), seconds);
  return ec == std::errc() ? std::string(buf.data(), end) : std::string("?");
}

// Refuses `what` (e.g. "the transaction's chain id") naming the EVM chain id `id` (in
// decimal, as the chain's CAIP-2 id writes it) when that is not `chain`'s own.
VekResult<void> check_chain_number(const vek_core::Chain& chain, std::string_view what, std::string_view id) {
  const std::string_view caip = chain.chain_id;
  if (id == caip.substr(caip.find(':') + 1)) return {};
  return std::unexpected(VekLibError::invalid_input(std::string(what) + " " + std::string(id) + " is not that of '" +
                                                    std::string(chain.name) + "' (" + std::string(caip) + ")"));
}

// What the application API holds an EVM typed transaction to before signing or sending
// it (bytes the signer cannot complete at all are left to its own errors):
// - the strict reading a node makes (rlp::read_typed_tx: nothing after the RLP list,
//   canonical RLP throughout, integers without leading zeros): the signature covers the
//   bytes as given, so a node reading them otherwise would see another sender or chain;
// - its own chain id (its first field, when it has one) is the chain's: a signature for
//   one network is valid on that network only, so a mismatch means the user is about to
//   sign for, or send to, a network they did not name.
VekResult<void> check_evm_transaction(const vek_core::Chain& chain, std::span<const std::uint8_t> tx) {
  if (chain.chain_type != ChainType::Evm) return {};
  const auto used = vek_signer::rlp::typed_tx_length(tx);
  if (!used) return {};
  const auto read = vek_signer::rlp::read_typed_tx(tx);
  if (!read) return std::unexpected(VekLibError::invalid_input(read.error()));
  if (read->fields.empty()) return {};
  const std::span<const std::uint8_t> id = read->fields.front().payload;  // no leading zeros
  std::string got;
  if (id.size() <= 8) {
    std::uint64_t v = 0;
    for (std::uint8_t b : id) v = v << 8 | b;
    got = std::to_string(v);
  } else {
    got = "0x" + vek_signer::hex_encode(id);
  }
  return check_chain_number(chain, "the transaction's chain id", got);
}

// Refuses malformed typed data, and typed data whose domain names another chain than the
// one it is signed for: the signature would be valid on that chain's contracts. A domain
// without chainId is not bound to a chain and is signed as it is.
VekResult<void> check_typed_data(const vek_core::Chain& chain, std::span<const std::uint8_t> typed_data) {
  auto digest = vek_signer::typed_data_digest(
      std::string_view(reinterpret_cast<const char*>(typed_data.data()), typed_data.size()));
  if (!digest) return std::unexpected(VekLibError(std::move(digest.error())));
  if (!digest->domain_chain_id) return {};
  return check_chain_number(chain, "the typed data's domain chainId", *digest->domain_chain_id);
}

}  // namespace

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
      auto mnemonic = parse_mnemonic_secret(plain);
      if (!mnemonic) return std::unexpected(std::move(mnemonic.error()));
      const SecretBytes seed = mnemonic->to_seed(bip39_passphrase.value_or(""));
      auto pages = LockedPages::map(seed.size() + kDerivedSlots * kKeyBytes + kNodeSlots * kNodeBytes);
      if (!pages) return std::unexpected(std::move(pages.error()));
      s.reset(new Secrets(std::move(*pages), true, seed.size(), 0));
      std::memcpy(s->pages_.at(0, seed.size()).data(), seed.data(), seed.size());
    } else {
      auto pair = parse_key_document(plain);
      if (!pair) return std::unexpected(std::move(pair.error()));
      // Kept at the length stored; the signers judge the keys as they do for ops.h.
      const std::size_t secp = pair->secp256k1.size(), ed = pair->ed25519.size();
      auto pages = LockedPages::map(std::max<std::size_t>(secp + ed, 1));
      if (!pages) return std::unexpected(std::move(pages.error()));
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
    auto resolved = path(chain, which);
    if (!resolved) return std::unexpected(std::move(resolved.error()));
    if (!mnemonic_) {
      return curve == Curve::Ed25519 ? std::span<const std::uint8_t>(pages_.at(head_, second_))
                                     : std::span<const std::uint8_t>(pages_.at(0, head_));
    }
    const std::string& path = *resolved;
    for (std::size_t i = 0; i < kDerivedSlots; ++i) {
      if (derived_[i].used && derived_[i].curve == curve && derived_[i].path == path) return slot(i);
    }
    auto key = derive_key(path, curve);
    if (!key) return std::unexpected(std::move(key.error()));
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

VekResult<std::unique_ptr<Session>> Session::unlock(std::string_view wallet_ref, OptText passphrase, OptText vault,
                                                    std::optional<double> ttl_seconds, OptText bip39_passphrase) {
  if (ttl_seconds && !(*ttl_seconds > 0)) {
    return std::unexpected(VekLibError::invalid_input("ttl must be a positive number of seconds"));
  }
  auto wallet = load_wallet_by_name_or_id(wallet_ref, vault);
  if (!wallet) return std::unexpected(std::move(wallet.error()));
  // Before the scrypt: a BIP-39 passphrase missing, or given for a wallet without one.
  if (auto fits = check_bip39_use(*wallet, bip39_passphrase); !fits) return std::unexpected(std::move(fits.error()));
  auto plain = decrypt_wallet(*wallet, passphrase);
  if (!plain) return std::unexpected(std::move(plain.error()));
  auto secrets = Secrets::open(*wallet, *plain, bip39_passphrase);
  if (!secrets) return std::unexpected(std::move(secrets.error()));

  std::optional<Clock::time_point> deadline;
  std::string ttl_text;
  // Beyond about a century a limit is no limit (and would overflow the clock).
  constexpr double kNoLimitSeconds = 3.0e9;
  if (ttl_seconds && *ttl_seconds < kNoLimitSeconds) {
    deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*ttl_seconds));
    ttl_text = seconds_text(*ttl_seconds);
  }
  return std::unique_ptr<Session>(new Session(wallet_to_info(*wallet), vault ? std::optional<std::string>(*vault) : std::nullopt,
                                              std::move(*secrets), deadline, std::move(ttl_text)));
}

Session::Session(WalletInfo info, std::optional<std::string> vault, std::unique_ptr<Secrets> secrets,
                 std::optional<Clock::time_point> deadline, std::string ttl_text)
    : info_(std::move(info)),
      vault_(std::move(vault)),
      secrets_(std::move(secrets)),
      deadline_(deadline),
      ttl_text_(std::move(ttl_text)),
      pid_(::getpid()) {}

Session::~Session() {
  // In a forked child the state may be a copy taken while another thread of the parent
  // was changing it: the secret's pages are wiped (the kernel has mostly done so) and the
  // rest is left alone rather than freed.
  if (forked_child() && secrets_) {
    secrets_->wipe();
    (void)secrets_.release();
  }
}

bool Session::forked_child() const noexcept { return ::getpid() != pid_; }

VekResult<std::unique_lock<std::mutex>> Session::lock_unless_forked() {
  if (forked_child()) return std::unexpected(VekLibError::session_closed(std::string(kForkedText)));
  return std::unique_lock(mu_);
}

VekResult<void> Session::check_open_locked() {
  if (secrets_ && !secrets_->intact()) {
    secrets_.reset();
    forked_ = true;
  }
  if (secrets_ && deadline_ && Clock::now() >= *deadline_) {
    secrets_.reset();
    expired_ = true;
  }
  if (secrets_) return {};
  if (forked_) return std::unexpected(VekLibError::session_closed(std::string(kForkedText)));
  if (expired_) {
    return std::unexpected(
        VekLibError::session_closed("its time to live of " + ttl_text_ + " s ran out; unlock the wallet again to sign"));
  }
  return std::unexpected(VekLibError::session_closed("unlock the wallet again to sign"));
}

bool Session::closed() {
  const auto lock = lock_unless_forked();
  return !lock || !check_open_locked();
}

void Session::close() noexcept {
  if (forked_child()) {  // the lock is not taken there (lock_unless_forked)
    if (secrets_) secrets_->wipe();
    return;
  }
  const std::lock_guard lock(mu_);
  secrets_.reset();
}

VekResult<std::span<const std::uint8_t>> Session::key_locked(const vek_core::Chain& chain, AccountRef which) {
  if (auto open = check_open_locked(); !open) return std::unexpected(std::move(open.error()));
  return secrets_->key(chain, which);
}

VekResult<std::string> Session::path_locked(const vek_core::Chain& chain, const AccountRef& which) {
  if (auto open = check_open_locked(); !open) return std::unexpected(std::move(open.error()));
  return secrets_->path(chain, which);
}

VekResult<WalletInfo> Session::add_account(std::string_view chain_text, AccountRef which) {
  auto c = resolve_chain(chain_text);
  if (!c) return std::unexpected(std::move(c.error()));
  // Stored accounts live on the family's default chain, in its form, so the account is
  // derived there (the same key as on the chain named, for a chain of the family's coin type).
  const vek_core::Chain& main = vek_signer::default_chain_for_type(c->chain_type);
  if (c->coin_type != main.coin_type) {
    return std::unexpected(VekLibError::invalid_input(
        "accounts are stored for '" + main.name + "', not for '" + c->name + "', whose keys have their own coin type (" +
        std::to_string(c->coin_type) + "); add the account on '" + main.name + "'"));
  }
  std::string address, path;
  nlohmann::json unlocked_crypto;
  {
    const auto lock = lock_unless_forked();
    if (!lock) return std::unexpected(lock.error());
    auto key = key_locked(main, which);
    if (!key) return std::unexpected(std::move(key.error()));
    if (!secrets_->mnemonic()) {
      return std::unexpected(VekLibError::invalid_input("a private-key wallet has one account per family"));
    }
    auto a = vek_signer::signer_for_chain(main)->derive_address(*key);
    if (!a) return std::unexpected(VekLibError(std::move(a.error())));
    address = std::move(*a);
    auto p = path_locked(main, which);
    if (!p) return std::unexpected(std::move(p.error()));
    path = std::move(*p);
    unlocked_crypto = secrets_->crypto();
  }
  const OptText vault = vault_ ? OptText(*vault_) : std::nullopt;
  auto stored = load_stored_wallet(info_.id, vault);
  if (!stored) return std::unexpected(std::move(stored.error()));
  // The account is derived from the secret this session holds; a file that now holds
  // another envelope (another secret, or the same under a new passphrase: which, cannot
  // be told without it) must not get it.
  if (stored->wallet.crypto != unlocked_crypto) {
    return std::unexpected(VekLibError::io("refusing to add an account to wallet '" + info_.id +
                                           "': its file holds another encrypted secret than the one this session "
                                           "unlocked; unlock the wallet again"));
  }
  auto& accounts = stored->wallet.accounts;
  const std::string& chain_id = main.chain_id;
  const bool present = std::any_of(accounts.begin(), accounts.end(), [&](const vek_core::WalletAccount& a) {
    return a.chain_id == chain_id && a.derivation_path == path && a.address == address;
  });
  if (!present) {
    vek_core::WalletAccount account;
    account.account_id = chain_id + ":" + address;
    account.address = address;
    account.chain_id = chain_id;
    account.derivation_path = path;
    accounts.push_back(std::move(account));
    if (auto saved = save_encrypted_wallet(stored->wallet, vault, stored->file_name); !saved) {
      return std::unexpected(std::move(saved.error()));
    }
  }
  return wallet_to_info(stored->wallet);
}

VekResult<std::string> Session::address(std::string_view chain, AccountRef which) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  const auto lock = lock_unless_forked();
  if (!lock) return std::unexpected(lock.error());
  auto key = key_locked(*c, which);
  if (!key) return std::unexpected(std::move(key.error()));
  auto address = vek_signer::signer_for_chain(*c)->derive_address(*key);
  if (!address) return std::unexpected(VekLibError(std::move(address.error())));
  return std::move(*address);
}

VekResult<SignResult> Session::sign_message(std::string_view chain, std::string_view message, OptText encoding,
                                            AccountRef which, OptText format, const MessageContext& context) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  if (auto f = find_message_format(c->chain_type, format); !f) return std::unexpected(std::move(f.error()));
  std::vector<std::uint8_t> decoded;
  auto bytes = message_bytes(message, encoding, decoded);
  if (!bytes) return std::unexpected(std::move(bytes.error()));
  // Hex spells bytes, not text.
  MessageContext bound = context;
  bound.binary = bound.binary || encoding.has_value();
  return sign_message_bytes(*c, *bytes, which, format, bound);
}

VekResult<SignResult> Session::sign_message(std::string_view chain, std::span<const std::uint8_t> message,
                                            AccountRef which, OptText format, const MessageContext& context) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  return sign_message_bytes(*c, message, which, format, context);
}

VekResult<SignResult> Session::sign_message_bytes(const vek_core::Chain& chain, std::span<const std::uint8_t> message,
                                                  AccountRef which, OptText format,
                                                  const MessageContext& context) {
  auto f = find_message_format(chain.chain_type, format);
  if (!f) return std::unexpected(std::move(f.error()));
  // Typed data, its domain's chain included, is checked before the session is looked at.
  if ((*f)->name == "eip712") {
    if (auto ok = check_typed_data(chain, message); !ok) return std::unexpected(std::move(ok.error()));
  }
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain);
  const auto lock = lock_unless_forked();
  if (!lock) return std::unexpected(lock.error());
  auto key = key_locked(chain, which);
  if (!key) return std::unexpected(std::move(key.error()));
  return sign_in_format(**f, MessageSignRequest{*signer, *key, message, context});
}

VekResult<SignResult> Session::sign_typed_data(std::string_view chain, std::string_view typed_data,
                                               AccountRef which) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  if (c->chain_type != ChainType::Evm) {
    return std::unexpected(VekLibError::invalid_input("typed data is signed by EVM chains only, not " +
                                                      std::string(vek_core::chain_type_name(c->chain_type))));
  }
  const std::span<const std::uint8_t> json(reinterpret_cast<const std::uint8_t*>(typed_data.data()), typed_data.size());
  return sign_message_bytes(*c, json, which, "eip712", MessageContext{});
}

VekResult<SignedTransaction> Session::sign_transaction(std::string_view chain, std::string_view tx_hex,
                                                       AccountRef which) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  auto tx = decode_transaction_hex(tx_hex);
  if (!tx) return std::unexpected(std::move(tx.error()));
  return sign_transaction_bytes(*c, *tx, which);
}

VekResult<SignedTransaction> Session::sign_transaction(std::string_view chain, std::span<const std::uint8_t> tx,
                                                       AccountRef which) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  return sign_transaction_bytes(*c, tx, which);
}

VekResult<SignedTransaction> Session::sign_transaction_bytes(const vek_core::Chain& chain,
                                                             std::span<const std::uint8_t> tx, AccountRef which) {
  if (auto r = check_evm_transaction(chain, tx); !r) return std::unexpected(std::move(r.error()));
  const bool evm = chain.chain_type == ChainType::Evm;
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain);
  VekResult<AssembledTransaction> out = AssembledTransaction{};
  {
    const auto lock = lock_unless_forked();
    if (!lock) return std::unexpected(lock.error());
    auto key = key_locked(chain, which);
    if (!key) return std::unexpected(std::move(key.error()));
    // The EVM signer signs the unsigned transaction as given, so the signature completes
    // it, through the same assembly as send(); the other families give the signature only.
    if (evm) {
      out = sign_and_assemble(*key, chain, tx);
    } else if (auto sig = signer->sign_transaction(*key, tx); sig) {
      out->signature = std::move(*sig);
    } else {
      out = std::unexpected(VekLibError(std::move(sig.error())));
    }
  }
  if (!out) return std::unexpected(std::move(out.error()));
  const vek_signer::SignOutput& sig = out->signature;
  SignedTransaction result{
      SignResult{vek_signer::hex_encode(sig.signature), sig.recovery_id, {}, std::nullopt, std::nullopt}, {}, {}};
  if (evm) {
    result.raw_transaction = "0x" + vek_signer::hex_encode(out->signed_tx);
    result.tx_hash = "0x" + vek_signer::hex_encode(vek_signer::keccak256(out->signed_tx));
  }
  return result;
}

VekResult<std::string> Session::send(std::string_view chain, std::string_view tx_hex, OptText rpc_url,
                                     AccountRef which) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  auto tx = decode_transaction_hex(tx_hex);
  if (!tx) return std::unexpected(std::move(tx.error()));
  return send_bytes(*c, *tx, rpc_url, which);
}

VekResult<std::string> Session::send(std::string_view chain, std::span<const std::uint8_t> tx, OptText rpc_url,
                                     AccountRef which) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  return send_bytes(*c, tx, rpc_url, which);
}

VekResult<std::string> Session::send_bytes(const vek_core::Chain& chain, std::span<const std::uint8_t> tx,
                                           OptText rpc_url, AccountRef which) {
  if (auto r = check_evm_transaction(chain, tx); !r) return std::unexpected(std::move(r.error()));
  // Signed and assembled under the lock, straight from the session's pages: no copy of
  // the key exists while the node is awaited, and close() or the end of the time to live
  // wipes the key even while this call still waits.
  std::vector<std::uint8_t> signed_tx;
  {
    const auto lock = lock_unless_forked();
    if (!lock) return std::unexpected(lock.error());
    auto key = key_locked(chain, which);
    if (!key) return std::unexpected(std::move(key.error()));
    auto out = sign_and_assemble(*key, chain, tx);
    if (!out) return std::unexpected(std::move(out.error()));
    signed_tx = std::move(out->signed_tx);
  }
  return submit_signed(chain.chain_id, signed_tx, rpc_url);
}

}  // namespace vek_lib
