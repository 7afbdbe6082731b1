// ui_windows.cpp -- the message windows: texts, the typing reveal, menus
// with their cursor, the opening and closing animation, and the window
// manager that opens, steps and draws the 256 windows with their skins.

#include "ui/ui_public.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "sound/sound_public.h"

namespace ui {

namespace {

// Bytes of the character at `p` (a Shift-JIS lead byte takes its trail).
size_t CharBytes(const char* p) {
  return core::IsSjisLeadByte(static_cast<unsigned char>(p[0])) && p[1] ? 2 : 1;
}

// Copies at most size - 1 bytes of `text`, never half a character.
void CopyBounded(char* out, size_t size, const char* text) {
  if (!out || size == 0) return;
  size_t length = 0;
  while (text && text[length]) {
    size_t piece = CharBytes(text + length);
    if (length + piece > size - 1) break;
    length += piece;
  }
  if (length) std::memmove(out, text, length);
  out[length] = 0;
}

int CountLines(const std::string& text) { return 1 + int(std::count(text.begin(), text.end(), '\n')); }

// Texts the window layer draws with: white with shadow, or grey for a menu
// that does not take input.
struct TextLook {
  uint32_t colour;
  int shadow;
};
TextLook LookOf(const MessageWindow& w) {
  if (w.kind == kPlaneWindow || w.IsWindowInputActive()) return {0xFFFFFF, 1};
  return {0x808080, 0};
}

}  // namespace

const char* DefaultWindowFace() {
#if defined(TKW4_EDITION_ENGLISH)
  return "Arial";
#else
  return core::Sjis("ＭＳ Ｐ明朝");
#endif
}

// ----------------------------------------------------------------------------
// [SECTION] MessageWindow: life cycle
// ----------------------------------------------------------------------------

MessageWindow::MessageWindow() {
  ResetWindow();
  HideWindow();
}

void MessageWindow::ResetWindow() {
  InitObject();
  subText[0] = 0;
  text.clear();
  marginLeft = marginTop = marginRight = marginBottom = 8.0f;
  drawOrder = -1;
  windowFlags = 0;
  cursor = firstLine = visibleLines = lineCount = 0;
  kind = kPlaneWindow;
  lineSpacing = 4;
  subFontSize = 16;
  SetWindowFont(20, -1, -1.0f, -1.0f, -1.0f, -1.0f);
  CopyBounded(fontFace, sizeof fontFace, DefaultWindowFace());
  CopyBounded(subFontFace, sizeof subFontFace, DefaultWindowFace());
  textColor = subTextColor = 0xFFFFFF;
  sprites.clear();
}

void MessageWindow::HideWindow() {
  ResetWindow();
  ReleaseObject();
  state = kWindowHidden;
}

// ----------------------------------------------------------------------------
// [SECTION] MessageWindow: texts
// ----------------------------------------------------------------------------

void MessageWindow::SetWindowText(const char* sub, const char* newText) {
  if (sub) CopyBounded(subText, sizeof subText, sub);
  if (!sub && !newText) {
    HideWindow();
    return;
  }
  if (newText) {
    // Scripts write line breaks as backslash and n; the second byte of a
    // two-byte character is never taken for the backslash.
    text.clear();
    for (const char* p = newText; *p; p++) {
      if (CharBytes(p) == 2) {
        text += p[0];
        text += p[1];
        p++;
      } else if (p[0] == '\\' && p[1] == 'n') {
        text += '\n';
        p++;
      } else {
        text += *p;
      }
    }
    lineCount = CountLines(text);
    if (visibleLines == 0) visibleLines = lineCount;
  }
  SetObjectVisible(1);
  if (state == kWindowShown) counter = 0;
  else if (state < 0) SetWindowState(kWindowWidening);
}

void MessageWindow::SetWindowTextsPlain(const char* sub, const char* newText) {
  if (sub) CopyBounded(subText, sizeof subText, sub);
  if (newText) text = newText;
}

const char* MessageWindow::GetWindowText(char* subOut, size_t subSize, char* textOut, size_t textSize) const {
  if (subOut) CopyBounded(subOut, subSize, subText);
  if (textOut) CopyBounded(textOut, textSize, text.c_str());
  return text.c_str();
}

const char* MessageWindow::GetWindowCursorString(char* out, size_t len) const {
  if (!out || len == 0) return nullptr;
  out[0] = 0;
  if (cursor < 0) return nullptr;
  size_t at = 0;
  for (int line = 0; line < cursor; line++) {
    size_t next = text.find('\n', at);
    if (next == std::string::npos) return nullptr;
    at = next + 1;
  }
  size_t end = text.find('\n', at);
  if (end == std::string::npos) {
    if (at >= text.size()) return nullptr;
    end = text.size();
  }
  std::string line = text.substr(at, end - at);
  CopyBounded(out, len, line.c_str());
  return out;
}

int MessageWindow::GetWindowStatus(int mode) {
  if (mode & 0x1) return cursor;
  for (int32_t bit : {kWindowMoved, kWindowDecided, kWindowCancelled}) {
    if (!(mode & bit)) continue;
    int answer = windowFlags & bit;
    windowFlags &= ~bit;
    return answer;
  }
  return 0;
}

// ----------------------------------------------------------------------------
// [SECTION] MessageWindow: input, cursor, fonts
// ----------------------------------------------------------------------------

int MessageWindow::SetWindowActive(int on) {
  int previous = (windowFlags & kWindowActive) ? 1 : 0;
  if (on) {
    windowFlags |= kWindowActive;
  } else {
    windowFlags &= ~(kWindowActive | kWindowDecided | kWindowCancelled | kWindowMoved);
  }
  return previous;
}

int MessageWindow::IsWindowInputActive() const { return (kind & 3) && (windowFlags & kWindowActive) ? 1 : 0; }

int MessageWindow::SetWindowCursor(int line) {
  int previous = cursor;
  cursor = line;
  if (line < firstLine) firstLine = line;
  else if (line >= firstLine + visibleLines) firstLine = line - visibleLines + 1;
  return previous;
}

void MessageWindow::SetWindowFontName(const char* face) { CopyBounded(fontFace, sizeof fontFace, face ? face : ""); }

void MessageWindow::SetWindowSubFontName(const char* face) {
  CopyBounded(subFontFace, sizeof subFontFace, face ? face : "");
}

int MessageWindow::SetWindowFont(int size, int spacing, float left, float top, float right, float bottom) {
  int previous = fontSize;
  if (size > 0) fontSize = size;
  if (spacing >= 0) lineSpacing = spacing;
  if (left >= 0.0f) marginLeft = left;
  if (top >= 0.0f) marginTop = top;
  if (right >= 0.0f) marginRight = right;
  if (bottom >= 0.0f) marginBottom = bottom;
  SetWindowState(kWindowWidening);
  if (kind & 3)
    height = int(marginBottom + marginTop) + (visibleLines - 1) * lineSpacing + visibleLines * fontSize;
  return previous;
}

int MessageWindow::SetWindowSubFont(int size) {
  int previous = subFontSize;
  if (size > 0) subFontSize = size;
  return previous;
}

int MessageWindow::SetWindowSkinStyle(int newStyle) {
  int previous = style;
  style = newStyle;
  switch (newStyle) {
    case 0:
    case 1:
    case 2:
    case 3: SetWindowFont(0, 4, 8, 8, 8, 8); break;
    case 4: SetWindowFont(0, 4, 36, 8, 8, 8); break;
    case 5: SetWindowFont(0, 4, 20, 8, 8, 8); break;
    case 6:
      SetWindowFont(0, 4, 8, 36, 8, 8);
      subFontSize = 16;
      break;
    case 7:
      SetWindowFont(0, 4, 122, 8, 4, 8);
      subFontSize = 24;
      break;
    default: SetWindowFont(0, 0, 0, 0, 0, 0); break;
  }
  return previous;
}

void MessageWindow::SetWindowColors(uint32_t newText, uint32_t sub) {
  textColor = newText;
  subTextColor = sub;
}

int MessageWindow::SetWindowKind(int newKind) {
  int previous = kind;
  kind = newKind;
  return previous;
}

void MessageWindow::SetWindowState(int newState) {
  state = newState;
  counter = 0;
  if (newState == kWindowWidening) SetObjectScale(1.0f, 0.0f, 1.0f);
}

void MessageWindow::LimitWindowLines(int n) {
  firstLine = 0;
  if (n > 0 && n < visibleLines) visibleLines = n;
}

void MessageWindow::SetWindowAnchor(int anchorFlags) {
  float x = (anchorFlags & kAnchorRight) ? float(width) : (anchorFlags & kAnchorLeft) ? 0.0f : float(width) / 2.0f;
  float y = (anchorFlags & kAnchorBottom) ? float(height) : (anchorFlags & kAnchorTop) ? 0.0f : float(height) / 2.0f;
  SetWindowAnchorPoint(x, y);
}

void MessageWindow::SetWindowAnchorPoint(float x, float y) {
  anchorX = x;
  anchorY = y;
}

// ----------------------------------------------------------------------------
// [SECTION] MessageWindow: sprites
// ----------------------------------------------------------------------------

int MessageWindow::AddWindowSprite(render::DisplayObject* object) {
  if (!object) return 0;
  if (sprites.empty()) sprites.assign(4, nullptr);
  auto free = std::find(sprites.begin(), sprites.end(), nullptr);
  if (free == sprites.end()) {
    size_t used = sprites.size();
    sprites.resize(used * 2, nullptr);
    free = sprites.begin() + ptrdiff_t(used);
  }
  *free = object;
  // The window draws it itself.
  object->SetObjectVisible(0);
  return 1;
}

int MessageWindow::DeleteWindowSprite(render::DisplayObject* object) {
  if (!object) {
    sprites.clear();
    return 1;
  }
  auto found = std::find(sprites.begin(), sprites.end(), object);
  if (found == sprites.end()) return 0;
  *found = nullptr;
  return 1;
}

// ----------------------------------------------------------------------------
// [SECTION] MessageWindow: steps
// ----------------------------------------------------------------------------

int MessageWindow::CloseWindow() {
  int previous = SetWindowActive(0);
  SetWindowState(kWindowShrinking);
  return previous;
}

int MessageWindow::StepWindow(const int32_t* held, const int32_t* trigger, const int32_t* repeat) {
  (void)held;
  int c = ++counter;
  float sx = 1.0f, sy = 1.0f;
  switch (state) {
    case kWindowWidening:
      sx = float(c) / 3.0f;
      sy = 0.1f;
      if (c >= 3) SetWindowState(kWindowGrowing);
      break;
    case kWindowGrowing:
      sy = float(c) * 0.25f;
      if (c >= 4) SetWindowState(kWindowShown);
      break;
    case kWindowShown:
      if (displayTime > 0 && c > displayTime) SetWindowState(kWindowShrinking);
      break;
    case kWindowShrinking:
      sy = 1.0f - float(c) * 0.25f;
      if (c >= 4) SetWindowState(kWindowNarrowing);
      break;
    case kWindowNarrowing:
      sx = 1.0f - float(c) / 3.0f;
      sy = 0.1f;
      if (c >= 3) {
        HideWindow();
        return 0;
      }
      break;
    default: return -1;
  }

  // 3. A menu that takes input: the cursor, decided and cancelled.
  if (IsWindowInputActive()) {
    auto move = [&](int by) {
      cursor += by;
      windowFlags |= kWindowMoved;
      if (!(windowFlags & kWindowSilent) && sound) sound->PlaySoundSlot(kCursorSoundSlot, 0, 0, 0, 0);
    };
    if (repeat) {
      if (repeat[1]) move(1);
      if (repeat[0]) move(-1);
    }
    if (cursor < 0) cursor = lineCount - 1;
    if (cursor >= lineCount) cursor = 0;
    if (cursor < firstLine) firstLine = cursor;
    if (cursor >= firstLine + visibleLines) firstLine = cursor - visibleLines + 1;
    if (trigger) {
      if (trigger[8] || trigger[12]) windowFlags |= kWindowDecided;
      if (trigger[9] || trigger[13]) windowFlags |= kWindowCancelled;
    }
  }
  SetObjectScale(sx, sy, 1.0f);
  return 0;
}

std::string MessageWindow::ShapeWindowText() const {
  std::string out;
  const char* p = text.c_str();
  const int c = counter;
  if (!(kind & 3)) {
    // Two characters a step, a typing mark while text remains.
    int characters = 0;
    while (*p && characters < 2 * c) {
      size_t n = CharBytes(p);
      if (out.size() + n + 2 > kShapedTextBytes) return text;
      out.append(p, n);
      p += n;
      characters++;
    }
    if (*p) out += '_';
    return out;
  }
  // A menu: only the visible lines, each revealed a character a step.
  int line = 0;
  while (*p) {
    bool visible = line >= firstLine && line < firstLine + visibleLines;
    int column = 0;
    bool cut = false;
    while (*p && *p != '\n') {
      size_t n = CharBytes(p);
      if (visible && !cut) {
        if (column <= c + 1) {
          if (out.size() + n + 3 > kShapedTextBytes) return text;
          out.append(p, n);
        } else {
          out += "_\n";
          cut = true;
        }
      }
      column++;
      p += n;
    }
    if (*p == '\n') {
      if (visible && !cut) out += '\n';
      p++;
    }
    line++;
  }
  return out;
}

// ----------------------------------------------------------------------------
// [SECTION] Frame geometry
// ----------------------------------------------------------------------------

FrameStyle GetFrameStyle(int style) {
  switch (style) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 5: return {16, 16, 0, 0};
    case 4: return {34, 64, 0, 0};
    case 6: return {96, 32, 9, 9};
    case 7: return {124, 112, 8, -25};
    default: return {0, 0, 0, 0};
  }
}

