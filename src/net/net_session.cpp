// net_session.cpp -- the network session. A stand-in for now: opening
// reports an unknown failure, so start-up goes on without network.

#include "net/net_public.h"

namespace net {

int NetworkSession::OpenNetworkSession(const char* host, int port, int mode,
                                       const char* playerName, const char* extra) {
  (void)host;
  (void)port;
  (void)mode;
  (void)playerName;
  (void)extra;
  return -1;
}

void NetworkSession::UpdateNetworkSession(uint32_t nowMs) { (void)nowMs; }

const char* NetworkSession::GetPlayerName(int32_t playerId) const {
  (void)playerId;
  return "";
}

void NetworkSession::GetTrafficCounters(int32_t out[5]) const {
  for (int k = 0; k < 5; k++) out[k] = 0;
}

}  // namespace net
