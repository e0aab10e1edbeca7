// Checking signatures without a wallet: recover_address, verify_message, verify_typed_data.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/variant.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bindings.h"
#include "calls.h"
#include "lists.h"
#include "vek/lib/verify.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::OptText;

constexpr const char* kRecoverAddressDoc =
    "The address whose key signed `message` (str as UTF-8, or bytes) on `chain`, for the formats\n"
    "that allow it: EVM \"eip191\" (the default) and \"eip712\" (`message` is the typed-data JSON),\n"
    "Tron \"tip191\" (the default) and \"raw\", Bitcoin \"bip137\" (the address kind its header\n"
    "names) and \"raw\", Cosmos \"raw\". The signature is the format's text (hex, 0x optional;\n"
    "base64 for bip137) or its bytes.\n\n"
    "Raises:\n    InvalidInputError: unknown chain or format, a format without recovery, bad hex\n"
    "        or base64.\n"
    "    SignerError: a malformed signature or typed data.";

// What verify_message's docstring says after the generated list of each family's formats.
constexpr const char* kVerifyMessageDetails =
    "Bitcoin \"bip322\" is P2WPKH; TON \"sign_data\" checks a str as text and bytes as binary.\n"
    "TON checks need the signer's `public_key` (hex or\n"
    "base64; it must give the address with this library's wallet contract on the chain's\n"
    "network) or the wallet's `state_init` (base64, as a TON Connect proof carries it; the\n"
    "address must be its hash, and the key is read from it for wallets v3r1, v3r2, v4r2, v5r1\n"
    "and v5 beta), and ton_proof and sign_data the `domain` and `timestamp` that were signed.\n"
    "Solana \"offchain\" and \"offchain_domain\" checks accept either header with any format byte\n"
    "that admits the message. The signature is the format's text\n"
    "(base64 for bip322, bip137, adr036, ton_proof and sign_data; hex, 0x optional, for the others;\n"
    "Solana checks take base58, as dApps send it, or hex) or its bytes.\n"
    "False for a well-formed signature of another key or of none.\n\n"
    "Raises:\n    InvalidInputError: unknown chain or format, bad hex, base64 or base58, a malformed\n"
    "        EVM address, a TON check without its public key or state_init, domain or timestamp.\n"
    "    SignerError: a malformed address of the other families, a signature of the wrong length,\n"
    "        v or header, a malformed BIP-322 witness, malformed typed data, a state_init that\n"
    "        does not parse or holds no wallet of those versions.";

std::string verify_message_doc() {
  std::string doc = "Whether `address` signed `message` on `chain` in `format` (None: the family's standard).\n";
  doc.append(formats_by_family(95)).append("\n").append(kVerifyMessageDetails);
  return doc;
}

// A message as bytes: a str as its UTF-8 bytes, bytes as they are.
std::span<const std::uint8_t> message_of(const TextOrBytes& m) {
  return with_text_or_bytes(m, [](auto given) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(given.data()), given.size());
  });
}

// A signature as bytes: the text the format writes (hex, 0x optional, or base64), or bytes.
std::vector<std::uint8_t> signature_of(std::string_view chain, const TextOrBytes& sig, const OptText& format) {
  if (const auto* raw = std::get_if<nb::bytes>(&sig)) {
    const auto b = bytes_of(*raw);
    return {b.begin(), b.end()};
  }
  return take(vek_lib::decode_signature(chain, text(std::get<nb::str>(sig)), format));
}

std::string recover_address(const nb::str& chain, const TextOrBytes& message, const TextOrBytes& signature,
                            const OptStr& format) {
  const auto c = text(chain);
  const auto msg = message_of(message);
  const auto f = opt_text(format);
  const auto sig = signature_of(c, signature, f);
  return take(released([&] { return vek_lib::recover_address(c, msg, sig, f); }));
}

bool verify_message(const nb::str& chain, const nb::str& address, const TextOrBytes& message,
                    const TextOrBytes& signature, const OptStr& format, const OptStr& public_key, const OptStr& domain,
                    std::optional<std::uint64_t> timestamp, const OptStr& state_init) {
  const auto c = text(chain);
  const auto a = text(address);
  const auto msg = message_of(message);
  const auto f = opt_text(format);
  const auto sig = signature_of(c, signature, f);
  const vek_lib::MessageContext context{opt_text(domain), timestamp, std::holds_alternative<nb::bytes>(message),
                                        opt_text(public_key), opt_text(state_init)};
  return take(released([&] { return vek_lib::verify_message(c, a, msg, sig, f, context); }));
}

bool verify_typed_data(const nb::str& chain, const nb::str& address, const nb::str& typed_data,
                       const TextOrBytes& signature) {
  const auto c = text(chain);
  const auto a = text(address);
  const auto t = text(typed_data);
  const std::span<const std::uint8_t> msg(reinterpret_cast<const std::uint8_t*>(t.data()), t.size());
  const auto sig = signature_of(c, signature, "eip712");
  return take(released([&] { return vek_lib::verify_message(c, a, msg, sig, "eip712"); }));
}

}  // namespace

void bind_verification(nb::module_& m) {
  m.def("recover_address", &recover_address, "chain"_a, "message"_a, "signature"_a, "format"_a = nb::none(),
        kRecoverAddressDoc);
  m.def("verify_message", &verify_message, "chain"_a, "address"_a, "message"_a, "signature"_a,
        "format"_a = nb::none(), "public_key"_a = nb::none(), "domain"_a = nb::none(), "timestamp"_a = nb::none(),
        "state_init"_a = nb::none(), kept(verify_message_doc()));
  m.def("verify_typed_data", &verify_typed_data, "chain"_a, "address"_a, "typed_data"_a, "signature"_a,
        "verify_message with format=\"eip712\": whether `address` signed the EIP-712 typed data.");
}

}  // namespace vek_api
