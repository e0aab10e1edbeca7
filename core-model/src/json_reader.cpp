#include "vek/core/json_reader.h"

#include <array>
#include <cstring>

#include "vek/core/support.h"
#include "vek/core/utf8.h"

namespace vek_core::json_text {
namespace {

// Bytes that end a run of plain string content: quote, backslash, control characters
// and the lead bytes of multi-byte UTF-8 sequences.
constexpr std::array<bool, 256> kStringStop = [] {
  std::array<bool, 256> t{};
  for (std::size_t c = 0; c < 0x20; ++c) t[c] = true;
  t['"'] = true;
  t['\\'] = true;
  for (std::size_t c = 0x80; c < 0x100; ++c) t[c] = true;
  return t;
}();

// Writes code point `cp` (at most U+10FFFF, not a surrogate) as UTF-8; returns its length.
std::size_t encode_utf8(std::uint32_t cp, char (&out)[4]) noexcept {
  const auto byte = [](std::uint32_t b) { return static_cast<char>(static_cast<unsigned char>(b)); };
  if (cp < 0x80) {
    out[0] = byte(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = byte(0xC0 | (cp >> 6));
    out[1] = byte(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = byte(0xE0 | (cp >> 12));
    out[1] = byte(0x80 | ((cp >> 6) & 0x3F));
    out[2] = byte(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (cp >> 18));
  out[1] = byte(0x80 | ((cp >> 12) & 0x3F));
  out[2] = byte(0x80 | ((cp >> 6) & 0x3F));
  out[3] = byte(0x80 | (cp & 0x3F));
  return 4;
}

struct ToString final : StringSink {
  std::string& s;
  explicit ToString(std::string& out) : s(out) {}
  void append(const char* bytes, std::size_t n) override { s.append(bytes, n); }
};

}  // namespace

std::string one_line(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7f) {
      out.push_back(ch);
      continue;
    }
    switch (c) {
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        out += "\\u00";
        out.push_back(kHexDigits[c >> 4]);
        out.push_back(kHexDigits[c & 0x0f]);
    }
  }
  return out;
}

void BasicReader::skip_ws() noexcept {
  while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
}

char BasicReader::peek() noexcept {
  skip_ws();
  return p_ < end_ ? *p_ : '\0';
}

bool BasicReader::consume(char c) noexcept {
  skip_ws();
  if (p_ < end_ && *p_ == c) {
    ++p_;
    return true;
  }
  return false;
}

bool BasicReader::fail_at(const char* at, std::string_view what) {
  std::size_t line = 1, column = 1;
  for (const char* q = begin_; q < at; ++q) {
    if (*q == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  // Keys and variant names quoted in the message come from the document; a control
  // character among them must not break the message (or a warning quoting it) in two.
  error_ = one_line(what);
  error_ += " at line " + std::to_string(line) + " column " + std::to_string(column);
  return false;
}

bool BasicReader::fail(std::string_view what) { return fail_at(p_, what); }

bool BasicReader::fail_end_or(std::string_view what) { return fail(p_ >= end_ ? "unexpected end of input" : what); }

BasicReader::Step BasicReader::next_member(bool first, std::string& key) {
  const char c = peek();
  if (c == '}') {
    ++p_;
    return Step::End;
  }
  if (!first) {
    if (c != ',') {
      fail_end_or("expected `,` or `}`");
      return Step::Error;
    }
    ++p_;
    if (peek() != '"') {
      fail_end_or("expected a string key");
      return Step::Error;
    }
  } else if (c != '"') {
    fail_end_or("expected a string key or `}`");
    return Step::Error;
  }
  key_at_ = p_;
  if (!string(key)) return Step::Error;
  if (!consume(':')) {
    fail_end_or("expected `:`");
    return Step::Error;
  }
  return Step::Member;
}

BasicReader::Step BasicReader::next_element(bool first) {
  const char c = peek();
  if (c == ']') {
    ++p_;
    return Step::End;
  }
  if (first) {
    if (p_ >= end_) {
      fail("unexpected end of input");
      return Step::Error;
    }
    return Step::Member;
  }
  if (c != ',') {
    fail_end_or("expected `,` or `]`");
    return Step::Error;
  }
  ++p_;
  // A trailing comma is not JSON.
  if (peek() == ']') {
    fail("expected a value");
    return Step::Error;
  }
  return Step::Member;
}

bool BasicReader::hex4(std::uint32_t& out) {
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
bool BasicReader::escape(StringSink& out) {
  if (p_ >= end_) return fail("unexpected end of input");
  const char c = *p_++;
  char simple;
  switch (c) {
    case '"': simple = '"'; break;
    case '\\': simple = '\\'; break;
    case '/': simple = '/'; break;
    case 'b': simple = '\b'; break;
    case 'f': simple = '\f'; break;
    case 'n': simple = '\n'; break;
    case 'r': simple = '\r'; break;
    case 't': simple = '\t'; break;
    case 'u': simple = '\0'; break;
    default: return fail_at(p_ - 1, "invalid escape");
  }
  if (c != 'u') {
    out.append(&simple, 1);
    return true;
  }
  const char* at = p_ - 2;
  std::uint32_t cp;
  if (!hex4(cp)) return false;
  if (cp >= 0xDC00 && cp <= 0xDFFF) return fail_at(at, "lone surrogate in \\u escape");
  if (cp >= 0xD800 && cp <= 0xDBFF) {
    // UTF-16 surrogate pair (RFC 8259 section 7).
    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return fail_at(at, "lone surrogate in \\u escape");
    p_ += 2;
    std::uint32_t low;
    if (!hex4(low)) return false;
    if (low < 0xDC00 || low > 0xDFFF) return fail_at(at, "lone surrogate in \\u escape");
    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
  }
  char bytes[4];
  out.append(bytes, encode_utf8(cp, bytes));
  return true;
}

bool BasicReader::string(StringSink& out) {
  if (peek() != '"') return fail_end_or("expected a string");
  ++p_;
  const char* run = p_;
  for (;;) {
    while (p_ < end_ && !kStringStop[static_cast<unsigned char>(*p_)]) ++p_;
    if (p_ >= end_) return fail("unexpected end of input in a string");
    const auto c = static_cast<unsigned char>(*p_);
    if (c == '"') {
      out.append(run, static_cast<std::size_t>(p_ - run));
      ++p_;
      return true;
    }
    if (c >= 0x80) {
      const std::size_t len =
          utf8_sequence(reinterpret_cast<const unsigned char*>(p_), static_cast<std::size_t>(end_ - p_)).length;
      if (len == 0) return fail("invalid UTF-8 in a string");
      p_ += len;
      continue;
    }
    if (c < 0x20) return fail("control character in a string");
    out.append(run, static_cast<std::size_t>(p_ - run));
    ++p_;
    if (!escape(out)) return false;
    run = p_;
  }
}

bool BasicReader::string(std::string& out) {
  out.clear();
  ToString sink(out);
  return string(sink);
}

std::size_t BasicReader::string_length_bound() const noexcept {
  const char* q = p_ + 1;
  while (q < end_ && *q != '"') q += (*q == '\\' && q + 1 < end_) ? 2 : 1;
  return static_cast<std::size_t>(q - p_);
}

bool BasicReader::literal(std::string_view word) {
  if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
    return fail("expected a value");
  }
  p_ += word.size();
  return true;
}

bool BasicReader::number(NumberToken& out) {
  out.begin = p_;
  const auto digit = [this] { return p_ < end_ && *p_ >= '0' && *p_ <= '9'; };
  out.negative = *p_ == '-';
  if (out.negative) ++p_;
  if (!digit()) return fail("invalid number");
  if (*p_ == '0') {
    ++p_;
    if (digit()) return fail("invalid number");
  } else {
    while (digit()) ++p_;
  }
  out.integral = true;
  if (p_ < end_ && *p_ == '.') {
    out.integral = false;
    ++p_;
    if (!digit()) return fail("invalid number");
    while (digit()) ++p_;
  }
  if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
    out.integral = false;
    ++p_;
    if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
    if (!digit()) return fail("invalid number");
    while (digit()) ++p_;
  }
  out.end = p_;
  return true;
}

bool BasicReader::finish() {
  skip_ws();
  if (p_ != end_) return fail("trailing characters");
  return true;
}

}  // namespace vek_core::json_text
