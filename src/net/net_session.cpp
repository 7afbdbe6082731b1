// net_session.cpp -- the network session: the endpoint with the lobby's
// player table on top.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "core/core_log.h"
#include "core/core_public.h"
#include "net/net_endpoint.h"
#include "net/net_public.h"

namespace net {

namespace {

constexpr size_t kMaxPendingLogLines = 256;

void CopyCut(char* out, int size, const char* in, int inLength) {
  int n = 0;
  while (n < size - 1 && n < inLength && in[n] != '\0') {
    out[n] = in[n];
    n++;
  }
  out[n] = '\0';
}

int32_t GetLe32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                              uint32_t(p[3]) << 24);
}

}  // namespace

// [SECTION] Wire table and login names

void EncodePlayerTable(uint8_t* out, const PlayerRecord* table) {
  std::memset(out, 0, kPlayerTableLength);
  for (int i = 0; i < kMaxPlayers; i++) {
    uint8_t* r = out + i * kPlayerRecordLength;
    const PlayerRecord& p = table[i];
    CopyCut(reinterpret_cast<char*>(r), kPlayerTextLength, p.name, kPlayerTextLength);
    CopyCut(reinterpret_cast<char*>(r + 16), kPlayerTextLength, p.team, kPlayerTextLength);
    uint16_t number = static_cast<uint16_t>(p.number);
    r[32] = uint8_t(number);
    r[33] = uint8_t(number >> 8);
    uint32_t id = static_cast<uint32_t>(p.id);
    for (int k = 0; k < 4; k++) r[36 + k] = uint8_t(id >> (8 * k));
  }
}

void DecodePlayerTable(const uint8_t* in, PlayerRecord* table) {
  for (int i = 0; i < kMaxPlayers; i++) {
    const uint8_t* r = in + i * kPlayerRecordLength;
    PlayerRecord p;
    p.id = GetLe32(r + 36);
    if (p.id < -1 || p.id >= kMaxPeers) p.id = -1;
    if (p.id >= 0) {
      CopyCut(p.name, kPlayerTextLength, reinterpret_cast<const char*>(r), kPlayerTextLength);
      CopyCut(p.team, kPlayerTextLength, reinterpret_cast<const char*>(r + 16), kPlayerTextLength);
      p.number = static_cast<int16_t>(uint16_t(r[32]) | uint16_t(r[33]) << 8);
      if (p.number < 0 || p.number > kPlayerKeyCount) p.number = 0;
    }
    table[i] = p;
  }
}

void ParseLoginName(const char* login, char* name, int nameSize, char* team, int teamSize,
                    char* key, int keySize) {
  char* outs[3] = {name, team, key};
  int sizes[3] = {nameSize, teamSize, keySize};
  int used[3] = {0, 0, 0};
  for (int k = 0; k < 3; k++)
    if (outs[k] && sizes[k] > 0) outs[k][0] = '\0';
  if (!login) return;
  int target = 0;
  for (int i = 0; i < kLoginNameLimit && login[i] != '\0'; i++) {
    char c = login[i];
    if (c == '@') {
      target = 1;
      continue;
    }
    if (c == '#') {
      target = 2;
      continue;
    }
    char* out = outs[target];
    if (out && used[target] < sizes[target] - 1) {
      out[used[target]++] = c;
      out[used[target]] = '\0';
    }
  }
}

// [SECTION] Life

NetworkSession::NetworkSession() : endpoint_(std::make_unique<NetworkEndpoint>()) { Init(); }

NetworkSession::NetworkSession(const EndpointTimings& timings)
    : endpoint_(std::make_unique<NetworkEndpoint>(timings)) {
  Init();
}

NetworkSession::~NetworkSession() {
  // The endpoint's threads and its closing call into this object: the
  // handlers go first (a handler runs only with the endpoint lock held, which
  // SetHandler takes), then the endpoint.
  for (int type : {int(kMsgLogin), int(kMsgLeave), int(kMsgPlayerTable), int(kMsgTableRequest),
                   int(kMsgTeamText), int(kMsgConsoleText)})
    (void)endpoint_->SetHandler(type, nullptr);
  endpoint_->SetLogCallback(nullptr);
  endpoint_.reset();
}

