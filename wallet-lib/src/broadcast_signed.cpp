#include "vek/lib/broadcast_signed.h"

#include "vek/lib/broadcast.h"

namespace vek_lib {

VekResult<std::string> broadcast(std::string_view chain, std::span<const std::uint8_t> signed_tx, OptText rpc_url) {
  return submit_signed(chain, signed_tx, rpc_url);
}

}  // namespace vek_lib
