#include "app/startup.h"

#include <iterator>

#include "demo/demo_format.h"
#include "demo/utf8.h"

namespace rewindor {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string WithinPathLimit(std::string path) {
  if (Utf16Length(path) > kMaxPathChars) return {};
  return path;  // moved, not copied as a conditional's operand would be
}

// A component whose directory entry we may look up: not a drive, not a
// relative step, no wildcard (which would find some other file).
bool MayLookUp(std::string_view component) {
  return !component.empty() && component != "." && component != ".." &&
         component.find_first_of(":*?") == std::string_view::npos;
}

struct AssociationKey {
  const char* key;
  const char* createFailure;
  const char* writeFailure;
};

// Per user, so no administrator rights are needed and other users keep theirs.
constexpr AssociationKey kAssociationKeys[] = {
    {"Software\\Classes\\rewindor\\shell\\open\\command", text::kCannotCreateCommandKey, text::kCannotSetCommand},
    {"Software\\Classes\\rewindor\\DefaultIcon", text::kCannotCreateIconKey, text::kCannotSetIcon},
    {"Software\\Classes\\.DEM", text::kCannotCreateExtensionKey, text::kCannotSetExtension},
};

}  // namespace

std::string_view ArgumentText(std::string_view commandLine) {
  std::size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    std::size_t close = commandLine.find('"', 1);
    i = close == std::string_view::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && !IsBlankOrControl(commandLine[i])) ++i;
  }
  while (i < commandLine.size() && IsBlankOrControl(commandLine[i])) ++i;
  return commandLine.substr(i);
}

std::string ArgumentPath(std::string_view argument) {
  while (!argument.empty() && IsBlank(argument.back())) argument.remove_suffix(1);
  if (!argument.empty() && argument.front() == '"') {
    argument.remove_prefix(1);
    if (!argument.empty() && argument.back() == '"') argument.remove_suffix(1);
    while (!argument.empty() && IsBlank(argument.back())) argument.remove_suffix(1);
  }
  return std::string(argument);
}

std::string ExpandToLongPath(std::string_view source, PathLookup& lookup) {
  if (source.empty()) return {};
  std::string longPath;
  switch (lookup.SystemLongPath(std::string(source), longPath)) {
    case PathLookup::Service::kDone: return WithinPathLimit(std::move(longPath));
    case PathLookup::Service::kFailed: return {};
    case PathLookup::Service::kUnavailable: break;
  }
  return LongPathFallback(source, lookup);
}

std::string LongPathFallback(std::string_view source, PathLookup& lookup) {
  if (source.size() > 1 && source.back() == '\\') source.remove_suffix(1);
  if (source.empty()) return {};
  std::string result;
  std::size_t start = 0;
  while (true) {
    std::size_t end = source.find('\\', start);
    if (end == std::string_view::npos) end = source.size();
    std::string_view component = source.substr(start, end - start);
    std::optional<std::string> found;
    if (MayLookUp(component)) found = lookup.FirstEntryName(std::string(source.substr(0, end)));
    result.append(found ? std::string_view(*found) : component);
    if (end == source.size()) break;
    result += '\\';
    start = end + 1;
  }
  return WithinPathLimit(std::move(result));
}

std::vector<AssociationFailure> RegisterShellAssociation(std::string_view executablePath, Registry& registry,
                                                         std::string_view shortPath) {
  if (executablePath.find('%') != std::string_view::npos) {
    if (shortPath.empty() || shortPath.find('%') != std::string_view::npos) {
      return {{text::kAssociationSkipped, {0, text::kReasonPercentInPath}}};
    }
    executablePath = shortPath;
  }
  // Both parts quoted, so the program and the demo may lie in folders with blanks.
  std::string command;
  command.append("\"").append(executablePath).append("\" \"%1\"");
  std::string icon(executablePath);
  icon.append(",0");
  const std::string values[] = {command, icon, "rewindor"};
  std::vector<AssociationFailure> failures;

  for (std::size_t i = 0; i < std::size(kAssociationKeys); ++i) {
    const AssociationKey& row = kAssociationKeys[i];
    if (std::uint32_t status = registry.CreateKey(row.key); status != 0) {
      failures.push_back({row.createFailure, registry.Describe(status)});
      continue;
    }
    if (std::uint32_t status = registry.SetValue("", kRegistryTextType, EncodeRegistryText(values[i])); status != 0) {
      failures.push_back({row.writeFailure, registry.Describe(status)});
    }
    registry.CloseKey();
  }
  return failures;
}

}  // namespace rewindor
