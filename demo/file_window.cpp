#include "demo/file_window.h"

#include <algorithm>
#include <cstring>

namespace rewindor {

namespace {

// Beside the window the buffer keeps room for what a request may need at
// once: a whole network frame with the head of the frame after it, and the
// bytes the scan looks ahead.
constexpr std::size_t kReserve = kMaxNetworkFrame + kMaxFrameHead + kStreamScanLookahead + 64;
// A read beside the window: the largest directory, its count and entries.
constexpr std::size_t kAsideRead = 4 + std::size_t{kMaxDirectoryEntries} * kDirectoryEntrySize;

}  // namespace

FileWindow::FileWindow(DemoFile& file, std::size_t size, StreamScan& scan, std::size_t window)
    : file_(file),
      scan_(scan),
      size_(size),
      window_(std::clamp<std::size_t>(window, 1, std::max<std::size_t>(size, 1))),
      capacity_(window_ + kReserve),
      buffer_(new std::uint8_t[capacity_]) {}

ByteView FileWindow::Bytes(std::size_t pos, std::size_t n) {
  if (!ok_ || pos > size_) return {};
  n = std::min(n, size_ - pos);
  if (n > kReserve) return {};  // no walk asks for more at once
  if (pos < start_) {
    // Read again from `pos` (the walk looked ahead and comes back): the scan
    // takes what it can first, and sees no byte twice.
    ScanWhatCan();
    start_ = end_ = pos;
  }
  while (end_ < pos + n) {
    if (held() + window_ > capacity_) MakeRoom(pos);
    if (!ReadOn()) return {};
  }
  return ByteView(buffer_.get() + (pos - start_), n);
}

ByteView FileWindow::Aside(std::size_t pos, std::size_t n) {
  if (!ok_ || pos > size_) return {};
  n = std::min(n, size_ - pos);
  if (pos >= start_ && pos + n <= end_) return ByteView(buffer_.get() + (pos - start_), n);
  if (pos < asideStart_ || pos + n > asideStart_ + aside_.size()) {
    // As much as the largest directory, so that its count and its entries come in one read.
    aside_.resize(std::min(std::max(n, kAsideRead), size_ - pos));
    asideStart_ = pos;
    if (!file_.ReadAt(pos, aside_)) {
      ok_ = false;
      return {};
    }
    bytesRead_ += aside_.size();
  }
  return ByteView(aside_).subspan(pos - asideStart_, n);
}

bool FileWindow::Finish() {
  hold_ = size_;
  while (ok_ && end_ < size_) {
    if (held() + window_ > capacity_) MakeRoom(end_);
    ReadOn();
  }
  ScanWhatCan();
  return ok_ && scanned_ == size_;
}

// Reads the next piece at the end of what is held, as much as the window
// asks and the buffer holds.
bool FileWindow::ReadOn() {
  const std::size_t want = std::min({window_, size_ - end_, capacity_ - held()});
  if (want == 0 || !file_.ReadAt(end_, MutableByteView(buffer_.get() + held(), want))) {
    ok_ = false;
    return false;
  }
  end_ += want;
  bytesRead_ += want;
  return true;
}

// Lets go of the bytes before `pos` that the scan and the walk are done with.
void FileWindow::MakeRoom(std::size_t pos) {
  ScanWhatCan();
  const std::size_t scanKeeps = scanned_ == 0 ? 0 : scanned_ - 1;  // the byte before, which the scan reads
  std::size_t keep = std::min({pos, hold_, scanKeeps});
  // A walk that looked far ahead is no longer held to: its frame is read again.
  if (end_ - std::max(keep, start_) + window_ > capacity_) keep = std::min(pos, scanKeeps);
  keep = std::clamp(keep, start_, end_);
  std::memmove(buffer_.get(), buffer_.get() + (keep - start_), end_ - keep);
  start_ = keep;
}

// Scans every position whose look-ahead is held, and the rest at the file's end.
void FileWindow::ScanWhatCan() {
  if (!ok_ || scanned_ < start_ + (scanned_ > 0 ? 1 : 0) || scanned_ > end_) return;
  const std::size_t to = end_ == size_ ? size_ : (end_ > kStreamScanLookahead ? end_ - kStreamScanLookahead : 0);
  if (to <= scanned_) return;
  scan_.Scan(ByteView(buffer_.get(), held()), start_, to);
  scanned_ = to;
}

}  // namespace rewindor
