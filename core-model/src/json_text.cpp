#include "json_text.h"

#include "vek/core/json_kind.h"
#include "vek/core/utf8.h"
#include "vek/core/support.h"

#include <array>
#include <charconv>
#include <cstring>

namespace vek_core::json_text {
namespace {

using nlohmann::json;

// Bytes that end a run of plain string content: quote, backslash, control characters
// and the lead bytes of multi-byte UTF-8 sequences.
constexpr std::array<bool, 256> kStringStop = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = true;
  t['"'] = true;
  t['\\'] = true;
  for (int c = 0x80; c < 0x100; ++c) t[c] = true;
  return t;
}();

// Length of the well-formed UTF-8 sequence at s[0..n) (n >= 1, s[0] >= 0x80), or 0.
std::size_t utf8_len(const unsigned char* s, std::size_t n) noexcept { return utf8_sequence(s, n).length; }

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string expected_names(std::span<const std::string_view> names) {
  std::string s;
  if (names.size() == 2) return "`" + std::string(names[0]) + "` or `" + std::string(names[1]) + "`";
  s = "one of ";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) s += ", ";
    s += "`";
    s += names[i];
    s += "`";
  }
  return s;
}

}  // namespace

std::string_view found(const json& v) noexcept { return json_value_kind(v); }

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

std::expected<std::size_t, std::string> unit_variant_name(std::string_view text,
                                                         std::span<const std::string_view> names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == text) return i;
  }
  return std::unexpected("unknown variant `" + std::string(text) + "`, expected " + expected_names(names));
}

std::expected<std::size_t, std::string> unit_variant(const json& v, std::span<const std::string_view> names) {
  if (v.is_string()) return unit_variant_name(v.get_ref<const std::string&>(), names);
  if (v.is_object() && v.size() == 1) {
    const auto it = v.begin();
    auto index = unit_variant_name(it.key(), names);
    if (!index) return index;
    if (!it.value().is_null()) {
      return std::unexpected("invalid type for variant `" + it.key() + "`: expected null, found " +
                             std::string(found(it.value())));
    }
    return index;
  }
  return std::unexpected("invalid type: " + std::string(found(v)) + ", expected " + expected_names(names));
}

// ---- Reader ----

void Reader::skip_ws() noexcept {
  while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
}

char Reader::peek() noexcept {
  skip_ws();
  return p_ < end_ ? *p_ : '\0';
}

bool Reader::consume(char c) noexcept {
  skip_ws();
  if (p_ < end_ && *p_ == c) {
    ++p_;
    return true;
  }
  return false;
}

