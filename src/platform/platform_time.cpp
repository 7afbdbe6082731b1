// platform_time.cpp -- monotonic clock, local time and yielding.

#include <sched.h>
#include <sys/time.h>
#include <time.h>

#include "platform/platform_local.h"

namespace platform {

uint32_t MonotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // Computed in 64 bits and cut to 32, so readings wrap exactly at 2^32.
  uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
  return uint32_t(ms);
}

LocalTime GetLocalTime() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t seconds = ts.tv_sec;
  tm parts;
  localtime_r(&seconds, &parts);
  LocalTime t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.dayOfWeek = parts.tm_wday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;  // leap seconds fold
  t.milliseconds = int(ts.tv_nsec / 1000000);
  return t;
}

void YieldProcessor() { sched_yield(); }

void SleepMs(uint32_t milliseconds) {
  timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = long(milliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace platform