void NetworkSession::Init() {
  keys_.assign(kPlayerKeyCount + 1, std::string());
  NetworkEndpoint* own = endpoint_.get();
  NetHandler handler = [this, own](NetworkEndpoint& e, int, int, int from, int type,
                                   const uint8_t* payload, int length) {
    if (&e != own) return 0;
    return HandleSessionMessage(from, type, payload, length);
  };
  for (int type : {int(kMsgLogin), int(kMsgLeave), int(kMsgPlayerTable), int(kMsgTableRequest),
                   int(kMsgTeamText), int(kMsgConsoleText)})
    (void)endpoint_->SetHandler(type, handler);
  endpoint_->SetLogCallback([this](const char* line) { LogLine(line); });
}

int NetworkSession::OpenNetworkSession(const char* host, int port, int mode,
                                       const char* playerName, const char* extra) {
  return endpoint_->OpenAndWait(host, port, mode, playerName ? playerName : "",
                                extra ? extra : "", kApplicationCheckCode);
}

bool NetworkSession::IsOpen() const { return endpoint_->GetMode() != 0; }

void NetworkSession::UpdateNetworkSession(uint32_t nowMs) {
  (void)nowMs;
  if (log) {
    for (const std::string& line : TakeLogLines()) (void)log->WriteLog(line.c_str(), core::kLogInfo);
  }
  if (endpoint_->GetMode() == 0) return;
  (void)PrunePlayers();
  if (endpoint_->GetMode() != kModeServer) return;
  if (++frameCount_ < kTableRoundFrames) return;
  frameCount_ = 0;
  int id = NextRoundId();
  if (id >= 0) (void)SendPlayerTable(id);
}

// The next id in use after the last one served, wrapping: with k players
// each one gets the table every k rounds, whatever ids they hold.
int NetworkSession::NextRoundId() {
  int ids[kMaxPeers + 1];
  int n = endpoint_->ListPeerIds(ids);
  int own = endpoint_->GetOwnId();
  int first = -1, next = -1;
  for (int i = 0; i < n; i++) {
    int id = ids[i];
    if ((id & 0x8000) != 0 || id == own) continue;
    if (first < 0 || id < first) first = id;
    if (id > roundCursor_ && (next < 0 || id < next)) next = id;
  }
  if (next < 0) next = first;
  if (next >= 0) roundCursor_ = next;
  return next;
}

// [SECTION] The table

int NetworkSession::DisconnectPeer(int id) {
  int result = endpoint_->Close(id);
  std::lock_guard<std::mutex> g(tableLock_);
  for (PlayerRecord& p : table_)
    if (id == -1 || p.id == id) p = PlayerRecord{};
  return result;
}

int NetworkSession::PrunePlayers() {
  int ids[kMaxPeers + 1];
  int n = endpoint_->ListPeerIds(ids);
  std::lock_guard<std::mutex> g(tableLock_);
  for (PlayerRecord& p : table_) {
    if (p.id < 0) continue;
    if (std::find(ids, ids + n, p.id) == ids + n) p = PlayerRecord{};
  }
  return 1;
}

std::vector<PlayerRecord> NetworkSession::CopyPlayerTable(PlayerRecord* out) const {
  std::lock_guard<std::mutex> g(tableLock_);
  if (out) std::copy(table_, table_ + kMaxPlayers, out);
  return std::vector<PlayerRecord>(table_, table_ + kMaxPlayers);
}

int NetworkSession::FindIndexLocked(int id, int ownId) const {
  if (id < 0) id = ownId;
  if (id < 0) return -1;
  for (int i = 0; i < kMaxPlayers; i++)
    if (table_[i].id == id) return i;
  return -1;
}

int NetworkSession::FindPlayerIndex(int id) const {
  int own = endpoint_->GetOwnId();
  std::lock_guard<std::mutex> g(tableLock_);
  return FindIndexLocked(id, own);
}