bool Reader::fail_at(const char* at, std::string_view what) {
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

bool Reader::fail(std::string_view what) { return fail_at(p_, what); }

bool Reader::begin_object(std::string_view what) { return begin_container('{', what); }

bool Reader::begin_array(std::string_view what) { return begin_container('[', what); }

// Consumes `open`; anything else is reported by the kind of value that stands there.
bool Reader::begin_container(char open, std::string_view what) {
  const char c = peek();
  if (c == open) {
    ++p_;
    return true;
  }
  if (c == '\0') return fail("unexpected end of input");
  json v;
  const char* at = p_;
  if (!value(v, 1)) return false;
  return fail_at(at, "invalid type: " + std::string(found(v)) + ", expected " + std::string(what));
}

Reader::Step Reader::next_member(bool first, std::string& key) {
  const char c = peek();
  if (c == '}') {
    ++p_;
    return Step::End;
  }
  if (!first) {
    if (c != ',') {
      fail(c == '\0' ? "unexpected end of input" : "expected `,` or `}`");
      return Step::Error;
    }
    ++p_;
    if (peek() != '"') {
      fail(p_ >= end_ ? "unexpected end of input" : "expected a string key");
      return Step::Error;
    }
  } else if (c != '"') {
    fail(c == '\0' ? "unexpected end of input" : "expected a string key or `}`");
    return Step::Error;
  }
  key_at_ = p_;
  if (!string(key, "key")) return Step::Error;
  if (!consume(':')) {
    fail(p_ >= end_ ? "unexpected end of input" : "expected `:`");
    return Step::Error;
  }
  return Step::Member;
}

Reader::Step Reader::next_element(bool first) {
  const char c = peek();
  if (c == ']') {
    ++p_;
    return Step::End;
  }
  if (first) {
    if (c == '\0') {
      fail("unexpected end of input");
      return Step::Error;
    }
    return Step::Member;
  }
  if (c != ',') {
    fail(c == '\0' ? "unexpected end of input" : "expected `,` or `]`");
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

bool Reader::hex4(std::uint32_t& out) {
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
bool Reader::escape(std::string& out) {
  if (p_ >= end_) return fail("unexpected end of input");
  const char c = *p_++;
  switch (c) {
    case '"': out.push_back('"'); return true;
    case '\\': out.push_back('\\'); return true;
    case '/': out.push_back('/'); return true;
    case 'b': out.push_back('\b'); return true;
    case 'f': out.push_back('\f'); return true;
    case 'n': out.push_back('\n'); return true;
    case 'r': out.push_back('\r'); return true;
    case 't': out.push_back('\t'); return true;
    case 'u': break;
    default: return fail_at(p_ - 1, "invalid escape");
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
  append_utf8(out, cp);
  return true;
}

bool Reader::string(std::string& out, std::string_view field) {
  if (peek() != '"') {
    if (p_ >= end_) return fail("unexpected end of input");
    json v;
    const char* at = p_;
    if (!value(v, 1)) return false;
    return fail_at(at, "invalid type for `" + std::string(field) + "`: expected a string, found " +
                           std::string(found(v)));
  }
  ++p_;
  out.clear();
  const char* run = p_;
  for (;;) {
    while (p_ < end_ && !kStringStop[static_cast<unsigned char>(*p_)]) ++p_;
    if (p_ >= end_) return fail("unexpected end of input in a string");
    const auto c = static_cast<unsigned char>(*p_);
    if (c == '"') {
      out.append(run, p_);
      ++p_;
      return true;
    }
    if (c >= 0x80) {
      const std::size_t len =
          utf8_len(reinterpret_cast<const unsigned char*>(p_), static_cast<std::size_t>(end_ - p_));
      if (len == 0) return fail("invalid UTF-8 in a string");
      p_ += len;
      continue;
    }
    if (c < 0x20) return fail("control character in a string");
    out.append(run, p_);
    ++p_;
    if (!escape(out)) return false;
    run = p_;
  }
}

bool Reader::literal(std::string_view word) {
  if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
    return fail("expected a value");
  }
  p_ += word.size();
  return true;
}

bool Reader::number(json& out) {
  const char* start = p_;
  const auto digit = [this] { return p_ < end_ && *p_ >= '0' && *p_ <= '9'; };
  bool negative = false;
  if (*p_ == '-') {
    negative = true;
    ++p_;
  }
  if (!digit()) return fail("invalid number");
  if (*p_ == '0') {
    ++p_;
    if (digit()) return fail("invalid number");
  } else {
    while (digit()) ++p_;
  }
  bool integral = true;
  if (p_ < end_ && *p_ == '.') {
    integral = false;
    ++p_;
    if (!digit()) return fail("invalid number");
    while (digit()) ++p_;
  }
  if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
    integral = false;
    ++p_;
    if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
    if (!digit()) return fail("invalid number");
    while (digit()) ++p_;
  }
  if (integral) {
    if (negative) {
      std::int64_t v;
      if (std::from_chars(start, p_, v).ec == std::errc()) {
        out = v;
        return true;
      }
    } else {
      std::uint64_t v;
      if (std::from_chars(start, p_, v).ec == std::errc()) {
        out = v;
        return true;
      }
    }
    // Integers beyond 64 bits are kept as floating-point numbers.
  }
  double d;
  const auto r = std::from_chars(start, p_, d);
  if (r.ec != std::errc()) return fail_at(start, "number out of range");
  out = d;
  return true;
}

bool Reader::value(json& out, int depth) {
  if (depth > kMaxDepth) return fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels");
  const char c = peek();
  switch (c) {
    case '\0': return fail("unexpected end of input");
    case '"': {
      std::string s;
      if (!string(s, "value")) return false;
      out = std::move(s);
      return true;
    }
    case '{': {
      ++p_;
      out = json::object();
      auto& members = out.get_ref<json::object_t&>();
      std::string key;
      for (bool first = true;; first = false) {
        const Step step = next_member(first, key);
        if (step == Step::Error) return false;
        if (step == Step::End) return true;
        const char* key_at = key_at_;
        json v;
        if (!value(v, depth + 1)) return false;
        if (!members.emplace(key, std::move(v)).second) {
          return fail_at(key_at, "duplicate field `" + key + "`");
        }
      }
    }
    case '[': {
      ++p_;
      out = json::array();
      auto& items = out.get_ref<json::array_t&>();
      for (bool first = true;; first = false) {
        const Step step = next_element(first);
        if (step == Step::Error) return false;
        if (step == Step::End) return true;
        items.emplace_back();
        if (!value(items.back(), depth + 1)) return false;
      }
    }
    case 't':
      if (!literal("true")) return false;
      out = true;
      return true;
    case 'f':
      if (!literal("false")) return false;
      out = false;
      return true;
    case 'n':
      if (!literal("null")) return false;
      out = nullptr;
      return true;
    default:
      if (c == '-' || (c >= '0' && c <= '9')) return number(out);
      return fail("expected a value");
  }
}

bool Reader::u32(std::uint32_t& out, std::string_view field) {
  skip_ws();
  const char* at = p_;
  json v;
  if (!value(v, 1)) return false;
  if (v.is_number_unsigned() && v.get<std::uint64_t>() <= 0xFFFFFFFFu) {
    out = static_cast<std::uint32_t>(v.get<std::uint64_t>());
    return true;
  }
  if (v.is_number_unsigned() || v.is_number_integer()) {
    return fail_at(at, "invalid value for `" + std::string(field) + "`: " + v.dump() +
                           " is outside the unsigned 32-bit range");
  }
  return fail_at(at, "invalid type for `" + std::string(field) + "`: expected an unsigned 32-bit integer, found " +
                         std::string(found(v)));
}

bool Reader::skip(int depth) {
  json ignored;
  return value(ignored, depth);
}

bool Reader::finish() {
  skip_ws();
  if (p_ != end_) return fail("trailing characters");
  return true;
}

std::expected<json, std::string> parse(std::string_view text) {
  Reader r(text);
  json v;
  if (!r.value(v, 1) || !r.finish()) return std::unexpected(std::move(r.error()));
  return v;
}

// ---- writing ----

std::size_t utf8_valid_prefix(std::string_view s) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    const std::size_t len = utf8_len(p + i, n - i);
    if (len == 0) return i;
    i += len;
  }
  return n;
}

bool write_string(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t run = 0;
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (!kStringStop[c]) {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      const std::size_t len = utf8_len(p + i, n - i);
      if (len == 0) return false;
      i += len;
      continue;
    }
    out.append(s.data() + run, i - run);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        out += "\\u00";
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 0x0F]);
    }
    ++i;
    run = i;
  }
  out.append(s.data() + run, n - run);
  out.push_back('"');
  return true;
}

