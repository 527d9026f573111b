#include "demo/names.h"

#include "demo/messages.h"

namespace rewindor {

namespace {

// FNV-1a, 64 bits, then mixed (the murmur finaliser) so that the low bits
// that pick a slot depend on every byte; never 0, which marks an empty slot.
std::uint64_t NameHash(std::string_view name) {
  std::uint64_t h = 0xCBF29CE484222325ULL;
  for (char c : name) h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ULL;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  return h == 0 ? 1 : h;
}

constexpr std::size_t kFirstUnlistedSlots = 1024;

// Puts `hash` in the table unless it is there; true when it was new.
bool Insert(std::vector<std::uint64_t>& table, std::uint64_t hash) {
  const std::size_t mask = table.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
    if (table[i] == hash) return false;
    if (table[i] == 0) {
      table[i] = hash;
      return true;
    }
  }
}

}  // namespace

std::string NotListedText(std::uint64_t count) {
  std::string text = text::kNamesNotListed;
  const std::size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(count));
  return text;
}

bool NameTally::Add(std::string_view name) {
  if (keptSet_.count(name) != 0) return false;  // a kept name again, as spelled
  std::string keyed;
  if (key_) {
    keyed = key_(name);
    if (keptKeys_.count(keyed) != 0) return false;  // another spelling of a kept name
  }
  const std::string_view key = key_ ? std::string_view(keyed) : name;
  if (kept_.size() < kMaxListedNames) {
    const std::string_view copy = copies_.emplace_back(name);
    keptSet_.insert(copy);
    if (key_) keptKeys_.insert(std::move(keyed));
    kept_.push_back(copy);
    return true;
  }
  Count(key);
  return false;
}

void NameTally::Count(std::string_view key) {
  const std::uint64_t hash = NameHash(key);
  const bool full = unlistedUsed_ >= unlisted_.size() / 4 * 3;
  if (full && unlisted_.size() < kMaxUnlistedSlots) {
    std::vector<std::uint64_t> grown(unlisted_.empty() ? kFirstUnlistedSlots : unlisted_.size() * 2, 0);
    for (std::uint64_t h : unlisted_) {
      if (h != 0) Insert(grown, h);
    }
    unlisted_ = std::move(grown);
  } else if (full) {
    // The table is at its largest and full: a name not in it is counted
    // without being kept.
    const std::size_t mask = unlisted_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask; unlisted_[i] != 0; i = (i + 1) & mask) {
      if (unlisted_[i] == hash) return;
    }
    ++notListed_;
    return;
  }
  if (Insert(unlisted_, hash)) {
    ++unlistedUsed_;
    ++notListed_;
  }
}

}  // namespace rewindor
