// One block of memory that a batch of demo reads shares (the tool's `info`
// over a folder, the library's reader): it grows to the largest demo read so
// far and is never zero-filled, so each further demo costs neither an
// allocation nor the first touch of fresh pages, and the memory held is
// bounded by the largest demo, not by the folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "demo/bytes.h"
#include "demo/files.h"

namespace rewindor {

class ImageBuffer {
 public:
  ImageBuffer() = default;
  ~ImageBuffer();
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;

  // Reads an opened demo whole, as ReadWhole does. On kOk `image` views its
  // bytes until the next Read; on any other outcome `image` is untouched.
  ReadOutcome Read(DemoFile& file, ByteView& image);

  // The bytes held: at least the largest demo read, at most a 64 KiB step more.
  std::size_t capacity() const { return capacity_; }

 private:
  void Release();

  std::uint8_t* data_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace rewindor
