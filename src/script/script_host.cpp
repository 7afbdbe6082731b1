// script_host.cpp -- the host operations of the script engine: loading and
// compiling scripts over the link list, running their threads a step at a
// time, the error texts and the error and listing files, and emptying and
// resetting the engine.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "core/core_public.h"
#include "platform/platform_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Construction and life cycle
// ----------------------------------------------------------------------------

ScriptEngine::ScriptEngine() {
  currentFolder = platform::WorkingFolder();
  for (size_t kind = 0; kind < precedence.size(); kind++) precedence[kind] = OperatorLevel(int(kind));
  registry.Reset();
  signatures.Reset();
  // The out-of-memory text converted now, when memory is there for it.
  Sjis(kOutOfMemoryText);
  memoryReserve.reset(new char[kMemoryReserveBytes]);
}

ScriptEngine::~ScriptEngine() {
  for (ScriptThread* t : threads) delete t;
}

int ScriptEngine::ClearScriptEngine() {
  // Threads first: their stacks and namespaces are pool records.
  EndThread(*this, -1);
  registry.Reset();
  signatures.Reset();
  links = LinkList{};
  FreeDefineTable(*this);
  namespaces.global = nullptr;
  namespaces.threadTop.assign(namespaces.threadTop.size(), nullptr);
  autorun.clear();
  // The run-time error and its call list point at file names and memory
  // texts that go now.
  callList.clear();
  run.error = RunError{};
  warnedFiles.clear();
  // Every word, value and compound goes back at once: the token and code
  // lists and the namespaces are made of them.
  pools.ClearAll();
  run.codeEpoch++;
  tokenHead = tokenTail = nullptr;
  codeHead = codeCursor = nullptr;
  DestroyScriptEngine(*this);
  return 1;
}

void ScriptEngine::ResetScriptEngine(void* hostWindow, void* hostInstance) {
  if (hostWindow) ownerWindow = hostWindow;
  if (hostInstance) programInstance = hostInstance;
  precedence.fill(0);
  workString.clear();
  labelCounter = 0;
  links = LinkList{};
  loopLabels = LoopLabelStack{};
  loopLabels.breakLabels.reserve(LoopLabelStack::kDepth);
  loopLabels.continueLabels.reserve(LoopLabelStack::kDepth);
  signatures.Reset();
  registry.Reset();
  if (threads.empty()) threads.assign(256, nullptr);
  for (ScriptThread* t : threads) {
    if (!t) continue;
    t->currentWord = nullptr;
    t->wait = 0;
    t->orderKey = 0;
    t->runWhilePaused = 0;
  }
  if (namespaces.threadTop.size() < threads.size()) namespaces.threadTop.resize(threads.size(), nullptr);
  ReleaseWordList(*this, codeHead);
  codeHead = codeCursor = nullptr;
  ReleaseWordList(*this, tokenHead);
  tokenHead = tokenTail = nullptr;
  currentFolder = platform::WorkingFolder();
  autorun.clear();
  for (size_t kind = 0; kind < precedence.size(); kind++) precedence[kind] = OperatorLevel(int(kind));
  includeDepth = 0;
  preprocessDepth = 0;
  outOfWords = false;
  compile = CompileState{};
  callList.clear();
  run.error = RunError{};
  RegisterBuiltInCalls(*this);
}

// ----------------------------------------------------------------------------
// Loading
// ----------------------------------------------------------------------------

const char* ScriptEngine::AddLinkedScript(const char* text, const char* name) {
  std::string path = ResolveScriptPath(name ? name : "", currentFolder);
  if (!text) {
    for (const LinkEntry& e : links.entries)
      if (!e.inMemory && platform::CompareNamesNoCase(e.path, path) == 0) return e.path.c_str();
  }
  LinkEntry entry;
  entry.path = std::move(path);
  entry.inMemory = text != nullptr;
  if (text) entry.text.assign(text);
  links.entries.push_back(std::move(entry));
  return links.entries.back().path.c_str();
}

