// net_frame.cpp -- building, checking and reading network frames, and the
// zero-run coding of their payloads.

#include "net/net_frame.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace net {

namespace {

// Little-endian fields, written byte by byte so the wire format does not
// depend on the machine's byte order or on alignment.
void PutU16(uint8_t* out, uint16_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
  out[2] = static_cast<uint8_t>(v >> 16);
  out[3] = static_cast<uint8_t>(v >> 24);
}

uint16_t GetU16(const uint8_t* in) { return static_cast<uint16_t>(in[0] | (in[1] << 8)); }

uint32_t GetU32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
         (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

}  // namespace

// [SECTION] Zero-run coding

int CompressZeroRuns(uint8_t* out, const uint8_t* in, int n) {
  int count = 0;       // bytes written so far
  bool inRun = false;  // out[count - 1] is the count byte of an open run
  for (int i = 0; i < n; i++) {
    // Give up before the output could reach the input's length; each step
    // below writes at most 2 bytes, so `out` never needs more than n.
    if (count >= n - 2) return -1;
    const uint8_t b = in[i];
    if (b != 0) {
      out[count++] = b;
      inRun = false;
    } else if (!inRun) {
      out[count++] = 0;
      out[count++] = 0;
      inRun = true;
    } else {
      out[count - 1]++;
      // A count byte of 255 stands for 256 zeros, the most one pair holds.
      if (out[count - 1] == 255) inRun = false;
    }
  }
  return count;
}

int ExpandZeroRuns(uint8_t* out, const uint8_t* in, int n) {
  int count = 0;
  int i = 0;
  while (i < n) {
    if (in[i] != 0) {
      if (count >= kMaxPayloadLength) return -1;
      out[count++] = in[i];
      i += 1;
      continue;
    }
    // A 0x00 owes its count byte; one cut off at the end is broken coding,
    // never a run of unknown length.
    if (i + 1 >= n) return -1;
    const int run = in[i + 1] + 1;
    if (run > kMaxPayloadLength - count) return -1;
    std::memset(out + count, 0, static_cast<size_t>(run));
    count += run;
    i += 2;
  }
  return count;
}

// [SECTION] Frames

void WriteFrameHeader(uint8_t* out, const NetMessageHeader& header) {
  PutU32(out + 0, static_cast<uint32_t>(header.totalLength));
  PutU32(out + 4, header.check);
  PutU16(out + 8, header.to);
  PutU16(out + 10, header.teamFilter);
  PutU16(out + 12, header.from);
  PutU16(out + 14, header.type);
  PutU16(out + 16, header.flags);
  PutU16(out + 18, 0);
  PutU32(out + 20, static_cast<uint32_t>(header.payloadLength));
}

NetMessageHeader ReadFrameHeader(const uint8_t* in) {
  NetMessageHeader header;
  header.totalLength = static_cast<int32_t>(GetU32(in + 0));
  header.check = GetU32(in + 4);
  header.to = GetU16(in + 8);
  header.teamFilter = GetU16(in + 10);
  header.from = GetU16(in + 12);
  header.type = GetU16(in + 14);
  header.flags = GetU16(in + 16);
  header.payloadLength = static_cast<int32_t>(GetU32(in + 20));
  return header;
}

int BuildFrame(uint8_t* out, const FrameRequest& request, uint32_t checkCode) {
  uint16_t from = request.from;
  uint16_t flags = request.flags;

  // 1. A peer without an id speaks only by TCP and only as "not known".
  const bool hasOwnId = request.ownId >= 0;
  if ((!hasOwnId && from != kIdNotKnown) || ((flags & kFrameFlagUdp) && from == kIdNotKnown)) {
    return kFrameNoOwnId;
  }

  // 2. Bound the payload; "from" with bit 15 set stands for the own id.
  const uint8_t* payload = request.payload;
  int32_t length = payload ? request.payloadLength : 0;
  if (length < 0 || length > kMaxPayloadLength) return kFramePayloadTooLong;
  if (from & kIdBit15) from = static_cast<uint16_t>(request.ownId);

  // 3. Code the payload when that pays. A payload already coded (a frame
  //    being relayed) goes on as it is. The coder writes to a buffer of its
  //    own, so the payload may already sit at out + 24.
  uint8_t* body = out + kFrameHeaderLength;
  if (length > 0 && !(flags & kFrameFlagZeroRuns)) {
    uint8_t coded[kMaxPayloadLength];
    const int codedLength = CompressZeroRuns(coded, payload, length);
    if (codedLength >= 0) {
      std::memcpy(body, coded, static_cast<size_t>(codedLength));
      length = codedLength;
      flags |= kFrameFlagZeroRuns;
    } else {
      std::memmove(body, payload, static_cast<size_t>(length));
    }
  } else if (length > 0) {
    std::memmove(body, payload, static_cast<size_t>(length));
  }

  // 4. Header and trailer. The header-room flag is the sender's own
  //    business and never goes out.
  NetMessageHeader header;
  header.totalLength = length + kFrameOverhead;
  header.check = FrameCheckWord(checkCode, header.totalLength);
  header.to = request.to;
  header.teamFilter = request.teamFilter;
  header.from = from;
  header.type = request.type;
  header.flags = static_cast<uint16_t>(flags & ~kFrameFlagHeaderRoom);
  header.payloadLength = length;
  WriteFrameHeader(out, header);
  PutU32(body + length, header.check);
  return header.totalLength;
}

int CheckFrame(const uint8_t* bytes, size_t available, uint32_t checkCode) {
  if (available < static_cast<size_t>(kFrameOverhead)) return kFrameIncomplete;
  const NetMessageHeader header = ReadFrameHeader(bytes);
  const int32_t total = header.totalLength;
  // The lengths are checked against each other and against the limits, so
  // that the trailer offset below lies inside the frame and a stream always
  // moves on by at least a whole header.
  if (header.check != FrameCheckWord(checkCode, total) || total < kFrameOverhead ||
      total > kMaxFrameLength || header.payloadLength != total - kFrameOverhead) {
    return kFrameBadHeader;
  }
  if (static_cast<size_t>(total) > available) return kFrameIncomplete;
  if (GetU32(bytes + total - kFrameTrailerLength) != header.check) return kFrameBadTrailer;
  return total;
}

FrameRead ReadStreamFrame(const uint8_t* bytes, size_t available, uint32_t checkCode, ReceivedFrame* out) {
  FrameRead result;
  const int checked = CheckFrame(bytes, available, checkCode);
  if (checked == kFrameIncomplete) return result;  // wait, nothing consumed
  if (checked < 0) {
    // Resynchronise byte by byte: the next frame may start anywhere.
    result.kind = FrameReadKind::kSkip;
    result.code = checked;
    result.consumed = 1;
    result.badBytes = 1;
    return result;
  }

  NetMessageHeader header = ReadFrameHeader(bytes);
  const uint8_t* body = bytes + kFrameHeaderLength;
  if (header.flags & kFrameFlagZeroRuns) {
    const int decoded = ExpandZeroRuns(out->payload, body, header.payloadLength);
    if (decoded < 0) {
      // Header and trailer agree on where this frame ends; only its payload
      // is unusable, so the whole frame goes and the stream carries on.
      result.kind = FrameReadKind::kSkip;
      result.code = kFrameBadCoding;
      result.consumed = checked;
      result.badBytes = checked;
      return result;
    }
    header.payloadLength = decoded;
  } else {
    std::memcpy(out->payload, body, static_cast<size_t>(header.payloadLength));
  }
  header.flags = static_cast<uint16_t>(header.flags & ~(kFrameFlagZeroRuns | kFrameFlagHeaderRoom));
  out->header = header;

  result.kind = FrameReadKind::kFrame;
  result.code = checked;
  result.consumed = checked;
  return result;
}

FrameRead ReadDatagramFrame(const uint8_t* bytes, size_t length, uint32_t checkCode, ReceivedFrame* out) {
  // consumed and badBytes are ints; a datagram is far below that anyway.
  const int whole = static_cast<int>(std::min(length, static_cast<size_t>(INT32_MAX)));
  FrameRead result;
  result.kind = FrameReadKind::kSkip;
  result.consumed = whole;
  if (length < static_cast<size_t>(kFrameOverhead)) return result;  // ignored, not bad

  FrameRead read = ReadStreamFrame(bytes, length, checkCode, out);
  if (read.kind == FrameReadKind::kFrame) {
    read.consumed = whole;
    return read;
  }
  // No more bytes will come for a datagram: incomplete is as bad as broken.
  result.code = read.code;
  result.badBytes = whole;
  return result;
}

// [SECTION] Stream reader

size_t FrameStreamReader::Append(const uint8_t* bytes, size_t n) {
  if (start_ > 0 && kCapacity - end_ < n) {
    std::memmove(buffer_, buffer_ + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  const size_t take = std::min(n, kCapacity - end_);
  if (take > 0) std::memcpy(buffer_ + end_, bytes, take);
  end_ += take;
  return take;
}

FrameRead FrameStreamReader::Next(ReceivedFrame* out) {
  const FrameRead read = ReadStreamFrame(buffer_ + start_, end_ - start_, checkCode_, out);
  if (read.kind == FrameReadKind::kFrame) goodBytes_ += static_cast<uint64_t>(read.consumed);
  badBytes_ += static_cast<uint64_t>(read.badBytes);
  start_ += static_cast<size_t>(read.consumed);
  if (start_ == end_) start_ = end_ = 0;
  return read;
}

}  // namespace net
