// Replies of a JSON-RPC node, which the wallet does not control. Input byte 0 picks
// the field: below 0xf0 it is "result", otherwise the next (byte - 0xf0) bytes name
// it; the rest is the reply. The outcome must follow the JSON-RPC 2.0 reading rules:
// an `error` member wins, then a string `field`, else the reply is quoted back.
#include <nlohmann/json.hpp>

#include "fuzz_check.h"
#include "vek/lib/broadcast.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string_view rest = vek_fuzz::as_text(data + 1, size - 1);
  std::string_view field = "result";
  if (data[0] >= 0xf0) {
    const std::size_t len = data[0] - 0xf0;
    if (rest.size() < len) return 0;
    field = rest.substr(0, len);
    rest.remove_prefix(len);
  }

  const auto value = vek_lib::extract_json_field(rest, field);
  using Kind = vek_lib::VekLibErrorKind;
  const nlohmann::json doc = nlohmann::json::parse(rest, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) {
    FUZZ_CHECK(!value && value.error().code == Kind::Json);
    return 0;
  }
  if (doc.is_object() && doc.contains("error")) {
    FUZZ_CHECK(!value && value.error().code == Kind::BroadcastFailed);
    FUZZ_CHECK(value.error().detail.starts_with("RPC error: "));
    return 0;
  }
  const auto member = doc.is_object() ? doc.find(field) : doc.end();
  if (doc.is_object() && member != doc.end() && member->is_string()) {
    FUZZ_CHECK(value.has_value() && *value == member->get<std::string>());
    return 0;
  }
  FUZZ_CHECK(!value && value.error().code == Kind::BroadcastFailed);
  FUZZ_CHECK(value.error().detail == "no '" + std::string(field) + "' in response: " + std::string(rest));
  return 0;
}
