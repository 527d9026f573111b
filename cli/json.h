// The little JSON the command-line tool writes: one object per line.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace rewindor::cli {

// `text` as a quoted JSON string. Bytes that are not valid UTF-8 are taken as
// U+0080-U+00FF (as demo texts are shown), so the result is always valid JSON;
// control characters are written as \u00XX.
std::string JsonString(std::string_view text);

// Builds one object, keys in the order added: {"a": 1, "b": "x"}.
class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view text);
  JsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
  JsonObject& Add(std::string_view key, const std::vector<std::string>& texts);
  JsonObject& Add(std::string_view key, const std::vector<JsonObject>& objects);
  JsonObject& Add(std::string_view key, const JsonObject& object);
  JsonObject& AddInts(std::string_view key, std::initializer_list<std::int64_t> values);
  JsonObject& AddBool(std::string_view key, bool value);
  JsonObject& AddInt(std::string_view key, std::int64_t value);
  // The shortest number that reads back as the same 32-bit float; null when it is not finite.
  JsonObject& AddFloat(std::string_view key, float value);
  JsonObject& AddNull(std::string_view key);
  // The object and a line feed.
  std::string Line() const { return body_ + "}\n"; }

 private:
  JsonObject& Key(std::string_view key);
  std::string body_ = "{";
};

}  // namespace rewindor::cli
