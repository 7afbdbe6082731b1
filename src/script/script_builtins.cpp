// script_builtins.cpp -- the 29 system calls the script engine serves
// itself: maths, strings and the console, the message box, and files (tests,
// the file and folder choosers, and object files in the object text
// notation). Four handlers serve them, each telling its names apart by the
// first letter of the call's name, then the whole name.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core_public.h"
#include "platform/platform_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

namespace {

// The scratch buffer bounds every text result: its bytes and the
// terminating zero.
constexpr size_t kResultLimit = kSystemCallScratchBytes - 1;

// The file choosers' filter text is copied into a buffer of this size.
constexpr size_t kFilterBytes = 1024;

bool Is(const char* name, const char* wanted) { return std::strcmp(name, wanted) == 0; }

const char* TextOf(const SystemCallArgument& a) { return a.text ? a.text : ""; }

SystemCallResult* IntResult(SystemCallResult* result, int32_t value) {
  *result = SystemCallResult{};
  result->type = kCallInt;
  result->intValue = value;
  return result;
}

SystemCallResult* FloatResult(SystemCallResult* result, float value) {
  *result = SystemCallResult{};
  result->type = kCallFloat;
  result->floatValue = value;
  return result;
}

// The first `length` bytes of `text` as the text result, cut at the scratch
// buffer (a text may be longer than it: texts are only bounded by the
// string operators' limit).
SystemCallResult* TextResult(SystemCallResult* result, char* scratch, const char* text, size_t length) {
  if (length > kResultLimit) length = kResultLimit;
  if (length) std::memmove(scratch, text, length);
  scratch[length] = '\0';
  *result = SystemCallResult{};
  result->type = kCallString;
  result->text = scratch;
  return result;
}

// ----------------------------------------------------------------------------
// Maths: 32-bit floats in and out, as the standard library computes them
// (domain errors give NaN or infinities).
// ----------------------------------------------------------------------------

SystemCallResult* HandleMathCall(SystemCallResult* result, SystemCallContext context, SystemCallArgument* args,
                                 char*) {
  const char* name = context.callName;
  float x = args[0].floatValue;
  float y = args[1].floatValue;
  FloatResult(result, 0.0f);
  switch (name[0]) {
    case 'a':
      if (Is(name, "asin")) return FloatResult(result, std::asin(x));
      if (Is(name, "acos")) return FloatResult(result, std::acos(x));
      if (Is(name, "atan")) return FloatResult(result, std::atan(x));
      if (Is(name, "atan2")) return FloatResult(result, std::atan2(x, y));  // y first, then x
      if (Is(name, "abs")) return FloatResult(result, std::fabs(x));
      break;
    case 'c':
      if (Is(name, "cos")) return FloatResult(result, std::cos(x));
      break;
    case 'e':
      if (Is(name, "exp")) return FloatResult(result, std::exp(x));
      break;
    case 'f':
      if (Is(name, "fabs")) return FloatResult(result, std::fabs(x));
      break;
    case 'i':
      if (Is(name, "iabs")) {
        // The one int that has no positive counterpart stays itself, as
        // the processor's negation leaves it.
        int32_t n = args[0].intValue;
        return IntResult(result, n < 0 ? WrapSub(0, n) : n);
      }
      break;
    case 'l':
      if (Is(name, "log")) return FloatResult(result, std::log(x));
      if (Is(name, "log10")) return FloatResult(result, std::log10(x));
      break;
    case 'p':
      if (Is(name, "pow")) return FloatResult(result, std::pow(x, y));
      break;
    case 's':
      if (Is(name, "sin")) return FloatResult(result, std::sin(x));
      if (Is(name, "sqrt")) return FloatResult(result, std::sqrt(x));
      break;
    case 't':
      if (Is(name, "tan")) return FloatResult(result, std::tan(x));
      break;
    default: break;
  }
  return result;
}

// ----------------------------------------------------------------------------
// Strings and the console. Lengths count bytes, so a cut may split a
// two-byte character.
// ----------------------------------------------------------------------------

// Copies of `pad` and the text, in the order the side asks, with as many
// whole copies as bring the length to at least `width`. An empty pad adds
// nothing (no number of copies would ever reach the width). The copies are
// counted, not added one by one, so a huge width costs no more than the
// scratch buffer it fills.
SystemCallResult* AlignText(SystemCallResult* result, char* scratch, const char* text, const char* pad, int32_t width,
                            bool padBefore) {
  size_t textLength = std::strlen(text);
  size_t padLength = std::strlen(pad);
  size_t copies = 0;
  if (padLength > 0 && width > 0 && textLength < size_t(width))
    copies = (size_t(width) - textLength + padLength - 1) / padLength;
  std::string out;
  size_t total = textLength + copies * padLength;
  out.reserve(total < kResultLimit ? total : kResultLimit);
  if (!padBefore) out.append(text, textLength < kResultLimit ? textLength : kResultLimit);
  for (size_t i = 0; i < copies && out.size() < kResultLimit; i++) out.append(pad, padLength);
  if (padBefore && out.size() < kResultLimit) out.append(text, textLength);
  return TextResult(result, scratch, out.data(), out.size());
}

// One word of standard input: white space skipped, then everything up to
// the next white space, which is left unread. A word longer than the scratch
// buffer is cut there and the rest of it is read and dropped.
SystemCallResult* InputWord(SystemCallResult* result, char* scratch) {
  std::fflush(stdout);  // a prompt printed before shows first
  int c;
  do {
    c = std::getc(stdin);
  } while (c != EOF && std::isspace(c));
  size_t length = 0;
  while (c != EOF && !std::isspace(c)) {
    if (length < kResultLimit) scratch[length++] = char(c);
    c = std::getc(stdin);
  }
  if (c != EOF) std::ungetc(c, stdin);
  return TextResult(result, scratch, scratch, length);
}

SystemCallResult* HandleStringCall(SystemCallResult* result, SystemCallContext context, SystemCallArgument* args,
                                   char* scratch) {
  const char* name = context.callName;
  IntResult(result, 0);
  switch (name[0]) {
    case 'i':
      if (Is(name, "input_string")) return InputWord(result, scratch);
      break;
    case 'p':
      if (Is(name, "print_string")) {
        // The bytes as they are: the console shows what the script wrote.
        const char* text = TextOf(args[0]);
        std::fwrite(text, 1, std::strlen(text), stdout);
        std::fflush(stdout);
        return IntResult(result, 0);
      }
      break;
    case 's': {
      const char* text = TextOf(args[0]);
      if (Is(name, "string_length")) return IntResult(result, int32_t(std::strlen(text)));
      if (Is(name, "string_head") || Is(name, "string_tail")) {
        size_t length = std::strlen(text);
        int32_t n = args[1].intValue;
        // A negative count takes nothing.
        size_t take = n <= 0 ? 0 : (size_t(n) < length ? size_t(n) : length);
        const char* from = Is(name, "string_head") ? text : text + (length - take);
        return TextResult(result, scratch, from, take);
      }
      if (Is(name, "string_align_right"))
        return AlignText(result, scratch, text, TextOf(args[1]), args[2].intValue, true);
      if (Is(name, "string_align_left"))
        return AlignText(result, scratch, text, TextOf(args[1]), args[2].intValue, false);
      break;
    }
    default: break;
  }
  return result;
}

// ----------------------------------------------------------------------------
// The message box: modal, without owner window, with the Windows style bits;
// the answer is the pressed button's Windows code.
// ----------------------------------------------------------------------------

SystemCallResult* HandleMessageBoxCall(SystemCallResult* result, SystemCallContext context, SystemCallArgument* args,
                                       char*) {
  IntResult(result, 0);
  if (!Is(context.callName, "message_box")) return result;
  int answer = platform::ShowMessageBox(TextOf(args[0]), TextOf(args[1]), unsigned(args[2].intValue), nullptr);
  return IntResult(result, answer);
}

// ----------------------------------------------------------------------------
// Files
// ----------------------------------------------------------------------------

// The filter of the file choosers: scripts write description;pattern;...
// and every ";" separates.
std::string FilterList(const char* text) {
  std::string filter(text, std::min(std::strlen(text), kFilterBytes - 2));
  for (char& c : filter)
    if (c == ';') c = '\0';
  filter.append(2, '\0');
  return filter;
}

SystemCallResult* ChooserResult(SystemCallResult* result, char* scratch, const std::string& path) {
  return TextResult(result, scratch, path.data(), path.size());
}

// Writes an object file: the compound's indented text (no terminator), with
// every missing folder of the path made first. 1, or -1 when the file can be
// neither replaced nor created. Without a compound the file is written
// empty.
SystemCallResult* SaveObject(SystemCallResult* result, SystemCallContext context, SystemCallArgument* args) {
  std::string full = ResolveScriptPath(TextOf(args[0]), context.folder ? context.folder : "");
  std::string disk = platform::ResolvePath(full);
  std::string folder = FolderOfPath(disk);
  if (!folder.empty() && !platform::IsDirectory(folder.c_str())) platform::MakeDirectories(folder.c_str());
  std::string text = WriteCompoundText(args[1].compound, 1);
  // Replaced only once the new text is whole: a full disk keeps the old file.
  if (!platform::WriteWholeFile(disk.c_str(), text.data(), text.size())) return IntResult(result, -1);
  return IntResult(result, 1);
}

// Reads an object file by compiling it, in the engine that runs the caller,
// as the initial value of a fresh extern object, and returns a copy of that
// object; the global goes again. Each call uses the next number of the
// engine's counter for the global's name.
SystemCallResult* LoadObject(SystemCallResult* result, SystemCallContext context, SystemCallArgument* args) {
  ScriptEngine& se = *context.engine;
  std::string full = ResolveScriptPath(TextOf(args[0]), context.folder ? context.folder : "");
  char global[64];
  std::snprintf(global, sizeof global, "__system_load_object_data%d", se.loadObjectCounter);
  // Room for every character escaped: the path is never cut.
  std::string escaped(full.size() * 2 + 2, '\0');
  escaped.resize(size_t(EscapeStringBounded(escaped.data(), full.c_str(), int(escaped.size()))));
  std::string source = std::string("extern object ") + global + "=\r\n#include\"" + escaped + "\"\r\n;\r\n";

  // Only the new entry is compiled; "#include" reads the file through the
  // preprocessor, so it may hold comments, defines and constant arithmetic.
  se.AddLinkedScript(source.c_str(), full.c_str());
  CompileLinkedScripts(se);
  if (se.errors.count > 0)
    RaiseScriptError("%s", Sjis("load_objectのファイルが解釈できません。コンパイルエラーを出力します。"));

  CScriptValue* variable = se.FindGlobal(global);
  const CScriptValue* value = FollowRefer(variable);
  CScriptArray* object = nullptr;
  if (value && value->type == kValueCompound && value->data.array) {
    object = CopyCompound(se.pools, value->data.array);
    object->owner = nullptr;  // its holder goes now
  } else {
    object = NewCompound(se.pools, nullptr);
  }
  if (variable) DeleteGlobalVariable(se, variable);
  se.loadObjectCounter++;
  *result = SystemCallResult{};
  result->type = kCallArray;
  result->compound = object;
  return result;
}

SystemCallResult* HandleFileCall(SystemCallResult* result, SystemCallContext context, SystemCallArgument* args,
                                 char* scratch) {
  const char* name = context.callName;
  IntResult(result, 0);
  switch (name[0]) {
    case 'e':
      if (Is(name, "exist_file")) return IntResult(result, ScriptFileExists(*context.engine, TextOf(args[0])));
      break;
    case 'g': {
      platform::FileDialogKind kind;
      if (Is(name, "get_read_file_name")) kind = platform::FileDialogKind::kOpen;
      else if (Is(name, "get_write_file_name")) kind = platform::FileDialogKind::kSave;
      else if (Is(name, "get_folder_name")) kind = platform::FileDialogKind::kFolder;
      else break;
      TextResult(result, scratch, "", 0);  // "" when cancelled
      if (kind == platform::FileDialogKind::kFolder)
        return ChooserResult(result, scratch,
                             platform::ShowFileDialog(kind, TextOf(args[0]), nullptr, TextOf(args[1])));
      std::string filter = FilterList(TextOf(args[1]));
      return ChooserResult(result, scratch, platform::ShowFileDialog(kind, TextOf(args[0]), filter.c_str(), nullptr));
    }
    case 'l':
      if (Is(name, "load_object")) return LoadObject(result, context, args);
      break;
    case 's':
      if (Is(name, "save_object")) return SaveObject(result, context, args);
      break;
    default: break;
  }
  return result;
}

}  // namespace

void RegisterBuiltInCalls(ScriptEngine& se) {
  for (const char* name : {"sin", "cos", "tan", "asin", "acos", "atan", "atan2", "abs", "fabs", "iabs", "log", "log10",
                           "pow", "exp", "sqrt"})
    se.RegisterSystemCall(name, HandleMathCall);
  for (const char* name : {"string_length", "string_head", "string_tail", "print_string", "input_string",
                           "string_align_right", "string_align_left"})
    se.RegisterSystemCall(name, HandleStringCall);
  se.RegisterSystemCall("message_box", HandleMessageBoxCall);
  for (const char* name : {"exist_file", "save_object", "load_object", "get_read_file_name", "get_write_file_name",
                           "get_folder_name"})
    se.RegisterSystemCall(name, HandleFileCall);
}

}  // namespace script
