// Fuzzes the message decoder. Input that starts as a demo does is decoded as
// a whole demo; any other is taken as message blocks, each after a 16-bit
// length, decoded one after another by one decoder as a demo's frames are.
// Every message lies within its block, each after the one before; a decoded
// block is covered exactly; a failure lies within its block.
#include <cstdint>
#include <cstdlib>

#include "demo/demo_format.h"
#include "demo/net_messages.h"

using namespace rewindor;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

class CheckingSink final : public MessageSink {
 public:
  void Begin(std::size_t offset, std::size_t size) {
    next_ = offset;
    end_ = offset + size;
  }
  void OnMessage(const FramePlace&, const NetMessage& message) override {
    Check(message.offset == next_ && message.length >= 1 && message.length <= end_ - message.offset);
    Check(message.payload.size() < message.length && !message.name.empty());
    next_ = message.offset + message.length;
  }
  void OnFrameEnd(const FramePlace&, const FrameFailure* failure) override {
    if (failure == nullptr) {
      Check(next_ == end_);
    } else {
      Check(failure->offset == next_ && failure->offset < end_ && !failure->reason.empty());
    }
    ++frames_;
  }
  std::uint64_t frames_ = 0;

 private:
  std::size_t next_ = 0, end_ = 0;
};

// A demo's sink does not know where its blocks lie: it checks the order only.
class DemoSink final : public MessageSink {
 public:
  void OnMessage(const FramePlace& place, const NetMessage& message) override {
    Check(place.frame != nullptr && message.offset >= place.frame->offset + kNetMsgDataOffset);
    Check(message.offset + message.length <= place.frame->end());
  }
  void OnFrameEnd(const FramePlace& place, const FrameFailure* failure) override {
    Check(failure == nullptr || failure->offset < place.frame->end());
    ++frames_;
  }
  std::uint64_t frames_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteView input(data, size);
  if (HasDemoSignature(input)) {
    DemoSink sink;
    const DecodeTotals totals = DecodeDemoMessages(input, sink);
    Check(totals.frames == totals.decoded + totals.failed && totals.frames == sink.frames_);
    Check(totals.notDecoded.empty() || totals.frames == 0);
    return 0;
  }
  MessageDecoder decoder;
  CheckingSink sink;
  std::size_t pos = 0, index = 0;
  while (size - pos >= 2) {
    const std::size_t length = std::min<std::size_t>(LoadU16LE(data + pos), size - pos - 2);
    pos += 2;
    sink.Begin(pos, length);
    decoder.DecodeFrame({1, index++, nullptr}, input.subspan(pos, length), pos, sink);
    Check(sink.frames_ == index);
    pos += length;
  }
  return 0;
}
