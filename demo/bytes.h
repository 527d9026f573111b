// Byte buffers and bounds-checked little-endian access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace rewindor {

#if defined(__linux__)
// Whole demos are held in memory. Fresh memory costs a page fault for every
// page touched, and on some machines that costs more than the read itself,
// so on Linux large blocks come from huge pages where the system has them.
// Contents and semantics are those of std::allocator.
template <class T>
struct ImageAllocator {
  using value_type = T;
  static constexpr std::size_t kLargeBlock = std::size_t{4} << 20;

  ImageAllocator() = default;
  template <class U>
  ImageAllocator(const ImageAllocator<U>&) noexcept {}  // NOLINT: converting, as allocators are

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    if (n * sizeof(T) >= kLargeBlock) {
      void* p = ::mmap(nullptr, n * sizeof(T), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p == MAP_FAILED) throw std::bad_alloc();
      ::madvise(p, n * sizeof(T), MADV_HUGEPAGE);
      return static_cast<T*>(p);
    }
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) >= kLargeBlock) {
      ::munmap(p, n * sizeof(T));
      return;
    }
    ::operator delete(p);
  }
  template <class U>
  bool operator==(const ImageAllocator<U>&) const noexcept {
    return true;
  }
};

using Bytes = std::vector<std::uint8_t, ImageAllocator<std::uint8_t>>;
#else
using Bytes = std::vector<std::uint8_t>;
#endif
using ByteView = std::span<const std::uint8_t>;
using MutableByteView = std::span<std::uint8_t>;

inline std::uint32_t LoadU32LE(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t LoadI32LE(const std::uint8_t* p) { return static_cast<std::int32_t>(LoadU32LE(p)); }
inline std::uint16_t LoadU16LE(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
// A float's bits as the demo holds them (IEEE 754 single precision).
inline float LoadF32LE(const std::uint8_t* p) {
  const std::uint32_t bits = LoadU32LE(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}
inline void StoreU32LE(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void StoreI32LE(std::uint8_t* p, std::int32_t v) { StoreU32LE(p, static_cast<std::uint32_t>(v)); }
inline void StoreF32LE(std::uint8_t* p, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  StoreU32LE(p, bits);
}
inline void StoreU16LE(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

// Reads forward through a byte span. Every read checks the bounds with 64-bit
// arithmetic; the first failure sets an error that stays set, and every later
// read then yields zero, so a caller may read a whole record and test once.
class ByteReader {
 public:
  explicit ByteReader(ByteView data, std::size_t pos = 0) : data_(data), pos_(pos) {
    if (pos > data.size()) fail_ = true;
  }

  bool ok() const { return !fail_; }
  std::size_t pos() const { return pos_; }
  std::size_t remaining() const { return fail_ ? 0 : data_.size() - pos_; }

  bool Skip(std::uint64_t n) {
    if (!Has(n)) return false;
    pos_ += static_cast<std::size_t>(n);
    return true;
  }
  std::uint8_t U8() { return Has(1) ? data_[pos_++] : 0; }
  std::uint16_t U16() {
    if (!Has(2)) return 0;
    std::uint16_t v = LoadU16LE(data_.data() + pos_);
    pos_ += 2;
    return v;
  }
  std::int32_t I32() {
    if (!Has(4)) return 0;
    std::int32_t v = LoadI32LE(data_.data() + pos_);
    pos_ += 4;
    return v;
  }
  std::uint32_t U32() { return static_cast<std::uint32_t>(I32()); }
  float F32() {
    if (!Has(4)) return 0;
    float v = LoadF32LE(data_.data() + pos_);
    pos_ += 4;
    return v;
  }
  // A text up to its zero, which is passed over; one that runs to the end of
  // the data ends there. None (and the error set) at the end of the data.
  std::string_view Text() {
    if (!Has(1)) return {};
    const auto* start = reinterpret_cast<const char*>(data_.data() + pos_);
    const std::size_t room = data_.size() - pos_;
    const void* zero = std::memchr(start, 0, room);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - start) : room;
    pos_ += zero ? length + 1 : length;
    return {start, length};
  }
  // A view of the next n bytes, or an empty view (and the error set) when they are not there.
  ByteView Take(std::uint64_t n) {
    if (!Has(n)) return {};
    ByteView v = data_.subspan(pos_, static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return v;
  }

 private:
  bool Has(std::uint64_t n) {
    if (fail_ || n > static_cast<std::uint64_t>(data_.size() - pos_)) {
      fail_ = true;
      return false;
    }
    return true;
  }

  ByteView data_;
  std::size_t pos_ = 0;
  bool fail_ = false;
};

inline ByteView AsBytes(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }
inline std::string AsString(ByteView b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

}  // namespace rewindor
