// script_preproc.cpp -- the preprocessor: reads registered texts token by
// token, carries out "#include", "#link", "#define", "#undef" and the "#if"
// family, replaces macros and fills the engine's token list; and the script
// paths it resolves.

#include <cstring>
#include <optional>

#include "core/core_public.h"
#include "platform/platform_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Paths
// ----------------------------------------------------------------------------

namespace {

// "\" and "/" both separate; the second byte of a two-byte character is
// never taken for one.
std::string ForwardSlashes(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); i++) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (core::IsSjisLeadByte(c) && i + 1 < path.size()) {
      out += path[i];
      out += path[++i];
      continue;
    }
    out += c == '\\' ? '/' : char(c);
  }
  return out;
}

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
}

// True when `path` is `folder` or lies inside it (names compared without case).
bool BeginsWithFolder(std::string_view path, std::string_view folder) {
  if (folder.empty() || path.size() < folder.size()) return false;
  if (platform::CompareNamesNoCase(path.substr(0, folder.size()), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == '/' || folder.back() == '/';
}

// Folds "." and ".." segments after the leading run of points and slashes;
// ".." never removes that run.
std::string FoldSegments(const std::string& path) {
  size_t lead = 0;
  while (lead < path.size() && (path[lead] == '.' || path[lead] == '/')) lead++;
  // A leading run that ends in a name's points ("..x") belongs to the name.
  while (lead > 0 && path[lead - 1] == '.' && lead < path.size()) lead--;
  std::vector<std::string_view> segments;
  std::string_view rest(path);
  rest.remove_prefix(lead);
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = rest.find('/', pos);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view segment = rest.substr(pos, end - pos);
    pos = end + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(segment);
  }
  std::string out = path.substr(0, lead);
  for (size_t i = 0; i < segments.size(); i++) {
    if (i > 0) out += '/';
    out += segments[i];
  }
  if (!segments.empty() && path.size() > lead && path.back() == '/') out += '/';
  return out;
}

}  // namespace

std::string ResolveScriptPath(std::string_view path, std::string_view baseFolder) {
  std::string p = ForwardSlashes(path);
  std::string work = platform::WorkingFolder();
  std::string full;
  if (HasDrive(p) || BeginsWithFolder(p, work)) {
    full = p;  // already resolved: resolving twice changes nothing
  } else if (!p.empty() && p[0] == '/') {
    full = work + p;  // game scripts write "/system/x.inc" for the working folder
  } else {
    full = baseFolder.empty() ? work : ForwardSlashes(baseFolder);
    if (full.empty() || full.back() != '/') full += '/';
    full += p;
  }
  return FoldSegments(full);
}

std::string FolderOfPath(std::string_view path) {
  size_t cut = std::string_view::npos;
  for (size_t i = 0; i < path.size(); i++) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (core::IsSjisLeadByte(c) && i + 1 < path.size()) {
      i++;
      continue;
    }
    if (c == '/' || c == '\\') cut = i;
  }
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

namespace {

// The table that files are read through: the engine's, or (for an engine
// not wired to one) an empty table, which reads the disk alone.
struct FileTable {
  explicit FileTable(ScriptEngine& se) : table(se.files ? *se.files : disk.emplace()) {}
  std::optional<core::FilePackageTable> disk;
  core::FilePackageTable& table;
};

}  // namespace

int ScriptFileExists(ScriptEngine& se, const char* path) {
  std::string full = ResolveScriptPath(path ? path : "", se.currentFolder);
  FileTable files(se);
  core::FileHandle h = files.table.OpenReadFile(full.c_str());
  if (h == core::kNoFile) return 0;
  files.table.CloseFileHandle(h);
  return 1;
}

// ----------------------------------------------------------------------------
// Token list and define table
// ----------------------------------------------------------------------------

