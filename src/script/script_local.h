// script_local.h -- internals shared by the script engine's files: source
// table and error list, tokeniser, preprocessor and its expression
// evaluator, and the front end of the compile loop.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "script/script_public.h"

namespace script {

// ----------------------------------------------------------------------------
// script_records.cpp
// ----------------------------------------------------------------------------

// The whole word-kind table, in kind order.
extern const WordKindInfo kWordKinds[];
extern const size_t kWordKindCount;

// ----------------------------------------------------------------------------
// script_source.cpp
//
// Every text that is tokenised is first registered here so that a pointer
// into it maps back to a file and line. Lines end only at CR LF.
// ----------------------------------------------------------------------------

// The engine's one copy of a file name (see SourceTable::names).
const char* InternFileName(ScriptEngine& se, std::string_view name);

// Registers `text` under the position's file name and tag and builds its
// line table; the entry's index goes to `*entry` when given. With a null
// text, forgets the lines of every entry of that file name. Returns 1.
int AddSourceText(ScriptEngine& se, const char* text, const SourcePosition& position,
                  size_t* entry = nullptr);
// Forgets the lines of one entry (the entry and its name stay).
void ForgetSourceText(ScriptEngine& se, size_t entry);
// Fills the file name, line and tag of a pointer into a registered text (the
// link index is left as it is). False when no registered text holds it.
bool FindSourcePosition(ScriptEngine& se, const char* pointer, SourcePosition* position);
// The position of a pointer, or `fallback` (zeros when null) when no
// registered text holds it: macro texts and rebuilt lines are not registered
// and report at the place they were used.
SourcePosition PositionAt(ScriptEngine& se, const char* pointer, const SourcePosition* fallback);

// Stores a message (Shift-JIS) with a copy of the position (zeros when null)
// in the first free slot. Returns the slot, or 128 when the list is full and
// the message is dropped.
int AddCompileError(ScriptEngine& se, const char* message, const SourcePosition* position);
// printf-style AddCompileError; the format is Shift-JIS.
int AddCompileErrorf(ScriptEngine& se, const SourcePosition* position, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The message of error i: null at the first free slot and for i of 128 or more.
const char* GetScriptErrorText(const ScriptEngine& se, int i);
const SourcePosition* GetScriptErrorPosition(const ScriptEngine& se, int i);
// Empties the source table and the error list.
void InitScriptErrors(ScriptEngine& se);
// Frees the source table's names and line tables and every error.
void DestroyScriptEngine(ScriptEngine& se);

// Returns `buffer` when its heap size is at least `length`, else a zero-filled
// block of length + 16 bytes (the old bytes kept). Heap blocks of core.
void* EnsureZeroedBuffer(void* buffer, size_t length);

// A byte that starts a two-byte Shift-JIS character as the tokeniser, the
// escape routine and the object text writer read texts: 0x80..0x9F and
// 0xE0..0xFE (wider at the bottom and narrower at the top than the text
// drawing's test).
constexpr bool IsScriptLeadByte(unsigned char c) { return (c >= 0x80 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFE); }

// The text with tab, LF, VT, CR, double quote, single quote and backslash
// written as \t \n \v \r \" \' \\, two-byte characters copied whole, so the
// result reads back through the tokeniser as the text it was. A lead byte at
// the very end of the text is copied alone.
std::string EscapeStringAlloc(const char* text);

// ----------------------------------------------------------------------------
// script_token.cpp
// ----------------------------------------------------------------------------

// The first character at or after `text` that is neither white space (tab,
// LF, CR, space) nor inside a comment.
const char* SkipBlanks(const char* text);

// Reads the token that starts exactly at `start` (blanks already skipped).
// Its text goes to `*text` (replaced), the character after it to `*end`
// (blanks not skipped). Returns its kind, 0 at the end of the text and after
// an illegal character (`*end` is then the text's end). Problems are added to
// the error list at the position of the byte concerned (or `fallback`).
int ScanToken(ScriptEngine& se, const char* start, std::string* text, const char** end,
              const SourcePosition* fallback);

// Reads one token: its text into `buffer` (at most size - 1 bytes and a zero),
// its full length to `*length`, and to `*next` the first character after it
// with blanks and comments skipped. Returns its kind (0 at the end).
int ReadToken(ScriptEngine& se, const char* text, char* buffer, int size, int* length,
              const char** next, const SourcePosition* fallback = nullptr);
// The same with a text that grows to fit: tokens have no length limit.
int ReadTokenAlloc(ScriptEngine& se, const char* text, std::string* buffer, const char** next,
                   const SourcePosition* fallback = nullptr);

// ----------------------------------------------------------------------------
// script_preproc.cpp
// ----------------------------------------------------------------------------

// Limits that stop runaway input with a compile error rather than a crash:
// nested "#include"s, and all nesting of the preprocessor together (includes,
// conditionals and macro replacements).
constexpr int32_t kMaxIncludeDepth = 32;
constexpr int32_t kMaxPreprocessDepth = 512;

// Registers the text, preprocesses it at depth 0 into the token list, then
// forgets its lines again (the tokens keep their positions). Returns 1.
int TokeniseText(ScriptEngine& se, const char* text, const SourcePosition& position);
// Resolves the position's file name against the current script folder,
// stores the full path back into it, reads the file whole through the file
// layer and tokenises it with the file's folder as the current folder.
// 0 (and an error) when the file cannot be read.
int TokeniseFile(ScriptEngine& se, SourcePosition* position);
// Tokenises a memory text with the folder of the position's name as the
// current folder.
int TokeniseMemoryText(ScriptEngine& se, const char* text, const SourcePosition& position);

// Reads tokens, carries out directives, replaces macros and appends the rest
// to the token list. At depth 1 or more a directive that ends a branch ends
// the reading too. Returns where it stopped (at that directive, or at the
// end of the text).
const char* PreprocessScript(ScriptEngine& se, const char* text, int depth,
                             const SourcePosition& position);
// Drops the tokens of a branch; returns the "#else", "#elif..." or "#endif"
// that ends it (nested conditionals skipped whole), or the end of the text.
const char* SkipConditional(ScriptEngine& se, const char* text, const SourcePosition& position);
// The rest of the line at `text` with macros replaced, tokens joined by
// single blanks (strings back in double quotes, labels with their colon).
// `*end` gets the line's end (its CR or LF, or the text's end).
std::string ExpandDefinesInLine(ScriptEngine& se, const char* text, const char** end,
                                const SourcePosition& position);

// A full path: a drive path or one that already begins with the working
// folder stays; a leading "/" or "\" starts at the working folder; anything
// else is appended to `baseFolder`. Separators become "/", "." and ".."
// segments are folded (never past the start).
std::string ResolveScriptPath(std::string_view path, std::string_view baseFolder);
// The folder part of a path (before its last "/" or "\"), "" when none.
std::string FolderOfPath(std::string_view path);
// 1 when the path, resolved against the current script folder, opens
// through the file layer.
int ScriptFileExists(ScriptEngine& se, const char* path);

// The slot found for a macro name (the first slot of that name), or -1.
int32_t FindDefine(const ScriptEngine& se, const std::string& name);
// Frees every definition (after each linked file).
void FreeDefineTable(ScriptEngine& se);

// Appends a word to the token list: numbers as their values, everything else
// with its text.
CScriptLiteral* EmitToken(ScriptEngine& se, const std::string& text, int kind,
                          const SourcePosition& position);
// Gives every word of a list back to the pool.
void ReleaseWordList(ScriptEngine& se, CScriptLiteral* head);

// ----------------------------------------------------------------------------
// script_ppexpr.cpp
// ----------------------------------------------------------------------------

// The value of a constant "#if" expression.
struct PreprocessorValue {
  enum Type { kInt, kFloat, kString } type = kInt;
  int32_t i = 0;
  float f = 0.0f;
  std::string s;
};

// Nesting of parentheses and prefix operators an "#if" expression may have.
constexpr int kMaxExpressionDepth = 256;

// Evaluates the expression of an (already expanded) "#if" line. Errors go to
// the error list at `position`; a faulty expression is 0.
PreprocessorValue EvaluatePreprocessorExpression(ScriptEngine& se, const char* text,
                                                 const SourcePosition& position);
// An int other than 0, a float other than 0.0 or a string that is not empty.
bool IsTrue(const PreprocessorValue& value);

// ----------------------------------------------------------------------------
// script_host.cpp
// ----------------------------------------------------------------------------

// Tokenises every linked file not yet read. 1 when all went through, 0 when
// a file cannot be read.
int CompileLinkedScripts(ScriptEngine& se);
// The listing of the compiled code ("CompiledCode.txt").
std::string WriteCompiledCodeListing(ScriptEngine& se);
// Creates or replaces a file with the bytes; nothing when it cannot be made.
void WriteTextFile(const char* path, std::string_view bytes);

}  // namespace script
