#include "secret_json.h"

#include <cstdint>
#include <cstring>

namespace vek_lib {
namespace {

using vek_signer::SecretBytes;

// Collects the bytes of one decoded string. The secret sink writes into a buffer reserved
// for the whole raw string up front, so it never reallocates (a reallocation would free a
// partial copy unwiped).
struct Sink {
  std::vector<std::uint8_t>* secret = nullptr;  // a wanted member's value
  std::string* plain = nullptr;                 // a member name
  void put(std::uint8_t b) const {
    if (secret != nullptr) secret->push_back(b);
    if (plain != nullptr) plain->push_back(static_cast<char>(b));
  }
  void put_utf8(std::uint32_t cp) const {
    if (cp < 0x80) {
      put(static_cast<std::uint8_t>(cp));
    } else if (cp < 0x800) {
      put(static_cast<std::uint8_t>(0xC0 | (cp >> 6)));
      put(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      put(static_cast<std::uint8_t>(0xE0 | (cp >> 12)));
      put(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
      put(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    } else {
      put(static_cast<std::uint8_t>(0xF0 | (cp >> 18)));
      put(static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
      put(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
      put(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    }
  }
};

class Reader {
 public:
  explicit Reader(std::string_view text) noexcept
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  // The whole document; `out[i]` receives the top-level member `names[i]`.
  bool document(std::span<const std::string_view> names, std::vector<std::optional<SecretBytes>>& out) {
    if (peek() != '{') {
      if (!value(1)) return false;
    } else if (!top_object(names, out)) {
      return false;
    }
    if (peek() != '\0' || p_ < end_) return fail("trailing characters after the document");
    return true;
  }

  [[nodiscard]] const std::string& error() const noexcept { return error_; }

 private:
  void skip_ws() noexcept {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }

  char peek() noexcept {
    skip_ws();
    return p_ < end_ ? *p_ : '\0';
  }

  bool fail_at(const char* at, std::string_view what) {
    std::size_t line = 1, column = 1;
    for (const char* q = begin_; q < at; ++q) {
      if (*q == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    error_.assign(what);
    error_ += " at line " + std::to_string(line) + " column " + std::to_string(column);
    return false;
  }
  bool fail(std::string_view what) { return fail_at(p_, what); }
  bool fail_end_or(std::string_view what) { return fail(p_ >= end_ ? "unexpected end of input" : what); }

  bool top_object(std::span<const std::string_view> names, std::vector<std::optional<SecretBytes>>& out) {
    ++p_;  // '{'
    std::string key;
    for (bool first = true;; first = false) {
      char c = peek();
      if (c == '}' && first) {
        ++p_;
        return true;
      }
      if (!first) {
        if (c == '}') {
          ++p_;
          return true;
        }
        if (c != ',') return fail_end_or("expected `,` or `}`");
        ++p_;
        c = peek();
      }
      if (c != '"') return fail_end_or(first ? "expected a string key or `}`" : "expected a string key");
      key.clear();
      if (!string(Sink{nullptr, &key})) return false;
      if (peek() != ':') return fail_end_or("expected `:`");
      ++p_;
      std::size_t slot = names.size();
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == key) slot = i;
      }
      if (slot == names.size()) {
        if (!value(2)) return false;
        continue;
      }
      // The last member of a name counts, whatever the earlier ones held.
      out[slot].reset();
      if (peek() != '"') {
        if (!value(2)) return false;
        continue;
      }
      std::vector<std::uint8_t> bytes;
      bytes.reserve(raw_string_length());
      if (!string(Sink{&bytes, nullptr})) {
        vek_signer::wipe_vector(bytes);
        return false;
      }
      out[slot] = SecretBytes(std::move(bytes));
    }
  }

  // An upper bound of the decoded length of the string that starts at p_ (its raw length).
  std::size_t raw_string_length() const noexcept {
    const char* q = p_ + 1;
    while (q < end_ && *q != '"') q += (*q == '\\' && q + 1 < end_) ? 2 : 1;
    return static_cast<std::size_t>(q - p_);
  }

  bool hex4(std::uint32_t& out) {
    if (end_ - p_ < 4) return fail("unexpected end of input");
    out = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = p_[i];
      std::uint32_t d;
      if (c >= '0' && c <= '9') {
        d = static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        d = static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        d = static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return fail_at(p_ + i, "invalid \\u escape");
      }
      out = (out << 4) | d;
    }
    p_ += 4;
    return true;
  }

  // p_ is just past the backslash.
  bool escape(const Sink& sink) {
    if (p_ >= end_) return fail("unexpected end of input");
    const char c = *p_++;
    switch (c) {
      case '"': sink.put('"'); return true;
      case '\\': sink.put('\\'); return true;
      case '/': sink.put('/'); return true;
      case 'b': sink.put('\b'); return true;
      case 'f': sink.put('\f'); return true;
      case 'n': sink.put('\n'); return true;
      case 'r': sink.put('\r'); return true;
      case 't': sink.put('\t'); return true;
      case 'u': break;
      default: return fail_at(p_ - 1, "invalid escape");
    }
    const char* at = p_ - 2;
    std::uint32_t cp = 0;
    if (!hex4(cp)) return false;
    if (cp >= 0xDC00 && cp <= 0xDFFF) return fail_at(at, "lone surrogate in \\u escape");
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      // UTF-16 surrogate pair (RFC 8259 section 7).
      if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return fail_at(at, "lone surrogate in \\u escape");
      p_ += 2;
      std::uint32_t low = 0;
      if (!hex4(low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return fail_at(at, "lone surrogate in \\u escape");
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    sink.put_utf8(cp);
    return true;
  }

  // A string (p_ at its opening quote). The text was checked to be UTF-8 by the caller,
  // so bytes at or above 0x80 pass through unchanged.
  bool string(const Sink& sink) {
    ++p_;
    for (;;) {
      if (p_ >= end_) return fail("unexpected end of input in a string");
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c < 0x20) return fail("control character in a string");
      ++p_;
      if (c == '\\') {
        if (!escape(sink)) return false;
      } else {
        sink.put(c);
      }
    }
  }

  bool literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
      return fail("expected a value");
    }
    p_ += word.size();
    return true;
  }

  bool number() {
    const auto digit = [this] { return p_ < end_ && *p_ >= '0' && *p_ <= '9'; };
    if (*p_ == '-') ++p_;
    if (!digit()) return fail("invalid number");
    if (*p_ == '0') {
      ++p_;
      if (digit()) return fail("invalid number");
    } else {
      while (digit()) ++p_;
    }
    if (p_ < end_ && *p_ == '.') {
      ++p_;
      if (!digit()) return fail("invalid number");
      while (digit()) ++p_;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (!digit()) return fail("invalid number");
      while (digit()) ++p_;
    }
    return true;
  }

  // Checks one value of any kind without keeping it.
  bool value(int depth) {
    if (depth > kSecretJsonMaxDepth) {
      return fail("nesting deeper than " + std::to_string(kSecretJsonMaxDepth) + " levels");
    }
    const char c = peek();
    switch (c) {
      case '\0': return fail_end_or("expected a value");
      case '"': return string(Sink{});
      case 't': return literal("true");
      case 'f': return literal("false");
      case 'n': return literal("null");
      case '{': {
        ++p_;
        for (bool first = true;; first = false) {
          char k = peek();
          if (k == '}' && first) break;
          if (!first) {
            if (k == '}') break;
            if (k != ',') return fail_end_or("expected `,` or `}`");
            ++p_;
            k = peek();
          }
          if (k != '"') return fail_end_or(first ? "expected a string key or `}`" : "expected a string key");
          if (!string(Sink{})) return false;
          if (peek() != ':') return fail_end_or("expected `:`");
          ++p_;
          if (!value(depth + 1)) return false;
        }
        ++p_;
        return true;
      }
      case '[': {
        ++p_;
        for (bool first = true;; first = false) {
          const char k = peek();
          if (k == ']' && first) break;
          if (!first) {
            if (k == ']') break;
            if (k != ',') return fail_end_or("expected `,` or `]`");
            ++p_;
          }
          if (!value(depth + 1)) return false;
        }
        ++p_;
        return true;
      }
      default:
        if (c == '-' || (c >= '0' && c <= '9')) return number();
        return fail("expected a value");
    }
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  std::string error_;
};

}  // namespace

std::expected<std::vector<std::optional<SecretBytes>>, std::string> read_secret_strings(
    std::string_view text, std::span<const std::string_view> names) {
  std::vector<std::optional<SecretBytes>> out(names.size());
  Reader reader(text);
  if (!reader.document(names, out)) return std::unexpected(reader.error());
  return out;
}

}  // namespace vek_lib