std::array<FramePiece, 9> ComputeFramePieces(MessageWindow& window, int tw, int th, float dx, float dy,
                                             float* originX, float* originY) {
  const float sx = window.scale.x, sy = window.scale.y;
  const float ox = window.position.x - window.anchorX * sx + dx;
  const float oy = window.position.y - window.anchorY * sy + dy;
  if (originX) *originX = ox;
  if (originY) *originY = oy;
  const float W = float(window.width), H = float(window.height);
  const float twf = float(tw), thf = float(th);
  const float mx = std::max(0.0f, W - twf + 1.0f), my = std::max(0.0f, H - thf + 1.0f);
  const float fx = tw > 0 && twf > W * sx ? W * sx / twf : 1.0f;
  const float fy = th > 0 && thf > H * sy ? H * sy / thf : 1.0f;
  const FrameStyle cut = GetFrameStyle(window.style);
  const float c0x = float(cut.cutX) - 0.5f, c1x = float(cut.cutX) + 0.5f;
  const float c0y = float(cut.cutY) - 0.5f, c1y = float(cut.cutY) + 0.5f;
  using render::kAlignBottom;
  using render::kAlignLeft;
  using render::kAlignRight;
  using render::kAlignTop;
  const uint32_t tl = kAlignLeft | kAlignTop, tr = kAlignRight | kAlignTop;
  const uint32_t bl = kAlignLeft | kAlignBottom, br = kAlignRight | kAlignBottom;
  return {{
      {c0x, c0y, c1x, c1y, tl, mx * sx, my * sy, ox + c0x, oy + c0y},        // centre
      {0, 0, c0x, c0y, tl, fx, fy, ox, oy},                                   // top-left
      {c1x, 0, twf, c0y, tr, fx, fy, ox + W * sx, oy},                        // top-right
      {0, c1y, c0x, thf, bl, fx, fy, ox, oy + H * sy},                        // bottom-left
      {c1x, c1y, twf, thf, br, fx, fy, ox + W * sx, oy + H * sy},             // bottom-right
      {c0x, 0, c1x, c0y, tl, mx * sx, fy, ox + c0x, oy},                      // top edge
      {c1x, c0y, twf, c1y, tr, fx, my * sy, ox + W * sx, oy + c0y},           // right edge
      {0, c0y, c0x, c1y, tl, fx, my * sy, ox, oy + c0y},                      // left edge
      {c0x, c1y, c1x, thf, bl, mx * sx, fy, ox + c0x, oy + H * sy},           // bottom edge
  }};
}

