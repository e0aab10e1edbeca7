// Memory locking for key material.
#pragma once

#include <cstddef>

namespace vek_signer {

// Locks `len` bytes at `ptr` into RAM so they are never written to swap.
// Returns: true when locked (or when `len` is 0).
// On refusal writes one line to standard error,
//   "warning: mlock failed ({strerror} (os error {errno})), key material may be swapped to disk"
// and returns false. Callers never fail because of a refused lock.
[[nodiscard]] bool mlock_slice(const void* ptr, std::size_t len) noexcept;

}  // namespace vek_signer
