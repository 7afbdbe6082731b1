// net_public.h -- the one network session: endpoint and lobby, as the rest
// of the engine reaches them.
#pragma once

#include <cstdint>

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

class NetworkSession {
 public:
  core::LogSystem* log = nullptr;

  // Opens the endpoint as server (host null) or client. 1 on success, a
  // negative code otherwise; the network stays closed after a failure.
  int OpenNetworkSession(const char* host, int port, int mode, const char* playerName,
                         const char* extra);
  // Once per frame: ages the lobby's counters; nothing while closed.
  void UpdateNetworkSession(uint32_t nowMs);

  bool IsOpen() const { return open_; }
  // The player name of a network player id ("" for an unknown id).
  const char* GetPlayerName(int32_t playerId) const;
  // The five traffic counters: received, good, bad, sent, send blocked.
  void GetTrafficCounters(int32_t out[5]) const;

 private:
  bool open_ = false;
};

}  // namespace net