const char* NetworkSession::TextOf(int32_t id, int which) const {
  thread_local std::array<std::array<char, kPlayerTextLength>, 8> ring;
  thread_local int next = 0;
  char* out = ring[next].data();
  next = (next + 1) % 8;
  out[0] = '\0';
  int own = endpoint_->GetOwnId();
  if (own < 0) return out;
  std::lock_guard<std::mutex> g(tableLock_);
  int i = FindIndexLocked(id, own);
  if (i < 0) return out;
  const PlayerRecord& p = table_[i];
  const char* text = which == 0 ? p.name : p.team;
  if (which == 2) text = p.team[0] ? p.team : p.name;
  CopyCut(out, kPlayerTextLength, text, kPlayerTextLength);
  return out;
}

const char* NetworkSession::GetPlayerName(int32_t playerId) const { return TextOf(playerId, 0); }
const char* NetworkSession::GetPlayerTeam(int32_t playerId) const { return TextOf(playerId, 1); }
const char* NetworkSession::GetPlayerTeamOrName(int32_t playerId) const {
  return TextOf(playerId, 2);
}

int NetworkSession::StorePlayerTable(const uint8_t* wire, int length) {
  int mode = endpoint_->GetMode();
  if (mode != kModeClient || !wire || length < kPlayerTableLength) return mode;
  PlayerRecord fresh[kMaxPlayers];
  DecodePlayerTable(wire, fresh);
  std::lock_guard<std::mutex> g(tableLock_);
  std::copy(fresh, fresh + kMaxPlayers, table_);
  return mode;
}

int NetworkSession::SendPlayerTable(int id) {
  if (endpoint_->GetMode() != kModeServer) return 0;
  int own = endpoint_->GetOwnId();
  uint8_t wire[kPlayerTableLength];
  std::vector<int> to;
  {
    std::lock_guard<std::mutex> g(tableLock_);
    EncodePlayerTable(wire, table_);
    for (const PlayerRecord& p : table_) {
      if (p.id < 0 || p.id == own) continue;
      if ((id & 0x8000) != 0 || p.id == id) to.push_back(p.id);
    }
  }
  for (int target : to)
    (void)endpoint_->Send(target, kNoTeamFilter, kMsgPlayerTable, wire, kPlayerTableLength, 0);
  return 0;
}

int NetworkSession::SetPlayerKey(int number, const char* key) {
  if (number < 1 || number > kPlayerKeyCount || !key) return 0;
  char cut[kPlayerKeyLength];
  CopyCut(cut, kPlayerKeyLength, key, kPlayerKeyLength);
  std::lock_guard<std::mutex> g(tableLock_);
  keys_[number] = cut;
  return 1;
}

int NetworkSession::SendTeamText(const char* team) {
  uint8_t payload[kPlayerTextLength] = {};
  CopyCut(reinterpret_cast<char*>(payload), kPlayerTextLength, team ? team : "", kPlayerTextLength);
  return endpoint_->Send(0, kNoTeamFilter, kMsgTeamText, payload, kPlayerTextLength, 0);
}

// [SECTION] Messages

void NetworkSession::HandleLogin(int from) {
  char login[128] = {};
  (void)endpoint_->GetPeerName(login, from);
  char address[256] = {};
  (void)endpoint_->GetPeerAddress(address, from);
  char key[kPlayerKeyLength] = {};
  char name[kPlayerTextLength] = {};
  {
    std::lock_guard<std::mutex> g(tableLock_);
    int index = FindIndexLocked(from, from);
    for (int i = 0; index < 0 && i < kMaxPlayers; i++)
      if (table_[i].id < 0) index = i;
    if (index < 0) return;  // cannot happen after a prune: as many records as slots
    PlayerRecord& p = table_[index];
    p = PlayerRecord{};
    ParseLoginName(login, p.name, kPlayerTextLength, p.team, kPlayerTextLength, key,
                   kPlayerKeyLength);
    p.id = from;
    for (int j = 1; j <= kPlayerKeyCount; j++) {
      bool held = false;
      for (int i = 0; i < kMaxPlayers && !held; i++)
        held = i != index && table_[i].id >= 0 && table_[i].number == j;
      if (held) continue;
      if (keys_[j].empty()) break;
      if (keys_[j] == key) {
        p.number = static_cast<int16_t>(j);
        break;
      }
    }
    std::memcpy(name, p.name, sizeof name);
  }
  char line[512];
  std::snprintf(line, sizeof line, core::Sjis("%s [%s]がログインしました。"), name, address);
  LogLine(line);
}

