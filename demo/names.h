// Player names in bounded memory: a real demo names at most a few hundred
// players, a hostile one millions. The first names are kept in first-seen
// order; the others are only counted, and shown as "и ещё N".
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace rewindor {

// Distinct names kept per list (the information scan's players, the user-info
// roster): far above any real demo.
inline constexpr std::size_t kMaxListedNames = 1024;

// The distinct names beyond those kept are counted by their 64-bit hashes in
// a table that grows up to this many slots (8 bytes each: 32 MiB), filled to
// three quarters at most. The count is exact (but for a hash collision, about
// one in 10^12 for a million names) while the table holds them, up to
// 3,145,728 names beyond those kept; once it is full, each further name that
// is not in the table is counted every time it occurs, so the count can only
// come out too high.
inline constexpr std::size_t kMaxUnlistedSlots = std::size_t{1} << 22;

// "и ещё N": the line that stands for the names not listed.
std::string NotListedText(std::uint64_t count);

// What two names that are one have in common (a list that ignores letter
// case: the name in one case); null for the exact bytes.
using NameKeyOf = std::function<std::string(std::string_view name)>;

// The distinct names given to it, by their keys: the first kMaxListedNames
// distinct ones are kept (the first spelling of each), the rest counted, so
// that names the key makes one never use up the list. The names kept are
// copies: a name given may be let go once Add returns (a demo read piece by
// piece).
class NameTally {
 public:
  explicit NameTally(NameKeyOf key = nullptr) : key_(std::move(key)) {}
  // True when the name is new and kept.
  bool Add(std::string_view name);
  const std::vector<std::string_view>& kept() const { return kept_; }
  // Distinct names beyond the kept ones (see kMaxUnlistedSlots).
  std::uint64_t notListed() const { return notListed_; }

 private:
  void Count(std::string_view key);

  NameKeyOf key_;
  std::deque<std::string> copies_;  // of the names kept; a deque never moves them
  std::vector<std::string_view> kept_;
  std::unordered_set<std::string_view> keptSet_;  // the kept names, as spelled
  std::unordered_set<std::string> keptKeys_;      // their keys, with a key function
  std::vector<std::uint64_t> unlisted_;           // open addressing; 0 is an empty slot
  std::size_t unlistedUsed_ = 0;
  std::uint64_t notListed_ = 0;
};

}  // namespace rewindor
