// An opened demo read once, front to back, through a window of fixed size:
// the frame walk's source (frames.h FrameSource) for the readers that need
// no more than one pass, whatever the demo's size. Every byte of the file is
// handed, in file order, to a scan (the marker scan) before it is let go.
// The memory held is the window and a reserve for the largest frame, never
// the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "demo/bytes.h"
#include "demo/files.h"
#include "demo/frames.h"
#include "demo/info.h"

namespace rewindor {

// Each read of the file asks for this many bytes.
inline constexpr std::size_t kFileWindowSize = std::size_t{1} << 20;

// What sees every byte of the file in order. Scan tests the positions from
// where the last call stopped up to `to`, given `piece`, the file's bytes from
// `base` on: they hold the byte before the first position not tested yet and
// reach kStreamScanLookahead bytes past `to`, or the file's end.
inline constexpr std::size_t kStreamScanLookahead = kMarkerLookahead;
class StreamScan {
 public:
  virtual ~StreamScan() = default;
  virtual void Scan(ByteView piece, std::size_t base, std::size_t to) = 0;
};

class FileWindow {
 public:
  // `size`: the file's size as asked when it was opened; the file is read up
  // to there, never further. `window`: the bytes each read asks for (tests
  // take a few).
  FileWindow(DemoFile& file, std::size_t size, StreamScan& scan, std::size_t window = kFileWindowSize);

  std::size_t size() const { return size_; }
  ByteView Bytes(std::size_t pos, std::size_t n);
  ByteView Aside(std::size_t pos, std::size_t n);
  void Hold(std::size_t pos) { hold_ = pos; }

  // Reads and scans what is left of the file. False when a read failed
  // (the file got shorter, or the system's error): then nothing read counts.
  bool Finish();
  bool ok() const { return ok_; }
  // Bytes read from the file, the directory's read and any read again included.
  std::uint64_t bytesRead() const { return bytesRead_; }

 private:
  bool ReadOn();
  void MakeRoom(std::size_t pos);
  void ScanWhatCan();
  std::size_t held() const { return end_ - start_; }

  DemoFile& file_;
  StreamScan& scan_;
  std::size_t size_;
  std::size_t window_;
  std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> buffer_;  // the file's bytes from start_ to end_; never zero-filled
  std::size_t start_ = 0, end_ = 0;
  std::size_t scanned_ = 0;  // the scan has tested every position before it
  std::size_t hold_ = 0;
  std::vector<std::uint8_t> aside_;  // the file's bytes from asideStart_ on
  std::size_t asideStart_ = 0;
  std::uint64_t bytesRead_ = 0;
  bool ok_ = true;
};

}  // namespace rewindor