// ----------------------------------------------------------------------------
// [SECTION] WindowManager
// ----------------------------------------------------------------------------

WindowManager::WindowManager() = default;

WindowManager::~WindowManager() {
  // The renderer outlives the manager (it is built first in the engine
  // record); the textures go back to it.
  for (MessageWindow& w : windows_) w.HideWindow();
  if (!graphics) return;
  for (render::TextureHolder& skin : skins_) skin.ReleaseTexture(*graphics);
  white_.ReleaseTexture(*graphics);
}

int WindowManager::LoadWindowSkins(int n, const char* file) {
  if (n >= 0) {
    // Only the 16 skins of the table: a number outside it loads nothing.
    if (n >= kSkinCount) return -1;
    windows_[size_t(n)].ResetWindow();
    if (graphics && file) {
      render::TextureHolder& skin = skins_[size_t(n)];
      if (skin.texture) skin.ReleaseTexture(*graphics);
      if (skin.LoadTextureFile(*graphics, file, render::kTexNoColorKey)) skin.SetTextureFlags(render::kTexAddressMirror);
    }
    return 0;
  }
  if (skinsLoaded_) return -1;
  if (!graphics || !graphics->GetDevice()) return 0;  // tried again once a device exists
  for (int i = 0; i < kSkinCount; i++) {
    char name[64];
    std::snprintf(name, sizeof name, "ZadAzorad\\Window\\window%02d.png", i);
    render::TextureHolder& skin = skins_[size_t(i)];
    if (!skin.texture && skin.LoadTextureFile(*graphics, name, render::kTexNoColorKey))
      skin.SetTextureFlags(render::kTexAddressMirror);
  }
  if (white_.width <= 0) white_.CreateFilledTexture(*graphics, 1, 1, 0xFFFFFFFFu, render::kTexAdditive);
  skinsLoaded_ = 1;
  return 0;
}

