#include "raw_messages.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vek_lib {
namespace {

using Bytes = std::span<const std::uint8_t>;

// ---------------------------------------------------------------- protobuf

enum Wire : std::uint8_t { Varint = 0, Fixed64 = 1, Len = 2, Fixed32 = 5 };

struct Field {
  std::uint64_t number = 0;
  std::uint8_t wire = 0;
  Bytes payload;  // the bytes of a length-delimited field
};

bool varint(Bytes in, std::size_t& at, std::uint64_t& out) {
  out = 0;
  for (unsigned shift = 0; shift < 64 && at < in.size(); shift += 7) {
    const std::uint8_t b = in[at++];
    out |= static_cast<std::uint64_t>(b & 0x7f) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

// Calls `each(field)` for every field of a protobuf message that reads to its end; false
// when the bytes are no such message (groups, truncation, field number 0) or `each` says so.
template <typename Each>
bool protobuf_fields(Bytes in, Each each) {
  std::size_t at = 0;
  while (at < in.size()) {
    std::uint64_t key = 0;
    if (!varint(in, at, key)) return false;
    Field f{key >> 3, static_cast<std::uint8_t>(key & 7), {}};
    if (f.number == 0) return false;
    std::uint64_t n = 0;
    switch (f.wire) {
      case Varint:
        if (!varint(in, at, n)) return false;
        break;
      case Fixed64:
      case Fixed32:
        n = f.wire == Fixed64 ? 8 : 4;
        if (n > in.size() - at) return false;
        at += n;
        break;
      case Len:
        if (!varint(in, at, n) || n > in.size() - at) return false;
        f.payload = in.subspan(at, n);
        at += n;
        break;
      default: return false;
    }
    if (!each(f)) return false;
  }
  return true;
}

// A message whose every field is one of `known` (number and wire type) and that holds each
// of `required` (a length-delimited one not empty).
struct Known {
  std::uint64_t number;
  std::uint8_t wire;
};
template <std::size_t K, std::size_t R>
bool protobuf_of(Bytes in, const std::array<Known, K>& known, const std::array<std::uint64_t, R>& required) {
  std::array<bool, R> seen{};
  const bool ok = protobuf_fields(in, [&](const Field& f) {
    const bool listed = std::any_of(known.begin(), known.end(),
                                    [&](const Known& k) { return k.number == f.number && k.wire == f.wire; });
    if (!listed) return false;
    for (std::size_t i = 0; i < R; ++i) {
      if (required[i] == f.number && (f.wire != Len || !f.payload.empty())) seen[i] = true;
    }
    return true;
  });
  return ok && std::all_of(seen.begin(), seen.end(), [](bool b) { return b; });
}

// ---------------------------------------------------------------- the documents

// SignDoc (body_bytes 1, auth_info_bytes 2, chain_id 3, account_number 4) and
// SignDocDirectAux (body_bytes 1, public_key 2, chain_id 3, account_number 4, sequence 5,
// tip 6): both are signed as SHA-256 of their bytes, and both carry a body and a chain id.
bool cosmos_protobuf_sign_doc(Bytes in) {
  constexpr std::array<Known, 6> kFields{Known{1, Len}, Known{2, Len}, Known{3, Len},
                                         Known{4, Varint}, Known{5, Varint}, Known{6, Len}};
  return protobuf_of(in, kFields, std::array<std::uint64_t, 2>{1, 3});
}

// The amino JSON sign document of legacy signing: an object naming the chain and the
// messages.
bool cosmos_amino_sign_doc(Bytes in) {
  const auto first = std::find_if(in.begin(), in.end(), [](std::uint8_t c) {
    return c != ' ' && c != '\t' && c != '\n' && c != '\r';
  });
  if (first == in.end() || *first != '{') return false;
  const auto doc = nlohmann::json::parse(in.begin(), in.end(), nullptr, false);
  return doc.is_object() && doc.contains("chain_id") && doc.contains("msgs");
}

// Tron's Transaction.raw, whose SHA-256 Tron signs: ref_block_bytes 1, ref_block_num 3,
// ref_block_hash 4, expiration 8, auths 9, data 10, contract 11, scripts 12, timestamp 14,
// fee_limit 18; a transaction does something only through its contract.
bool tron_raw_transaction(Bytes in) {
  constexpr std::array<Known, 10> kFields{Known{1, Len},   Known{3, Varint},  Known{4, Len},  Known{8, Varint},
                                          Known{9, Len},   Known{10, Len},    Known{11, Len}, Known{12, Len},
                                          Known{14, Varint}, Known{18, Varint}};
  return protobuf_of(in, kFields, std::array<std::uint64_t, 1>{11});
}

constexpr std::size_t kHashBytes = 32;

std::unexpected<VekLibError> refuse(std::string_view what, std::string_view why, std::string_view standard) {
  return std::unexpected(VekLibError::invalid_input("refusing to sign " + std::string(what) + " as a raw message: " +
                                                    std::string(why) + "; sign messages as " + std::string(standard)));
}

}  // namespace

VekResult<void> screen_raw_message(vek_core::ChainType family, std::span<const std::uint8_t> message) {
  using vek_core::ChainType;
  if (family == ChainType::Cosmos) {
    constexpr std::string_view kStandard = "adr036";
    if (cosmos_protobuf_sign_doc(message) || cosmos_amino_sign_doc(message)) {
      return refuse("a Cosmos sign document", "its signature would be a Cosmos transaction signature", kStandard);
    }
    if (tron_raw_transaction(message)) {
      return refuse("a Tron transaction",
                    "its signature would be a Tron transaction signature (a private-key wallet signs Tron with the "
                    "same key)",
                    kStandard);
    }
    if (message.size() == kHashBytes) {
      return refuse("32 bytes",
                    "they may be the hash of a Bitcoin transaction's signature preimage, and the signature would "
                    "authorise the transaction (a private-key wallet signs Bitcoin with the same key)",
                    kStandard);
    }
  } else if (family == ChainType::Solana || family == ChainType::Ton) {
    const bool solana = family == ChainType::Solana;
    const std::string_view standard = solana ? "offchain" : "ton_proof or sign_data";
    if (is_solana_message(message)) {
      return refuse("a Solana transaction message",
                    solana ? "its signature would be a Solana transaction signature"
                           : "its signature would be a Solana transaction signature (a private-key wallet signs "
                             "Solana with the same key)",
                    standard);
    }
    if (message.size() == kHashBytes) {
      return refuse("32 bytes",
                    solana ? "they may be the hash of a TON wallet's transfer, and the signature would authorise it "
                             "(a private-key wallet signs TON with the same key)"
                           : "they may be the hash of a TON wallet's transfer, and the signature would authorise it",
                    standard);
    }
  }
  return {};
}

}  // namespace vek_lib
