// net_frame.h -- network message frames and zero-run coding of payloads.
//
// Every message between peers, on a TCP stream and in a UDP datagram alike,
// is one frame: a 24-byte header, the payload and a 4-byte trailer, all
// little-endian:
//
//   offset  width   field
//    0      int32   total length = payload length + 28 (28..4124)
//    4      uint32  check = application check code + total (32-bit wrap)
//    8      uint16  to: receiver's id; any id with bit 15 set = everybody
//   10      uint16  team filter: receivers must share this id's team;
//                   bit 15 set = no filter
//   12      uint16  from: sender's id; 0x7FFF = not known yet
//   14      uint16  type: 0-7 system messages, 8-255 the game's
//   16      uint16  flags (kFrameFlag*)
//   18      2 bytes reserved: written 0, ignored when read
//   20      int32   payload length as carried (after coding), 0..4096
//   24      n bytes payload
//   24 + n  uint32  trailer = check
//
// Peers with different check codes refuse each other's frames: the code
// stands for the application and its version.
//
// Everything here is pure: no sockets, no threads, no allocation. Frames are
// built into and read from caller-owned buffers of kMaxFrameLength bytes.
//
// Notes:
// - The reader never trusts the header's lengths: a frame passes only when
//   28 <= total <= 4124 and payload length == total - 28, so every offset it
//   then reads lies inside the frame, and every step over a stream moves
//   the read position by at least one byte.
// - A coded payload that does not decode (a lone 0x00 at its end, or more
//   than 4096 bytes once expanded) makes the frame bad, never "incomplete":
//   waiting for more bytes would freeze the stream on it for good.
// - The message type is 16 bits on the wire; nothing here bounds it to
//   0..255, so whatever indexes a table by it must check it first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace net {

// [SECTION] Sizes, ids and flags

constexpr int kFrameHeaderLength = 24;
constexpr int kFrameTrailerLength = 4;
constexpr int kFrameOverhead = kFrameHeaderLength + kFrameTrailerLength;  // 28
constexpr int kMaxPayloadLength = 4096;  // before and after coding
constexpr int kMaxFrameLength = kMaxPayloadLength + kFrameOverhead;  // 4124

constexpr uint16_t kIdEverybody = 0xFFFF;   // "to": every peer (any id with bit 15 set)
constexpr uint16_t kNoTeamFilter = 0xFFFF;  // "team filter": none (any id with bit 15 set)
constexpr uint16_t kIdNotKnown = 0x7FFF;    // "from": a client before it has its id
constexpr uint16_t kIdBit15 = 0x8000;

constexpr uint16_t kFrameFlagUdp = 0x0001;        // send by UDP
constexpr uint16_t kFrameFlagHeaderRoom = 0x0002;  // local marker only; never on the wire
constexpr uint16_t kFrameFlagEcho = 0x0004;       // the sender is among a broadcast's receivers
constexpr uint16_t kFrameFlagZeroRuns = 0x8000;   // the payload is zero-run coded

// Results of building and checking frames. -10 means "too long" when
// building and "incomplete" when checking, as the endpoint reports them.
enum : int {
  kFramePayloadTooLong = -10,  // BuildFrame: payload above 4096 bytes (or negative)
  kFrameIncomplete = -10,      // CheckFrame: fewer bytes than the frame's total so far
  kFrameBadHeader = -20,       // check word, total or payload length wrong
  kFrameBadTrailer = -30,      // trailer differs from the check word
  kFrameBadCoding = -35,       // a coded payload that does not decode within 4096 bytes
  kFrameNoOwnId = -40,         // BuildFrame: a peer without an id may only send as 0x7FFF by TCP
};

// [SECTION] Zero-run coding
//
// A run of k zero bytes (1 <= k <= 256) is carried as 0x00, k - 1; longer
// runs are split into runs of 256. Other bytes are carried as they are.

// Codes n bytes of `in` into `out` (room for n bytes). Returns the coded
// length, or -1 when coding does not pay: the coder gives up as soon as its
// output reaches n - 2 bytes before an input byte, so payloads of 1 or 2
// bytes are never coded and a coded payload is always shorter than the
// plain one (by as little as 1 byte when it ends in a new run of one zero).
int CompressZeroRuns(uint8_t* out, const uint8_t* in, int n);

// Decodes n coded bytes of `in` into `out` (room for kMaxPayloadLength
// bytes). Returns the decoded length, or -1 when the coding is broken: a
// 0x00 without its count byte at the end, or more than kMaxPayloadLength
// bytes of output. Never writes past kMaxPayloadLength bytes of `out`.
int ExpandZeroRuns(uint8_t* out, const uint8_t* in, int n);

// [SECTION] Frames

// The header fields as numbers; the reserved bytes are not kept.
struct NetMessageHeader {
  int32_t totalLength = 0;
  uint32_t check = 0;
  uint16_t to = 0;
  uint16_t teamFilter = 0;
  uint16_t from = 0;
  uint16_t type = 0;
  uint16_t flags = 0;
  int32_t payloadLength = 0;
};

// Writes the 24 header bytes (reserved bytes 0) / reads them back.
void WriteFrameHeader(uint8_t* out, const NetMessageHeader& header);
NetMessageHeader ReadFrameHeader(const uint8_t* in);

