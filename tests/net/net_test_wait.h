// net_test_wait.h -- bounded waits for the network tests, whose threads
// answer in their own time: no failing test lingers past its bound.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "net/net_endpoint.h"

namespace nettest {

// Polls `done` for at most `ms`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

// The endpoint's waits shortened for tests: the login time-out given, the id
// wait at `idWaitSteps` x 100 ms, connects at one second.
inline net::EndpointTimings FastTimings(int loginTimeoutMs, int idWaitSteps) {
  net::EndpointTimings t;
  t.loginTimeoutMs = loginTimeoutMs;
  t.idWaitSteps = idWaitSteps;
  t.idWaitStepMs = 100;
  t.connectTimeoutMs = 1000;
  return t;
}

}  // namespace nettest