CScriptLiteral* EmitToken(ScriptEngine& se, const std::string& text, int kind, const SourcePosition& position) {
  CScriptLiteral* word = se.pools.AllocScriptLiteral();
  if (!word) return nullptr;
  if (kind == kWordInt || kind == kWordFloat) {
    SetValueFromText(se.pools, word, text.c_str(), kind);
  } else {
    word->payload = ScriptPayload{};  // a fresh word holds no compound
    word->text = text;
    word->kind = uint8_t(kind);
  }
  word->position = position;
  word->next = nullptr;
  if (se.tokenTail) se.tokenTail->next = word;
  else se.tokenHead = word;
  se.tokenTail = word;
  return word;
}

void ReleaseWordList(ScriptEngine& se, CScriptLiteral* head) {
  if (head) se.run.codeEpoch++;  // it may be the code list
  while (head) {
    CScriptLiteral* next = head->next;
    se.pools.FreeScriptLiteral(head);
    head = next;
  }
}

int32_t FindDefine(const ScriptEngine& se, const std::string& name) {
  if (name.empty() || se.defines.byName.empty()) return -1;
  auto it = se.defines.byName.find(name);
  if (it == se.defines.byName.end() || it->second.empty()) return -1;
  return it->second.front();
}

void FreeDefineTable(ScriptEngine& se) {
  se.defines.slots.clear();
  se.defines.byName.clear();
}

// ----------------------------------------------------------------------------
// Directives
// ----------------------------------------------------------------------------

