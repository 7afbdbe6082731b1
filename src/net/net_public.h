// net_public.h -- the one network session: endpoint and lobby, as the rest
// of the engine reaches them.
//
// The lobby keeps a table of 40 player records (short name, team text,
// player number, network id) beside the endpoint's peer slots. The server
// fills it from logins; clients take it whole from the server (type 50).
// Every peer prunes it once per frame, so a record lives exactly as long as
// its peer's endpoint slot.
//
// Threads: the table is written inside the endpoint's handlers (receive
// thread, or the sending thread for local frames) and pruned and read on
// the main thread. One lock of its own guards it; it is never held while
// the session calls into the endpoint from the main thread, so the lock
// order is always endpoint lock, then table lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace core {
class LogSystem;
}

namespace net {

constexpr int kModeServer = 2;
constexpr int kModeClient = 3;
constexpr uint32_t kApplicationCheckCode = 0x20141201;

// Results of OpenNetworkSession.
enum : int {
  kOpenOk = 1,
  kOpenAlreadyConnected = -100,
  kOpenTcpSocketFailed = -110,
  kOpenUdpSocketFailed = -120,
  kOpenHostNotResolved = -130,
  kOpenTcpConnectFailed = -140,
  kOpenUdpFailed = -150,
  kOpenNoAnswer = -160,
};

// Lobby message types.
enum : int {
  kMsgPlayerTable = 50,
  kMsgTableRequest = 51,
  kMsgTeamText = 54,
  kMsgConsoleText = 59,
};

constexpr int kMaxPlayers = 40;
constexpr int kPeerNameBytes = 128;
constexpr int kSendByUdp = 0x0001;  // NetworkSession::Send: by UDP, not TCP
constexpr int kPlayerRecordLength = 40;
constexpr int kPlayerTableLength = kMaxPlayers * kPlayerRecordLength;  // 1600
constexpr int kPlayerTextLength = 16;  // name and team: 15 characters and the NUL
constexpr int kPlayerKeyCount = 9999;
constexpr int kPlayerKeyLength = 20;
constexpr int kLoginNameLimit = 127;   // characters of a login name that are read
constexpr int kConsoleTextLimit = 128;
constexpr int kTableRoundFrames = 6;   // server: one player gets the table every 6 frames

// One lobby player. Wire layout (40 bytes, little-endian): name[16],
// team[16], int16 player number, 2 zero bytes, int32 network id.
struct PlayerRecord {
  char name[kPlayerTextLength] = {};
  char team[kPlayerTextLength] = {};
  int16_t number = 0;  // 0: none
  int32_t id = -1;     // -1: free
};
void EncodePlayerTable(uint8_t* out, const PlayerRecord* table);
// Reads 40 records. Texts are cut to 15 characters, an id outside -1..39
// frees the record, a player number outside 0..9999 becomes 0.
void DecodePlayerTable(const uint8_t* in, PlayerRecord* table);

// Splits "name@team#key": characters go to the name until the first '@' or
// '#'; after '@' to the team, after '#' to the key, each separator switching
// the target and never stored. At most 127 characters are read; each output
// (may be null) starts empty and keeps at most size - 1 characters.
void ParseLoginName(const char* login, char* name, int nameSize, char* team, int teamSize,
                    char* key, int keySize);

class NetworkEndpoint;
struct EndpointTimings;

class NetworkSession {
 public:
  core::LogSystem* log = nullptr;

  NetworkSession();
  explicit NetworkSession(const EndpointTimings& timings);
  ~NetworkSession();
  NetworkSession(const NetworkSession&) = delete;
  NetworkSession& operator=(const NetworkSession&) = delete;

  // Opens the endpoint as server (host null) or client with the
  // application check code; `playerName` is the endpoint name (a login
  // name) and `extra` the team text. 1 on success, a negative code
  // otherwise; the network stays closed after a failure.
  int OpenNetworkSession(const char* host, int port, int mode, const char* playerName,
                         const char* extra);
  // Once per frame on the main thread: nothing while closed; otherwise
  // prunes the table, writes pending network log lines to `log`, and on the
  // server sends the table to the next player in turn every 6 frames.
  void UpdateNetworkSession(uint32_t nowMs);

