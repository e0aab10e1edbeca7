#include "json_text.h"

#include <charconv>

#include "vek/core/json_kind.h"

namespace vek_core::json_text {
namespace {

using nlohmann::json;

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

// ---- ValueBuilder ----

bool ValueBuilder::null(BasicReader&) {
  out_ = nullptr;
  return true;
}

bool ValueBuilder::boolean(BasicReader&, bool b) {
  out_ = b;
  return true;
}

bool ValueBuilder::number(BasicReader& r, const NumberToken& n) {
  if (n.integral) {
    if (n.negative) {
      std::int64_t v;
      if (std::from_chars(n.begin, n.end, v).ec == std::errc()) {
        out_ = v;
        return true;
      }
    } else {
      std::uint64_t v;
      if (std::from_chars(n.begin, n.end, v).ec == std::errc()) {
        out_ = v;
        return true;
      }
    }
    // Integers beyond 64 bits are kept as floating-point numbers.
  }
  double d;
  if (std::from_chars(n.begin, n.end, d).ec != std::errc()) return r.fail_at(n.begin, "number out of range");
  out_ = d;
  return true;
}

bool ValueBuilder::string(BasicReader& r) {
  std::string s;
  if (!r.string(s)) return false;
  out_ = std::move(s);
  return true;
}

void ValueBuilder::begin_object() { out_ = json::object(); }

bool ValueBuilder::member(BasicReader& r, std::string& key, const char* key_at, int depth) {
  json v;
  ValueBuilder item(v);
  if (!r.value(item, depth)) return false;
  if (!out_.get_ref<json::object_t&>().emplace(key, std::move(v)).second) {
    return r.fail_at(key_at, "duplicate field `" + key + "`");
  }
  return true;
}

void ValueBuilder::begin_array() { out_ = json::array(); }

bool ValueBuilder::element(BasicReader& r, int depth) {
  auto& items = out_.get_ref<json::array_t&>();
  items.emplace_back();
  ValueBuilder item(items.back());
  return r.value(item, depth);
}

// ---- Reader ----

bool Reader::begin_object(std::string_view what) { return begin_container('{', what); }

bool Reader::begin_array(std::string_view what) { return begin_container('[', what); }

// Consumes `open`; anything else is reported by the kind of value that stands there.
bool Reader::begin_container(char open, std::string_view what) {
  if (consume(open)) return true;
  if (at_end()) return fail("unexpected end of input");
  json v;
  const char* at = position();
  if (!value(v, 1)) return false;
  return fail_at(at, "invalid type: " + std::string(found(v)) + ", expected " + std::string(what));
}

bool Reader::string(std::string& out, std::string_view field) {
  if (peek() == '"') return string(out);
  if (at_end()) return fail("unexpected end of input");
  json v;
  const char* at = position();
  if (!value(v, 1)) return false;
  return fail_at(at, "invalid type for `" + std::string(field) + "`: expected a string, found " +
                         std::string(found(v)));
}

bool Reader::value(json& out, int depth) {
  ValueBuilder builder(out);
  return value(builder, depth);
}

bool Reader::u32(std::uint32_t& out, std::string_view field) {
  (void)peek();
  const char* at = position();
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

std::expected<json, std::string> parse(std::string_view text) {
  Reader r(text);
  json v;
  if (!r.value(v, 1) || !r.finish()) return std::unexpected(std::move(r.error()));
  return v;
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