void WindowManager::ReleaseWindows() {
  for (MessageWindow& w : windows_) w.HideWindow();
  for (render::TextureHolder& skin : skins_) {
    if (graphics && skin.texture) skin.ReleaseTexture(*graphics);
    else skin = render::TextureHolder{};
  }
  skinsLoaded_ = 0;
}

MessageWindow* WindowManager::FindFreeWindow() {
  for (MessageWindow& w : windows_) {
    if (!w.IsFree()) continue;
    w.ResetWindow();
    w.serial++;
    return &w;
  }
  return nullptr;
}

void WindowManager::AttachSurface(MessageWindow& w, int skin) {
  // A skin outside the table, or one that did not load, draws no frame.
  render::TextureHolder* texture = Skin(skin);
  if (!texture || texture->width <= 0 || !texture->texture)
    texture = graphics ? graphics->GetClearTexture() : &noSkin_;
  if (graphics) {
    w.SetObjectTexture(*graphics, texture);
  } else {
    w.surface = texture;
    w.surfaceShape = 0;
  }
  w.SetObjectVisible(1);
  w.sound = sound;
}

MessageWindow* WindowManager::CreatePlaneWindow(int skin, float x, float y, float z, int width, int height,
                                                int displayTime) {
  if (graphics && !skinsLoaded_) LoadWindowSkins(-1, nullptr);
  MessageWindow* w = FindFreeWindow();
  if (!w) return nullptr;
  w->kind = kPlaneWindow;
  AttachSurface(*w, skin);
  w->SetObjectPosition(x, y, z);
  w->displayTime = displayTime;
  w->width = width;
  w->height = height;
  w->drawOrder = 8;
  w->SetWindowState(kWindowWidening);
  w->style = skin;
  w->SetWindowText("", "");
  w->cursorTexture = &white_;
  w->SetWindowAnchor(kAnchorLeft | kAnchorTop);
  w->SetWindowActive(1);
  return w;
}