  bool IsOpen() const;
  // Closes that peer (-1: everything) and frees its records (all with -1).
  int DisconnectPeer(int id);
  // Frees every record whose id the endpoint does not list. 1.
  int PrunePlayers();
  // Copies the 40 records (`out` may be null) and returns them.
  std::vector<PlayerRecord> CopyPlayerTable(PlayerRecord* out = nullptr) const;
  // Record index 0..39 of the id (negative: the own id), -1 when none.
  int FindPlayerIndex(int id) const;
  // The texts of the id's record; "" when the own id is not known yet or
  // the id has no record. The pointer stays good for the next few calls on
  // the same thread (a small per-thread ring of copies).
  const char* GetPlayerName(int32_t playerId) const;
  const char* GetPlayerTeam(int32_t playerId) const;
  const char* GetPlayerTeamOrName(int32_t playerId) const;
  // Client only: replaces the table with a 1600-byte wire table. Returns
  // the mode.
  int StorePlayerTable(const uint8_t* wire, int length);
  // Server only: sends the table (type 50) to the id when it has a record,
  // or to every player when bit 15 is set. 0.
  int SendPlayerTable(int id);
  // The lobby's handler of types 2, 3, 50, 51, 54 and 59 (type 5 is
  // ignored). 1.
  int HandleSessionMessage(int from, int type, const uint8_t* payload, int length);
  // Key j (1..9999) of the player-number list; 0 when out of range.
  int SetPlayerKey(int number, const char* key);
  // Sends the own team text (type 54) to the server.
  int SendTeamText(const char* team);

  // The five traffic counters: received, good, bad, sent, send blocked.
  void GetTrafficCounters(int32_t out[5]) const;
  // Lines for the network log not yet written (tests and the server window).
  std::vector<std::string> TakeLogLines();
  // Every status line of the network goes to `callback` (any thread; null
  // removes it) instead of waiting for the engine log.
  void SetLogCallback(std::function<void(const char*)> callback);
  // The peer's address as "host:port"; "" (and -50) when the id has no slot.
  int GetPeerAddress(char* out, int id);
  // A line of the network log from the game (texts the peers send); any
  // thread.
  void AddLogLine(const std::string& line) { LogLine(line); }

  // The endpoint as the game reaches it (main thread): the own id (negative
  // until assigned), the peers in its table, a peer's login name (`out`
  // holds kPeerNameBytes; -50 when the id has no slot), sending from the
  // own id (flags: kSendByUdp), and the receive queue: the oldest message's
  // type and payload length (0 when empty, else the number queued), its
  // payload copied out (truncated to `size`; null drops it) and removed.
  int GetOwnId();
  int PeerCount();
  int GetPeerName(char* out, int id);
  int Send(int to, int teamFilter, int type, const uint8_t* payload, int length, int flags);
  int PeekMessage(int* type, int* length);
  int PopMessage(uint8_t* buffer, int size);
  int QueuedCount();

  NetworkEndpoint& endpoint() { return *endpoint_; }

 private:
  void Init();
  void LogLine(const std::string& line);
  const char* TextOf(int32_t id, int which) const;
  int FindIndexLocked(int id, int ownId) const;
  void HandleLogin(int from);
  int NextRoundId();

  std::unique_ptr<NetworkEndpoint> endpoint_;
  mutable std::mutex tableLock_;
  PlayerRecord table_[kMaxPlayers];
  std::vector<std::string> keys_;  // entry j for player number j; [0] unused
  std::mutex logLock_;
  std::vector<std::string> logLines_;
  std::function<void(const char*)> logCallback_;
  int frameCount_ = 0;
  int roundCursor_ = -1;  // id that last got the table in the round
};

}  // namespace net
