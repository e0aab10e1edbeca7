#include "secret_json.h"

namespace vek_lib {

std::expected<SecretJson, std::string> parse_secret_json(std::string_view text) {
  try {
    return SecretJson::parse(text.begin(), text.end());
  } catch (const SecretJson::exception& e) {
    // The parser quotes the last bytes it read; those are secret here, so cut them off.
    std::string message = e.what();
    if (const auto pos = message.find("; last read"); pos != std::string::npos) message.resize(pos);
    return std::unexpected(std::move(message));
  }
}

}  // namespace vek_lib