void ReportOutOfMemory(ScriptEngine& se, const SourcePosition* position) {
  se.ReleaseMemoryReserve();
  const char* text = Sjis(kOutOfMemoryText);
  core::Logf(se.log, core::kLogError, "%s\n", text);
  try {
    AddCompileError(se, text, position);
  } catch (const std::bad_alloc&) {
    // Not even the message fits: the log has it.
  }
}

int CompileLinkedScripts(ScriptEngine& se) {
  int32_t savedThread = se.namespaces.currentThread;
  se.namespaces.currentThread = -1;
  se.outOfWords = false;
  int result = 1;
  try {
    while (size_t(se.links.current) < se.links.entries.size()) {
      // By index: "#link" appends entries while this one is read.
      int32_t index = se.links.current;
      const LinkEntry& entry = se.links.entries[size_t(index)];
      SourcePosition position{InternFileName(se, entry.path), 0, index,
                              entry.inMemory ? entry.text.c_str() : nullptr};
      std::string savedFolder = se.currentFolder;
      CScriptLiteral* tail = se.tokenTail;
      if (entry.inMemory) {
        TokeniseMemoryText(se, entry.text.c_str(), position);
      } else if (!TokeniseFile(se, &position)) {
        AddCompileErrorf(se, nullptr, Sjis("リンケージエラー：スクリプトファイル[%s]が開けません。\n"),
                         position.fileName);
        se.currentFolder = savedFolder;
        result = 0;
        break;
      }
      // The code list starts with its start marker.
      if (!se.codeHead) {
        EmitInstruction(se, "[Start]", kWordStart, position);
      }
      WordListTail(se, nullptr);
      CScriptLiteral* first = tail ? tail->next : se.tokenHead;
      se.compile = CompileState{};
      CompileStatements(se, first, kModeFile, nullptr);
      // Definitions hold for one linked file and what it includes.
      FreeDefineTable(se);
      se.links.current++;
      se.currentFolder = savedFolder;
    }
    if (result) StartAutorunThreads(se);
  } catch (const ScriptError& e) {
    // A text thrown out of a file's compile: listed without position.
    AddCompileError(se, e.text.c_str(), nullptr);
    result = 0;
  } catch (const std::bad_alloc&) {
    // Memory ran out: the compile ends with the out-of-memory error, listed
    // at the token being read when there is one.
    ReportOutOfMemory(se, se.compile.token ? &se.compile.token->position : nullptr);
    result = 0;
  }
  WordListTail(se, nullptr);
  se.workString.clear();
  se.namespaces.currentThread = savedThread;
  return result;
}

int ScriptEngine::LoadScript(const char* path) {
  core::Log(log, core::kLogInfo, Sjis("スクリプト読み込み開始@LoadScript\n"));
  AddLinkedFileDefault(path);
  core::Log(log, core::kLogInfo, Sjis("スクリプトコンパイル開始@LoadScript\n"));
  CompileLinkedScripts(*this);
  core::Log(log, core::kLogInfo, Sjis("処理終了@LoadScript\n"));
  return errors.count == 0 ? 1 : 0;
}

int ScriptEngine::LoadScriptMemory(const char* text, const char* name) {
  core::Log(log, core::kLogInfo, Sjis("スクリプト読み込み開始@LoadScriptMemory\n"));
  AddLinkedScript(text ? text : "", name);
  core::Log(log, core::kLogInfo, Sjis("スクリプトコンパイル開始@LoadScriptMemory\n"));
  CompileLinkedScripts(*this);
  core::Log(log, core::kLogInfo, Sjis("処理終了@LoadScriptMemory\n"));
  return errors.count == 0 ? 1 : 0;
}

int ScriptEngine::RunScriptStep() {
  int live;
  try {
    live = RunScriptFrame(0);
  } catch (const std::bad_alloc&) {
    ReleaseMemoryReserve();
    // Out of memory after the step caught its own error: the error stands
    // (when it still fits) and every thread ends.
    try {
      SetRunErrorOnce(Sjis(kOutOfMemoryText), nullptr);
    } catch (const std::bad_alloc&) {
    }
    for (ScriptThread* t : threads)
      if (t) t->currentWord = nullptr;
    live = -1;
  }
  if (live >= 0) return live > 0 ? 1 : -1;
  WriteFileOrLog(log, "RuntimeError.txt", [&] { return GetCallListText(); });
  WriteFileOrLog(log, "CompiledCode.txt", [&] { return WriteCompiledCodeListing(*this); });
  WriteFileOrLog(log, "CompiledValue.txt", [&] { return VariableTableText(); });
  return 0;
}

