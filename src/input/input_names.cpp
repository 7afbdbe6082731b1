// input_names.cpp -- the display names of raw codes: one table for keyboard
// scan codes, one for the controls of a pad.

#include <array>

#include "core/core_public.h"
#include "input/input_local.h"

namespace input {

namespace {

// A name with bytes above 0x7F is Japanese, written here in UTF-8 and shown
// in Shift-JIS.
struct CodeName {
  int code;
  const char* name;
};

// Keyboard scan codes. The spellings are the ones players have always seen
// in the key-assignment screens, "L-Atl" and "R-Atl" included.
constexpr CodeName kKeyboardNames[] = {
    {1, "ESC"},       {2, "1"},        {3, "2"},        {4, "3"},         {5, "4"},
    {6, "5"},         {7, "6"},        {8, "7"},        {9, "8"},         {10, "9"},
    {11, "0"},        {12, "-"},       {13, "="},       {14, "Back"},     {15, "Tab"},
    {16, "Q"},        {17, "W"},       {18, "E"},       {19, "R"},        {20, "T"},
    {21, "Y"},        {22, "U"},       {23, "I"},       {24, "O"},        {25, "P"},
    {26, "("},        {27, ")"},       {28, "Enter"},   {29, "L-Ctrl"},   {30, "A"},
    {31, "S"},        {32, "D"},       {33, "F"},       {34, "G"},        {35, "H"},
    {36, "J"},        {37, "K"},       {38, "L"},       {39, ";"},        {40, "'"},
    {41, "`"},        {42, "L-Sft"},   {43, "\\"},      {44, "Z"},        {45, "X"},
    {46, "C"},        {47, "V"},       {48, "B"},       {49, "N"},        {50, "M"},
    {51, ","},        {52, "."},       {53, "/"},       {54, "R-Sft"},    {55, "num*"},
    {56, "L-Atl"},    {57, "Space"},   {58, "Capital"}, {59, "F1"},       {60, "F2"},
    {61, "F3"},       {62, "F4"},      {63, "F5"},      {64, "F6"},       {65, "F7"},
    {66, "F8"},       {67, "F9"},      {68, "F10"},     {69, "NumLock"},  {70, "Scr-Lock"},
    {71, "num7"},     {72, "num8"},    {73, "num9"},    {74, "num-"},     {75, "num4"},
    {76, "num5"},     {77, "num6"},    {78, "num+"},    {79, "num1"},     {80, "num2"},
    {81, "num3"},     {82, "num0"},    {83, "num."},    {86, "?"},        {87, "F11"},
    {88, "F12"},      {100, "F13"},    {101, "F14"},    {102, "F15"},     {112, "カナ"},
    {115, "C1?"},     {121, "変換"}, {123, "無変換"}, {125, "\\"}, {126, "C2?"},
    {141, "num="},    {144, "Prev"},   {145, "@"},      {146, ":"},       {147, "_"},
    {148, "漢字"}, {149, "Stop"}, {150, "AX"},     {151, "?"},       {153, "Next"},
    {156, "numEnter"}, {157, "R-Ctrl"}, {160, "Mute"},  {161, "Cal"},     {162, "Pause"},
    {164, "Stop"},    {174, "Vol-"},   {176, "Vol+"},   {178, "Home"},    {179, "num,"},
    {181, "num/"},    {183, "SysQR"},  {184, "R-Atl"},  {197, "Pause"},   {199, "Home"},
    {200, "[UP]"},    {201, "PgUp"},   {203, "[LEFT]"}, {205, "[RIGHT]"}, {207, "End"},
    {208, "[DOWN]"},  {209, "PgDn"},   {210, "Ins"},    {211, "Del"},     {219, "L-Win"},
    {220, "R-Win"},   {221, "Apps"},   {222, "Power"},  {223, "Sleep"},   {227, "Wake"},
    {229, "Search"},  {230, "Fav"},    {231, "Ref"},    {232, "Stop"},    {233, "For"},
    {234, "Back"},    {235, "My"},     {236, "Mail"},   {237, "Media"},
};

// Pad controls: buttons 1 to 32 are codes 0 to 31.
constexpr CodeName kPadNames[] = {
    {0, "Button1"},   {1, "Button2"},   {2, "Button3"},   {3, "Button4"},   {4, "Button5"},
    {5, "Button6"},   {6, "Button7"},   {7, "Button8"},   {8, "Button9"},   {9, "Button10"},
    {10, "Button11"}, {11, "Button12"}, {12, "Button13"}, {13, "Button14"}, {14, "Button15"},
    {15, "Button16"}, {16, "Button17"}, {17, "Button18"}, {18, "Button19"}, {19, "Button20"},
    {20, "Button21"}, {21, "Button22"}, {22, "Button23"}, {23, "Button24"}, {24, "Button25"},
    {25, "Button26"}, {26, "Button27"}, {27, "Button28"}, {28, "Button29"}, {29, "Button30"},
    {30, "Button31"}, {31, "Button32"},
    {64, "X axis +"}, {65, "X axis -"}, {66, "Y axis +"}, {67, "Y axis -"},
    {68, "Z axis +"}, {69, "Z axis -"},
    {72, "X rot +"},  {73, "X rot -"},  {74, "Y rot +"},  {75, "Y rot -"},
    {76, "Z rot +"},  {77, "Z rot -"},
    {80, "Slider1+"}, {81, "Slider1-"}, {82, "Slider2+"}, {83, "Slider2-"},
    {96, "POV-Up"},   {97, "POV-Down"}, {98, "POV-Left"}, {99, "POV-Right"},
};

using NameTable = std::array<const CodeName*, kRawCodeCount>;

template <size_t N>
constexpr NameTable MakeTable(const CodeName (&names)[N]) {
  NameTable t{};
  for (const CodeName& n : names) t[n.code] = &n;
  return t;
}

constexpr NameTable kKeyboardTable = MakeTable(kKeyboardNames);
constexpr NameTable kPadTable = MakeTable(kPadNames);

const char* NameOf(const NameTable& table, int code) {
  if (code < 0 || code >= kRawCodeCount || !table[code]) return "";
  const char* name = table[code]->name;
  for (const char* p = name; *p; p++)
    if (static_cast<unsigned char>(*p) >= 0x80) return core::Sjis(name);
  return name;
}

}  // namespace

const char* KeyboardCodeName(int code) { return NameOf(kKeyboardTable, code); }
const char* PadCodeName(int code) { return NameOf(kPadTable, code); }

}  // namespace input
