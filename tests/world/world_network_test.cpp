// world_network_test.cpp -- the game messages between two worlds in one
// process, a server and a client on loopback: copies made from unit states
// (jumping or gliding to new positions), batches of 44, shots, hits, losses,
// deletions, player data and texts; and records that lie (non-finite
// numbers, unknown types, ids of no peer, cut records, foreign data rows).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "net/net_endpoint.h"
#include "net/net_public.h"
#include "net/net_test_wait.h"
#include "test_support.h"
#include "units/units_combat.h"
#include "world/world_local.h"

namespace {

using world::Vec3;

// One peer: a world wired to its own session. The unit types are made in
// the same order on every peer, so their indexes agree as loaded masters'
// do.
struct Peer {
  core::LogSystem log;
  world::GameWorld world;
  net::NetworkSession session{nettest::FastTimings(2000, 10)};
  render::TextureHolder surface{};  // stands in for a loaded surface
  units::UnitType* plane = nullptr;
  units::UnitType* gun = nullptr;

  explicit Peer(const char* logName) : log(logName, core::kLogInfo) {
    world.log = &log;
    world.network = &session;
    plane = AddType("PLANE", 0);
    gun = AddType("SHELL", units::kAttrWeapon | units::kAttrGun);
  }

  units::UnitType* AddType(const char* key, uint32_t attributes) {
    auto type = std::make_unique<units::UnitType>();
    type->key = key;
    type->name = key;
    type->defense = 100;
    type->attributes = attributes;
    type->slotIndex = int32_t(world.unitDatabase->types.size());
    units::UnitType* raw = type.get();
    world.unitDatabase->types.push_back(std::move(type));
    return raw;
  }

  units::Unit* Put(const char* team, Vec3 at, const char* label = "", uint32_t flags = 0) {
    units::Unit* u = world::PutUnit(world, team, plane, 1, label, flags, at, Vec3{}, nullptr);
    if (u) u->surface = &surface;
    return u;
  }

  int OwnId() { return session.GetOwnId(); }
};

struct Game {
  test::ScopedWorkFolder work;
  Peer server{"server.log"};
  Peer client{"client.log"};
  int step = 0;

  Game() {
    EXPECT_EQ(server.session.OpenNetworkSession(nullptr, 0, net::kModeServer, "Ace", ""), net::kOpenOk);
    std::string address = "127.0.0.1:" + std::to_string(server.session.endpoint().LocalPort());
    EXPECT_EQ(client.session.OpenNetworkSession(address.c_str(), 1, net::kModeClient, "Bee@BLUE", ""),
              net::kOpenOk);
    EXPECT_TRUE(nettest::WaitFor([&] { return client.OwnId() > 0 && server.session.PeerCount() == 2; }));
    EXPECT_EQ(world::set_network_world(server.world, 1), 0);
    EXPECT_EQ(world::set_network_world(client.world, 1), 0);
    // The client's first datagram tells the server where it listens.
    EXPECT_EQ(world::SendPlayerData(client.world), 0);
    EXPECT_TRUE(nettest::WaitFor([&] {
      world::ApplyNetworkMessages(server.world);
      return server.session.endpoint().GetStatistics().good > 0;
    }));
  }

  // Sends `from`'s unit states over the steps that reach every slot group.
  int SendAllStates(Peer& from) {
    int n = from.session.PeerCount() + 7, sent = 0;
    for (int i = 0; i < 2 * n; i++, step++) sent += std::max(0, world::SendUnitStates(from.world, step));
    return sent;
  }

  // Applies what arrives at `to` until `done` holds (3 s at most).
  bool Pump(Peer& to, const std::function<bool()>& done) {
    return nettest::WaitFor([&] {
      world::ApplyNetworkMessages(to.world);
      return done();
    });
  }