namespace {

bool IsOpeningDirective(const std::string& t) {
  return t == "#if" || t == "#ifdef" || t == "#ifndef" || t == "#ifexist" || t == "#ifnexist";
}

bool IsElifDirective(const std::string& t) {
  return t == "#elif" || t == "#elifdef" || t == "#elifndef" || t == "#elifexist" || t == "#elifnexist";
}

// The directives that end a branch of a conditional.
bool IsEndingDirective(const std::string& t) { return t == "#else" || t == "#endif" || IsElifDirective(t); }

const char* LineEnd(const char* p) {
  while (*p && *p != '\r' && *p != '\n') p++;
  return p;
}

const char* TextEnd(const char* p) { return p + std::strlen(p); }

// The token after a directive: its text and the character after it.
int NextToken(ScriptEngine& se, const char* p, std::string* text, const char** end, const SourcePosition& where) {
  return ScanToken(se, SkipBlanks(p), text, end, &where);
}

// Counts one level of preprocessor nesting for its lifetime; `ok` is false
// (and the error reported) when the nesting is already at its limit.
struct NestingLevel {
  NestingLevel(ScriptEngine& engine, const SourcePosition& where) : se(engine) {
    ok = se.preprocessDepth < kMaxPreprocessDepth;
    if (ok) se.preprocessDepth++;
    else AddCompileError(se, Sjis("プリプロセッサの入れ子が深すぎるため、読み込みを中断します。"), &where);
  }
  ~NestingLevel() {
    if (ok) se.preprocessDepth--;
  }
  ScriptEngine& se;
  bool ok;
};

void ReportSelfReference(ScriptEngine& se, int32_t slot, const SourcePosition& where) {
  AddCompileErrorf(se, &where, Sjis("[%s]のdefineが自分自身を参照しています。"),
                   se.defines.slots[size_t(slot)].name.c_str());
}

// Expands the macros of one line into `out`, tokens joined by blanks.
void ExpandInto(ScriptEngine& se, const char* text, const SourcePosition& where, std::string* out) {
  NestingLevel level(se, where);
  if (!level.ok) return;
  std::string token;
  const char* p = text;
  for (;;) {
    const char* end;
    int kind = NextToken(se, p, &token, &end, where);
    if (kind == kWordEnd) break;
    p = end;
    std::string piece;
    int32_t slot = kind == kWordString ? -1 : FindDefine(se, token);
    if (kind == kWordString) {
      // Escapes are already resolved and are not written again.
      piece = "\"" + token + "\"";
    } else if (slot >= 0) {
      if (se.defines.slots[size_t(slot)].expanding) {
        ReportSelfReference(se, slot, where);
        continue;
      }
      std::string macro = se.defines.slots[size_t(slot)].text;
      se.defines.slots[size_t(slot)].expanding = true;
      ExpandInto(se, macro.c_str(), where, &piece);
      if (size_t(slot) < se.defines.slots.size()) se.defines.slots[size_t(slot)].expanding = false;
    } else {
      piece = token;
    }
    // A label keeps its colon, so "a:1" is not rebuilt as "a 1".
    if (kind == kWordLabel) piece += ':';
    if (piece.empty()) continue;
    if (!out->empty()) *out += ' ';
    *out += piece;
  }
}

void IncludeFile(ScriptEngine& se, const std::string& path, const SourcePosition& where) {
  if (se.includeDepth >= kMaxIncludeDepth) {
    std::string full = ResolveScriptPath(path, se.currentFolder);
    AddCompileErrorf(se, &where, Sjis("インクルードの入れ子が%d段を超えるため、[%s]を読み込みません。"),
                     kMaxIncludeDepth, full.c_str());
    return;
  }
  std::string savedFolder = se.currentFolder;
  SourcePosition file{path.c_str(), 0, where.linkIndex, nullptr};
  se.includeDepth++;
  int ok = TokeniseFile(se, &file);
  se.includeDepth--;
  se.currentFolder = savedFolder;
  if (!ok) AddCompileErrorf(se, &where, Sjis("インクルードファイル[%s]が読み込めません。"), file.fileName);
}

const char* DefineMacro(ScriptEngine& se, const char* p, const SourcePosition& where) {
  std::string name;
  const char* nameEnd;
  int kind = NextToken(se, p, &name, &nameEnd, where);
  if (kind != kWordName) {
    AddCompileErrorf(se, &where, Sjis("[%s]はdefineの定義文字列にはなりません。"), name.c_str());
    return LineEnd(nameEnd);
  }
  const char* lineEnd;
  std::string text = ExpandDefinesInLine(se, nameEnd, &lineEnd, where);
  DefineTable& t = se.defines;
  if (FindDefine(se, name) >= 0)
    AddCompileErrorf(se, &where, Sjis("[%s]は多重定義されています。"), name.c_str());
  if (t.slots.size() >= size_t(DefineTable::kMaxDefines)) {
    AddCompileError(se, Sjis("#defineできる最大件数を超えています。"), &where);
    return lineEnd;
  }
  if (t.slots.empty()) t.slots.reserve(size_t(DefineTable::kMaxDefines));
  // A second definition of a name goes into its own slot, after the first,
  // which goes on being the one found.
  t.byName[name].push_back(int32_t(t.slots.size()));
  t.slots.push_back(DefineSlot{name, text, false});
  return lineEnd;
}

const char* UndefineMacro(ScriptEngine& se, const char* p, const SourcePosition& where) {
  std::string name;
  const char* end;
  int kind = NextToken(se, p, &name, &end, where);
  if (kind != kWordName) {
    AddCompileErrorf(se, &where, Sjis("[%s]はundefの定義文字列にはなりません。"), name.c_str());
    return end;
  }
  auto it = se.defines.byName.find(name);
  if (it == se.defines.byName.end() || it->second.empty()) return end;  // not defined: ignored
  // The slot stays in use with an empty name and is never found again.
  se.defines.slots[size_t(it->second.front())].name.clear();
  it->second.erase(it->second.begin());
  if (it->second.empty()) se.defines.byName.erase(it);
  return end;
}

// The condition of an "#if" family directive; `*next` gets where reading
// goes on (after the line for "#if" and "#elif", after the name or path).
bool EvaluateCondition(ScriptEngine& se, const std::string& directive, const char* p, const char** next,
                       const SourcePosition& where) {
  if (directive == "#if" || directive == "#elif") {
    std::string line = ExpandDefinesInLine(se, p, next, where);
    return IsTrue(EvaluatePreprocessorExpression(se, line.c_str(), where));
  }
  std::string operand;
  NextToken(se, p, &operand, next, where);
  if (directive == "#ifdef" || directive == "#elifdef") return FindDefine(se, operand) >= 0;
  if (directive == "#ifndef" || directive == "#elifndef") return FindDefine(se, operand) < 0;
  bool exists = ScriptFileExists(se, operand.c_str()) != 0;
  if (directive == "#ifexist" || directive == "#elifexist") return exists;
  return !exists;  // "#ifnexist", "#elifnexist"
}

// One conditional from just after its opening directive: every condition is
// evaluated, the first true branch is read one level deeper, the others are
// skipped. Returns where reading goes on.
const char* ReadConditional(ScriptEngine& se, std::string directive, const char* p, int depth,
                            SourcePosition where) {
  bool taken = false;
  std::string token;
  for (;;) {
    bool condition = EvaluateCondition(se, directive, p, &p, where);
    const char* stop;
    if (condition && !taken) {
      taken = true;
      stop = PreprocessScript(se, p, depth + 1, where);
    } else {
      stop = SkipConditional(se, p, where);
    }
    // The directive that ended the branch.
    const char* start = SkipBlanks(stop);
    SourcePosition at = PositionAt(se, start, &where);
    const char* end;
    int kind = ScanToken(se, start, &token, &end, &where);
    if (kind == kWordDirective && token == "#endif") return end;
    if (kind == kWordDirective && token == "#else") {
      stop = taken ? SkipConditional(se, end, at) : PreprocessScript(se, end, depth + 1, at);
      start = SkipBlanks(stop);
      SourcePosition last = PositionAt(se, start, &at);
      kind = ScanToken(se, start, &token, &end, &at);
      if (kind == kWordDirective && token == "#endif") return end;
      AddCompileError(se, Sjis("#endifのない#elseです。"), &last);
      return end;
    }
    if (kind == kWordDirective && IsElifDirective(token)) {
      directive = token;
      p = end;
      where = at;
      continue;
    }
    AddCompileError(se, Sjis("#endifのない#ifです。"), &at);
    return end;
  }
}

// Carries out the directive `directive` whose word ends at `p`. Returns where
// reading goes on.
const char* CarryOutDirective(ScriptEngine& se, const std::string& directive, const char* p, int depth,
                              const SourcePosition& where) {
  if (directive == "#include" || directive == "#link") {
    std::string path;
    const char* end;
    NextToken(se, p, &path, &end, where);
    if (directive == "#include") IncludeFile(se, path, where);
    else se.AddLinkedScript(nullptr, path.c_str());
    return end;
  }
  if (directive == "#define") return DefineMacro(se, p, where);
  if (directive == "#undef") return UndefineMacro(se, p, where);
  if (IsOpeningDirective(directive)) return ReadConditional(se, directive, p, depth, where);
  AddCompileErrorf(se, &where, Sjis("不正なプリプロセッサ[%s]があります。"), directive.c_str());
  return p;
}

// Replaces a macro name by its text, read at depth 0 where the name stood.
void ReplaceMacro(ScriptEngine& se, int32_t slot, int kind, const SourcePosition& where) {
  if (se.defines.slots[size_t(slot)].expanding) {
    ReportSelfReference(se, slot, where);
    return;
  }
  // A copy: the macro's own text may define or undefine macros.
  std::string macro = se.defines.slots[size_t(slot)].text;
  se.defines.slots[size_t(slot)].expanding = true;
  PreprocessScript(se, macro.c_str(), 0, where);
  if (size_t(slot) < se.defines.slots.size()) se.defines.slots[size_t(slot)].expanding = false;
  // A label whose name was a macro keeps its colon.
  if (kind == kWordLabel) EmitToken(se, ":", kWordColon, where);
}

}  // namespace

