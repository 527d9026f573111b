// The network messages inside a demo's frames. A network frame (types 0 and 1)
// carries a block of messages the server sent: engine messages 0-58, some of
// them bit-packed against delta descriptions the demo itself carries, and user
// messages 64-255 whose numbers, sizes and names the server registered earlier
// in the same demo. The decoder finds where each message starts and how long
// it is, and carries from frame to frame what later frames need to be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "demo/bytes.h"
#include "demo/file_window.h"
#include "demo/files.h"
#include "demo/frames.h"

namespace rewindor {

// The engine messages that the layers above look at by number.
enum EngineMessage : std::uint8_t {
  kSvcNop = 1,
  kSvcPrint = 8,
  kSvcStuffText = 9,
  kSvcServerInfo = 11,
  kSvcUpdateUserInfo = 13,
  kSvcNewUserMessage = 39,
};
inline constexpr std::uint8_t kLastEngineMessage = 58;
inline constexpr std::uint8_t kFirstUserMessage = 64;

// One message of a frame's block.
struct NetMessage {
  std::uint8_t id = 0;
  // The engine's name ("svc_print") or the name the server registered
  // ("DeathMsg"); a registered name is the decoder's until it registers that
  // number again.
  std::string_view name;
  std::size_t offset = 0;  // in the file, of the message's number byte
  std::size_t length = 0;  // every byte: the number, a length byte where there is one, the payload
  // The bytes after the number and any length byte; of a bit-packed message,
  // every byte its bits touch.
  ByteView payload;
};

// Where a frame stands in the demo.
struct FramePlace {
  std::size_t segment = 0;  // the walk's segment, which is the directory entry's index
  std::size_t index = 0;    // within its segment, every frame type counted from 0
  const Frame* frame = nullptr;
};

// Why a frame's block did not decode to its end, and where.
struct FrameFailure {
  std::size_t offset = 0;  // in the file, where the decoder stopped
  std::string reason;
};

// Receives the decoded messages. For each network frame: OnMessage for each
// message in order, then OnFrameEnd, with the failure when the block did not
// decode exactly to its stated length (the messages before the fault came).
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void OnMessage(const FramePlace& place, const NetMessage& message) = 0;
  virtual void OnFrameEnd(const FramePlace& place, const FrameFailure* failure) = 0;
};

struct DecodeTotals {
  std::uint64_t frames = 0;  // network frames
  std::uint64_t decoded = 0;
  std::uint64_t failed = 0;
  // Set, in words, when the demo's messages are not decoded at all (a demo
  // of an older protocol, a file that is not a demo); nothing was sent then.
  std::string notDecoded;
};

// Decodes network frames one at a time, in file order, carrying what later
// frames need: the user messages registered, the delta descriptions, the
// server's number of players, the instanced baselines, whether the demo is
// an HLTV proxy's. Its memory is fixed, whatever the frames hold.
class MessageDecoder {
 public:
  MessageDecoder();
  ~MessageDecoder();
  MessageDecoder(const MessageDecoder&) = delete;
  MessageDecoder& operator=(const MessageDecoder&) = delete;

  // Decodes one network frame's message block, which starts at `blockOffset`
  // in the file, handing each message and then the frame's end to the sink.
  // True when the block decoded exactly to its end.
  bool DecodeFrame(const FramePlace& place, ByteView block, std::size_t blockOffset, MessageSink& sink);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Why the messages of the demo are not decoded at all (a file that is not a
// demo, an older protocol), or empty when they are.
std::string MessagesNotDecoded(ByteView image);

// Decodes every network frame of the demo, in file order, as the one frame
// walk finds them. Time and memory are linear in the demo's size.
DecodeTotals DecodeDemoMessages(ByteView image, MessageSink& sink);
// The same from an opened demo, read once, front to back, through a window
// of fixed size (file_window.h): memory does not grow with the demo. A read
// that fails (the file got shorter, the system's error) is kShortRead, after
// the frames before it were handed to the sink; `totals` is then untouched.
ReadOutcome DecodeDemoMessages(DemoFile& file, MessageSink& sink, DecodeTotals& totals,
                               std::size_t window = kFileWindowSize);

}  // namespace rewindor
