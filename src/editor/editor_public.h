// editor_public.h -- the in-engine placement editor.
#pragma once

namespace world {
class GameWorld;
}

namespace editor {

// Sets up the editor after the world is loaded in edit mode.
void InitEditor(world::GameWorld& world);
// Opens the editor's tool window beside the main window. 1 or 0.
int OpenEditDialog(world::GameWorld& world);

}  // namespace editor