  // The next message of `type` queued at `to`, others dropped; empty when
  // none came.
  std::vector<uint8_t> Take(Peer& to, int type) {
    std::vector<uint8_t> out;
    nettest::WaitFor([&] {
      int t = 0, length = 0;
      while (to.session.PeekMessage(&t, &length) > 0) {
        std::vector<uint8_t> payload(size_t(std::max(length, 1)));
        to.session.PopMessage(payload.data(), length);
        if (t == type) {
          payload.resize(size_t(length));
          out = payload;
          return true;
        }
      }
      return false;
    });
    return out;
  }

  // Sends a message from `from` to `to`, then a marker text behind it on
  // the same stream, and applies everything at `to` up to the marker: the
  // message has been handled when this returns.
  void Inject(Peer& from, Peer& to, int type, const std::vector<uint8_t>& payload) {
    ASSERT_GE(from.session.Send(to.OwnId(), -1, type, payload.data(), int(payload.size()), 0), 0);
    std::string marker = "sync " + std::to_string(++markers);
    ASSERT_GE(from.session.Send(to.OwnId(), -1, world::kMsgText, reinterpret_cast<const uint8_t*>(marker.c_str()),
                                int(marker.size() + 1), 0),
              0);
    ASSERT_TRUE(Pump(to, [&] { return marker == to.world.messages[0].text; }));
  }
  int markers = 0;
};

void Put32(std::vector<uint8_t>& out, size_t at, int32_t v) {
  for (int i = 0; i < 4; i++) out[at + size_t(i)] = uint8_t(uint32_t(v) >> (8 * i));
}


TEST(NetworkGame, AUnitStateMakesACopyThatJumpsFarAndGlidesNear) {
  Game g;
  units::Unit* own = g.server.Put("RED", Vec3{100, 200, 300}, "Raven1", units::kUnitTarget);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(uint32_t(own->networkId) >> 24, 0u);
  own->SetObjectAngles(0.5f, -1.25f, 3.0f);
  own->velocity = Vec3{1.5f, -0.25f, 40.0f};  // z beyond the field: clamped, not wrapped
  own->moment = Vec3{0.05f, -5.0f, 0.0f};
  own->throttle = 0.8f;
  own->score = 7;
  EXPECT_EQ(g.SendAllStates(g.server), 1);
  units::Unit* copy = nullptr;
  ASSERT_TRUE(g.Pump(g.client, [&] { return (copy = world::FindUnitByNetworkId(g.client.world, own->networkId)); }));
  EXPECT_NE(copy, own);
  EXPECT_FALSE(units::IsUnitLocal(*copy));
  EXPECT_FALSE(world::IsNetworkIdLocal(g.client.world, copy->networkId));
  EXPECT_EQ(copy->flags, units::kUnitTarget | units::kUnitRemote | units::kUnitCounted);
  EXPECT_STREQ(copy->label.Get(), "Raven1");
  EXPECT_STREQ(copy->team.Get(), "RED");
  EXPECT_EQ(copy->lifeTimer, 120);
  EXPECT_EQ(copy->score, 7);
  Vec3 p = copy->GetObjectPosition();
  EXPECT_FLOAT_EQ(p.x, 100);
  EXPECT_FLOAT_EQ(p.z, 300);
  Vec3 a = copy->GetObjectAngles();
  EXPECT_NEAR(a.x, 0.5f, 1e-4f);
  EXPECT_NEAR(a.y, -1.25f, 1e-4f);
  EXPECT_NEAR(a.z, 3.0f, 1e-4f);
  EXPECT_NEAR(copy->velocity.x, 1.5f, 1e-3f);
  EXPECT_NEAR(copy->velocity.z, 32.767f, 1e-3f);
  EXPECT_NEAR(copy->moment.x, 0.05f, 1e-6f);
  EXPECT_NEAR(copy->moment.y, -1.28f, 1e-6f);
  EXPECT_NEAR(copy->throttle, 0.8f, 1e-6f);

  // 10 units away: the copy glides there over 60 steps.
  own->SetObjectPosition(110, 200, 300);
  copy->lifeTimer = 5;
  g.SendAllStates(g.server);
  ASSERT_TRUE(g.Pump(g.client, [&] { return copy->lifeTimer == 120; }));
  EXPECT_FLOAT_EQ(copy->GetObjectPosition().x, 100);
  EXPECT_EQ(copy->impulseSteps, 60);
  EXPECT_NEAR(copy->impulseVelocity.x, 10.0f / 60.0f, 1e-6f);

  // 60 units away: it jumps, and the glide is dropped.
  own->SetObjectPosition(170, 200, 300);
  copy->lifeTimer = 5;
  g.SendAllStates(g.server);
  ASSERT_TRUE(g.Pump(g.client, [&] { return copy->lifeTimer == 120; }));
  EXPECT_FLOAT_EQ(copy->GetObjectPosition().x, 170);
  EXPECT_EQ(copy->impulseSteps, 0);
}

TEST(NetworkGame, UnitStatesGoOutInGroupsAndBatchesOf44) {
  Game g;
  // Peers + 7 = 9 groups: slots 9, 18, ... form group 0 of step 0.
  std::vector<units::Unit*> own;
  for (int i = 0; i < 9 * 50; i++) own.push_back(g.server.Put("RED", Vec3{float(i), 0, 0}));
  EXPECT_EQ(world::SendUnitStates(g.server.world, 1), 0);  // odd steps send nothing
  EXPECT_EQ(world::SendUnitStates(g.server.world, 0), 50);
  std::vector<int> lengths;
  lengths.push_back(int(g.Take(g.client, world::kMsgUnitStates).size()));
  lengths.push_back(int(g.Take(g.client, world::kMsgUnitStates).size()));
  EXPECT_EQ(lengths, (std::vector<int>{44 * 92, 6 * 92}));

  // Units of other peers, NO_NETWORK types, state 990 and the relay's own
  // plane stay home.
  g.server.plane->attributes |= units::kAttrNoNetwork;
  EXPECT_EQ(world::SendUnitStates(g.server.world, 0), 0);
}

TEST(NetworkGame, ShotsHitsLossesAndDeletionsReachTheOwner) {
  Game g;
  units::Unit* target = g.server.Put("RED", Vec3{0, 100, 0}, "Target");
  units::Unit* hunter = g.client.Put("BLUE", Vec3{0, 100, -50}, "Hunter", units::kUnitPlayer);
  target->hp = target->maxHp = 100;
  g.SendAllStates(g.server);
  g.SendAllStates(g.client);
  units::Unit* targetCopy = nullptr;
  units::Unit* hunterCopy = nullptr;
  ASSERT_TRUE(
      g.Pump(g.client, [&] { return (targetCopy = world::FindUnitByNetworkId(g.client.world, target->networkId)); }));
  ASSERT_TRUE(
      g.Pump(g.server, [&] { return (hunterCopy = world::FindUnitByNetworkId(g.server.world, hunter->networkId)); }));
  EXPECT_EQ(hunterCopy->importantFlag, 1);  // a PLAYER unit's copy

  // The hunter fires: its gun shot appears on the server, owned by the copy.
  units::Unit* shot = world::SpawnOwnedUnit(g.client.world, Vec3{0, 100, -45}, Vec3{0, 0, 3}, hunter, g.client.gun);
  ASSERT_NE(shot, nullptr);
  units::Unit* shotCopy = nullptr;
  ASSERT_TRUE(
      g.Pump(g.server, [&] { return (shotCopy = world::FindUnitByNetworkId(g.server.world, shot->networkId)); }));
  EXPECT_EQ(shotCopy->master, hunterCopy);
  EXPECT_EQ(shotCopy->lifeTimer, 120);
  EXPECT_FALSE(units::IsUnitLocal(*shotCopy));

  // A hit on the copy goes to the owner instead of hurting the copy.
  EXPECT_EQ(units::ApplyDamage(g.client.world, targetCopy, 40, units::kTypeGun, hunter, nullptr), targetCopy->hp);
  ASSERT_TRUE(g.Pump(g.server, [&] { return target->hp < 100; }));
  EXPECT_GE(target->hp, 100 - 48);

  // A hit without an attacker is ignored.
  int hp = target->hp;
  units::HitRecord anonymous;
  anonymous.victimId = target->networkId;
  anonymous.attackerId = -1;
  anonymous.amount = 50;
  std::vector<uint8_t> bytes(units::kHitRecordBytes);
  units::WriteHitRecord(anonymous, bytes.data());
  g.Inject(g.client, g.server, world::kMsgHit, bytes);
  EXPECT_EQ(target->hp, hp);

  // A kill: the owner destroys its unit and every peer hears of the loss.
  units::ApplyDamage(g.server.world, target, units::kKillDamage, units::kTypeGun, hunterCopy, nullptr);
  EXPECT_GE(target->state, units::kUnitStateDestroyed);
  ASSERT_TRUE(g.Pump(g.client, [&] { return targetCopy->hp == 0; }));
  EXPECT_EQ(targetCopy->maxHp, 100);
  units::UnitEvent kill{};
  EXPECT_EQ(units::PopDestroyEvent(*hunter, &kill, 1), 1);
  EXPECT_EQ(kill.unitId, targetCopy->unitId);

  // A deletion of the owner's unit releases the copy.
  int32_t id = target->networkId;
  world::ReleaseMatchingUnits(g.server.world, target);
  EXPECT_TRUE(g.Pump(g.client, [&] { return !world::FindUnitByNetworkId(g.client.world, id); }));
}

TEST(NetworkGame, LossTextsNameThePlayersAndANegativeCauseShowsNone) {
  Game g;
  units::Unit* mine = g.client.Put("BLUE", Vec3{0, 100, 0}, "Me", units::kUnitPlayer);
  g.SendAllStates(g.client);
  units::Unit* copy = nullptr;
  ASSERT_TRUE(g.Pump(g.server, [&] { return (copy = world::FindUnitByNetworkId(g.server.world, mine->networkId)); }));

  std::vector<uint8_t> loss(12);
  Put32(loss, 0, mine->networkId);
  Put32(loss, 4, -1);
  Put32(loss, 8, -1);  // negative cause: applied, no text
  g.Inject(g.client, g.server, world::kMsgLoss, loss);
  EXPECT_EQ(copy->hp, 0);
  EXPECT_STREQ(g.server.world.messages[1].text, "");

  Put32(loss, 8, 0);
  g.Inject(g.client, g.server, world::kMsgLoss, loss);
  EXPECT_EQ(std::string(g.server.world.messages[1].text), core::Sjis("[Bee]がコースアウトしました。"));
}

TEST(NetworkGame, PlayerDataAndTextsTravelAndForeignRowsAreIgnored) {
  Game g;
  world::set_network_data(g.server.world, 0, 3, 77);
  EXPECT_EQ(world::SendPlayerData(g.server.world), 0);
  // Player data goes by datagram, every frame in play: one sent before the
  // server has heard the client's first datagram (its join came by stream)
  // goes nowhere, so it is sent again until it lands.
  EXPECT_TRUE(g.Pump(g.client, [&] {
    if (world::get_network_data(g.client.world, 0, 3) == 77) return true;
    world::SendPlayerData(g.server.world);
    return false;
  }));

  // A row naming the receiver itself, or no peer at all, changes nothing.
  for (int32_t row : {g.client.OwnId(), 40, -1, 0x7FFFFFFF}) {
    std::vector<uint8_t> data(36, 0);
    Put32(data, 0, row);
    Put32(data, 4, 555);
    g.Inject(g.server, g.client, world::kMsgPlayerData, data);
  }
  EXPECT_EQ(world::get_network_data(g.client.world, g.client.OwnId(), 0), 0);

  // A text without its NUL is cut at 255 characters.
  std::vector<uint8_t> text(300, 'x');
  g.Inject(g.server, g.client, world::kMsgText, text);
  EXPECT_EQ(std::string(g.client.world.messages[1].text), std::string(127, 'x'));  // a screen line keeps 127
  EXPECT_EQ(world::SendNetworkText(g.server.world, -1, "hello"), 0);
  EXPECT_TRUE(g.Pump(g.client, [&] { return std::string("hello") == g.client.world.messages[0].text; }));
}

TEST(NetworkGame, RecordsThatLieAreDroppedOneByOne) {
  Game g;
  units::Unit* own = g.server.Put("RED", Vec3{1, 2, 3});
  g.SendAllStates(g.server);
  std::vector<uint8_t> good = g.Take(g.client, world::kMsgUnitStates);
  ASSERT_EQ(good.size(), 92u);

  struct Lie {
    const char* what;
    size_t at;
    int32_t value;
  };
  const float nan = std::nanf("");
  int32_t nanBits;
  std::memcpy(&nanBits, &nan, 4);
  const Lie lies[] = {
      {"a position that is not a number", 28, nanBits},
      {"an unknown type index", 20, 99},
      {"a negative type index", 20, -1},
      {"the id of no peer (creator 41)", 0, 0x29000001},
      {"the receiver's own id", 0, g.client.OwnId() << 24 | 5},
  };
  for (const Lie& lie : lies) {
    std::vector<uint8_t> bad = good;
    Put32(bad, lie.at, lie.value);
    // One lying record, one cut record behind a good one: only the good
    // whole record lands.
    std::vector<uint8_t> batch = bad;
    batch.insert(batch.end(), good.begin(), good.begin() + 50);
    g.Inject(g.server, g.client, world::kMsgUnitStates, batch);
    EXPECT_EQ(world::FindUnitByNetworkId(g.client.world, own->networkId), nullptr) << lie.what;
    for (int slot = 1; slot < world::CountUnitSlots(g.client.world); slot++)
      EXPECT_EQ(world::GetUnitAt(g.client.world, slot), nullptr) << lie.what;
  }
  g.Inject(g.server, g.client, world::kMsgUnitStates, good);
  EXPECT_NE(world::FindUnitByNetworkId(g.client.world, own->networkId), nullptr);

  // Unknown types are removed unread; short payloads of known types too.
  g.Inject(g.server, g.client, 1234, std::vector<uint8_t>(8, 0));
  g.Inject(g.server, g.client, world::kMsgHit, std::vector<uint8_t>(5, 0));
  EXPECT_EQ(g.client.session.QueuedCount(), 0);
}

// A relay peer (its player name is the special one, in any case) shows the
// game without playing it: no effects of its own, and neither its player
// unit nor anything attached to it goes out to the others.
TEST(NetworkGame, ARelayPeerStepsNoEffectsAndSendsNoPlayerOfItsOwn) {
  Game g;
  core::SettingsBlock settings{};
  g.client.world.settings = &settings;
  for (const char* name : {"Bee", "pale_relay", "PALE_RELAY"}) {
    std::snprintf(settings.networkName[0], sizeof settings.networkName[0], "%s", name);
    g.client.world.LoadWorld();
    EXPECT_EQ(g.client.world.reducedEffects, std::string(name) != "Bee") << name;
  }
  units::Unit* player = g.client.Put("BLUE", Vec3{0, 10, 0}, "Me", units::kUnitPlayer);
  units::Unit* part = world::PutUnit(g.client.world, "BLUE", g.client.plane, 1, "Part", 0, Vec3{}, Vec3{}, player);
  part->surface = &g.client.surface;
  g.client.Put("BLUE", Vec3{50, 10, 0}, "Wingman");
  ASSERT_EQ(g.client.world.playerUnit, player);
  EXPECT_EQ(g.SendAllStates(g.client), 1);
  g.client.world.reducedEffects = 0;
  EXPECT_EQ(g.SendAllStates(g.client), 3);
  g.client.world.settings = nullptr;
}

}  // namespace
