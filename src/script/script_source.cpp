// script_source.cpp -- the source table that maps text pointers back to files
// and lines, the compile-error list, and the string escape of the listings.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

// ----------------------------------------------------------------------------
// Source table
// ----------------------------------------------------------------------------

const char* InternFileName(ScriptEngine& se, std::string_view name) {
  return se.sources.names.emplace(name).first->c_str();
}

int AddSourceText(ScriptEngine& se, const char* text, const SourcePosition& position, size_t* entry) {
  const char* name = position.fileName ? InternFileName(se, position.fileName) : InternFileName(se, "");
  if (!text) {
    for (SourceText& s : se.sources.entries)
      if (s.fileName == name) {
        s.lineStarts.clear();
        s.lineCount = 0;
      }
    return 1;
  }
  SourceText s;
  s.fileName = name;
  s.sourceTag = position.sourceTag;
  s.lineStarts.reserve(256);
  s.lineStarts.push_back(text);
  // Only CR LF ends a line: a lone CR or LF belongs to the line it stands in.
  const char* end = text + std::strlen(text);
  const char* p = text;
  while ((p = static_cast<const char*>(std::memchr(p, '\r', size_t(end - p)))) != nullptr) {
    if (p[1] == '\n') s.lineStarts.push_back(p + 2);
    p++;
  }
  p = end;
  s.lineCount = int32_t(s.lineStarts.size());
  s.lineStarts.push_back(p);  // the terminating zero
  se.sources.entries.push_back(std::move(s));
  if (entry) *entry = se.sources.entries.size() - 1;
  return 1;
}

void ForgetSourceText(ScriptEngine& se, size_t entry) {
  if (entry >= se.sources.entries.size()) return;
  SourceText& s = se.sources.entries[entry];
  s.lineStarts.clear();
  s.lineCount = 0;
}

namespace {

// The line of `pointer` in entry `s` when the entry's text holds it. The
// line of the previous lookup (`*line` on entry, a line index) and the one
// after it are tried before the search by halving.
bool LineIn(const SourceText& s, const char* pointer, int32_t* line) {
  if (s.lineStarts.empty()) return false;
  std::less_equal<const char*> le;
  std::less<const char*> lt;
  if (!le(s.lineStarts.front(), pointer) || !le(pointer, s.lineStarts.back())) return false;
  for (int32_t i = *line; i >= 0 && i < s.lineCount && i <= *line + 1; i++) {
    if (le(s.lineStarts[size_t(i)], pointer) && (i + 1 == s.lineCount || lt(pointer, s.lineStarts[size_t(i) + 1]))) {
      *line = i + 1;
      return true;
    }
  }
  // The last line start not after the pointer (the end entry excluded).
  auto first = s.lineStarts.begin();
  auto last = s.lineStarts.begin() + s.lineCount;
  auto it = std::upper_bound(first, last, pointer, std::less<const char*>());
  *line = int32_t(it - first);  // index of that line start + 1
  return true;
}

}  // namespace

bool FindSourcePosition(ScriptEngine& se, const char* pointer, SourcePosition* position) {
  if (!pointer) return false;
  while (*pointer == ' ' || *pointer == '\t' || *pointer == '\r' || *pointer == '\n') pointer++;
  SourceTable& t = se.sources;
  // Tokens are mostly read in order: the last line found, or the next one.
  if (t.lastFound < t.entries.size()) {
    const SourceText& e = t.entries[t.lastFound];
    int32_t i = t.lastLine;
    std::less_equal<const char*> le;
    std::less<const char*> lt;
    for (int32_t k = 0; k < 2 && i >= 0 && i < e.lineCount; k++, i++) {
      if (le(e.lineStarts[size_t(i)], pointer) && lt(pointer, e.lineStarts[size_t(i) + 1])) {
        t.lastLine = i;
        position->fileName = e.fileName;
        position->line = i + 1;
        position->sourceTag = e.sourceTag;
        return true;
      }
    }
  }
  int32_t line = t.lastLine;
  size_t found = t.entries.size();
  if (t.lastFound < t.entries.size() && LineIn(t.entries[t.lastFound], pointer, &line)) {
    found = t.lastFound;
  } else {
    for (size_t i = 0; i < t.entries.size(); i++) {
      line = -1;
      if (LineIn(t.entries[i], pointer, &line)) {
        found = i;
        break;
      }
    }
  }
  if (found == t.entries.size()) return false;
  t.lastFound = found;
  t.lastLine = line - 1;
  position->fileName = t.entries[found].fileName;
  position->line = line;
  position->sourceTag = t.entries[found].sourceTag;
  return true;
}

SourcePosition PositionAt(ScriptEngine& se, const char* pointer, const SourcePosition* fallback) {
  SourcePosition position = fallback ? *fallback : SourcePosition{};
  FindSourcePosition(se, pointer, &position);
  return position;
}

// ----------------------------------------------------------------------------
// Compile-error list
// ----------------------------------------------------------------------------

int AddCompileError(ScriptEngine& se, const char* message, const SourcePosition* position) {
  ScriptErrorList& list = se.errors;
  if (list.count >= ScriptErrorList::kMaxErrors) return ScriptErrorList::kMaxErrors;
  CompileError& e = list.slots[size_t(list.count)];
  e.message.assign(message ? message : "");
  e.position = position ? *position : SourcePosition{};
  if (e.position.fileName) {
    e.fileName.assign(e.position.fileName);
    e.position.fileName = e.fileName.c_str();
  } else {
    e.fileName.clear();
  }
  return list.count++;
}

int AddCompileErrorf(ScriptEngine& se, const SourcePosition* position, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = FormatArgs(format, args);
  va_end(args);
  return AddCompileError(se, message.c_str(), position);
}

std::string FormatArgs(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? size_t(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

const char* GetScriptErrorText(const ScriptEngine& se, int i) {
  if (i < 0 || i >= se.errors.count) return nullptr;
  return se.errors.slots[size_t(i)].message.c_str();
}

const SourcePosition* GetScriptErrorPosition(const ScriptEngine& se, int i) {
  if (i < 0 || i >= se.errors.count) return nullptr;
  return &se.errors.slots[size_t(i)].position;
}

void InitScriptErrors(ScriptEngine& se) { DestroyScriptEngine(se); }

void DestroyScriptEngine(ScriptEngine& se) {
  for (int i = 0; i < se.errors.count; i++) se.errors.slots[size_t(i)] = CompileError{};
  se.errors.count = 0;
  se.sources.entries.clear();
  se.sources.names.clear();
  se.sources.lastFound = 0;
  se.sources.lastLine = 0;
}

void* EnsureZeroedBuffer(void* buffer, size_t length) { return core::HeapGrowZeroed(buffer, length); }

// ----------------------------------------------------------------------------
// String escape
// ----------------------------------------------------------------------------

std::string EscapeStringAlloc(const char* text) {
  std::string out;
  if (!text) return out;
  size_t length = std::char_traits<char>::length(text);
  out.reserve(length * 2 + 1);
  for (const char* p = text; *p; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (IsScriptLeadByte(c)) {
      out += char(c);
      // The second byte is copied as it is, even a backslash; a lead byte at
      // the end of the text has none and the copy ends with the text.
      if (!p[1]) break;
      out += *++p;
      continue;
    }
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\v': out += "\\v"; break;
      case '\r': out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\'': out += "\\'"; break;
      case '\\': out += "\\\\"; break;
      default: out += char(c);
    }
  }
  return out;
}

}  // namespace script