int NetworkSession::HandleSessionMessage(int from, int type, const uint8_t* payload, int length) {
  if (!payload) length = 0;
  int mode = endpoint_->GetMode();
  switch (type) {
    case kMsgLogin:
      if (mode != kModeServer || from < 0 || from >= kMaxPeers) break;
      (void)PrunePlayers();
      HandleLogin(from);
      break;
    case kMsgLeave: {
      (void)PrunePlayers();
      std::lock_guard<std::mutex> g(tableLock_);
      for (PlayerRecord& p : table_)
        if (p.id == from) p = PlayerRecord{};
      break;
    }
    case kMsgPlayerTable:
      // Only the server's table counts, and only a whole one.
      if (from == 0) (void)StorePlayerTable(payload, length);
      break;
    case kMsgTableRequest:
      if (from >= 0 && from < kMaxPeers) (void)SendPlayerTable(from);
      break;
    case kMsgTeamText: {
      (void)PrunePlayers();
      int own = endpoint_->GetOwnId();
      {
        std::lock_guard<std::mutex> g(tableLock_);
        int index = from >= 0 ? FindIndexLocked(from, own) : -1;
        if (index < 0) break;
        CopyCut(table_[index].team, kPlayerTextLength, reinterpret_cast<const char*>(payload),
                length);
      }
      (void)SendPlayerTable(0x8000);
      break;
    }
    case kMsgConsoleText: {
      char text[kConsoleTextLimit + 1];
      CopyCut(text, sizeof text, reinterpret_cast<const char*>(payload),
              std::min(length, kConsoleTextLimit));
      LogLine(text);
      break;
    }
    default:
      break;  // type 5 (slot records) and anything else: nothing
  }
  return 1;
}

// [SECTION] Log and counters

void NetworkSession::LogLine(const std::string& line) {
  std::lock_guard<std::mutex> g(logLock_);
  if (logCallback_) logCallback_(line.c_str());
  else if (logLines_.size() < kMaxPendingLogLines) logLines_.push_back(line);
}

void NetworkSession::SetLogCallback(std::function<void(const char*)> callback) {
  std::lock_guard<std::mutex> g(logLock_);
  logCallback_ = std::move(callback);
}

std::vector<std::string> NetworkSession::TakeLogLines() {
  std::lock_guard<std::mutex> g(logLock_);
  std::vector<std::string> out;
  out.swap(logLines_);
  return out;
}

void NetworkSession::GetTrafficCounters(int32_t out[5]) const {
  NetStatistics s = endpoint_->GetStatistics();
  out[0] = static_cast<int32_t>(s.received);
  out[1] = static_cast<int32_t>(s.good);
  out[2] = static_cast<int32_t>(s.bad);
  out[3] = static_cast<int32_t>(s.sent);
  out[4] = static_cast<int32_t>(s.blocked);
}

// [SECTION] The endpoint for the game

int NetworkSession::GetOwnId() { return endpoint_->GetOwnId(); }
int NetworkSession::PeerCount() { return endpoint_->PeerCount(); }
int NetworkSession::GetPeerName(char* out, int id) { return endpoint_->GetPeerName(out, id); }
int NetworkSession::GetPeerAddress(char* out, int id) { return endpoint_->GetPeerAddress(out, id); }

int NetworkSession::Send(int to, int teamFilter, int type, const uint8_t* payload, int length, int flags) {
  static_assert(kSendByUdp == kFrameFlagUdp, "the game's UDP flag is the frame's");
  return endpoint_->Send(to, teamFilter, type, payload, length, flags & kSendByUdp);
}

int NetworkSession::PeekMessage(int* type, int* length) {
  return endpoint_->PeekMessage(nullptr, nullptr, nullptr, type, length);
}
int NetworkSession::PopMessage(uint8_t* buffer, int size) { return endpoint_->PopMessage(buffer, size); }
int NetworkSession::QueuedCount() { return endpoint_->QueuedCount(); }

}  // namespace net
