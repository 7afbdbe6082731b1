// api_network.cpp -- the network handler: the network session as scripts
// see it, and the per-player network data table.

#include "api/api_args.h"
#include "api/api_local.h"
#include "world/world_public.h"

namespace api {

namespace {

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
    {"get_network_id", nullptr},
    {"get_network_name", nullptr},
    {"get_network_num", nullptr},
    {"get_network_team", nullptr},
    {"send_network_message", nullptr},
    {"set_label_online", nullptr},
    {"set_label_online_id", nullptr},
    {"set_network_data", CallSetNetworkData},
    {"set_network_world", CallSetNetworkWorld},
};
const size_t kNetworkCallCount = sizeof kNetworkCalls / sizeof kNetworkCalls[0];

const script::SystemCallHandler HandleNetworkSystemCall = TableHandler<kNetworkCalls, kNetworkCallCount>;

}  // namespace api
