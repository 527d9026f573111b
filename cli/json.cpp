#include "cli/json.h"

#include <charconv>
#include <cmath>

#include "demo/utf8.h"

namespace rewindor::cli {

std::string JsonString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string utf8 = DemoTextToUtf8(text);
  std::string out;
  out.reserve(utf8.size() + 2);
  out += '"';
  for (char c : utf8) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

JsonObject& JsonObject::Key(std::string_view key) {
  if (body_.size() > 1) body_ += ", ";
  body_ += JsonString(key);
  body_ += ": ";
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text) {
  Key(key).body_ += JsonString(text);
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<std::string>& texts) {
  Key(key).body_ += '[';
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) body_ += ", ";
    body_ += JsonString(texts[i]);
  }
  body_ += ']';
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<JsonObject>& objects) {
  Key(key).body_ += '[';
  for (std::size_t i = 0; i < objects.size(); ++i) {
    if (i > 0) body_ += ", ";
    body_ += objects[i].body_ + "}";
  }
  body_ += ']';
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const JsonObject& object) {
  Key(key).body_ += object.body_ + "}";
  return *this;
}

JsonObject& JsonObject::AddInts(std::string_view key, std::initializer_list<std::int64_t> values) {
  Key(key).body_ += '[';
  for (std::int64_t v : values) {
    if (body_.back() != '[') body_ += ", ";
    body_ += std::to_string(v);
  }
  body_ += ']';
  return *this;
}

JsonObject& JsonObject::AddBool(std::string_view key, bool value) {
  Key(key).body_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::AddInt(std::string_view key, std::int64_t value) {
  Key(key).body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::AddFloat(std::string_view key, float value) {
  if (!std::isfinite(value)) return AddNull(key);
  char text[32];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  Key(key).body_.append(text, ec == std::errc() ? end : text);
  return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key) {
  Key(key).body_ += "null";
  return *this;
}

}  // namespace rewindor::cli
