// script_vm_links.cpp -- the VM's name links: the variable a name word found,
// kept on the word and found again cheaply; jumps to labels through them.
//
// Name words resolve through LookupName once and keep the variable on the
// word (RunLink) together with the stamps of the two namespaces a lookup
// reads: the thread's innermost local namespace and the global namespace.
// While both stamps are unchanged no member came or went, so the lookup
// would find the same variable; the hot path is two compares and no text.
// Jumps whose label is a string literal keep the label's variable the same
// way, keyed by the literal the label came from.
//
// A call runs its function's words under a new local namespace each time,
// so there the stamps have always moved on. The link's hints then redo the
// lookup cheaply: the name is first tried at the slot where it stood in the
// last local namespace it was found in; a namespace whose name filter lacks
// the name's bit does not hold it; and what the global namespace gave for
// the name is kept while that namespace keeps its stamp. The result is what
// LookupName finds, always (verifyLinks checks it).

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/core_public.h"
#include "script/script_vm.h"

namespace script {

using core::Sjis;

namespace {

// A new variable's link, made where the name word found none.
void KeepLink(const ScriptEngine& se, RunLink* link, CScriptValue* value, const CScriptLiteral* origin) {
  Scope scope = CurrentScope(se);
  link->value = value;
  link->origin = origin;
  link->localStamp = scope.localStamp;
  link->globalStamp = scope.globalStamp;
}

}  // namespace

// The checks of verifyLinks (script_vm.h): an engine fault stops the program.
void VerifyLink(ScriptEngine& se, const char* name, const CScriptValue* kept) {
  ENGINE_ASSERT(LookupName(se, name) == kept, "stale name link for [%s]", name);
}

void VerifyShape(const ScriptEngine& se, const CScriptArray* local) {
  const ScriptPools& pools = se.pools;
  std::vector<const std::string*> names;
  for (uint32_t shape = local->shape; shape > ScriptPools::kEmptyShape; shape = pools.shapeParents[shape].first)
    names.insert(names.begin(), &pools.shapeParents[shape].second);
  bool holds = names.size() == local->shapeSize && local->kind == kCompoundObject && !local->memberIndex;
  for (size_t i = 0; holds && i < local->elements.size(); i++) {
    const CScriptValue* member = local->elements[i];
    holds = i < names.size() ? member && member->text == *names[i] : !member;
  }
  ENGINE_ASSERT(holds, "stale namespace shape");
}

// Only the first slots are looked at: a hint, not a lookup.
int32_t SlotOf(const CScriptArray* a, const CScriptValue* member) {
  constexpr size_t kMostSlotsSearched = 64;
  size_t count = a->elements.size() < kMostSlotsSearched ? a->elements.size() : kMostSlotsSearched;
  for (size_t i = 0; i < count; i++)
    if (a->elements[i] == member) return int32_t(i);
  return -1;
}

// The link no longer holds (script_vm.h): the hints first, then the lookup.
CScriptValue* ResolveAgain(ScriptEngine& se, CScriptLiteral* holder, const std::string& name, const Scope& scope) {
  RunLink& link = holder->link;
  LinkHints& hint = RunOf(holder).hints;
  // A name that neither namespace held at these stamps is not there while
  // they hold.
  if (hint.missingLocalStamp == scope.localStamp && hint.missingGlobalStamp == scope.globalStamp &&
      (hint.missingLocalStamp | hint.missingGlobalStamp)) {
    if (__builtin_expect(scope.verify, 0)) VerifyLink(se, name.c_str(), nullptr);
    return nullptr;
  }
  LinkNameBit(hint, name);
  CScriptValue* found = nullptr;
  // A namespace of the shape the link was last resolved under has the name
  // where that one had it.
  const uint32_t shape = ScopeShape(scope);
  if (shape && hint.shape == shape) {
    if (hint.slot >= 0) {
      if (size_t(hint.slot) < scope.local->elements.size()) found = scope.local->elements[size_t(hint.slot)];
    } else if (scope.globalStamp && hint.globalValueStamp == scope.globalStamp) {
      found = hint.globalValue;
    }
    if (found) {
      if (__builtin_expect(scope.verify, 0)) VerifyShape(se, scope.local);
      link.value = found;
      link.localStamp = scope.localStamp;
      link.globalStamp = scope.globalStamp;
      return found;
    }
  }
  if (CScriptArray* local = scope.local) {
    const char* last = name.c_str() + hint.lastOffset;
    bool tree = !local->memberIndex;
    if (tree && local->kind == kCompoundObject && hint.slot >= 0 && size_t(hint.slot) < local->elements.size()) {
      CScriptValue* member = local->elements[size_t(hint.slot)];
      if (member && SameName(member->text, last, hint.lastLength)) found = member;
    }
    if (!found && (!tree || (local->nameBits & hint.nameBit))) {
      found = FindMember(local, last);
      if (found) hint.slot = SlotOf(local, found);
    }
  }
  if (!found) {
    if (hint.globalValueStamp != scope.globalStamp || !scope.globalStamp) {
      hint.globalValue = LookupGlobalName(se, name.c_str());
      hint.globalValueStamp = scope.globalStamp;
    }
    found = hint.globalValue;
  }
  if (found) {
    link.value = found;
    link.localStamp = scope.localStamp;
    link.globalStamp = scope.globalStamp;
    hint.shape = 0;
    if (shape) {
      if (found->owner == scope.local) {
        if (hint.slot >= 0 && size_t(hint.slot) < scope.local->elements.size() &&
            scope.local->elements[size_t(hint.slot)] == found)
          hint.shape = shape;
      } else if (found == hint.globalValue && hint.globalValueStamp == scope.globalStamp) {
        hint.slot = -1;
        hint.shape = shape;
      }
    }
  } else {
    hint.missingLocalStamp = scope.localStamp;
    hint.missingGlobalStamp = scope.globalStamp;
  }
  return found;
}

// Operands and jumps by label name (script_vm.h).
const char* OperandName(Operand& o) {
  if (o.value.name) return o.value.name;
  return WordPrintedText(*o.word);
}

void JumpToNamedLabel(ScriptEngine& se, ScriptThread* t, CScriptLiteral* jump, const CScriptLiteral* origin,
                      const char* name) {
  CScriptValue* named;
  if (origin) {
    RelinkForLabel(jump, origin);
    named = ResolveName(se, jump, origin->text, CurrentScope(se));
    if (named && se.run.verifyLinks) VerifyLink(se, name, named);
  } else {
    named = LookupName(se, name);
  }
  const CScriptValue* v = FollowRefer(named);
  if (!v) RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が存在しません。"), name);
  if (v->type != kValueFunction && v->type != kValueSystemCall)
    RaiseScriptError(Sjis("ラベル名ではない字句[%s]にジャンプしようとしています。"), name);
  if (!v->data.word) RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が存在しません。"), name);
  t->currentWord = v->data.word->next;
}

Operand PopLabel(WordStack& data) {
  Operand label;
  label.word = StackPop(data);
  if (label.word->kind == kWordString) {
    label.kind = kOperandString;
    label.value = StackOperand{};
    label.value.text = label.word->text.c_str();
    return label;
  }
  label.kind = LookupStackVariable(label.word, &label.value);
  if (label.kind != kOperandString)
    RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が文字列形式ではありません"), OperandName(label));
  return label;
}

void EnterFile(ScriptEngine& se, const char* fileName) {
  se.run.lastFile = fileName;
  if (!fileName) return;
  std::string_view name(fileName);
  size_t cut = name.find_last_of("/\\");
  se.currentFolder.assign(cut == std::string_view::npos || cut == 0 ? name : name.substr(0, cut));
}

// A name word's variable (script_local.h): a new one is linked at once.
CScriptValue* LinkName(ScriptEngine& se, CScriptLiteral* word) {
  Scope scope = CurrentScope(se);
  if (CScriptValue* v = ResolveName(se, word, word->text, scope)) {
    if (se.run.verifyLinks) VerifyLink(se, word->text.c_str(), v);
    return v;
  }
  return MakeName(se, word, scope);
}

CScriptValue* MakeName(ScriptEngine& se, CScriptLiteral* word, const Scope& scope) {
  // The name's filter bit lets a call's namespace of a known shape take the
  // new member without searching its members first: mostly it takes it
  // into its next slot at once, which changes that namespace alone.
  uint64_t bit = LinkNameBit(RunOf(word).hints, word->text);
  const LinkHints& hint = word->run->hints;
  if (scope.local) {
    if (CScriptValue* v = AppendShapedMember(se.pools, scope.local, word->text.c_str() + hint.lastOffset,
                                             hint.lastLength, bit, kValueUndefined, kAttrUntyped)) {
      RunLink& link = word->link;
      link.value = v;
      link.origin = nullptr;
      link.localStamp = scope.local->stamp;
      link.globalStamp = scope.globalStamp;
      return v;
    }
  }
  CScriptValue* v = DefineVariable(se, word->text.c_str(), kValueUndefined, kAttrUntyped, bit);
  KeepLink(se, &word->link, v, nullptr);
  return v;
}

}  // namespace script
