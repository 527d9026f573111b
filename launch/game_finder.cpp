#include "launch/game_finder.h"

#include <algorithm>
#include <unordered_set>

#include "demo/demo_format.h"
#include "demo/info.h"
#include "demo/text_match.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

// --- KeyValues -------------------------------------------------------------------

enum class Token { kText, kOpen, kClose, kEnd, kBroken };

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

class KeyValuesLexer {
 public:
  explicit KeyValuesLexer(std::string_view text) : t_(text) {}

  // The next token; a kText's text is in text() until the next call.
  Token Next() {
    SkipBlanksAndComments();
    if (pos_ >= t_.size()) return Token::kEnd;
    switch (t_[pos_]) {
      case '{': ++pos_; return Token::kOpen;
      case '}': ++pos_; return Token::kClose;
      case '"': return Quoted();
      default: return Word();
    }
  }
  std::string& text() { return text_; }

 private:
  void SkipBlanksAndComments() {
    while (pos_ < t_.size()) {
      if (IsSpace(t_[pos_])) {
        ++pos_;
      } else if (t_.compare(pos_, 2, "//") == 0) {
        pos_ = std::min(t_.find('\n', pos_), t_.size());
      } else {
        return;
      }
    }
  }

  Token Quoted() {
    text_.clear();
    for (++pos_; pos_ < t_.size();) {
      char c = t_[pos_++];
      if (c == '"') return Token::kText;
      if (c == '\\' && pos_ < t_.size()) {
        switch (t_[pos_]) {
          case '\\':
            c = '\\';
            ++pos_;
            break;
          case '"':
            c = '"';
            ++pos_;
            break;
          case 'n':
            c = '\n';
            ++pos_;
            break;
          case 't':
            c = '\t';
            ++pos_;
            break;
          default: break;  // a lone backslash, as in a path written by hand
        }
      }
      text_ += c;
    }
    return Token::kBroken;
  }

  Token Word() {
    std::size_t start = pos_;
    while (pos_ < t_.size() && !IsSpace(t_[pos_]) && t_[pos_] != '"' && t_[pos_] != '{' && t_[pos_] != '}') ++pos_;
    text_.assign(t_.substr(start, pos_ - start));
    return Token::kText;
  }

  std::string_view t_;
  std::size_t pos_ = 0;
  std::string text_;
};