// The check word of a frame of `totalLength` bytes.
constexpr uint32_t FrameCheckWord(uint32_t checkCode, int32_t totalLength) {
  return checkCode + static_cast<uint32_t>(totalLength);
}

// What a peer asks to send.
struct FrameRequest {
  int16_t ownId = -1;         // the sender's own id; negative = none yet
  uint16_t to = kIdEverybody;
  uint16_t teamFilter = kNoTeamFilter;
  uint16_t from = 0;          // any id with bit 15 set stands for the own id
  uint16_t type = 0;
  uint16_t flags = 0;         // kFrameFlagZeroRuns set: payload already coded (relayed as is)
  const uint8_t* payload = nullptr;  // null counts as an empty payload
  int32_t payloadLength = 0;
};

// Builds the frame of `request` into `out` (room for kMaxFrameLength
// bytes): the payload is zero-run coded when that pays and it is not coded
// already, the header-room flag is cleared, and the trailer is written.
// Returns the frame's total length, or
// - kFrameNoOwnId when the sender has no id yet and `from` is not 0x7FFF,
//   or when UDP is asked with `from` 0x7FFF (such a peer speaks by TCP only);
// - kFramePayloadTooLong when the payload is above 4096 bytes or negative.
// Nothing is written on failure. The payload may sit at out + 24 (a caller
// buffer with header room): the frame is then built in place.
int BuildFrame(uint8_t* out, const FrameRequest& request, uint32_t checkCode);

// Checks the frame at the start of `available` bytes:
// 1. fewer than 28 bytes: kFrameIncomplete;
// 2. check word wrong, total outside 28..4124, or payload length not
//    total - 28: kFrameBadHeader;
// 3. total above the bytes available: kFrameIncomplete;
// 4. trailer wrong: kFrameBadTrailer.
// Otherwise the frame's total length (28..4124).
int CheckFrame(const uint8_t* bytes, size_t available, uint32_t checkCode);

// A frame as delivered: its payload decoded.
struct ReceivedFrame {
  // The header as received, except that payloadLength is the decoded
  // length and the zero-run and header-room flags are cleared.
  NetMessageHeader header;
  uint8_t payload[kMaxPayloadLength];
};

enum class FrameReadKind {
  kFrame,        // a frame was read into the ReceivedFrame
  kWaitForMore,  // the bytes may still become a frame: read more first
  kSkip,         // bad bytes: step over `consumed` of them
};

struct FrameRead {
  FrameReadKind kind = FrameReadKind::kWaitForMore;
  int code = kFrameIncomplete;  // the frame's total for kFrame, else a kFrame* result
  int consumed = 0;   // how far to move the read position (0 only when waiting)
  int badBytes = 0;   // how many bytes to count as bad
};

// Reads the frame at the start of a stream's unread bytes into `out`:
// - a good frame: kFrame, consumed = its total;
// - bad header or trailer: kSkip one byte, so the reader finds the next
//   frame boundary byte by byte;
// - a frame whose coded payload does not decode: kSkip the whole frame
//   (its header and trailer vouch for where it ends);
// - fewer bytes than a frame needs: kWaitForMore.
// `out`'s header is set only for kFrame (its payload bytes may be used as
// scratch by a frame that turns out bad).
FrameRead ReadStreamFrame(const uint8_t* bytes, size_t available, uint32_t checkCode, ReceivedFrame* out);

// Reads the one frame a UDP datagram carries. A datagram of 27 bytes or
// less is ignored (kSkip, no bad bytes); one whose frame is refused,
// incomplete included, counts its whole length as bad. Bytes behind the
// frame's total are ignored.
FrameRead ReadDatagramFrame(const uint8_t* bytes, size_t length, uint32_t checkCode, ReceivedFrame* out);

// [SECTION] Stream reader
//
// Reassembles frames from a stream that arrives in pieces of any size. It
// holds up to two whole frames, so a frame always fits once its bytes have
// arrived and the reader can never wait on a full buffer.
class FrameStreamReader {
 public:
  static constexpr size_t kCapacity = 2 * kMaxFrameLength;

  explicit FrameStreamReader(uint32_t checkCode) : checkCode_(checkCode) {}

  // Copies up to n bytes in; returns how many it took (fewer when the
  // buffer is full: call Next until it waits, then append the rest).
  size_t Append(const uint8_t* bytes, size_t n);

  // The next step over the buffered bytes: a frame (into `out`), a skip
  // (already stepped over and counted), or kWaitForMore when the buffered
  // bytes cannot yet make a frame.
  FrameRead Next(ReceivedFrame* out);

  size_t Buffered() const { return end_ - start_; }
  // Counters since construction: bytes of accepted frames, bad bytes.
  uint64_t GoodBytes() const { return goodBytes_; }
  uint64_t BadBytes() const { return badBytes_; }

 private:
  uint32_t checkCode_;
  size_t start_ = 0;  // first unread byte
  size_t end_ = 0;    // one past the last buffered byte
  uint64_t goodBytes_ = 0;
  uint64_t badBytes_ = 0;
  uint8_t buffer_[kCapacity];
};

}  // namespace net