MessageWindow* WindowManager::CreateSelectWindow(int skin, float x, float y, float z, int width, const char* text,
                                                 int lineLimit) {
  if (graphics && !skinsLoaded_) LoadWindowSkins(-1, nullptr);
  MessageWindow* w = FindFreeWindow();
  if (!w) return nullptr;
  w->kind = kSelectWindow;
  AttachSurface(*w, skin);
  w->SetObjectPosition(x, y, z);
  w->displayTime = -1;
  w->drawOrder = 8;
  w->width = width;
  w->SetWindowState(kWindowWidening);
  w->style = skin;
  w->SetWindowText("", text ? text : "");
  if (lineLimit) w->LimitWindowLines(lineLimit);
  w->cursorTexture = &white_;
  w->SetWindowFont(20, -1, -1.0f, -1.0f, -1.0f, -1.0f);
  w->SetWindowAnchor(kAnchorLeft | kAnchorTop);
  w->SetWindowActive(1);
  return w;
}

void WindowManager::ForgetWindowSprite(render::DisplayObject* object) {
  if (!object) return;
  for (MessageWindow& w : windows_)
    for (render::DisplayObject*& sprite : w.sprites)
      if (sprite == object) sprite = nullptr;
}

void WindowManager::CloseWindows(int n) {
  if (n < 0) {
    for (MessageWindow& w : windows_) w.HideWindow();
    return;
  }
  if (MessageWindow* w = Window(n)) w->CloseWindow();
}