void ScriptEngine::WriteCodeListingFile(const char* path) { WriteTextFile(path, WriteCompiledCodeListing(*this)); }

int EscapeStringBounded(char* buffer, const char* text, int size) {
  if (!buffer || size <= 0) return 0;
  int length = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : ""); *p && size >= 2;) {
    // One piece: a two-byte character, an escaped character or a plain one.
    char piece[2] = {char(p[0]), 0};
    int pieceLength = 1;
    int consumed = 1;
    if (IsScriptLeadByte(p[0]) && p[1]) {
      piece[1] = char(p[1]);
      pieceLength = consumed = 2;
    } else if ((p[0] >= 7 && p[0] <= 13) || p[0] == '"' || p[0] == '\'' || p[0] == '\\') {
      piece[0] = '\\';
      piece[1] = char(p[0]);
      pieceLength = 2;
    }
    if (length + pieceLength > size - 1) break;
    std::memcpy(buffer + length, piece, size_t(pieceLength));
    length += pieceLength;
    p += consumed;
  }
  buffer[length] = '\0';
  return length;
}

// ----------------------------------------------------------------------------
// Error texts
// ----------------------------------------------------------------------------

std::string ScriptEngine::FormatCallFrame(const SourcePosition* position) const {
  if (!position) return "[Called as a thread.]-";
  std::string name;
  int32_t line = position->line;
  std::string label;
  if (position->sourceTag && pathPoints.find && pathPoints.find(pathPoints.user, position->sourceTag, &label)) {
    // A path point's event script: its label, and the line in the point's
    // own text (the generated script has two lines before it).
    name = label;
    line = line - 2 < 0 ? 0 : line - 2;
    if (!label.empty() && pathPoints.errorLabel && pathPoints.errorLabel->empty()) *pathPoints.errorLabel = label;
  } else if (position->fileName) {
    name = position->fileName;
  }
  if (name.empty()) return {};
  char frame[64];
  std::snprintf(frame, sizeof frame, Sjis("(%d行目)-"), line);
  return name + frame;
}

std::string ScriptEngine::GetErrorListText() const {
  std::string text;
  for (int i = 0; i < errors.count; i++) {
    const CompileError& e = errors.slots[size_t(i)];
    text += FormatCallFrame(&e.position);
    text += e.message;
    text += "\r\n";
  }
  return text;
}

std::string ScriptEngine::GetCallListText() const {
  if (!run.error.stored) return {};
  std::string text = FormatCallFrame(run.error.hasPosition ? &run.error.position : nullptr);
  text += run.error.text;
  text += "\r\n<--- functions call list --->\r\n";
  // Innermost call first; a thread's root frame has no position.
  for (const CallListEntry& entry : callList) {
    text += FormatCallFrame(entry.hasPosition ? &entry.position : nullptr);
    text += entry.functionName;
    text += "\r\n";
  }
  return text;
}

// ----------------------------------------------------------------------------
// Files
// ----------------------------------------------------------------------------

void WriteTextFile(const char* path, std::string_view bytes) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return;  // a file that cannot be made is skipped without a message
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

namespace {

// The text `make` gives, or the out-of-memory error when memory runs out
// making it: a file that reports an error still says something.
template <typename F>
std::string TextOrOutOfMemory(F make) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    return Sjis(kOutOfMemoryText);
  }
}

}  // namespace

void WriteFileOrLog(core::LogSystem* log, const char* path, const std::function<std::string()>& text) {
  try {
    WriteTextFile(path, text());
  } catch (const std::bad_alloc&) {
    // A listing of a program that filled memory may not fit beside it: the
    // file is left out and the log says why.
    core::Logf(log, core::kLogError, "%s: %s\n", path, Sjis(kOutOfMemoryText));
  }
}

