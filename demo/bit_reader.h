// Reads the bit-packed sections of network messages as the engine writes
// them: least significant bit first, each byte's bits from its lowest up,
// fields of up to 32 bits. A bit section ends at the byte after its last bit
// and always takes at least one byte. Every read checks the end; the first
// read past it sets an error that stays set, and every later read yields 0.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "demo/bytes.h"

namespace rewindor {

class BitReader {
 public:
  // Reads `data` from byte `start` on.
  BitReader(ByteView data, std::size_t start)
      : data_(data.data()),
        size_(data.size()),
        startByte_(start),
        bit_(std::uint64_t{start} * 8),
        end_(std::uint64_t{data.size()} * 8) {
    if (start > data.size()) fail_ = true;
  }

  bool ok() const { return !fail_; }
  std::uint64_t bit() const { return bit_; }

  // The next `n` bits (0 to 32) as an unsigned number.
  std::uint32_t Read(unsigned n) {
    if (!Has(n)) return 0;
    const std::uint32_t v = Load(n);
    bit_ += n;
    return v;
  }
  std::uint32_t Peek(unsigned n) {
    if (fail_ || n > end_ - bit_) return 0;
    return Load(n);
  }
  bool ReadBit() { return Read(1) != 0; }
  // A sign-and-magnitude number of `n` bits (1 to 32): the sign bit, then
  // n - 1 bits of magnitude.
  std::int32_t ReadSigned(unsigned n) {
    const bool negative = ReadBit();
    const auto magnitude = static_cast<std::int32_t>(Read(n - 1));
    return negative ? -magnitude : magnitude;
  }
  void Skip(std::uint64_t n) {
    if (Has(n)) bit_ += n;
  }
  // A string of 8-bit characters up to its zero, seven characters a step
  // where the data holds eight more bytes.
  void SkipString() {
    constexpr std::uint64_t kLows = 0x0001010101010101, kHighs = 0x0080808080808080;
    while (!fail_) {
      const std::size_t byte = static_cast<std::size_t>(bit_ >> 3);
      if (byte + 8 > size_ || end_ - bit_ < 64) {
        if (Read(8) == 0) return;
        continue;
      }
      std::uint64_t word;
      std::memcpy(&word, data_ + byte, 8);
      word = (word >> (bit_ & 7)) & 0x00FFFFFFFFFFFFFF;             // the next seven characters
      const std::uint64_t zeros = (word - kLows) & ~word & kHighs;  // the lowest mark is the first zero
      if (zeros == 0) {
        bit_ += 56;
        continue;
      }
      bit_ += 8 * (static_cast<std::uint64_t>(std::countr_zero(zeros)) / 8 + 1);
      return;
    }
  }
  // One coordinate: integer and fraction flags, then a sign, 12 bits of
  // integer and 3 of fraction where flagged.
  void SkipCoord() {
    const bool whole = ReadBit();
    const bool fraction = ReadBit();
    if (!whole && !fraction) return;
    Skip(1 + (whole ? 12 : 0) + (fraction ? 3 : 0));
  }
  // Three coordinates, each flagged first.
  void SkipVec3Coord() {
    const unsigned flags = Read(3);
    for (unsigned axis = 0; axis < 3; ++axis) {
      if (flags & (1u << axis)) SkipCoord();
    }
  }

  // Where the bytes after the section begin: after the byte that holds its
  // last bit, and at least one byte after its start, as the engine ends a
  // bit section. May lie past the data when the section took no bit of it.
  std::size_t EndByte() const {
    const std::size_t after = static_cast<std::size_t>((bit_ + 7) / 8);
    return after > startByte_ ? after : startByte_ + 1;
  }

 private:
  bool Has(std::uint64_t n) {
    if (fail_ || n > end_ - bit_) {
      fail_ = true;
      return false;
    }
    return true;
  }
  // The `n` bits at bit_, which the data holds.
  std::uint32_t Load(unsigned n) const {
    if (n == 0) return 0;
    const std::size_t byte = static_cast<std::size_t>(bit_ >> 3);
    std::uint64_t word = 0;
    if (byte + 8 <= size_) {
      std::memcpy(&word, data_ + byte, 8);  // the hosts this builds for are little-endian
    } else {
      for (std::size_t i = 0; i < size_ - byte; ++i) word |= std::uint64_t{data_[byte + i]} << (8 * i);
    }
    word >>= (bit_ & 7);
    return static_cast<std::uint32_t>(word & ((std::uint64_t{1} << n) - 1));
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t startByte_;
  std::uint64_t bit_;
  std::uint64_t end_;
  bool fail_ = false;
};

}  // namespace rewindor
