#include "vek/signer/zeroizing.h"

#include <sodium.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <mutex>

#include "vek/signer/process_hardening.h"

namespace vek_signer {
namespace {

// The memory pages that hold live secrets. mlock and MADV_DONTDUMP act on whole pages
// and the kernel does not count them: unlocking one secret's bytes would unlock every
// other secret that shares a page with it. So a page is locked and left out of core
// dumps when its first live secret arrives, and given back only when its last one goes.
struct PageState {
  std::size_t secrets = 0;  // live secret buffers with bytes on the page
  bool locked = false;      // mlock succeeded (a refused lock is retried by the next secret)
};

struct PageTable {
  std::mutex mutex;
  std::map<std::uintptr_t, PageState> pages;  // by page address
  std::uintptr_t page_size = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
};

// Never destroyed: secrets in static storage may be released during exit.
PageTable& page_table() {
  static PageTable* table = new PageTable;
  return *table;
}

// Calls `act(start, length)` once per run of consecutive pages, among the pages from
// `first` to `last`, for which `wanted(page)` holds.
template <typename Wanted, typename Act>
void for_each_run(std::uintptr_t first, std::uintptr_t last, std::uintptr_t page_size, Wanted wanted, Act act) {
  std::uintptr_t run = 0;
  std::size_t run_len = 0;
  for (std::uintptr_t page = first;; page += page_size) {
    if (wanted(page)) {
      if (run_len == 0) run = page;
      run_len += page_size;
    } else if (run_len != 0) {
      act(run, run_len);
      run_len = 0;
    }
    if (page == last) break;
  }
  if (run_len != 0) act(run, run_len);
}

// Counts a new secret of `len` bytes at `p` on its pages; locks (warning when refused)
// and excludes from core dumps the pages that need it. False when the table could not
// grow: the secret is then neither counted nor locked.
bool guard_pages(const void* p, std::size_t len) noexcept {
  PageTable& t = page_table();
  const auto addr = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = addr & ~(t.page_size - 1);
  const std::uintptr_t last = (addr + len - 1) & ~(t.page_size - 1);
  const std::lock_guard<std::mutex> hold(t.mutex);
  std::uintptr_t counted = first;
  try {
    for (;; counted += t.page_size) {
      ++t.pages[counted].secrets;
      if (counted == last) break;
    }
  } catch (...) {
    for (std::uintptr_t page = first; page != counted; page += t.page_size) {
      auto it = t.pages.find(page);
      if (--it->second.secrets == 0) t.pages.erase(it);
    }
    return false;
  }
  const auto state = [&t](std::uintptr_t page) -> PageState& { return t.pages.find(page)->second; };
  for_each_run(first, last, t.page_size, [&](std::uintptr_t page) { return state(page).secrets == 1; },
               [](std::uintptr_t run, std::size_t n) {
                 (void)::madvise(reinterpret_cast<void*>(run), n, MADV_DONTDUMP);
               });
  for_each_run(first, last, t.page_size, [&](std::uintptr_t page) { return !state(page).locked; },
               [&](std::uintptr_t run, std::size_t n) {
                 if (!mlock_slice(reinterpret_cast<const void*>(run), n)) return;
                 for (std::uintptr_t page = run; page != run + n; page += t.page_size) state(page).locked = true;
               });
  return true;
}

// Uncounts a secret counted by guard_pages; pages left without one are unlocked and
// may be dumped again.
void release_pages(const void* p, std::size_t len) noexcept {
  PageTable& t = page_table();
  const auto addr = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = addr & ~(t.page_size - 1);
  const std::uintptr_t last = (addr + len - 1) & ~(t.page_size - 1);
  const std::lock_guard<std::mutex> hold(t.mutex);
  for (std::uintptr_t page = first;; page += t.page_size) {
    --t.pages.find(page)->second.secrets;
    if (page == last) break;
  }
  const auto freed = [&t](std::uintptr_t page) { return t.pages.find(page)->second.secrets == 0; };
  const auto freed_locked = [&](std::uintptr_t page) { return freed(page) && t.pages.find(page)->second.locked; };
  for_each_run(first, last, t.page_size, freed, [](std::uintptr_t run, std::size_t n) {
    (void)::madvise(reinterpret_cast<void*>(run), n, MADV_DODUMP);
  });
  for_each_run(first, last, t.page_size, freed_locked,
               [](std::uintptr_t run, std::size_t n) { (void)::munlock(reinterpret_cast<const void*>(run), n); });
  for (std::uintptr_t page = first;; page += t.page_size) {
    if (auto it = t.pages.find(page); it->second.secrets == 0) t.pages.erase(it);
    if (page == last) break;
  }
}

}  // namespace

void secure_wipe(void* ptr, std::size_t len) noexcept {
  // libsodium's zeroing is written so that the compiler cannot drop it as a dead store.
  if (ptr != nullptr && len != 0) sodium_memzero(ptr, len);
}

SecretBytes::SecretBytes(std::vector<std::uint8_t>&& buffer) noexcept : buf_(std::move(buffer)) {
  if (!buf_.empty()) guarded_ = guard_pages(buf_.data(), buf_.size());
}

SecretBytes SecretBytes::from_slice(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> v;
  if (!bytes.empty()) {
    v.reserve(bytes.size());
    v.assign(bytes.begin(), bytes.end());
  }
  return SecretBytes(std::move(v));
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept : buf_(std::move(other.buf_)), guarded_(other.guarded_) {
  other.buf_ = std::vector<std::uint8_t>();
  other.guarded_ = false;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
  if (this != &other) {
    release();
    buf_ = std::move(other.buf_);
    guarded_ = other.guarded_;
    other.buf_ = std::vector<std::uint8_t>();
    other.guarded_ = false;
  }
  return *this;
}

SecretBytes::~SecretBytes() { release(); }

void SecretBytes::release() noexcept {
  const std::size_t len = buf_.size();
  std::uint8_t* p = buf_.data();
  secure_wipe(p, len);
  buf_.clear();
  // The capacity beyond the length may hold bytes of an earlier, longer content.
  secure_wipe(p, buf_.capacity());
  if (guarded_) release_pages(p, len);
  guarded_ = false;
  std::vector<std::uint8_t>().swap(buf_);
}

void wipe_vector(std::vector<std::uint8_t>& v) noexcept {
  secure_wipe(v.data(), v.capacity());
  v.clear();
  std::vector<std::uint8_t>().swap(v);
}

void wipe_string(std::string& s) noexcept {
  secure_wipe(s.data(), s.capacity());
  s.clear();
  s.shrink_to_fit();
}

}  // namespace vek_signer