void WindowManager::StepWindows(const int32_t* held, const int32_t* trigger, const int32_t* repeat) {
  for (MessageWindow& w : windows_) w.StepWindow(held, trigger, repeat);
}

std::vector<MessageWindow*> WindowManager::DrawingOrder() {
  std::vector<MessageWindow*> order;
  for (MessageWindow& w : windows_)
    if (!w.IsFree()) order.push_back(&w);
  std::stable_sort(order.begin(), order.end(),
                   [](const MessageWindow* a, const MessageWindow* b) { return a->drawOrder < b->drawOrder; });
  return order;
}

void WindowManager::DrawWindows() {
  if (graphics && !skinsLoaded_) LoadWindowSkins(-1, nullptr);
  for (MessageWindow* w : DrawingOrder()) DrawWindow(w, 0.0f, 0.0f);
}

void WindowManager::DrawFrame(MessageWindow& w, render::TextureHolder* skin, float dx, float dy) {
  render::GraphicsSystem& gs = *graphics;
  piece_.SetObjectTexture(gs, skin);
  piece_.SetObjectColor(w.color[0], w.color[1], w.color[2], w.color[3]);
  for (const FramePiece& p : ComputeFramePieces(w, skin->width, skin->height, dx, dy)) {
    if (p.right <= p.left || p.bottom <= p.top || p.scaleX <= 0.0f || p.scaleY <= 0.0f) continue;
    piece_.BuildSurfaceGeometry(gs, p.left, p.top, p.right, p.bottom);
    piece_.AlignObjectSurface(p.align);
    piece_.SetObjectScale(p.scaleX, p.scaleY, 1.0f);
    piece_.SetObjectPosition(p.x, p.y, w.position.z);
    piece_.DrawObject(gs);
  }
}

