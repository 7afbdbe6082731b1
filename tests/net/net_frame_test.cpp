// net_frame_test.cpp -- frames byte for byte, zero-run coding, and reading
// frames from streams cut anywhere, garbage and hostile headers included.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "net/net_frame.h"
#include "net/net_public.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kCode = net::kApplicationCheckCode;

Bytes Zeros(size_t n) { return Bytes(n, 0); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

void PutLe32(Bytes* b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; k++) (*b)[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// A frame built the way a peer sends it.
Bytes Build(const Bytes& payload, uint16_t type = 8, uint16_t flags = 0, int16_t ownId = 1,
            uint16_t to = net::kIdEverybody, uint16_t from = 0xFFFF) {
  net::FrameRequest request;
  request.ownId = ownId;
  request.to = to;
  request.from = from;
  request.type = type;
  request.flags = flags;
  request.payload = payload.data();
  request.payloadLength = static_cast<int32_t>(payload.size());
  Bytes out(net::kMaxFrameLength);
  const int total = net::BuildFrame(out.data(), request, kCode);
  EXPECT_GT(total, 0);
  out.resize(total > 0 ? static_cast<size_t>(total) : 0);
  return out;
}

// A frame written field by field, for headers no sender would make.
Bytes RawFrame(uint32_t total, uint32_t check, int32_t payloadLength, const Bytes& payload, uint32_t trailer,
               uint16_t flags = 0) {
  Bytes b(24, 0);
  PutLe32(&b, 0, total);
  PutLe32(&b, 4, check);
  b[8] = b[9] = 0xFF;    // to everybody
  b[10] = b[11] = 0xFF;  // no team filter
  b[14] = 8;             // type
  b[16] = static_cast<uint8_t>(flags);
  b[17] = static_cast<uint8_t>(flags >> 8);
  PutLe32(&b, 20, static_cast<uint32_t>(payloadLength));
  b.insert(b.end(), payload.begin(), payload.end());
  b.resize(b.size() + 4);
  PutLe32(&b, b.size() - 4, trailer);
  return b;
}

// A well-formed frame around `carried` bytes, with any flags.
Bytes WellFormed(const Bytes& carried, uint16_t flags) {
  const uint32_t total = static_cast<uint32_t>(carried.size() + 28);
  return RawFrame(total, kCode + total, static_cast<int32_t>(carried.size()), carried, kCode + total, flags);
}

Bytes Payload(const net::ReceivedFrame& f) { return Bytes(f.payload, f.payload + f.header.payloadLength); }

// Every frame a stream reader delivers, fed in the given pieces, drained
// after each piece.
struct Drained {
  std::vector<Bytes> payloads;
  std::vector<uint16_t> types;
  uint64_t badBytes = 0;
  size_t left = 0;
};

Drained Feed(const Bytes& stream, const std::vector<size_t>& cuts) {
  net::FrameStreamReader reader(kCode);
  static net::ReceivedFrame frame;
  Drained d;
  size_t at = 0;
  std::vector<size_t> ends = cuts;
  ends.push_back(stream.size());
  for (size_t end : ends) {
    while (at < end) {
      at += reader.Append(stream.data() + at, end - at);
      for (;;) {
        const net::FrameRead r = reader.Next(&frame);
        if (r.kind == net::FrameReadKind::kWaitForMore) {
          EXPECT_EQ(r.consumed, 0);
          EXPECT_LT(reader.Buffered(), static_cast<size_t>(net::kMaxFrameLength));
          break;
        }
        EXPECT_GE(r.consumed, 1);
        if (r.kind == net::FrameReadKind::kFrame) {
          d.payloads.push_back(Payload(frame));
          d.types.push_back(frame.header.type);
        }
      }
    }
  }
  d.badBytes = reader.BadBytes();
  d.left = reader.Buffered();
  return d;
}

// [SECTION] Frames byte for byte

TEST(NetFrameBuild, EmptyPayloadIsTheBareFrame) {
  const Bytes expected = {
      0x1C, 0x00, 0x00, 0x00,  // total 28
      0x1D, 0x12, 0x14, 0x20,  // 0x20141201 + 28
      0xFF, 0xFF,              // to everybody
      0xFF, 0xFF,              // no team filter
      0x01, 0x00,              // from: the own id 1
      0x08, 0x00,              // type 8
      0x00, 0x00,              // flags
      0x00, 0x00,              // reserved
      0x00, 0x00, 0x00, 0x00,  // payload length 0
      0x1D, 0x12, 0x14, 0x20,  // trailer
  };
  EXPECT_EQ(Build({}), expected);

  // No payload pointer at all counts as empty, whatever length comes with it.
  net::FrameRequest request;
  request.ownId = 1;
  request.from = 0xFFFF;
  request.type = 8;
  request.payloadLength = 50;
  Bytes out(net::kMaxFrameLength);
  ASSERT_EQ(net::BuildFrame(out.data(), request, kCode), 28);
  out.resize(28);
  EXPECT_EQ(out, expected);
}

TEST(NetFrameBuild, CodedAndPlainPayloadsByteForByte) {
  // 100 zeros to peer 3, as peer 5 by UDP with header room: coded to 00 63,
  // the header-room flag gone and the zero-run flag set.
  const Bytes coded = {
      0x1E, 0x00, 0x00, 0x00, 0x1F, 0x12, 0x14, 0x20,  // total 30, check
      0x03, 0x00, 0xFF, 0xFF, 0x05, 0x00, 0x1F, 0x00,  // to 3, no filter, from 5, type 31
      0x01, 0x80, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // flags 0x8001, reserved, length 2
      0x00, 0x63,                                      // the run
      0x1F, 0x12, 0x14, 0x20,                          // trailer
  };
  EXPECT_EQ(Build(Zeros(100), 31, net::kFrameFlagUdp | net::kFrameFlagHeaderRoom, 5, 3), coded);

  // Ten distinct bytes do not pay: plain, flag clear; the echo flag stays.
  const Bytes ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const Bytes plain = Concat({{0x26, 0x00, 0x00, 0x00, 0x27, 0x12, 0x14, 0x20, 0x02, 0x00, 0xFF, 0xFF,
                               0x00, 0x00, 0x63, 0x00, 0x04, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00},
                              ten,
                              {0x27, 0x12, 0x14, 0x20}});
  EXPECT_EQ(Build(ten, 99, net::kFrameFlagEcho, 0, 2), plain);

  // Payloads of 1 and 2 bytes are never coded, zeros or not.
  for (size_t n : {1u, 2u}) {
    const Bytes frame = Build(Zeros(n));
    ASSERT_EQ(frame.size(), 28 + n);
    EXPECT_EQ(frame[17], 0x00) << n;
  }

  // A client without its id speaks as 0x7FFF by TCP.
  const Bytes anonymous = Build({}, 2, 0, -1, 0, net::kIdNotKnown);
  EXPECT_EQ(anonymous[12], 0xFF);
  EXPECT_EQ(anonymous[13], 0x7F);
}

TEST(NetFrameBuild, RelayedCodedPayloadGoesAsItIs) {
  // 00 63 with the zero-run flag already set is not coded again.
  const Bytes relayed = Build({0x00, 0x63}, 8, net::kFrameFlagZeroRuns, 0);
  EXPECT_EQ(relayed, WellFormed({0x00, 0x63}, net::kFrameFlagZeroRuns));
}

TEST(NetFrameBuild, RefusalsWriteNothing) {
  struct Case {
    int16_t ownId;
    uint16_t from;
    uint16_t flags;
    int32_t length;
    int expected;
  };
  const Case cases[] = {
      {-1, 3, 0, 10, net::kFrameNoOwnId},                               // no id yet, claims one
      {-1, 0xFFFF, 0, 10, net::kFrameNoOwnId},                          // "own id" while it has none
      {-1, net::kIdNotKnown, net::kFrameFlagUdp, 10, net::kFrameNoOwnId},  // UDP without an id
      {4, net::kIdNotKnown, net::kFrameFlagUdp, 10, net::kFrameNoOwnId},   // UDP as "not known"
      {4, 0xFFFF, 0, 4097, net::kFramePayloadTooLong},
      {4, 0xFFFF, 0, -1, net::kFramePayloadTooLong},
      {4, 0xFFFF, net::kFrameFlagZeroRuns, 4097, net::kFramePayloadTooLong},
  };
  Bytes payload(5000, 7);
  for (const Case& c : cases) {
    net::FrameRequest request;
    request.ownId = c.ownId;
    request.from = c.from;
    request.flags = c.flags;
    request.payload = payload.data();
    request.payloadLength = c.length;
    Bytes out(net::kMaxFrameLength, 0xAA);
    EXPECT_EQ(net::BuildFrame(out.data(), request, kCode), c.expected) << c.ownId << " " << c.from;
    EXPECT_EQ(out, Bytes(net::kMaxFrameLength, 0xAA));
  }

  // The largest payload that does not code makes the largest frame.
  Bytes largest(4096);
  for (size_t k = 0; k < largest.size(); k++) largest[k] = static_cast<uint8_t>(k % 255 + 1);
  EXPECT_EQ(Build(largest).size(), static_cast<size_t>(net::kMaxFrameLength));
}

TEST(NetFrameBuild, InPlaceWithHeaderRoomMatchesACopy) {
  std::mt19937 random(2014);
  for (int trial = 0; trial < 40; trial++) {
    Bytes payload(random() % 600);
    for (uint8_t& b : payload) b = (random() % 3 == 0) ? static_cast<uint8_t>(random()) : 0;
    const Bytes expected = Build(payload, 31, net::kFrameFlagUdp, 2);

    Bytes buffer(net::kMaxFrameLength, 0xCC);
    std::copy(payload.begin(), payload.end(), buffer.begin() + 24);
    net::FrameRequest request;
    request.ownId = 2;
    request.from = 0xFFFF;
    request.type = 31;
    request.flags = net::kFrameFlagUdp | net::kFrameFlagHeaderRoom;
    request.payload = buffer.data() + 24;
    request.payloadLength = static_cast<int32_t>(payload.size());
    const int total = net::BuildFrame(buffer.data(), request, kCode);
    ASSERT_EQ(total, static_cast<int>(expected.size()));
    buffer.resize(static_cast<size_t>(total));
    EXPECT_EQ(buffer, expected) << trial;
  }
}

// [SECTION] Zero-run coding

TEST(NetZeroRuns, CodingTable) {
  struct Case {
    const char* name;
    Bytes input;
    Bytes coded;  // empty with pays = false: coding does not pay
    bool pays;
  };
  const Bytes mixed = {1, 0, 2, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes sixteenRuns;  // 4096 zeros
  for (int k = 0; k < 16; k++) sixteenRuns.insert(sixteenRuns.end(), {0x00, 0xFF});
  const Case cases[] = {
      {"nothing", {}, {}, true},
      {"100 zeros", Zeros(100), {0x00, 0x63}, true},
      {"300 zeros", Zeros(300), {0x00, 0xFF, 0x00, 0x2B}, true},
      {"1 zero", Zeros(1), {}, false},
      {"2 zeros", Zeros(2), {}, false},
      {"3 zeros", Zeros(3), {}, false},
      {"4 zeros", Zeros(4), {}, false},  // 2 bytes out before the 2nd input byte
      {"5 zeros", Zeros(5), {0x00, 0x04}, true},
      {"255 zeros", Zeros(255), {0x00, 0xFE}, true},
      {"256 zeros", Zeros(256), {0x00, 0xFF}, true},
      {"257 zeros", Zeros(257), {0x00, 0xFF, 0x00, 0x00}, true},
      {"512 zeros", Zeros(512), {0x00, 0xFF, 0x00, 0xFF}, true},
      {"4096 zeros", Zeros(4096), sixteenRuns, true},
      {"runs of 1, 2, 3 and 10", mixed, {1, 0, 0, 2, 0, 1, 3, 0, 2, 4, 0, 9}, true},
      // Saves only one byte, as a trailing run of one zero costs two: the
      // coder's rule, not "at least two bytes", decides what peers send.
      {"one byte saved", {0, 0, 0, 0, 9, 0}, {0x00, 0x03, 0x09, 0x00, 0x00}, true},
      {"10 distinct", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {}, false},
      {"zeros then plain", Concat({Zeros(4), {1, 2, 3, 4}}), {0x00, 0x03, 1, 2, 3, 4}, true},
      // Coded to 6 of 7 bytes, but the coder gives up at n - 2 on the way.
      {"gives up before the end", Concat({Zeros(3), {1, 2, 3, 4}}), {}, false},
      {"plain then zeros", Concat({{1, 2, 3, 4}, Zeros(3)}), {}, false},
  };
  for (const Case& c : cases) {
    const Bytes& expectedCoded = c.coded;
    Bytes out(c.input.size() + 1, 0xAA);
    const int n = net::CompressZeroRuns(out.data(), c.input.data(), static_cast<int>(c.input.size()));
    if (!c.pays) {
      EXPECT_EQ(n, -1) << c.name;
      continue;
    }
    ASSERT_EQ(n, static_cast<int>(expectedCoded.size())) << c.name;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + n), expectedCoded) << c.name;
    EXPECT_EQ(out[c.input.size()], 0xAA) << c.name << ": wrote past n bytes";

    Bytes back(net::kMaxPayloadLength);
    const int m = net::ExpandZeroRuns(back.data(), expectedCoded.data(), n);
    ASSERT_EQ(m, static_cast<int>(c.input.size())) << c.name;
    EXPECT_EQ(Bytes(back.begin(), back.begin() + m), c.input) << c.name;
  }
}

TEST(NetZeroRuns, RoundTripsRandomBuffers) {
  std::mt19937 random(20141201);
  Bytes coded(net::kMaxPayloadLength + 1);
  Bytes back(net::kMaxPayloadLength);
  int codedCount = 0;
  for (int trial = 0; trial < 2000; trial++) {
    const size_t n = random() % (net::kMaxPayloadLength + 1);
    const unsigned zeroShare = random() % 101;  // percent
    Bytes input(n);
    for (uint8_t& b : input) b = (random() % 100 < zeroShare) ? 0 : static_cast<uint8_t>(random() % 255 + 1);

    coded[n] = 0xAA;
    const int c = net::CompressZeroRuns(coded.data(), input.data(), static_cast<int>(n));
    ASSERT_EQ(coded[n], 0xAA);
    if (c < 0) continue;
    codedCount++;
    if (n > 0) {
      ASSERT_LT(c, static_cast<int>(n));
    }
    const int m = net::ExpandZeroRuns(back.data(), coded.data(), c);
    ASSERT_EQ(m, static_cast<int>(n)) << trial;
    ASSERT_EQ(Bytes(back.begin(), back.begin() + m), input) << trial;
  }
  EXPECT_GT(codedCount, 500);  // the loop really exercised the coder
}

TEST(NetZeroRuns, BrokenCodingIsRefusedWithinBounds) {
  struct Case {
    const char* name;
    Bytes coded;
  };
  Bytes full;  // 16 runs of 256: exactly 4096 zeros
  for (int k = 0; k < 16; k++) full.insert(full.end(), {0x00, 0xFF});
  const Case cases[] = {
      {"lone zero", {0x00}},
      {"trailing lone zero", {0x05, 0x06, 0x00}},
      {"one byte past 4096", Concat({full, {0x01}})},
      {"one run past 4096", Concat({full, {0x00, 0x00}})},
      {"4097 plain bytes", Bytes(4097, 0x11)},
      {"4097 runs of one", Bytes(2 * 4097, 0x00)},
  };
  for (const Case& c : cases) {
    struct {
      uint8_t out[net::kMaxPayloadLength];
      uint8_t guard[64];
    } space;
    std::memset(space.guard, 0xAA, sizeof(space.guard));
    EXPECT_EQ(net::ExpandZeroRuns(space.out, c.coded.data(), static_cast<int>(c.coded.size())), -1) << c.name;
    EXPECT_EQ(space.guard[0], 0xAA) << c.name;
  }
  uint8_t out[net::kMaxPayloadLength];
  EXPECT_EQ(net::ExpandZeroRuns(out, full.data(), static_cast<int>(full.size())), 4096);
  EXPECT_EQ(net::ExpandZeroRuns(out, nullptr, 0), 0);
}

// [SECTION] Checking and reading frames

TEST(NetFrameCheck, HostileHeaders) {
  struct Case {
    const char* name;
    Bytes bytes;
    int expected;
  };
  const Bytes good = Build({1, 2, 3});
  Bytes wrongCode = good;
  PutLe32(&wrongCode, 4, 0x20130331 + 31);
  PutLe32(&wrongCode, good.size() - 4, 0x20130331 + 31);
  Bytes wrongTrailer = good;
  wrongTrailer[30] ^= 1;
  Bytes lengthsDisagree = good;
  PutLe32(&lengthsDisagree, 20, 2);
  const Case cases[] = {
      {"good", good, 31},
      {"truncated", Bytes(good.begin(), good.end() - 1), net::kFrameIncomplete},
      {"under 28 bytes", Bytes(good.begin(), good.begin() + 27), net::kFrameIncomplete},
      {"wrong check code", wrongCode, net::kFrameBadHeader},
      {"wrong trailer", wrongTrailer, net::kFrameBadTrailer},
      {"lengths disagree", lengthsDisagree, net::kFrameBadHeader},
      // Total 8 with payload -20 agrees with itself, and its "trailer" at
      // offset 4 is the check word: it must still fail.
      {"total 8", RawFrame(8, kCode + 8, -20, {}, kCode + 8), net::kFrameBadHeader},
      {"total 0", RawFrame(0, kCode, -28, {}, kCode), net::kFrameBadHeader},
      {"total 27", RawFrame(27, kCode + 27, -1, {}, kCode + 27), net::kFrameBadHeader},
      {"total 4125", RawFrame(4125, kCode + 4125, 4097, Bytes(4097, 1), kCode + 4125), net::kFrameBadHeader},
      {"total -1", RawFrame(0xFFFFFFFF, kCode - 1, -29, {}, kCode - 1), net::kFrameBadHeader},
      {"total 4124 promised", RawFrame(4124, kCode + 4124, 4096, {}, 0), net::kFrameIncomplete},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(net::CheckFrame(c.bytes.data(), c.bytes.size(), kCode), c.expected) << c.name;
    // Whatever the header says, reading moves on or waits; waiting only
    // when the bytes may still become a frame.
    static net::ReceivedFrame frame;
    const net::FrameRead r = net::ReadStreamFrame(c.bytes.data(), c.bytes.size(), kCode, &frame);
    if (c.expected == net::kFrameIncomplete) {
      EXPECT_EQ(r.kind, net::FrameReadKind::kWaitForMore) << c.name;
    } else if (c.expected < 0) {
      EXPECT_EQ(r.kind, net::FrameReadKind::kSkip) << c.name;
      EXPECT_EQ(r.consumed, 1) << c.name;
      EXPECT_EQ(r.badBytes, 1) << c.name;
    } else {
      EXPECT_EQ(r.kind, net::FrameReadKind::kFrame) << c.name;
    }
  }
}

TEST(NetFrameRead, DeliversDecodedPayloadAndClearsLocalFlags) {
  static net::ReceivedFrame frame;
  const Bytes sent = Build(Zeros(300), 31, net::kFrameFlagUdp | net::kFrameFlagEcho, 7, 9);
  ASSERT_EQ(sent.size(), 32u);
  const net::FrameRead r = net::ReadStreamFrame(sent.data(), sent.size(), kCode, &frame);
  ASSERT_EQ(r.kind, net::FrameReadKind::kFrame);
  EXPECT_EQ(r.consumed, 32);
  EXPECT_EQ(r.badBytes, 0);
  EXPECT_EQ(frame.header.totalLength, 32);
  EXPECT_EQ(frame.header.payloadLength, 300);
  EXPECT_EQ(frame.header.flags, net::kFrameFlagUdp | net::kFrameFlagEcho);
  EXPECT_EQ(frame.header.to, 9);
  EXPECT_EQ(frame.header.from, 7);
  EXPECT_EQ(frame.header.type, 31);
  EXPECT_EQ(Payload(frame), Zeros(300));

  // A header-room flag that came over the wire is not passed on.
  const Bytes marked = WellFormed({1, 2, 3}, net::kFrameFlagHeaderRoom | net::kFrameFlagUdp);
  ASSERT_EQ(net::ReadStreamFrame(marked.data(), marked.size(), kCode, &frame).kind, net::FrameReadKind::kFrame);
  EXPECT_EQ(frame.header.flags, net::kFrameFlagUdp);
  EXPECT_EQ(Payload(frame), Bytes({1, 2, 3}));
}

TEST(NetFrameRead, UndecodablePayloadSkipsTheFrameAndTheStreamGoesOn) {
  Bytes full;  // decodes to exactly 4096 zeros
  for (int k = 0; k < 16; k++) full.insert(full.end(), {0x00, 0xFF});
  const Bytes after = Build({5, 6, 7}, 12);
  struct Case {
    const char* name;
    Bytes frame;
  };
  const Case cases[] = {
      {"lone zero at the end", WellFormed({0x01, 0x02, 0x00}, net::kFrameFlagZeroRuns)},
      {"only a lone zero", WellFormed({0x00}, net::kFrameFlagZeroRuns)},
      {"past 4096 by a run", WellFormed(Concat({full, {0x00, 0x00}}), net::kFrameFlagZeroRuns)},
      {"past 4096 by a byte", WellFormed(Concat({full, {0x33}}), net::kFrameFlagZeroRuns)},
  };
  for (const Case& c : cases) {
    static net::ReceivedFrame frame;
    const net::FrameRead r = net::ReadStreamFrame(c.frame.data(), c.frame.size(), kCode, &frame);
    EXPECT_EQ(r.kind, net::FrameReadKind::kSkip) << c.name;
    EXPECT_EQ(r.code, net::kFrameBadCoding) << c.name;
    EXPECT_EQ(r.consumed, static_cast<int>(c.frame.size())) << c.name;

    // In a stream, with a good frame behind it, cut anywhere.
    const Bytes stream = Concat({c.frame, after});
    for (size_t cut = 0; cut <= stream.size(); cut++) {
      const Drained d = Feed(stream, {cut});
      ASSERT_EQ(d.payloads.size(), 1u) << c.name << " cut " << cut;
      EXPECT_EQ(d.payloads[0], Bytes({5, 6, 7}));
      EXPECT_EQ(d.badBytes, c.frame.size());
      EXPECT_EQ(d.left, 0u);
    }
  }
  // Exactly 4096 decoded bytes are fine.
  static net::ReceivedFrame frame;
  const Bytes limit = WellFormed(full, net::kFrameFlagZeroRuns);
  ASSERT_EQ(net::ReadStreamFrame(limit.data(), limit.size(), kCode, &frame).kind, net::FrameReadKind::kFrame);
  EXPECT_EQ(frame.header.payloadLength, 4096);
}

// [SECTION] Streams

TEST(NetFrameStream, FramesSplitAtEveryOffsetAreReassembled) {
  Bytes big(4096);
  for (size_t k = 0; k < big.size(); k++) big[k] = static_cast<uint8_t>(k * 7 + 1);
  Bytes sparse = Zeros(700);
  sparse[3] = 9;
  sparse[650] = 4;
  const Bytes junk = {0x1C, 0x00, 0x00, 0x00, 0x42};  // a frame's first bytes, then nothing
  const Bytes stream = Concat({Build({}, 10), Build(sparse, 11), junk, Build(big, 12), Build({1, 2}, 13)});
  const std::vector<Bytes> expected = {{}, sparse, big, {1, 2}};

  // One cut at every offset.
  for (size_t cut = 0; cut <= stream.size(); cut++) {
    const Drained d = Feed(stream, {cut});
    ASSERT_EQ(d.payloads, expected) << "cut at " << cut;
    EXPECT_EQ(d.types, (std::vector<uint16_t>{10, 11, 12, 13}));
    EXPECT_EQ(d.badBytes, junk.size());
    EXPECT_EQ(d.left, 0u);
  }
  // A byte at a time.
  std::vector<size_t> every;
  for (size_t k = 1; k < stream.size(); k++) every.push_back(k);
  const Drained d = Feed(stream, every);
  EXPECT_EQ(d.payloads, expected);
  EXPECT_EQ(d.badBytes, junk.size());
}

TEST(NetFrameStream, ForeignApplicationIsSkippedByteByByte) {
  // A peer of another application: its frames are good but for its code.
  net::FrameRequest request;
  request.ownId = 1;
  request.from = 0xFFFF;
  request.type = 8;
  const Bytes payload = {1, 2, 3, 4};
  request.payload = payload.data();
  request.payloadLength = 4;
  Bytes foreign(net::kMaxFrameLength);
  foreign.resize(static_cast<size_t>(net::BuildFrame(foreign.data(), request, 0x20130331)));

  const Bytes ours = Build({9, 9, 9}, 20);
  const Drained d = Feed(Concat({foreign, foreign, ours}), {});
  ASSERT_EQ(d.payloads.size(), 1u);
  EXPECT_EQ(d.types[0], 20);
  EXPECT_EQ(d.badBytes, 2 * foreign.size());
}

TEST(NetFrameStream, HostileHeadersNeverStallTheStream) {
  // Headers whose lengths agree with their check word but not with reason;
  // the old total-0 and total-8 frames froze or misread a reader.
  const Bytes ours = Build({4, 4}, 21);
  const Bytes hostile[] = {
      RawFrame(0, kCode, -28, {}, kCode),
      RawFrame(8, kCode + 8, -20, {}, kCode + 8),
      RawFrame(27, kCode + 27, -1, {}, kCode + 27),
      RawFrame(0xFFFFFFFF, kCode - 1, -29, {}, kCode - 1),
      RawFrame(4125, kCode + 4125, 4097, Bytes(100, 0), kCode + 4125),
  };
  for (const Bytes& h : hostile) {
    const Drained d = Feed(Concat({h, ours}), {});
    ASSERT_EQ(d.payloads.size(), 1u);
    EXPECT_EQ(d.types[0], 21);
    EXPECT_EQ(d.badBytes, h.size());
    EXPECT_EQ(d.left, 0u);
  }
}

TEST(NetFrameStream, FullBufferTakesNoMoreUntilRead) {
  net::FrameStreamReader reader(kCode);
  static net::ReceivedFrame frame;
  const Bytes one = Build(Bytes(4000, 3));
  Bytes three = Concat({one, one, one});
  size_t taken = reader.Append(three.data(), three.size());
  EXPECT_EQ(taken, net::FrameStreamReader::kCapacity);
  int frames = 0;
  size_t at = taken;
  for (int guard = 0; guard < 100 && frames < 3; guard++) {
    const net::FrameRead r = reader.Next(&frame);
    if (r.kind == net::FrameReadKind::kFrame) frames++;
    if (r.kind == net::FrameReadKind::kWaitForMore) at += reader.Append(three.data() + at, three.size() - at);
  }
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(reader.GoodBytes(), three.size());
  EXPECT_EQ(reader.BadBytes(), 0u);
}

TEST(NetFrameDatagram, OneFrameADatagram) {
  static net::ReceivedFrame frame;
  const Bytes good = Build({1, 2, 3}, 31, net::kFrameFlagUdp);
  net::FrameRead r = net::ReadDatagramFrame(good.data(), good.size(), kCode, &frame);
  EXPECT_EQ(r.kind, net::FrameReadKind::kFrame);
  EXPECT_EQ(Payload(frame), Bytes({1, 2, 3}));

  struct Case {
    const char* name;
    Bytes bytes;
    int badBytes;
  };
  Bytes foreign = good;
  foreign[4] ^= 0x10;
  const Case cases[] = {
      {"27 bytes ignored", Bytes(good.begin(), good.begin() + 27), 0},
      {"empty ignored", {}, 0},
      {"cut short", Bytes(good.begin(), good.end() - 1), 30},
      {"wrong code", foreign, 31},
      {"undecodable", WellFormed({0x00}, net::kFrameFlagZeroRuns), 29},
  };
  for (const Case& c : cases) {
    r = net::ReadDatagramFrame(c.bytes.data(), c.bytes.size(), kCode, &frame);
    EXPECT_EQ(r.kind, net::FrameReadKind::kSkip) << c.name;
    EXPECT_EQ(r.badBytes, c.badBytes) << c.name;
    EXPECT_EQ(r.consumed, static_cast<int>(c.bytes.size())) << c.name;
  }
}

// Random bytes, random frames and mutated frames, fed in random pieces from
// exactly-sized buffers: every step moves on or waits with less than a
// frame buffered, and every good frame sent whole comes out.
TEST(NetFrameStream, FuzzNeverStallsOrOverreads) {
  std::mt19937 random(77);
  static net::ReceivedFrame frame;
  for (int round = 0; round < 200; round++) {
    net::FrameStreamReader reader(kCode);
    Bytes stream;
    for (int part = 0; part < 12; part++) {
      const unsigned kind = random() % 4;
      Bytes piece;
      if (kind == 0) {
        piece.resize(random() % 64);
        for (uint8_t& b : piece) b = static_cast<uint8_t>(random());
      } else {
        Bytes payload(random() % 300);
        for (uint8_t& b : payload) b = (random() % 2) ? 0 : static_cast<uint8_t>(random());
        piece = Build(payload, static_cast<uint16_t>(random() % 256));
        if (kind == 3) {  // flip one byte anywhere, headers included
          piece[random() % piece.size()] ^= static_cast<uint8_t>(random() % 255 + 1);
        }
      }
      stream.insert(stream.end(), piece.begin(), piece.end());
    }
    size_t at = 0;
    int steps = 0;
    while (at < stream.size()) {
      const size_t n = std::min(stream.size() - at, static_cast<size_t>(random() % 200 + 1));
      const Bytes chunk(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + n));
      at += reader.Append(chunk.data(), chunk.size());
      for (;;) {
        ASSERT_LT(++steps, 1000000) << "stalled";
        const net::FrameRead r = reader.Next(&frame);
        if (r.kind == net::FrameReadKind::kWaitForMore) {
          ASSERT_LT(reader.Buffered(), static_cast<size_t>(net::kMaxFrameLength));
          break;
        }
        ASSERT_GE(r.consumed, 1);
        if (r.kind == net::FrameReadKind::kFrame) {
          ASSERT_GE(frame.header.payloadLength, 0);
          ASSERT_LE(frame.header.payloadLength, net::kMaxPayloadLength);
        }
      }
    }
    EXPECT_EQ(reader.GoodBytes() + reader.BadBytes() + reader.Buffered(), stream.size());

    // The same bytes read straight from an exactly-sized copy of what is
    // left at each step, so an over-read shows under the sanitizers.
    size_t pos = 0;
    while (pos < stream.size()) {
      const Bytes rest(stream.begin() + static_cast<long>(pos), stream.end());
      const net::FrameRead r = net::ReadStreamFrame(rest.data(), rest.size(), kCode, &frame);
      if (r.kind == net::FrameReadKind::kWaitForMore) break;
      pos += static_cast<size_t>(r.consumed);
    }
  }
}

}  // namespace