void write_indent(std::string& out, int n) { out.append(static_cast<std::size_t>(n), ' '); }

bool write_pretty(std::string& out, const json& v, int indent) {
  switch (v.type()) {
    case json::value_t::object: {
      if (v.empty()) {
        out += "{}";
        return true;
      }
      out += "{\n";
      bool first = true;
      for (const auto& [key, item] : v.get_ref<const json::object_t&>()) {
        if (!first) out += ",\n";
        first = false;
        write_indent(out, indent + 2);
        if (!write_string(out, key)) return false;
        out += ": ";
        if (!write_pretty(out, item, indent + 2)) return false;
      }
      out.push_back('\n');
      write_indent(out, indent);
      out.push_back('}');
      return true;
    }
    case json::value_t::array: {
      if (v.empty()) {
        out += "[]";
        return true;
      }
      out += "[\n";
      bool first = true;
      for (const json& item : v.get_ref<const json::array_t&>()) {
        if (!first) out += ",\n";
        first = false;
        write_indent(out, indent + 2);
        if (!write_pretty(out, item, indent + 2)) return false;
      }
      out.push_back('\n');
      write_indent(out, indent);
      out.push_back(']');
      return true;
    }
    case json::value_t::string: return write_string(out, v.get_ref<const std::string&>());
    case json::value_t::number_unsigned: out += std::to_string(v.get<std::uint64_t>()); return true;
    case json::value_t::number_integer: out += std::to_string(v.get<std::int64_t>()); return true;
    case json::value_t::null: out += "null"; return true;
    case json::value_t::boolean: out += v.get<bool>() ? "true" : "false"; return true;
    case json::value_t::number_float:
    case json::value_t::binary:
    case json::value_t::discarded:
      // Shortest round-trip form of a double, as the JSON library writes it.
      out += v.dump();
      return true;
  }
  return true;
}

}  // namespace vek_core::json_text

namespace vek_core {

std::string_view json_value_kind(const nlohmann::json& v) noexcept {
  using nlohmann::json;
  switch (v.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: return "an integer";
    case json::value_t::number_float: return "a floating-point number";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "an array";
    case json::value_t::object: return "an object";
    case json::value_t::binary: return "binary data";
    case json::value_t::discarded: return "a discarded value";
  }
  return "an unknown value";
}

}  // namespace vek_core
