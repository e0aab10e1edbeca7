// SecretBytes: the owned, memory-locked, wiping buffer for every secret.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vek_signer {

// Owns a byte buffer holding key material (seed, phrase, private key, plaintext).
// Move-only and never printed. The pages of its first size() bytes are locked in memory
// and left out of core dumps (MADV_DONTDUMP) while it lives; on destruction the whole
// capacity is zeroed, then the pages no other live secret shares are unlocked and
// dumpable again, and the buffer is freed. A refused lock only warns (mlock_slice).
class SecretBytes {
 public:
  SecretBytes() noexcept = default;
  // Takes over `buffer` without copying; locks its first size() bytes when non-empty.
  explicit SecretBytes(std::vector<std::uint8_t>&& buffer) noexcept;
  // Copies `bytes` into a new buffer of exactly that length and locks it.
  // Empty input allocates and locks nothing.
  [[nodiscard]] static SecretBytes from_slice(std::span<const std::uint8_t> bytes);

  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  SecretBytes(SecretBytes&& other) noexcept;
  SecretBytes& operator=(SecretBytes&& other) noexcept;
  ~SecretBytes();

  [[nodiscard]] const std::uint8_t* data() const noexcept { return buf_.data(); }
  [[nodiscard]] std::size_t size() const noexcept { return buf_.size(); }
  [[nodiscard]] bool empty() const noexcept { return buf_.empty(); }
  [[nodiscard]] std::span<const std::uint8_t> span() const noexcept { return {buf_.data(), buf_.size()}; }

 private:
  void release() noexcept;
  std::vector<std::uint8_t> buf_;
  bool guarded_ = false;  // counted in the process-wide table of secret pages
};

// A fixed-size stack buffer for short-lived secrets (HMAC inputs, chain codes,
// expanded keys) that is wiped when it goes out of scope.
template <std::size_t N>
struct WipedArray {
  std::uint8_t bytes[N] = {};
  WipedArray() = default;
  WipedArray(const WipedArray&) = delete;
  WipedArray& operator=(const WipedArray&) = delete;
  ~WipedArray();
  std::uint8_t* data() noexcept { return bytes; }
  const std::uint8_t* data() const noexcept { return bytes; }
  static constexpr std::size_t size() noexcept { return N; }
  std::span<std::uint8_t, N> span() noexcept { return std::span<std::uint8_t, N>(bytes, N); }
  std::span<const std::uint8_t, N> span() const noexcept { return std::span<const std::uint8_t, N>(bytes, N); }
};

// Overwrites `len` bytes at `ptr` with zeros in a way the compiler cannot remove.
void secure_wipe(void* ptr, std::size_t len) noexcept;

template <std::size_t N>
WipedArray<N>::~WipedArray() { secure_wipe(bytes, N); }

// Wipes a std::vector's whole capacity and empties it (for non-secret-typed temporaries
// that briefly held secret bytes).
void wipe_vector(std::vector<std::uint8_t>& v) noexcept;
// The same for std::string.
void wipe_string(std::string& s) noexcept;

}  // namespace vek_signer
