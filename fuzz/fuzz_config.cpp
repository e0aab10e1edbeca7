// The configuration file's text. An accepted text must be valid JSON by an
// independent parser and a JSON object; a refused one gets a one-line message.
#include <nlohmann/json.hpp>

#include "fuzz_check.h"
#include "vek/core/config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = vek_fuzz::as_text(data, size);
  const auto config = vek_core::Config::parse(text);
  if (!config) {
    FUZZ_CHECK_TEXT(!config.error().empty() && config.error().find('\n') == std::string::npos, config.error());
    return 0;
  }
  const nlohmann::json doc = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  FUZZ_CHECK(!doc.is_discarded() && doc.is_object());
  // Every accepted endpoint is the text the document holds under its key.
  const auto rpc = doc.find("rpc");
  FUZZ_CHECK(config->rpc.size() == (rpc == doc.end() ? 0 : rpc->size()));
  for (const auto& [key, url] : config->rpc) FUZZ_CHECK(rpc->contains(key) && (*rpc)[key] == url);
  FUZZ_CHECK(doc["vault_path"].get<std::string>() == config->vault_path.string());
  return 0;
}
