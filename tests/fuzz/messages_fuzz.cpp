// Fuzzes the message decoder. Input that starts as a demo does is decoded as
// a whole demo; any other is taken as message blocks, each after a 16-bit
// length, decoded one after another by one decoder as a demo's frames are.
// Every message lies within its block, each after the one before; a decoded
// block is covered exactly; a failure lies within its block.
#include <cstdint>
#include <cstdlib>

#include "demo/demo_format.h"
#include "demo/frames.h"
#include "demo/net_messages.h"

using namespace rewindor;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

class CheckingSink final : public MessageSink {
 public:
  // The next block; a demo's frame tells its own.
  void Begin(std::size_t offset, std::size_t size) {
    next_ = offset;
    end_ = offset + size;
    begun_ = true;
  }
  void OnMessage(const FramePlace& place, const NetMessage& message) override {
    BeginFrame(place);
    Check(message.offset == next_ && message.length >= 1 && message.length <= end_ - message.offset);
    Check(message.payload.size() < message.length && !message.name.empty());
    next_ = message.offset + message.length;
  }
  void OnFrameEnd(const FramePlace& place, const FrameFailure* failure) override {
    BeginFrame(place);
    Check(failure == nullptr ? next_ == end_
                             : failure->offset == next_ && failure->offset < end_ && !failure->reason.empty());
    begun_ = false;
    ++frames_;
  }
  std::uint64_t frames_ = 0;

 private:
  void BeginFrame(const FramePlace& place) {
    if (!begun_ && place.frame != nullptr) {
      Begin(place.frame->offset + kNetMsgDataOffset, NetworkMessages(*place.frame).size());
    }
  }
  std::size_t next_ = 0, end_ = 0;
  bool begun_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteView input(data, size);
  CheckingSink sink;
  if (HasDemoSignature(input)) {
    const DecodeTotals totals = DecodeDemoMessages(input, sink);
    Check(totals.frames == totals.decoded + totals.failed && totals.frames == sink.frames_);
    Check(totals.notDecoded.empty() || totals.frames == 0);
    return 0;
  }
  MessageDecoder decoder;
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
