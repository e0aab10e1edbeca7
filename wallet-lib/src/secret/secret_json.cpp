#include "secret_json.h"

#include <cstdint>

namespace vek_lib {
namespace {

using vek_core::json_text::BasicReader;
using vek_signer::SecretBytes;

// Checks a string and keeps nothing of it.
struct Discard final : vek_core::json_text::StringSink {
  void append(const char*, std::size_t) override {}
};

// Collects a wanted member's value in a buffer reserved up front for the whole raw
// string, so it never reallocates (a reallocation would free a partial copy unwiped).
struct ToSecret final : vek_core::json_text::StringSink {
  std::vector<std::uint8_t>& bytes;
  explicit ToSecret(std::vector<std::uint8_t>& out) : bytes(out) {}
  void append(const char* p, std::size_t n) override {
    const auto* b = reinterpret_cast<const std::uint8_t*>(p);
    bytes.insert(bytes.end(), b, b + n);
  }
};

// The key-document sink: the string members of the top-level object named in `names`
// go into SecretBytes; everything else is checked and dropped.
class KeyDocument {
 public:
  KeyDocument(std::span<const std::string_view> names, std::vector<std::optional<SecretBytes>>& out) noexcept
      : names_(names), out_(out) {}

  bool null(BasicReader&) { return true; }
  bool boolean(BasicReader&, bool) { return true; }
  bool number(BasicReader&, const vek_core::json_text::NumberToken&) { return true; }
  bool string(BasicReader& r) {
    Discard nowhere;
    return r.string(nowhere);
  }
  void begin_object() {}
  void begin_array() {}
  bool element(BasicReader& r, int depth) { return r.value(*this, depth); }

  bool member(BasicReader& r, std::string& key, const char*, int depth) {
    // The top-level object is level 1, so its members are level 2.
    std::size_t slot = names_.size();
    if (depth == 2) {
      for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == key) slot = i;
      }
    }
    if (slot == names_.size()) return r.value(*this, depth);
    // The last member of a name counts, whatever the earlier ones held.
    out_[slot].reset();
    if (r.peek() != '"') return r.value(*this, depth);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(r.string_length_bound());
    ToSecret sink(bytes);
    if (!r.string(sink)) {
      vek_signer::wipe_vector(bytes);
      return false;
    }
    out_[slot] = SecretBytes(std::move(bytes));
    return true;
  }

 private:
  std::span<const std::string_view> names_;
  std::vector<std::optional<SecretBytes>>& out_;
};

}  // namespace

std::expected<std::vector<std::optional<SecretBytes>>, std::string> read_secret_strings(
    std::string_view text, std::span<const std::string_view> names) {
  std::vector<std::optional<SecretBytes>> out(names.size());
  BasicReader reader(text);
  KeyDocument sink(names, out);
  if (!reader.value(sink, 1) || !reader.finish()) return std::unexpected(std::move(reader.error()));
  return out;
}

}  // namespace vek_lib
