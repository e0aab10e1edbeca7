// Signing a message leaves no copy of it in freed heap memory: the EVM, Tron and Bitcoin
// signers join a prefix and the message in a buffer of their own, which must be wiped
// before it is freed (the message may be private to the caller).
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "vek/signer/chains/bitcoin.h"
#include "vek/signer/chains/cosmos.h"
#include "vek/signer/chains/evm.h"
#include "vek/signer/chains/tron.h"

// An instrumented allocator: while watching, every freed block is searched for the marker.
namespace {
constexpr std::string_view kMarker = "confidential-note-5c1d";
std::atomic<bool> g_watching{false};
std::atomic<int> g_leaks{0};

void inspect(void* p) noexcept {
  if (p == nullptr || !g_watching.load()) return;
  const auto* bytes = static_cast<const char*>(p);
  const std::string_view block(bytes, ::malloc_usable_size(p));
  if (block.find(kMarker) != std::string_view::npos) ++g_leaks;
}
}  // namespace

// The replaced operators pair malloc with free, which GCC cannot see across the
// replacement boundary.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  inspect(p);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  inspect(p);
  std::free(p);
}

namespace {

using namespace vek_signer;

TEST(MessageWipe, NoSignerLeavesTheMessageInFreedMemory) {
  std::vector<std::uint8_t> key(32, 0x11);
  // Long enough to live on the heap in any joined buffer, short and long length headers alike.
  for (const std::size_t repeats : {std::size_t{8}, std::size_t{20}}) {
    std::vector<std::uint8_t> message;
    message.reserve(repeats * kMarker.size());
    for (std::size_t i = 0; i < repeats; ++i) message.insert(message.end(), kMarker.begin(), kMarker.end());
    const EvmSigner evm;
    const TronSigner tron;
    const BitcoinSigner bitcoin("bc");
    const CosmosSigner cosmos("cosmos");
    for (const ChainSigner* signer : std::initializer_list<const ChainSigner*>{&evm, &tron, &bitcoin, &cosmos}) {
      g_leaks = 0;
      g_watching = true;
      const auto signed_message = signer->sign_message(key, message);
      g_watching = false;
      ASSERT_TRUE(signed_message.has_value()) << signed_message.error().display();
      EXPECT_EQ(g_leaks.load(), 0) << vek_core::chain_type_name(signer->chain_type()) << ", " << message.size()
                                   << " bytes";
    }
  }
}

}  // namespace