// A NUL or another control byte: no path of Steam's holds one. The system
// would cut a path at a NUL (and Windows refuses the others), so another file
// than the one named would answer.
bool HasControlByte(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool IsNumber(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// libraryfolders.vdf: the root block "libraryfolders" (depth 1) holds the
// libraries under their numbers, as values (old form) or as blocks (depth 2)
// with "path" and an "apps" block (depth 3) keyed by app id.
class LibraryFoldersReader final : public KeyValuesVisitor {
 public:
  std::vector<SteamLibrary> libraries;

  void BlockStart(std::string_view key) override {
    ++depth_;
    if (depth_ == 1) {
      inRoot_ = EqualIgnoringCase(key, "libraryfolders");
    } else if (depth_ == 2 && inRoot_) {
      inLibrary_ = IsNumber(key);
      if (inLibrary_) libraries.emplace_back();
    } else if (depth_ == 3 && inLibrary_) {
      inApps_ = EqualIgnoringCase(key, "apps");
    }
  }
  void BlockEnd() override {
    if (depth_ == 1) inRoot_ = false;
    if (depth_ == 2) inLibrary_ = false;
    if (depth_ == 3) inApps_ = false;
    --depth_;
  }
  void Leaf(std::string_view key, std::string_view value) override {
    if (depth_ == 1 && inRoot_ && IsNumber(key)) {
      libraries.push_back({std::string(value), false});
    } else if (depth_ == 2 && inLibrary_ && EqualIgnoringCase(key, "path")) {
      libraries.back().path = value;
    } else if (depth_ == 3 && inApps_ && (key == "70" || key == "10")) {
      libraries.back().holdsHalfLife = true;
    }
  }

 private:
  std::size_t depth_ = 0;
  bool inRoot_ = false, inLibrary_ = false, inApps_ = false;
};

// appmanifest_*.acf: "AppState" { "installdir" "..." }.
class InstallDirReader final : public KeyValuesVisitor {
 public:
  std::optional<std::string> installDir;

  void BlockStart(std::string_view key) override {
    if (++depth_ == 1) inState_ = EqualIgnoringCase(key, "AppState");
  }
  void BlockEnd() override { --depth_; }
  void Leaf(std::string_view key, std::string_view value) override {
    if (depth_ == 1 && inState_ && !installDir && EqualIgnoringCase(key, "installdir")) installDir = value;
  }

 private:
  std::size_t depth_ = 0;
  bool inState_ = false;
};

// --- Where to look ---------------------------------------------------------------

struct RegistryPlace {
  RegistryHive hive;
  const char* key;
  const char* name;
};

constexpr RegistryPlace kSteamPlaces[] = {
    {RegistryHive::kCurrentUser, "Software\\Valve\\Steam", "SteamPath"},
    {RegistryHive::kLocalMachine, "SOFTWARE\\WOW6432Node\\Valve\\Steam", "InstallPath"},
    {RegistryHive::kLocalMachine, "SOFTWARE\\Valve\\Steam", "InstallPath"},
};
constexpr RegistryPlace kHalfLifePlace = {RegistryHive::kCurrentUser, "Software\\Valve\\Half-Life", "InstallPath"};
constexpr const char* kHomeSteamFolders[] = {".steam/steam", ".local/share/Steam",
                                             ".var/app/com.valvesoftware.Steam/.local/share/Steam"};
constexpr const char* kManifests[] = {"appmanifest_70.acf", "appmanifest_10.acf"};
constexpr char kDefaultInstallDir[] = "Half-Life";

char SeparatorOf(GameSystem system) { return system == GameSystem::kWindows ? '\\' : '/'; }

std::string JoinPath(std::string_view folder, std::string_view name, char separator) {
  std::string path(folder);
  if (!path.empty() && path.back() != separator) path += separator;
  return path.append(name);
}

// A path with single separators and no "." or ".." steps: ".." takes the
// step before it away, and at the root it stays at the root. `rootLength`
// characters (the drive's "C:\\", or "/") are kept as they are.
std::string NormalisePath(std::string_view path, std::size_t rootLength, char separator) {
  std::string result(path.substr(0, rootLength));
  std::vector<std::string_view> steps;
  std::size_t start = rootLength;
  while (start <= path.size()) {
    std::size_t end = std::min(path.find(separator, start), path.size());
    std::string_view step = path.substr(start, end - start);
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) result += separator;
    result.append(steps[i]);
  }
  return result;
}

bool IsDemoFile(const FolderEntry& entry) { return entry.kind != EntryKind::kFolder && HasDemoExtension(entry.name); }

struct Library {
  std::string path;
  bool holdsHalfLife = false;
  bool steamItself = false;
};

class Finder {
 public:
  Finder(GameSources& sources, GameSystem system)
      : sources_(sources), windows_(system == GameSystem::kWindows), separator_(SeparatorOf(system)) {}

  std::optional<FoundGame> Find() {
    std::unordered_set<std::string> seen;
    for (const std::string& steam : SteamFolders()) {
      if (!seen.insert(Key(steam)).second) continue;
      if (auto found = InSteam(steam)) return found;
    }
    if (!windows_) return std::nullopt;
    std::optional<std::string> folder =
        LocalFolder(sources_.RegistryText(kHalfLifePlace.hive, kHalfLifePlace.key, kHalfLifePlace.name));
    if (!folder) return std::nullopt;
    for (const char* exe : {"hl.exe", "cstrike.exe"}) {
      if (auto found = Take(Join(*folder, exe), game_source::kHalfLifeRegistry)) return found;
    }
    return std::nullopt;
  }

 private:
  std::string Join(std::string_view folder, std::string_view name) const { return JoinPath(folder, name, separator_); }

  std::vector<std::string> SteamFolders() {
    std::vector<std::string> folders;
    if (windows_) {
      for (const RegistryPlace& place : kSteamPlaces) {
        if (auto folder = LocalFolder(sources_.RegistryText(place.hive, place.key, place.name))) {
          folders.push_back(std::move(*folder));
        }
      }
    } else if (std::optional<std::string> home = LocalFolder(sources_.HomeFolder())) {
      for (const char* steam : kHomeSteamFolders) folders.push_back(Join(*home, steam));
    }
    return folders;
  }

  std::optional<FoundGame> InSteam(const std::string& steam) {
    for (const Library& library : LibrariesOf(steam)) {
      std::string source = library.steamItself
                               ? std::string(windows_ ? game_source::kSteamRegistry : game_source::kSteamHome)
                               : std::string(game_source::kSteamLibrary) + " " + library.path;
      if (auto found = Take(GameInLibrary(library.path), source)) return found;
    }
    return std::nullopt;
  }

  // The Steam folder and the libraries its libraryfolders.vdf lists, each
  // once, those with Half-Life first, at most kMaxSteamLibraries.
  std::vector<Library> LibrariesOf(const std::string& steam) {
    std::vector<Library> libraries{{steam, false, true}};
    const std::string steamKey = Key(steam);
    std::unordered_set<std::string> seen{steamKey};
    std::optional<std::string> vdf =
        sources_.ReadSmallFile(Join(Join(steam, "steamapps"), "libraryfolders.vdf"), kMaxSteamFileBytes);
    std::vector<SteamLibrary> listedLibraries;
    if (vdf) listedLibraries = ParseLibraryFolders(*vdf);
    for (const SteamLibrary& listed : listedLibraries) {
      std::optional<std::string> path = LocalFolder(listed.path);
      if (!path) continue;
      if (Key(*path) == steamKey) {
        // Steam's own entry: the same folder, written in its proper letter case.
        libraries.front().path = *path;
        libraries.front().holdsHalfLife |= listed.holdsHalfLife;
      } else if (seen.insert(Key(*path)).second) {
        libraries.push_back({std::move(*path), listed.holdsHalfLife, false});
      }
    }
    std::stable_partition(libraries.begin(), libraries.end(), [](const Library& l) { return l.holdsHalfLife; });
    if (libraries.size() > kMaxSteamLibraries) libraries.resize(kMaxSteamLibraries);
    return libraries;
  }

  std::string GameInLibrary(const std::string& library) {
    const std::string steamapps = Join(library, "steamapps");
    std::string installDir = kDefaultInstallDir;
    for (const char* manifest : kManifests) {
      std::optional<std::string> acf = sources_.ReadSmallFile(Join(steamapps, manifest), kMaxSteamFileBytes);
      std::optional<std::string> dir = acf ? ParseInstallDir(*acf) : std::nullopt;
      if (dir) {
        installDir = *dir;
        break;
      }
    }
    return Join(Join(Join(steamapps, "common"), installDir), windows_ ? "hl.exe" : "hl_linux");
  }

  // The executable, when it exists and (on Windows) its path fits the game path field.
  std::optional<FoundGame> Take(std::string executable, std::string source) {
    executable = NormalisePath(executable, windows_ ? 3 : 1, separator_);  // the manifest's folder may step up
    if (windows_ && Utf16Length(executable) > kMaxPathChars) return std::nullopt;
    if (!sources_.IsFile(executable)) return std::nullopt;
    std::string folder = executable.substr(0, executable.rfind(separator_));
    return FoundGame{std::move(executable), std::move(folder), std::move(source)};
  }

  // A folder on a drive of this machine, as the finder writes it: Steam's
  // "c:/program files (x86)/steam" becomes C:\program files (x86)\steam, with
  // no separator at the end. Nothing for a relative path, one with a control
  // byte in it, or one on a network share (Steam keeps no library there, and an unreachable server would
  // hold up the start).
  std::optional<std::string> LocalFolder(const std::optional<std::string>& folder) const {
    return folder ? LocalFolder(*folder) : std::nullopt;
  }
  std::optional<std::string> LocalFolder(std::string path) const {
    if (HasControlByte(path)) return std::nullopt;
    if (windows_) {
      std::replace(path.begin(), path.end(), '/', '\\');
      const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
                         ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
      if (!drive) return std::nullopt;
      path[0] = static_cast<char>(path[0] & ~0x20);  // the drive letter in upper case
    } else if (path.empty() || path.front() != '/') {
      return std::nullopt;
    }
    return NormalisePath(path, windows_ ? 3 : 1, separator_);
  }

  // Windows folders are one whatever the letter case, in every script.
  std::string Key(std::string_view path) const { return windows_ ? FoldCase(path) : std::string(path); }

  GameSources& sources_;
  bool windows_;
  char separator_;
};

}  // namespace

