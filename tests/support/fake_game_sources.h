// A machine held in memory for the game finder's tests: registry texts by
// "HKCU\key|name", files by path (their folders follow from the paths), and
// counts of what the finder asked. With Windows paths, letter case does not
// matter, as on Windows. A path with a NUL names nothing, as the platform's
// sources answer it (or, with `cutAtNul`, the path up to the NUL, as the
// system's own calls read it); on Windows neither does one with another
// control byte.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "demo/info.h"
#include "demo/text_match.h"
#include "launch/game_finder.h"

namespace rewindor {

class FakeGameSources : public GameSources {
 public:
  explicit FakeGameSources(GameSystem system = GameSystem::kWindows)
      : windows_(system == GameSystem::kWindows), separator_(windows_ ? '\\' : '/') {}

  void SetRegistry(RegistryHive hive, const std::string& key, const std::string& name, const std::string& text) {
    registry_[RegistryKey(hive, key, name)] = text;
  }
  void AddFile(const std::string& path, std::string content = "") { files_[Key(path)] = {path, std::move(content)}; }
  void RemoveFile(const std::string& path) { files_.erase(Key(path)); }

  std::string home;
  std::set<std::string> unlistable;  // folders that cannot be listed
  int reads = 0;
  std::vector<std::string> probed;  // the executables looked for
  bool cutAtNul = false;
  int controlPaths = 0;  // paths asked about that hold a control byte

  std::optional<std::string> RegistryText(RegistryHive hive, std::string_view key, std::string_view name) override {
    auto it = registry_.find(RegistryKey(hive, std::string(key), std::string(name)));
    return it == registry_.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  std::string HomeFolder() override { return home; }
  std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) override {
    ++reads;
    auto it = files_.find(Key(Named(path)));
    if (it == files_.end() || it->second.content.size() > maxBytes) return std::nullopt;
    return it->second.content;
  }
  bool IsFile(const std::string& path) override {
    probed.push_back(path);
    return files_.count(Key(Named(path))) > 0;
  }
  FolderListing List(const std::string& path) override {
    FolderListing listing;
    if (unlistable.count(path) || Named(path).empty()) return listing;
    const std::string prefix = Key(Named(path)) + separator_;
    std::map<std::string, bool> names;  // name -> folder
    for (auto it = files_.lower_bound(prefix); it != files_.end() && it->first.rfind(prefix, 0) == 0; ++it) {
      std::string rest = it->second.path.substr(prefix.size());
      std::size_t cut = rest.find(separator_);
      if (!rest.empty()) names[rest.substr(0, cut)] |= cut != std::string::npos;
    }
    listing.opened = !names.empty();
    for (const auto& [name, folder] : names) {
      listing.entries.push_back({name, folder ? EntryKind::kFolder : EntryKind::kFile});
    }
    return listing;
  }

 private:
  struct File {
    std::string path, content;
  };
  static std::string RegistryKey(RegistryHive hive, const std::string& key, const std::string& name) {
    return (hive == RegistryHive::kCurrentUser ? "HKCU\\" : "HKLM\\") + key + "|" + name;
  }
  std::string Key(const std::string& path) const { return windows_ ? FoldCase(path) : path; }
  // The path the system would look at; empty for none.
  std::string Named(const std::string& path) {
    auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20; };
    if (std::none_of(path.begin(), path.end(), control)) return path;
    ++controlPaths;
    const std::size_t nul = path.find('\0');
    if (nul != std::string::npos) return cutAtNul ? path.substr(0, nul) : std::string();
    return windows_ ? std::string() : path;
  }

  bool windows_;
  char separator_;
  std::map<std::string, std::string> registry_;
  std::map<std::string, File> files_;  // by Key(path)
};

}  // namespace rewindor
