// The Bitcoin family's descriptor (vek/signer/family.h) and the names of its message
// formats, the standard one first, which the descriptor and wallet-lib's format rows share.
#pragma once

#include <array>
#include <string_view>

#include "vek/signer/family.h"

namespace vek_signer {

inline constexpr std::array<std::string_view, 3> kBitcoinMessageFormats = {"bip322", "bip137", "raw"};

[[nodiscard]] const FamilyDescriptor& bitcoin_family() noexcept;

}  // namespace vek_signer
