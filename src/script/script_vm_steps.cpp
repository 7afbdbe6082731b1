// script_vm_steps.cpp -- the VM's steps: runs of words decoded once into one
// step, and a step's variables found again when its namespace has changed.
//
// A step is a run of words that the loop executes as one (script_opcodes.h,
// Notes); what running one does is in script_vm.h (Step runners). Decoding
// looks at a word the first time it runs in a version of the code list and
// keeps the result on the word.

#include <cstdio>
#include <cstring>
#include <string>

#include "core/core_public.h"
#include "script/script_vm.h"

namespace script {

namespace {

bool IsNameWord(const CScriptLiteral* w) { return w && (w->kind == kWordName || w->kind == kWordFunctionName); }
bool IsIntOperand(const CScriptLiteral* w) { return w && (w->kind == kWordInt || IsNameWord(w)); }
bool IsNumberOperand(const CScriptLiteral* w) { return w && (w->kind == kWordFloat || IsIntOperand(w)); }
// A comparison as a mask of the outcomes it holds for (bit 0: less, 1:
// equal, 2: greater), so that a step compares without a switch.
constexpr uint8_t ComparisonMask(int kind) {
  switch (kind) {
    case kWordGreater: return 4;
    case kWordLess: return 1;
    case kWordGreaterEqual: return 6;
    case kWordLessEqual: return 3;
    case kWordEqual: return 2;
    default: return 5;  // kWordNotEqual
  }
}

bool IsIntArithmetic(int kind) { return kind == kWordAdd || kind == kWordSubtract || kind == kWordMultiply; }
bool IsIntCompoundAssign(int kind) {
  return kind == kWordAddAssign || kind == kWordSubtractAssign || kind == kWordMultiplyAssign ||
         kind == kWordBitAndAssign || kind == kWordBitOrAssign || kind == kWordXorAssign;
}
bool IsIncrement(int kind) {
  return kind == kWordIncrement || kind == kWordDecrement || kind == kWordPrefixIncrement ||
         kind == kWordPrefixDecrement;
}
int KindAt(CScriptLiteral* const* words, int i) { return words[i] ? words[i]->kind : -1; }

// A step of `length` words that ends with ";".
Opcode StatementStep(CodeStep* s, int length, Opcode op) {
  s->length = uint8_t(length);
  s->statement = true;
  return op;
}

// The step that starts at words[0], or Nop when the words form none.
Opcode MatchStep(CScriptLiteral* const* words, CodeStep* s) {
  CScriptLiteral* a = words[0];
  int k1 = KindAt(words, 1), k2 = KindAt(words, 2), k3 = KindAt(words, 3), k4 = KindAt(words, 4),
      k5 = KindAt(words, 5);
  if (a && a->kind == kWordString && k1 == kWordJump) {
    s->label = a;
    s->jump = words[1];
    s->length = 2;
    return Opcode::StepJump;
  }
  if (!IsNameWord(a)) return Opcode::Nop;
  s->a = a;
  if (k1 == kWordCallCode) {
    s->length = 2;
    return Opcode::StepCall;
  }
  if (k1 == kWordReturnCode) {
    s->length = 2;
    return Opcode::StepReturn;
  }
  if (IsIncrement(k1) && k2 == kWordSemicolon) {
    s->operation = uint8_t(k1);
    return StatementStep(s, 3, Opcode::StepIncrement);
  }
  if (!IsIntOperand(words[1])) return Opcode::Nop;
  s->b = words[1];
  if (IsNameWord(words[1]) && k2 == kWordMember) {
    // A member read mostly goes straight into arithmetic, with the number
    // before it or a number after it.
    if (IsIntArithmetic(k3)) {
      s->operation = uint8_t(k3);
      s->length = 4;
      return Opcode::StepMemberOp;
    }
    if (IsNumberOperand(words[3]) && IsIntArithmetic(k4)) {
      s->c = words[3];
      s->operation = uint8_t(k4);
      s->length = 5;
      return Opcode::StepMemberArith;
    }
    s->length = 3;
    return Opcode::StepMember;
  }
  if (k2 == kWordIndex && IsNameWord(words[3]) && k4 == kWordMember) {
    s->c = words[3];
    s->length = 5;
    return Opcode::StepElementMember;
  }
  if ((IsComparison(k2) || k2 == kWordIndex) && k3 == kWordString && k4 == kWordJumpIfFalse) {
    s->operation = uint8_t(k2);
    s->label = words[3];
    s->jump = words[4];
    s->length = 5;
    return k2 == kWordIndex ? Opcode::StepIndexJump : Opcode::StepCompareJump;
  }
  if (k2 == kWordIndex && IsIntOperand(words[3]) && k4 == kWordAssign && k5 == kWordSemicolon) {
    s->c = words[3];
    return StatementStep(s, 6, Opcode::StepIndexAssign);
  }
  if (IsIntCompoundAssign(k2) && k3 == kWordSemicolon) {
    s->operation = uint8_t(k2);
    return StatementStep(s, 4, Opcode::StepCompoundAssign);
  }
  if (k2 == kWordAssign && k3 == kWordSemicolon) return StatementStep(s, 4, Opcode::StepAssign);
  // The right operand may be a text literal for "+": a text variable that
  // takes itself plus a piece grows in place (RunAssignBinary).
  if ((IsIntOperand(words[2]) || (k3 == kWordAdd && KindAt(words, 2) == kWordString)) && IsIntArithmetic(k3) &&
      k4 == kWordAssign) {
    s->c = words[2];
    s->operation = uint8_t(k3);
    s->statement = k5 == kWordSemicolon;
    s->length = s->statement ? 6 : 5;
    return Opcode::StepAssignBinary;
  }
  if (IsIntArithmetic(k2) || IsComparison(k2)) {
    s->operation = uint8_t(k2);
    s->length = 3;
    return Opcode::StepPushBinary;
  }
  return Opcode::Nop;
}

// What a jump word of the step finds for its label literal: the label's
// variable, or null. The word's link is set up for the literal as the jump
// itself would set it up.
CScriptValue* ResolveLabel(ScriptEngine& se, CScriptLiteral* jump, const CScriptLiteral* label, const Scope& scope) {
  if (!jump) return nullptr;
  RelinkForLabel(jump, label);
  return ResolveName(se, jump, label->text, scope);
}

// Keeps where the step's variables were found, for other namespaces of the
// same shape.
void KeepShapeSlots(CodeStep& s, const Scope& scope) {
  s.shape = 0;
  uint32_t shape = ScopeShape(scope);
  if (!shape) return;
  CScriptValue* v[5] = {s.va, s.vb, s.vc, s.vLabel, s.vTail};
  s.shapeUsed = 0;
  for (int i = 0; i < 5; i++) {
    s.shapeSlots[i] = -1;
    s.shapeGlobals[i] = nullptr;
    if (!v[i]) continue;
    s.shapeUsed = uint8_t(i + 1);
    if (v[i]->owner != scope.local) {
      s.shapeGlobals[i] = v[i];
      continue;
    }
    int32_t slot = SlotOf(scope.local, v[i]);
    if (slot < 0 || slot > 127) return;
    s.shapeSlots[i] = int8_t(slot);
  }
  s.shape = shape;
  s.shapeGlobalStamp = scope.globalStamp;
}

// The step's variables and labels from its words' links, and where they
// were found for the local namespace's shape. False when a name has no
// variable yet (its word makes one when it runs).
[[gnu::noinline]] bool StepResolveAll(ScriptEngine& se, CodeStep& s, const Scope& scope) {
  CScriptValue *a = nullptr, *b = nullptr, *c = nullptr;
  if (IsNameWord(s.a) && !(a = ResolveName(se, s.a, s.a->text, scope))) return false;
  if (IsNameWord(s.b) && !(b = ResolveName(se, s.b, s.b->text, scope))) return false;
  if (IsNameWord(s.c) && !(c = ResolveName(se, s.c, s.c->text, scope))) return false;
  s.va = a;
  s.vb = b;
  s.vc = c;
  s.vLabel = ResolveLabel(se, s.jump, s.label, scope);
  s.vTail = ResolveLabel(se, s.tailJump, s.tailLabel, scope);
  KeepShapeSlots(s, scope);
  s.localStamp = scope.localStamp;
  s.globalStamp = scope.globalStamp;
  return true;
}

}  // namespace

// The checks of verifyLinks for what steps keep (script_vm.h).
void VerifyLabelNext(const CScriptLiteral* label, const CScriptLiteral* next) {
  ENGINE_ASSERT(next == label->next, "stale word after a step's label");
}

void VerifyStepMember(const CScriptValue* memberVariable, const CScriptValue* holder, const CScriptValue* found) {
  const char* dot = std::strrchr(memberVariable->text.c_str(), '.');
  const char* name = dot ? dot + 1 : memberVariable->text.c_str();
  ENGINE_ASSERT(FindMember(FollowRefer(holder)->data.array, name) == found, "stale member step for [%s]", name);
}

void VerifyChained(const ScriptEngine& se, const CScriptLiteral* w, const CodeStep* kept) {
  ENGINE_ASSERT(w && w->stepEpoch == se.run.codeEpoch && IsChainedStep(Opcode(w->stepOp)) && w->step == kept &&
                kept->first == w && w->position.fileName == se.run.lastFile && kept->link == w->position.linkIndex,
                "stale chained step");
}

// Decodes the word: the step it starts, else its own opcode.
void DecodeStep(ScriptEngine& se, CScriptLiteral* w) {
  RunState& run = se.run;
  if (run.stepsEpoch != run.codeEpoch) {
    run.steps.clear();
    run.stepsEpoch = run.codeEpoch;
  }
  w->stepEpoch = run.codeEpoch;
  w->step = nullptr;
  w->stepOp = uint8_t(kOpcodeOfKind[w->kind]);
  constexpr int kLook = 9;
  CScriptLiteral* words[kLook] = {};
  words[0] = w;
  for (int i = 1; i < kLook && words[i - 1]; i++) words[i] = words[i - 1]->next;
  CodeStep s;
  Opcode op = MatchStep(words, &s);
  if (op == Opcode::Nop) return;
  // A step that jumps on may take the next "label" goto along.
  bool conditional = op == Opcode::StepCompareJump || op == Opcode::StepIndexJump;
  if ((s.statement || conditional) && s.length + 2 <= kMostStepWords && KindAt(words, s.length) == kWordString &&
      KindAt(words, s.length + 1) == kWordJump) {
    s.tailLabel = words[s.length];
    s.tailJump = words[s.length + 1];
  }
  if (op == Opcode::StepMember || op == Opcode::StepElementMember || op == Opcode::StepMemberOp ||
      op == Opcode::StepMemberArith) {
    const std::string& name = (op == Opcode::StepElementMember ? s.c : s.b)->text;
    size_t dot = name.rfind('.');
    s.memberOffset = dot == std::string::npos ? 0 : uint32_t(dot + 1);
  }
  s.last = words[s.length - 1];
  s.after = words[s.length];
  s.op = uint8_t(op);
  s.link = w->position.linkIndex;
  s.first = w;
  if (IsComparison(s.operation)) s.compareMask = ComparisonMask(s.operation);
  // The words of a step all come from one file and link, so setting the
  // folder and link once stands for every word.
  int covered = s.tailJump ? s.length + 2 : s.length;
  for (int i = 1; i < covered; i++)
    if (words[i]->position.fileName != w->position.fileName || words[i]->position.linkIndex != w->position.linkIndex)
      return;
  run.steps.push_back(s);
  w->step = &run.steps.back();
  w->stepOp = uint8_t(op);
}

// The step's variables and labels when the stamps have moved on: by the
// slots kept for the local namespace's shape, else from its words' links.
// Out of the steps' way: their loops seldom come here.
[[gnu::noinline]] bool StepVariablesAgain(ScriptEngine& se, CodeStep& s, const Scope& scope) {
  // A chained step comes here without what the loop's turn sets for its
  // first word: where a lookup's errors are placed, and the link whose
  // file-level names it finds.
  se.run.executing = s.first;
  se.namespaces.currentLink = s.link;
  if (s.shape && s.shape == ScopeShape(scope) && s.shapeGlobalStamp == scope.globalStamp &&
      ShapeVariables(s, scope)) {
    if (__builtin_expect(scope.verify, 0)) VerifyShape(se, scope.local);
    s.localStamp = scope.localStamp;
    s.globalStamp = scope.globalStamp;
    return true;
  }
  return StepResolveAll(se, s, scope);
}

// "t = t + piece" for a text variable t: the piece (an int's "%d", a
// float's "%f", a text) is appended in place. The words would build the
// joined text, push it and assign it to t: the same text, copied twice more.
bool AppendInPlace(ScriptEngine& se, const CodeStep& s) {
  CScriptValue* v = s.va;
  if (s.operation != kWordAdd || !v || v != s.vb || v->type != kValueString || (v->attributes & kAttrConst))
    return false;
  char number[kFloatTextBytes];
  const char* piece;
  size_t length;
  const CScriptValue* r = s.vc;
  if (r && r->type == kValueRefer) r = FollowRefer(r);
  int type;
  if (s.vc) type = r ? r->type : -1;  // null: a refer loop, which the words report
  else type = s.c->kind == kWordInt ? kValueInt : s.c->kind == kWordString ? kValueString : -1;
  switch (type) {
    case kValueInt: {
      int32_t i = r ? r->data.i : s.c->payload.i;
      length = size_t(std::snprintf(number, sizeof number, "%d", i));
      piece = number;
      break;
    }
    case kValueFloat:
      length = size_t(std::snprintf(number, sizeof number, "%f", double(r->data.f)));
      piece = number;
      break;
    case kValueString: {
      const std::string& text = r ? r->stringValue.str() : s.c->text;
      piece = text.c_str();
      length = text.size();
      break;
    }
    default: return false;  // no number or text, or a refer loop
  }
  std::string& target = v->stringValue.Own();
  // The joined text's limit, checked as the words would.
  if (target.size() + length > se.run.maxTextBytes) return false;
  target.append(piece, length);  // appending itself is allowed
  return true;
}

// The step that no step may follow (script_vm.h); only its address is read.
CodeStep kNoStep;

// The step that may follow directly at `next`, for a step that ran in the
// current file: the step of this code version that starts there, in the
// same file.
[[gnu::noinline]] CodeStep* FollowingStep(ScriptEngine& se, CScriptLiteral* next) {
  if (!next) return &kNoStep;
  if (next->stepEpoch != se.run.codeEpoch) DecodeStep(se, next);
  if (!IsChainedStep(Opcode(next->stepOp)) || next->position.fileName != se.run.lastFile) return &kNoStep;
  return next->step;
}

}  // namespace script