std::string ExpandDefinesInLine(ScriptEngine& se, const char* text, const char** end,
                                const SourcePosition& position) {
  const char* lineEnd = LineEnd(text);
  if (end) *end = lineEnd;
  std::string line(text, size_t(lineEnd - text));
  std::string out;
  ExpandInto(se, line.c_str(), position, &out);
  return out;
}

const char* SkipConditional(ScriptEngine& se, const char* text, const SourcePosition& position) {
  int nested = 0;
  std::string token;
  const char* p = text;
  for (;;) {
    const char* start = SkipBlanks(p);
    const char* end;
    int kind = ScanToken(se, start, &token, &end, &position);
    if (kind == kWordEnd) return end;
    if (kind == kWordDirective) {
      if (IsOpeningDirective(token)) {
        nested++;
      } else if (token == "#endif") {
        if (nested == 0) return start;
        nested--;
      } else if (nested == 0 && IsEndingDirective(token)) {
        return start;
      }
    }
    p = end;
  }
}

const char* PreprocessScript(ScriptEngine& se, const char* text, int depth, const SourcePosition& position) {
  NestingLevel level(se, position);
  if (!level.ok) return TextEnd(text);
  std::string token;
  const char* p = text;
  for (;;) {
    if (se.outOfWords) return TextEnd(p);
    const char* start = SkipBlanks(p);
    SourcePosition where = PositionAt(se, start, &position);
    const char* end;
    int kind = ScanToken(se, start, &token, &end, &position);
    if (kind == kWordEnd) {
      if (depth >= 1) AddCompileError(se, Sjis("#endifが足りません。"), &where);
      return end;
    }
    p = end;
    if (kind != kWordString) {
      int32_t slot = FindDefine(se, token);
      if (slot >= 0) {
        ReplaceMacro(se, slot, kind, where);
        continue;
      }
    }
    if (kind == kWordDirective) {
      if (IsEndingDirective(token)) {
        if (depth >= 1) return start;  // the conditional that opened this level reads it
        AddCompileErrorf(se, &where, Sjis("#ifのない%sです。"), token.c_str());
        continue;
      }
      p = CarryOutDirective(se, token, end, depth, where);
      continue;
    }
    if (!EmitToken(se, token, kind, where)) {
      // The box has been shown; the compile fails with the same text.
      AddCompileError(se, Sjis("割り当て可能なCScriptLiteralインスタンスがなくなりました。"), &where);
      se.outOfWords = true;
    }
  }
}