std::string WriteCompiledCodeListing(ScriptEngine& se) {
  std::string text;
  text.reserve(65536);
  int count = 0;
  const char* file = nullptr;
  int32_t line = 0;
  for (CScriptLiteral* w = se.codeHead; w && w->kind != kWordEnd; w = w->next) {
    // Files are told apart by their interned name, not by its characters.
    if (count == 0 || w->position.fileName != file) {
      text += "\r\n";
      text += w->position.fileName ? w->position.fileName : "";
    }
    if (count > 0 && w->position.line != line) {
      char number[24];
      std::snprintf(number, sizeof number, "\r\n%04d|", w->position.line);
      text += number;
    }
    file = w->position.fileName;
    line = w->position.line;
    switch (w->kind) {
      case kWordInt:
      case kWordFloat: text += WordPrintedText(*w); text += ' '; break;
      case kWordName: text += "(" + w->text + ") "; break;
      case kWordString: text += "\"" + EscapeStringAlloc(w->text.c_str()) + "\" "; break;
      case kWordLabel: text += w->text + ": "; break;
      default: text += w->text + " "; break;
    }
    count++;
  }
  char total[64];
  std::snprintf(total, sizeof total, Sjis("\r\n合計 %d Words"), count);
  return text + total;
}

int ScriptEngine::WriteCompileResults() {
  std::string errorText = TextOrOutOfMemory([&] { return GetErrorListText(); });
  if (!errorText.empty()) {
    core::Log(log, core::kLogInfo, Sjis("中間ファイル書き出し開始\n"));
    WriteFileOrLog(log, "CompiledCode.txt", [&] { return WriteCompiledCodeListing(*this); });
    core::Log(log, core::kLogInfo, Sjis("コンパイル済み変数書き出し開始\n"));
    WriteFileOrLog(log, "CompiledValue.txt", [&] { return VariableTableText(); });
  }
  WriteTextFile("CompileError.txt", errorText);
  return int(errorText.size());
}

std::string ScriptEngine::VariableTableText() {
  // The global namespace in the indented object text form and two zero
  // bytes (only the zeros when there is no global namespace).
  std::string values = WriteCompoundText(namespaces.global, 1);
  values.append(2, '\0');
  return values;
}

void ScriptEngine::WriteVariableTableFile(const char* path) {
  WriteFileOrLog(log, path, [&] { return VariableTableText(); });
}

int ScriptEngine::WriteRuntimeError() {
  if (!run.error.stored) return 0;
  std::string text = TextOrOutOfMemory([&] { return GetCallListText(); });
  WriteTextFile("RuntimeError.txt", text);
  // The hint belongs to the window only, not to the file.
  bool editing = editorMode && *editorMode == 1;
#if defined(TKW4_EDITION_ENGLISH)
  const char* hint = editing ? "\n\nPress [F12] to return."
                             : "\n\nPlease report [RuntimeError.txt] to the software developer.";
#else
  const char* hint = editing ? Sjis("\n\nF12キーで戻ります。") : Sjis("\n\n[RuntimeError.txt]の内容を製作者に報告してください。");
#endif
  std::string message = text + hint;
  if (errorWindow.show) errorWindow.show(errorWindow.user, message.c_str());
  return int(text.size());
}

// ----------------------------------------------------------------------------
// Globals
// ----------------------------------------------------------------------------

float ScriptEngine::ValueToFloat(const CScriptValue* value) {
  // Refer chains end at a value of another type; a cycle cannot be longer
  // than the pool, but is cut much earlier.
  for (int hops = 0; value && value->type == kValueRefer && hops < 1024; hops++) value = value->data.value;
  if (!value) return 0.0f;
  switch (value->type) {
    case kValueInt: return float(value->data.i);
    case kValueFloat: return value->data.f;
    case kValueString: return ParseFloat(value->stringValue.c_str());
    default: return 0.0f;
  }
}

int32_t ScriptEngine::StartThread(CScriptValue* function, int32_t argument) {
  for (int hops = 0; function && function->type == kValueRefer && hops < 1024; hops++) function = function->data.value;
  if (!function || function->type != kValueFunction)
    RaiseScriptError("%s", Sjis("ジャンプ先の関数がありません。create_threadシステム割り込み命令は失敗しました。"));
  return CreateScriptThread(*this, function, argument);
}

}  // namespace script