bool ReadKeyValues(std::string_view text, KeyValuesVisitor& visitor) {
  KeyValuesLexer lexer(text);
  std::size_t depth = 0;
  std::string key;
  bool haveKey = false;
  for (;;) {
    switch (lexer.Next()) {
      case Token::kText:
        if (haveKey) {
          visitor.Leaf(key, lexer.text());
        } else {
          key.swap(lexer.text());
        }
        haveKey = !haveKey;
        break;
      case Token::kOpen:
        if (!haveKey) return false;
        visitor.BlockStart(key);
        haveKey = false;
        ++depth;
        break;
      case Token::kClose:
        if (haveKey || depth == 0) return false;
        visitor.BlockEnd();
        --depth;
        break;
      case Token::kEnd: return !haveKey && depth == 0;
      case Token::kBroken: return false;
    }
  }
}

std::vector<SteamLibrary> ParseLibraryFolders(std::string_view vdf) {
  LibraryFoldersReader reader;
  if (!ReadKeyValues(vdf, reader)) return {};
  std::erase_if(reader.libraries, [](const SteamLibrary& l) { return l.path.empty(); });
  return std::move(reader.libraries);
}

std::optional<std::string> ParseInstallDir(std::string_view acf) {
  InstallDirReader reader;
  if (!ReadKeyValues(acf, reader) || !reader.installDir || !IsPlainName(*reader.installDir) ||
      HasControlByte(*reader.installDir)) {
    return std::nullopt;
  }
  return reader.installDir;
}

