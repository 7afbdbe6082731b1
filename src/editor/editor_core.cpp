// editor_core.cpp -- editor set-up. Nothing to set up yet.

#include "editor/editor_public.h"

namespace editor {

void InitEditor(world::GameWorld& world) { (void)world; }

int OpenEditDialog(world::GameWorld& world) {
  (void)world;
  return 1;
}

}  // namespace editor