// ----------------------------------------------------------------------------
// Tokenising texts and files
// ----------------------------------------------------------------------------

int TokeniseText(ScriptEngine& se, const char* text, const SourcePosition& position) {
  size_t entry = 0;
  AddSourceText(se, text, position, &entry);
  SourcePosition where = position;
  where.fileName = se.sources.entries[entry].fileName;
  PreprocessScript(se, text, 0, where);
  ForgetSourceText(se, entry);
  return 1;
}

namespace {

// Only CR LF ends a line: a file written with LF alone reads as one line,
// and its first "//" comment runs to its end. It compiles as it reads, but
// the log (and a tool's warning sink) says why, once a file.
void WarnOfBareLineFeeds(ScriptEngine& se, const std::string& path, const char* text) {
  const char* lf = std::strchr(text, '\n');
  while (lf && lf > text && lf[-1] == '\r') lf = std::strchr(lf + 1, '\n');
  if (!lf || !se.warnedFiles.insert(path).second) return;
  std::string warning = "warning: [" + path +
                        "] has line feeds without a carriage return; only CR LF ends a line, so those lines "
                        "read as one (a // comment runs on to the next CR LF)";
  core::Logf(se.log, core::kLogError, "%s\n", warning.c_str());
  if (se.warnings.show) se.warnings.show(se.warnings.user, warning.c_str());
}

}  // namespace

int TokeniseFile(ScriptEngine& se, SourcePosition* position) {
  std::string full = ResolveScriptPath(position->fileName ? position->fileName : "", se.currentFolder);
  position->fileName = InternFileName(se, full);
  void* block = nullptr;
  {
    FileTable files(se);
    core::ReadWholeFile(files.table, &block, full.c_str());
  }
  if (!block) {
    AddCompileErrorf(se, position, Sjis("スクリプトファイル[%s]が読み込めません。"), full.c_str());
    return 0;
  }
  se.currentFolder = FolderOfPath(full);
  WarnOfBareLineFeeds(se, full, static_cast<const char*>(block));
  // The block has zero bytes past the file's end: the text is terminated.
  TokeniseText(se, static_cast<const char*>(block), *position);
  core::HeapFreeCached(block);
  return 1;
}

int TokeniseMemoryText(ScriptEngine& se, const char* text, const SourcePosition& position) {
  se.currentFolder = FolderOfPath(position.fileName ? position.fileName : "");
  return TokeniseText(se, text ? text : "", position);
}

}  // namespace script