std::optional<FoundGame> FindGame(GameSources& sources, GameSystem system) { return Finder(sources, system).Find(); }

std::vector<DemoFolder> DemoFolders(GameSources& sources, std::string_view gameFolder, GameSystem system) {
  std::vector<DemoFolder> found;
  if (gameFolder.empty()) return found;
  const FolderListing listing = sources.List(std::string(gameFolder));
  for (const FolderEntry& entry : listing.entries) {
    if (entry.kind != EntryKind::kFolder) continue;
    std::string path = JoinPath(gameFolder, entry.name, SeparatorOf(system));
    const std::vector<FolderEntry> inside = sources.List(path).entries;
    auto demos = static_cast<std::size_t>(std::count_if(inside.begin(), inside.end(), IsDemoFile));
    if (demos > 0) found.push_back({std::move(path), demos});
  }
  std::sort(found.begin(), found.end(), [](const DemoFolder& a, const DemoFolder& b) {
    if (a.demos != b.demos) return a.demos > b.demos;
    std::string fa = FoldAsciiCase(a.path), fb = FoldAsciiCase(b.path);
    return fa != fb ? fa < fb : a.path < b.path;
  });
  return found;
}

std::string StartFolder(GameSources& sources, const std::string& programFolder, std::string_view gameFolder,
                        GameSystem system) {
  if (gameFolder.empty()) return programFolder;
  const std::vector<FolderEntry> own = sources.List(programFolder).entries;
  if (std::any_of(own.begin(), own.end(), IsDemoFile)) return programFolder;
  std::vector<DemoFolder> folders = DemoFolders(sources, gameFolder, system);
  return folders.empty() ? programFolder : folders.front().path;
}

}  // namespace rewindor
