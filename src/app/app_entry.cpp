// app_entry.cpp -- the program's entry point.

#include <memory>

#include "app/app_local.h"

int main(int argc, char** argv) {
  int code;
  {
    // The engine record is built before start-up and torn down after it,
    // owners in reverse order; the log writes its closing line then.
    auto engine = std::make_unique<app::Engine>();
    code = app::WinMain(*engine, argc, argv);
  }
  platform::Shutdown();
  return code;
}
