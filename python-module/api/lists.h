// Docstring text listing families and message formats, written from vek_lib::families() when
// the module is initialised, so that no docstring keeps a list of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vek_api {

// `text` kept for the life of the process, for the docstrings nanobind refers to.
const char* kept(std::string text);

// "a, b or c" (with `quote`, "\"a\", \"b\" or \"c\""; with `last` " and ", "a, b and c").
std::string spoken_list(const std::vector<std::string_view>& items, bool quote = false, const char* last = " or ");

// The family names: "evm, solana, cosmos, bitcoin, tron or ton".
std::string family_names(const char* last = " or ");

// The families whose transactions decode_transaction reads, quoted: "\"evm\" or \"solana\"".
std::string decoding_families();

// Every message format once, in family order: "eip191, eip712, raw, ...".
std::string all_message_formats();

// "EVM: \"eip191\", \"eip712\". Solana: ..." (each family's formats, its standard first),
// wrapped at `width` columns.
std::string formats_by_family(std::size_t width);

}  // namespace vek_api
