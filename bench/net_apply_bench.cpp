// net_apply_bench.cpp -- the main thread's share of a 40-peer network game:
// one server world and 39 client worlds in one process on loopback, each
// owning 20 aircraft, stepping at 60 Hz for a few seconds. Every frame each
// world sends its unit states and its row of the network data (as the end
// of the world step does) and applies what arrived (as its start does).
//
// Prints, per world and frame, the time to apply the received messages
// (thread CPU time, mean and worst, on the server and the clients), the records and
// messages applied per second on the server, and the traffic per peer.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/core_public.h"
#include "net/net_endpoint.h"
#include "net/net_public.h"
#include "render/render_public.h"
#include "world/world_public.h"
#include "world/world_local.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPeers = 40;
constexpr int kUnitsPerPeer = 20;
constexpr int kSeconds = 5;
// The first four seconds make the copies (pool growth, placing): not timed.
constexpr int kWarmUpFrames = 240;

struct Peer {
  world::GameWorld world;
  net::NetworkSession session;
  render::TextureHolder surface{};
  units::UnitType* plane = nullptr;
  double applyMs = 0, worstMs = 0;
};

// CPU time of the calling thread: what applying costs the main thread,
// whatever the 120 network threads beside it do to the wall clock.
double ThreadMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

}  // namespace

int main() {
  core::LogSystem log("net_apply_bench.log", core::kLogError);
  std::vector<std::unique_ptr<Peer>> peers;
  for (int i = 0; i < kPeers; i++) {
    auto p = std::make_unique<Peer>();
    p->world.log = &log;
    p->world.network = &p->session;
    auto type = std::make_unique<units::UnitType>();
    type->key = type->name = "PLANE";
    type->defense = 100;
    type->slotIndex = int32_t(p->world.unitDatabase->types.size());
    p->plane = type.get();
    p->world.unitDatabase->types.push_back(std::move(type));
    peers.push_back(std::move(p));
  }
  if (peers[0]->session.OpenNetworkSession(nullptr, 0, net::kModeServer, "Host", "") != net::kOpenOk) {
    std::fprintf(stderr, "the server did not open\n");
    return 1;
  }
  std::string address = "127.0.0.1:" + std::to_string(peers[0]->session.endpoint().LocalPort());
  for (int i = 1; i < kPeers; i++) {
    std::string name = "P" + std::to_string(i);
    if (peers[size_t(i)]->session.OpenNetworkSession(address.c_str(), 1, net::kModeClient, name.c_str(), "") !=
        net::kOpenOk) {
      std::fprintf(stderr, "client %d did not join\n", i);
      return 1;
    }
  }
  for (auto& p : peers) {
    world::set_network_world(p->world, 1);
    for (int u = 0; u < kUnitsPerPeer; u++) {
      units::Unit* unit = world::PutUnit(p->world, "RED", p->plane, 1, "", 0,
                                         world::Vec3{float(u * 10), 500, 0}, world::Vec3{}, nullptr);
      if (!unit) {
        std::fprintf(stderr, "no unit could be placed (%d, %d)\n", int(&p - &peers[0]), u);
        return 1;
      }
      unit->surface = &p->surface;
      unit->velocity = world::Vec3{0, 0, 1};
    }
  }

  const int frames = kSeconds * 60;
  net::NetStatistics before{};
  uint64_t serverRecords = 0;
  auto start = Clock::now();
  for (int frame = -kWarmUpFrames; frame < frames; frame++) {
    if (frame == 0) {
      for (auto& p : peers) p->applyMs = p->worstMs = 0;
      serverRecords = 0;
      before = peers[0]->session.endpoint().GetStatistics();
      start = Clock::now();
    }
    auto due = start + std::chrono::microseconds(int64_t(std::max(frame, 0)) * 1000000 / 60);
    std::this_thread::sleep_until(due);
    for (auto& p : peers) {
      // The units move, so every record is news.
      for (int slot = 1; slot < world::CountUnitSlots(p->world); slot++)
        if (units::Unit* u = world::GetUnitAt(p->world, slot); u && units::IsUnitLocal(*u)) {
          world::Vec3 at = u->GetObjectPosition();
          u->SetObjectPosition(at.x, at.y, at.z + 1);
        }
      double t0 = ThreadMs();
      world::ApplyNetworkMessages(p->world);
      double ms = ThreadMs() - t0;
      p->applyMs += ms;
      p->worstMs = std::max(p->worstMs, ms);
      int sent = world::SendUnitStates(p->world, frame + kWarmUpFrames);
      if (p == peers[0] && sent > 0) serverRecords += uint64_t(sent);
      world::SendPlayerData(p->world);
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  net::NetStatistics after = peers[0]->session.endpoint().GetStatistics();

  double clientMean = 0, clientWorst = 0;
  for (int i = 1; i < kPeers; i++) {
    clientMean += peers[size_t(i)]->applyMs / frames / (kPeers - 1);
    clientWorst = std::max(clientWorst, peers[size_t(i)]->worstMs);
  }
  int copies = 0;
  for (int slot = 1; slot < world::CountUnitSlots(peers[0]->world); slot++)
    if (units::Unit* u = world::GetUnitAt(peers[0]->world, slot); u && !units::IsUnitLocal(*u)) copies++;
  std::printf("%d peers x %d aircraft, %d frames at 60 Hz in %.2f s\n", kPeers, kUnitsPerPeer, frames, seconds);
  std::printf("server: apply %.3f ms per frame on average, %.3f ms at worst; %d copies of the clients' aircraft\n",
              peers[0]->applyMs / frames, peers[0]->worstMs, copies);
  std::printf("clients: apply %.3f ms per frame on average, %.3f ms at worst\n", clientMean, clientWorst);
  std::printf("server: %.0f bytes received per second, %.0f sent (%.0f per client); own unit records sent %.0f per second\n",
              double(after.received - before.received) / seconds, double(after.sent - before.sent) / seconds,
              double(after.sent - before.sent) / seconds / (kPeers - 1), double(serverRecords) / seconds);
  return 0;
}