int WindowManager::DrawWindow(MessageWindow* w, float dx, float dy) {
  if (!w || w->IsFree() || !w->IsObjectShown()) return -1;
  if (!graphics || !graphics->GetDevice()) return 0;
  render::GraphicsSystem& gs = *graphics;
  render::TextureHolder* skin = w->surface;
  if (skin != &noSkin_ && skin != gs.GetClearTexture() && skin->texture && skin->width > 0 && skin->height > 0)
    DrawFrame(*w, skin, dx, dy);

  float ox = 0, oy = 0;
  ComputeFramePieces(*w, skin->width, skin->height, dx, dy, &ox, &oy);
  const float W = float(w->width), H = float(w->height);
  const bool shownState = w->state == kWindowShown;
  const bool menu = (w->kind & 3) != 0;
  const float z = w->position.z;
  auto bar = [&](render::TextureHolder* texture, uint32_t align, float sx, float sy, float x, float y, float r,
                 float g, float b, float a) {
    piece_.SetObjectTexture(gs, texture);
    piece_.AlignObjectSurface(align);
    piece_.SetObjectScale(sx, sy, 1.0f);
    piece_.SetObjectPosition(x, y, z);
    piece_.SetObjectColor(r, g, b, a);
    piece_.DrawObject(gs);
  };

  // 4. The scroll bar of a menu with more lines than it shows.
  if (menu && shownState && w->lineCount > w->visibleLines && white_.texture) {
    bar(&white_, 0, 2.0f, H - 16.0f, ox + W - 8.0f, oy + float(w->height / 2), 1, 1, 1, 0.75f);
    bar(&white_, render::kAlignTop, 4.0f, (H - 16.0f) * float(w->visibleLines) / float(w->lineCount),
        ox + W - 8.0f, oy + float(w->firstLine) * (H - 16.0f) / float(w->lineCount) + 8.0f, 1, 1, 1, 0.5f);
  }

  // 5. The attached sprites, drawn at the window's position only.
  if (shownState) {
    for (render::DisplayObject* sprite : w->sprites) {
      if (!sprite) continue;
      sprite->SetObjectVisible(1);
      sprite->DrawObjectAt(gs, w->position.x + dx, w->position.y + dy, z);
      sprite->SetObjectVisible(0);
    }
  }

  // 6. The text origin at full scale.
  const float tx = w->position.x - w->anchorX + dx + w->marginLeft;
  const float ty = w->position.y - w->anchorY + dy + w->marginTop;
  const float textWidth = W - w->marginRight - w->marginLeft;

  // 7. The cursor bar: a dark band, then an additive glow that pulses while
  // the menu takes input.
  render::TextureHolder* cursorTexture = w->cursorTexture;
  if (menu && shownState && cursorTexture && cursorTexture->texture) {
    float barWidth = W - w->marginLeft - w->marginRight + 2.0f - (w->lineCount != w->visibleLines ? 16.0f : 0.0f);
    float barX = tx - 1.0f;
    float barY = ty - 1.0f + float(w->cursor - w->firstLine) * float(w->fontSize + w->lineSpacing);
    const uint32_t tl = render::kAlignLeft | render::kAlignTop;
    bar(cursorTexture, tl, barWidth, float(w->fontSize + 2), barX, barY, 0, 0, 0, 0.5f);
    cursorTexture->SetTextureFlags(render::kTexAdditive | render::kTexNoColorKey);
    float a = w->IsWindowInputActive() ? 0.6f + std::sin(float(w->counter) / 7.0f) / 10.0f : 0.4f;
    bar(cursorTexture, tl, barWidth, float(w->fontSize + 2), barX, barY, 0.75f, 0.75f, 1.0f, a);
  }

  const TextLook look = LookOf(*w);
  // 8. The main text.
  if (shownState && !w->text.empty()) {
    gs.SetFont(w->fontFace, w->fontSize, look.colour, look.shadow);
    float previous = gs.SetTextLineSpacing(float(w->lineSpacing));
    std::string shaped = w->ShapeWindowText();
    gs.DrawText(tx, ty, shaped.c_str(), menu ? 0 : int(textWidth));
    gs.SetTextLineSpacing(previous);
  }

  // 9. The sub text at the style's offset (negative: from the far edge).
  if (shownState && w->subText[0]) {
    const FrameStyle style = GetFrameStyle(w->style);
    float sx = style.subX >= 0 ? ox + float(style.subX) : ox + W * w->scale.x + float(style.subX);
    float sy = style.subY >= 0 ? oy + float(style.subY) : oy + H * w->scale.y + float(style.subY);
    gs.SetFont(w->subFontFace, w->subFontSize, look.colour, look.shadow);
    gs.DrawText(sx, sy, w->subText, 0);
  }
  return 0;
}

void WindowManager::ShowErrorWindow(void* user, const char* text) {
  WindowManager* windows = static_cast<WindowManager*>(user);
  if (MessageWindow* window = windows->CreatePlaneWindow(0, -512.0f, -384.0f, 0.0f, 1024, 768, -1)) {
    window->SetWindowText("", text);
    window->SetWindowColors(0xFFFFFF, 0xFF8080);
  }
}

int WindowManager::IndexOf(const MessageWindow* window) const {
  for (int i = 0; i < kWindowCount; i++)
    if (&windows_[size_t(i)] == window) return i;
  return -1;
}

int WindowManager::CountOpen() const {
  int count = 0;
  for (const MessageWindow& w : windows_) count += w.IsFree() ? 0 : 1;
  return count;
}

}  // namespace ui
