#include "demo/image_buffer.h"

#include <memory>
#include <new>

namespace rewindor {

namespace {

// Where the system offers them, large blocks come from huge pages, as whole
// demos' do (demo/bytes.h).
#if defined(__linux__)
using BlockAllocator = ImageAllocator<std::uint8_t>;
#else
using BlockAllocator = std::allocator<std::uint8_t>;
#endif

// Growth in steps, so that demos a little larger than the last cost no new block.
constexpr std::size_t kGrowthStep = std::size_t{64} << 10;

}  // namespace

ImageBuffer::~ImageBuffer() { Release(); }

void ImageBuffer::Release() {
  if (data_ != nullptr) BlockAllocator().deallocate(data_, capacity_);
  data_ = nullptr;
  capacity_ = 0;
}

ReadOutcome ImageBuffer::Read(DemoFile& file, ByteView& image) {
  std::size_t size = 0;
  if (ReadOutcome sized = ReadableSize(file, size); sized != ReadOutcome::kOk) return sized;
  if (size > capacity_) {
    Release();  // first, so that the old block and the new are never held at once
    // A size is at most half the address space (ReadableSize): the step cannot overflow.
    const std::size_t wanted = size + (kGrowthStep - size % kGrowthStep) % kGrowthStep;
    try {
      data_ = BlockAllocator().allocate(wanted);
      capacity_ = wanted;
    } catch (const std::bad_alloc&) {
      return ReadOutcome::kNoMemory;
    }
  }
  if (!file.Read(MutableByteView(data_, size))) return ReadOutcome::kShortRead;
  image = ByteView(data_, size);
  return ReadOutcome::kOk;
}

}  // namespace rewindor
