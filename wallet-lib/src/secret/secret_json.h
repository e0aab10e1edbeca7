// Reading a decrypted key document (a small JSON object whose string members are key
// hex). A general JSON parser copies every token it reads into scratch buffers that it
// frees without wiping, so the key hex would outlive the call in freed heap memory.
// This reader checks the whole text in place with the project's JSON reader and decodes
// the wanted string members only into the SecretBytes it returns; other strings are
// checked and dropped without being copied anywhere.
#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/json_reader.h"
#include "vek/signer/zeroizing.h"

namespace vek_lib {

// Reads `text` as one JSON document (RFC 8259; white space around it allowed, nothing
// else after it; arrays and objects nested at most kSecretJsonMaxDepth deep).
// Returns: one entry per name in `names`, in that order: the value of the top-level
// object's member of that name when it is a string (escapes resolved; when a name occurs
// twice the last member counts), else nothing (also when the document is not an object).
// Errors: the first syntax error as "{what} at line {l} column {c}"; no part of the input
// is quoted.
[[nodiscard]] std::expected<std::vector<std::optional<vek_signer::SecretBytes>>, std::string> read_secret_strings(
    std::string_view text, std::span<const std::string_view> names);

inline constexpr int kSecretJsonMaxDepth = vek_core::json_text::kMaxDepth;

}  // namespace vek_lib
