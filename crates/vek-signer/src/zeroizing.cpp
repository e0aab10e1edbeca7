#include "vek/signer/zeroizing.h"

#include <sodium.h>
#include <sys/mman.h>

#include "vek/signer/process_hardening.h"

namespace vek_signer {

void secure_wipe(void* ptr, std::size_t len) noexcept {
  // libsodium's zeroing is written so that the compiler cannot drop it as a dead store.
  if (ptr != nullptr && len != 0) sodium_memzero(ptr, len);
}

SecretBytes::SecretBytes(std::vector<std::uint8_t>&& buffer) noexcept : buf_(std::move(buffer)) {
  if (!buf_.empty()) (void)mlock_slice(buf_.data(), buf_.size());
}

SecretBytes SecretBytes::from_slice(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> v;
  if (!bytes.empty()) {
    v.reserve(bytes.size());
    v.assign(bytes.begin(), bytes.end());
  }
  return SecretBytes(std::move(v));
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept : buf_(std::move(other.buf_)) {
  other.buf_ = std::vector<std::uint8_t>();
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
  if (this != &other) {
    release();
    buf_ = std::move(other.buf_);
    other.buf_ = std::vector<std::uint8_t>();
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
  if (len != 0) (void)::munlock(p, len);
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
