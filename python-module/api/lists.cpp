#include "lists.h"

#include <algorithm>
#include <cctype>
#include <deque>

#include "vek/lib/queries.h"

namespace vek_api {
namespace {

// How docstrings name a family: "EVM" and "TON" are acronyms, the others are names.
std::string family_title(std::string_view name) {
  std::string title(name);
  const bool acronym = name.size() <= 3;
  for (std::size_t i = 0; i < title.size(); ++i) {
    if (acronym || i == 0) title[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[i])));
  }
  return title;
}

// `words` joined by single spaces into lines of at most `width` columns.
std::string wrapped(const std::vector<std::string>& words, std::size_t width) {
  std::string out;
  std::size_t column = 0;
  for (const std::string& w : words) {
    if (column > 0 && column + 1 + w.size() > width) {
      out += '\n';
      column = 0;
    } else if (column > 0) {
      out += ' ';
      ++column;
    }
    out += w;
    column += w.size();
  }
  return out;
}

}  // namespace

const char* kept(std::string text) {
  static std::deque<std::string> texts;  // a deque never moves what it holds
  return texts.emplace_back(std::move(text)).c_str();
}

std::string spoken_list(const std::vector<std::string_view>& items, bool quote, const char* last) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out.append(i + 1 == items.size() ? last : ", ");
    if (quote) out.append("\"");
    out.append(items[i]);
    if (quote) out.append("\"");
  }
  return out;
}

std::string family_names(const char* last) {
  std::vector<std::string_view> names;
  for (const auto& f : vek_lib::families()) names.push_back(f.name);
  return spoken_list(names, false, last);
}

std::string decoding_families() {
  std::vector<std::string_view> names;
  for (const auto& f : vek_lib::families()) {
    if (f.decode) names.push_back(f.name);
  }
  return spoken_list(names, true);
}

std::string all_message_formats() {
  std::vector<std::string_view> names;
  for (const auto& f : vek_lib::families()) {
    for (const std::string_view format : f.message_formats) {
      if (std::find(names.begin(), names.end(), format) == names.end()) names.push_back(format);
    }
  }
  return spoken_list(names);
}

std::string formats_by_family(std::size_t width) {
  std::vector<std::string> words;
  for (const auto& f : vek_lib::families()) {
    words.push_back(family_title(f.name) + ":");
    for (std::size_t i = 0; i < f.message_formats.size(); ++i) {
      std::string word = "\"";
      word.append(f.message_formats[i]).append("\"").append(i + 1 == f.message_formats.size() ? "." : ",");
      words.push_back(std::move(word));
    }
  }
  return wrapped(words, width);
}

}  // namespace vek_api
