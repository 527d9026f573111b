// The Half-Life engine's demo file as this program sees it: the 544-byte
// header, the directory at the end of the file, and the frame layout that the
// resolution detector walks. All numbers are little-endian.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "demo/bytes.h"

namespace rewindor {

// DemoHeader offsets.
inline constexpr std::size_t kHeaderSize = 544;
inline constexpr std::size_t kSignatureOffset = 0;
inline constexpr std::size_t kSignatureSize = 8;
// Every demo starts with these bytes; only a file that does is ever edited.
inline constexpr std::uint8_t kDemoSignature[] = {'H', 'L', 'D', 'E', 'M', 'O', 0};
inline bool HasDemoSignature(ByteView image) {
  return image.size() >= sizeof kDemoSignature &&
         std::equal(std::begin(kDemoSignature), std::end(kDemoSignature), image.begin());
}
// The 544-byte header is that of demo protocol 5.
inline constexpr std::int32_t kHeaderDemoProtocol = 5;
inline constexpr std::size_t kDemoProtocolOffset = 8;
inline constexpr std::size_t kNetworkProtocolOffset = 12;
// A demo as this program can use it: the signature and a whole header of demo
// protocol 5. Anything else is no demo: nothing to play, finish or repair.
inline bool IsUsableDemo(ByteView image) {
  return image.size() >= kHeaderSize && HasDemoSignature(image) &&
         ByteReader(image, kDemoProtocolOffset).I32() == kHeaderDemoProtocol;
}
inline constexpr std::size_t kMapNameOffset = 16;
inline constexpr std::size_t kGameDirOffset = 276;
inline constexpr std::size_t kHeaderTextSize = 260;
inline constexpr std::size_t kMapChecksumOffset = 536;  // never interpreted, never changed
inline constexpr std::size_t kDirectoryOffsetOffset = 540;

// Texts are kept to at most this many bytes: a 260-byte buffer with its terminator.
inline constexpr std::size_t kMaxPathChars = 259;
// The demo speed the game is given holds at most this many characters (a 20-byte buffer).
inline constexpr std::size_t kMaxDemoSpeedChars = 19;

// The demo directory: a 32-bit entry count, then 92-byte entries.
inline constexpr std::size_t kDirectoryEntrySize = 92;
inline constexpr std::size_t kEntryTypeOffset = 0;
inline constexpr std::size_t kEntryTitleOffset = 4;
inline constexpr std::size_t kEntryTitleSize = 64;
inline constexpr std::size_t kEntryFlagsOffset = 68;
inline constexpr std::size_t kEntryCdTrackOffset = 72;
inline constexpr std::size_t kEntryTrackTimeOffset = 76;
inline constexpr std::size_t kEntryFrameCountOffset = 80;
inline constexpr std::size_t kEntrySegmentOffsetOffset = 84;
inline constexpr std::size_t kEntrySegmentLengthOffset = 88;
// The engine refuses directories with more entries than this.
inline constexpr std::int32_t kMaxDirectoryEntries = 1024;

// Frames inside a segment: a 9-byte frame header (type u8, time f32, frame i32).
inline constexpr std::size_t kFrameHeaderSize = 9;
enum FrameType : std::uint8_t {
  kFrameNetMsgStart = 0,  // network message frames of the loading segment
  kFrameNetMsg = 1,
  kFrameDemoStart = 2,
  kFrameConsoleCommand = 3,
  kFrameClientData = 4,
  kFrameNextSection = 5,
  kFrameEvent = 6,
  kFrameWeaponAnim = 7,
  kFrameSound = 8,
  kFrameDemoBuffer = 9,
};
inline constexpr std::size_t kConsoleCommandSize = 64;
inline constexpr std::size_t kClientDataSize = 32;
inline constexpr std::size_t kEventSize = 84;
inline constexpr std::size_t kWeaponAnimSize = 8;
// A sound frame: channel (i32), sample length (i32), the sample, then
// attenuation, volume, flags and pitch (4 bytes each). A demo buffer frame: a
// length (i32), then that many bytes.
inline constexpr std::size_t kSoundTailSize = 16;

// A network message frame's fixed part after the frame header: timestamp (4),
// the view parameters (232), the user command (52), the movement variables
// (132), view (12), view model (4), seven sequence numbers (28), then the
// 32-bit length of the message bytes that follow.
inline constexpr std::size_t kRefParamsOffset = 4;  // from the end of the frame header
inline constexpr std::size_t kRefParamsSize = 232;
inline constexpr std::size_t kViewportInRefParams = 208;  // x, y, width, height (i32 each)
inline constexpr std::size_t kNetMsgFixedSize = 464;      // up to the message length field
inline constexpr std::size_t kNetMsgLengthSize = 4;
// The frame header and the fixed fields: a frame's first message starts this far into it.
inline constexpr std::size_t kNetMsgDataOffset = kFrameHeaderSize + kNetMsgFixedSize + kNetMsgLengthSize;  // 477
// The engine's limit for one frame's message bytes.
inline constexpr std::uint32_t kMaxNetMsgLength = 65536;

// Two server messages (numbered in demo/net_messages.h) that can be read
// without decoding the bit-packed ones around them. Server info: protocol
// (i32), spawn count (i32), map CRC (u32), the client DLL's hash (16), max
// players (u8), the recording player's slot (u8, 0-based), deathmatch (u8),
// then the game folder, host name, map and map cycle, each zero-terminated,
// then a byte that, when non-zero, is followed by 21 more. User info update: slot (u8), user id (i32), the info string
// ("\key\value..."), its zero, then a 16-byte hash.
inline constexpr std::size_t kServerInfoHashSize = 16;
inline constexpr std::size_t kServerInfoExtraSize = 21;
inline constexpr std::size_t kUserInfoHashSize = 16;
// The engine's limits: an info string with its terminator, players on a server.
inline constexpr std::size_t kMaxInfoString = 256;
inline constexpr int kMaxClients = 32;

// The header fields as the information reader shows them. A field that the
// file does not hold (a file shorter than the header) is empty.
struct DemoHeader {
  std::string demoVersion;     // the byte at offset 8 as a signed decimal, or empty
  std::string networkVersion;  // the byte at offset 12 as a signed decimal, or empty
  std::string mapName;         // up to its first zero byte, at most 259 bytes
  std::string gameDir;         // likewise
};

DemoHeader DecodeDemoHeader(ByteView image);

// The text of a zero-terminated field of `size` bytes at `offset`, cut at its
// first zero byte, at the end of the image, and at 259 bytes.
std::string HeaderText(ByteView image, std::size_t offset, std::size_t size);

}  // namespace rewindor
