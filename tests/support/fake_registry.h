// A registry held in memory for the settings, association and registry tests:
// keys by path (those of HKEY_LOCAL_MACHINE after "HKLM\\"), values by name,
// with failures to order and a log of the calls.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "demo/registry.h"

namespace rewindor {

class FakeRegistry : public Registry {
 public:
  static constexpr std::uint32_t kNotFound = 2;       // ERROR_FILE_NOT_FOUND
  static constexpr std::uint32_t kAccessDenied = 5;   // ERROR_ACCESS_DENIED

  std::map<std::string, std::map<std::string, RegistryValue>> keys;
  std::map<std::string, std::uint32_t> createFailures;  // by key
  std::map<std::string, std::uint32_t> setFailures;     // by "key|name"
  std::vector<std::string> log;

  std::uint32_t CreateKey(std::string_view subKey) override {
    log.push_back("create " + std::string(subKey));
    if (auto it = createFailures.find(std::string(subKey)); it != createFailures.end()) return it->second;
    keys[std::string(subKey)];
    open_ = std::string(subKey);
    writable_ = true;
    return 0;
  }
  std::uint32_t OpenKeyForQuery(RegistryHive hive, std::string_view subKey) override {
    const std::string key = (hive == RegistryHive::kLocalMachine ? "HKLM\\" : "") + std::string(subKey);
    log.push_back("open " + key);
    if (!keys.count(key)) return kNotFound;
    open_ = key;
    writable_ = false;
    return 0;
  }
  std::uint32_t QueryValue(std::string_view name, std::size_t capacity, RegistryValue& value) override {
    EXPECT_TRUE(open_) << "query without an open key";
    auto& values = keys[*open_];
    auto it = values.find(std::string(name));
    if (it == values.end()) return kNotFound;
    if (it->second.data.size() > capacity) return kStatusMoreData;
    value = it->second;
    return 0;
  }
  std::uint32_t SetValue(std::string_view name, std::uint32_t type, ByteView data) override {
    EXPECT_TRUE(open_ && writable_) << "write without a key open for writing";
    std::string where = *open_ + "|" + std::string(name);
    log.push_back("set " + where);
    if (auto it = setFailures.find(where); it != setFailures.end()) return it->second;
    keys[*open_][std::string(name)] = {type, Bytes(data.begin(), data.end())};
    return 0;
  }
  void CloseKey() override {
    log.push_back("close");
    open_.reset();
  }
  SystemError Describe(std::uint32_t status) override { return {status, "status " + std::to_string(status)}; }

  static RegistryValue Text(std::string_view utf8) { return {kRegistryTextType, EncodeRegistryText(utf8)}; }
  // A stored value read back as a text, or nothing when it is missing or not a text.
  std::optional<std::string> TextAt(const std::string& key, const std::string& name) const {
    auto k = keys.find(key);
    if (k == keys.end()) return std::nullopt;
    auto v = k->second.find(name);
    if (v == k->second.end()) return std::nullopt;
    std::string text;
    SystemError why;
    if (!DecodeRegistryText(v->second, text, why)) return std::nullopt;
    return text;
  }

 private:
  std::optional<std::string> open_;
  bool writable_ = false;
};

}  // namespace rewindor
