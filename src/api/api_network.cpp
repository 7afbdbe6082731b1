// api_network.cpp -- the network handler: the network session as scripts
// see it, and the per-player network data table.

#include <cstring>

#include "api/api_args.h"
#include "api/api_local.h"
#include "net/net_public.h"
#include "units/units_services.h"
#include "world/world_public.h"

namespace api {

namespace {

// The session, or null while none is open: every call then answers with
// what a closed session gives (id -1, no peers, empty texts).
net::NetworkSession* OpenSession(const Call& call) {
  net::NetworkSession* session = call.world ? call.world->network : nullptr;
  return session && session->IsOpen() ? session : nullptr;
}

// [SECTION] The session

// get_network_id(): the own network id; negative when none.
void CallGetNetworkId(Call& call) {
  net::NetworkSession* session = OpenSession(call);
  SetInt(call, session ? session->GetOwnId() : -1);
}

// get_network_num(): the peers in the endpoint's table.
void CallGetNetworkNum(Call& call) {
  net::NetworkSession* session = OpenSession(call);
  SetInt(call, session ? session->PeerCount() : 0);
}

// get_network_name(): the own login name; "" without an own slot.
void CallGetNetworkName(Call& call) {
  char name[net::kPeerNameBytes] = {};
  if (net::NetworkSession* session = OpenSession(call)) {
    if (session->GetPeerName(name, session->GetOwnId()) < 0) name[0] = 0;
  }
  SetText(call, name);
}

// get_network_team(): the own team of the lobby's table; "" when none.
void CallGetNetworkTeam(Call& call) {
  net::NetworkSession* session = OpenSession(call);
  SetText(call, session ? session->GetPlayerTeam(-1) : "");
}

// send_network_message(id, text): message 99 to that peer (-1 all).
void CallSendNetworkMessage(Call& call) {
  if (call.world && OpenSession(call)) world::SendNetworkText(*call.world, ArgInt(call, 0), ArgText(call, 1));
}

// Labels every PLAYER unit of the current scene that `matches` picks.
template <typename Match>
void LabelOnlineUnits(Call& call, const char* label, Match matches) {
  world::GameWorld& w = *call.world;
  int slots = world::CountUnitSlots(w);
  for (int slot = 1; slot < slots; slot++) {
    units::Unit* unit = world::GetUnitAt(w, slot);
    if (!unit || !(unit->flags & units::kUnitPlayer) || unit->sceneNumber != w.eventMode) continue;
    if (matches(int32_t(uint32_t(unit->networkId) >> 24))) units::SetUnitLabel(*unit, label);
  }
}

// set_label_online(player, label): by the creator's player name, or failing
// that its team.
void CallSetLabelOnline(Call& call) {
  net::NetworkSession* session = OpenSession(call);
  if (!call.world || !session) return;
  const char* player = ArgText(call, 0);
  LabelOnlineUnits(call, ArgText(call, 1), [&](int32_t creator) {
    return std::strcmp(session->GetPlayerName(creator), player) == 0 ||
           std::strcmp(session->GetPlayerTeam(creator), player) == 0;
  });
}

// set_label_online_id(id, label): by the creator's network id.
void CallSetLabelOnlineId(Call& call) {
  if (!call.world) return;
  int32_t id = ArgInt(call, 0);
  LabelOnlineUnits(call, ArgText(call, 1), [&](int32_t creator) { return creator == id; });
}

// [SECTION] Network data

// get_network_data(id, index): an entry of the table; 0 outside it.
void CallGetNetworkData(Call& call) {
  if (call.world) SetInt(call, world::get_network_data(*call.world, ArgInt(call, 0), ArgInt(call, 1)));
}

// set_network_data(index, value): the own row's entry, which the network
// sends on to the other peers; the previous value.
void CallSetNetworkData(Call& call) {
  world::GameWorld* w = call.world;
  if (w) SetInt(call, world::set_network_data(*w, w->networkOwnId, ArgInt(call, 0), ArgInt(call, 1)));
}

// set_network_world(flag): switches the game messages on and off; what the
// world answers (-1 without a session).
void CallSetNetworkWorld(Call& call) {
  if (call.world) SetInt(call, world::set_network_world(*call.world, ArgInt(call, 0)));
}

}  // namespace

// [SECTION] Names

const CallEntry kNetworkCalls[] = {
    {"get_network_data", CallGetNetworkData},
    {"get_network_id", CallGetNetworkId},
    {"get_network_name", CallGetNetworkName},
    {"get_network_num", CallGetNetworkNum},
    {"get_network_team", CallGetNetworkTeam},
    {"send_network_message", CallSendNetworkMessage},
    {"set_label_online", CallSetLabelOnline},
    {"set_label_online_id", CallSetLabelOnlineId},
    {"set_network_data", CallSetNetworkData},
    {"set_network_world", CallSetNetworkWorld},
};
const size_t kNetworkCallCount = sizeof kNetworkCalls / sizeof kNetworkCalls[0];

const script::SystemCallHandler HandleNetworkSystemCall = TableHandler<kNetworkCalls, kNetworkCallCount>;

}  // namespace api
