// Outside text quoted in a one-line message: a JSON key, a wallet name, a file path.
#pragma once

#include <string>
#include <string_view>

namespace vek_core::json_text {

// `text` with every control character (U+0000 to U+001F, U+007F) written as its JSON
// escape (\n, \t, ... or \u00xx in lower-case hex), so that a message or warning quoting
// it stays one line and cannot drive the terminal it is shown on. Other bytes are kept
// as they are.
[[nodiscard]] std::string one_line(std::string_view text);

}  // namespace vek_core::json_text
