// script_records_test.cpp -- the record pools, the name and signature trees,
// the word-kind table and the printed forms of words.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "script_test_util.h"

namespace {

using script::CScriptArray;
using script::CScriptLiteral;
using script::CScriptValue;
using script::ScriptPools;

// ----------------------------------------------------------------------------
// Pools
// ----------------------------------------------------------------------------

TEST(Pools, GrowPastTheFirstCapacityWithoutMovingRecords) {
  ScriptPools pools;
  const uint32_t first = ScriptPools::kFirstLiteralCapacity;
  std::vector<CScriptLiteral*> words;
  words.reserve(first + 1);
  for (uint32_t i = 0; i < first; i++) {
    CScriptLiteral* w = pools.AllocScriptLiteral();
    ASSERT_NE(w, nullptr);
    w->kind = script::kWordInt;
    w->payload.i = int32_t(i);
    words.push_back(w);
  }
  EXPECT_EQ(pools.literals.Capacity(), first);
  CScriptLiteral* extra = pools.AllocScriptLiteral();
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra->poolSlot, first);
  EXPECT_EQ(pools.literals.Capacity(), 2 * first);
  EXPECT_EQ(pools.literals.Count(), first + 1);
  // Every earlier record is where it was, with what it held.
  for (uint32_t i = 0; i < first; i++) {
    ASSERT_EQ(pools.literals.At(i), words[i]);
    ASSERT_EQ(words[i]->poolSlot, i);
    ASSERT_EQ(words[i]->payload.i, int32_t(i));
  }
}

TEST(Pools, TakeTheLowestFreeSlotAndKeepReleasedRecords) {
  ScriptPools pools;
  std::vector<CScriptValue*> values;
  for (int i = 0; i < 100; i++) values.push_back(pools.AllocScriptValue());
  EXPECT_EQ(pools.values.Cursor(), 100u);
  CScriptValue* five = values[5];
  five->text = "name";
  five->type = script::kValueInt;
  pools.FreeScriptValue(five);
  EXPECT_EQ(pools.values.Count(), 99u);
  // The released record is cleared and comes back for the next taker.
  CScriptValue* again = pools.AllocScriptValue();
  EXPECT_EQ(again, five);
  EXPECT_EQ(again->poolSlot, 5u);
  EXPECT_EQ(again->text, "");
  EXPECT_EQ(again->kind, script::kWordName);
  EXPECT_EQ(again->type, script::kValueUndefined);
  EXPECT_EQ(pools.AllocScriptValue()->poolSlot, 100u);

  // Releasing twice, or a record that is not the pool's, changes nothing.
  pools.FreeScriptValue(values[7]);
  pools.FreeScriptValue(values[7]);
  CScriptValue stranger;
  stranger.poolSlot = 8;
  pools.FreeScriptValue(&stranger);
  pools.FreeScriptValue(nullptr);
  EXPECT_EQ(pools.values.Count(), 100u);
  EXPECT_TRUE(pools.values.InUse(8));
}

TEST(Pools, ReleasingGivesBackHeldCompounds) {
  ScriptPools pools;
  // An object with a member that holds an array with one element.
  CScriptValue* holder = pools.AllocScriptValue();
  CScriptArray* outer = pools.AllocScriptArray(holder);
  ASSERT_EQ(outer->owner, holder);
  holder->type = script::kValueCompound;
  holder->data.array = outer;
  CScriptValue* member = pools.AllocScriptValue();
  member->owner = outer;
  outer->elements.push_back(member);
  CScriptArray* inner = pools.AllocScriptArray(member);
  member->type = script::kValueCompound;
  member->data.array = inner;
  CScriptValue* element = pools.AllocScriptValue();
  element->type = script::kValueInt;
  inner->elements.push_back(element);
  EXPECT_EQ(pools.values.Count(), 3u);
  EXPECT_EQ(pools.arrays.Count(), 2u);

  pools.FreeScriptValue(holder);
  EXPECT_EQ(pools.values.Count(), 0u);
  EXPECT_EQ(pools.arrays.Count(), 0u);
  EXPECT_TRUE(outer->elements.empty());
  EXPECT_EQ(outer->owner, nullptr);

  // A compound word gives back its compound too.
  CScriptLiteral* word = pools.AllocScriptLiteral();
  script::SetValueFromText(pools, word, "x", script::kWordName);
  word->kind = script::kWordCompound;
  word->payload.array = pools.AllocScriptArray(nullptr);
  script::SetIntValue(pools, word, 3);
  EXPECT_EQ(pools.arrays.Count(), 0u);
  word->kind = script::kWordCompound;
  word->payload.array = pools.AllocScriptArray(nullptr);
  pools.FreeScriptLiteral(word);
  EXPECT_EQ(pools.arrays.Count(), 0u);
  EXPECT_EQ(pools.literals.Count(), 0u);
}

TEST(Pools, ClearAllEmptiesEveryPoolAndKeepsTheRecords) {
  ScriptPools pools;
  CScriptLiteral* w = pools.AllocScriptLiteral();
  w->text = "kept buffer";
  pools.AllocScriptValue();
  pools.AllocScriptArray(nullptr);
  pools.ClearAll();
  EXPECT_EQ(pools.literals.Count(), 0u);
  EXPECT_EQ(pools.values.Count(), 0u);
  EXPECT_EQ(pools.arrays.Count(), 0u);
  EXPECT_EQ(pools.literals.Cursor(), 0u);
  EXPECT_EQ(pools.AllocScriptLiteral(), w);
  EXPECT_EQ(w->text, "");
}

TEST(Pools, ExhaustionShowsItsBoxAndGivesNull) {
  test::MessageBoxRecorder boxes;
  ScriptPools pools;
  pools.arrays.capacityLimit = ScriptPools::kFirstArrayCapacity;
  for (uint32_t i = 0; i < ScriptPools::kFirstArrayCapacity; i++) ASSERT_NE(pools.AllocScriptArray(nullptr), nullptr);
  EXPECT_EQ(pools.AllocScriptArray(nullptr), nullptr);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("割り当て可能なCScriptArrayインスタンスがなくなりました。"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "");
  // Once a record is back, taking works again.
  pools.ReleaseScriptArray(pools.arrays.At(10));
  EXPECT_EQ(pools.AllocScriptArray(nullptr)->poolSlot, 10u);
}

// ----------------------------------------------------------------------------
// Trees
// ----------------------------------------------------------------------------

// Checks the AVL rule and the order of every node below `at`; returns the
// subtree's height and appends the names in order.
int CheckSubtree(const script::NameTree& tree, int32_t at, std::vector<std::string>* names) {
  if (at < 0) return 0;
  const script::NameTreeNode& n = tree.Node(at);
  int l = CheckSubtree(tree, n.left, names);
  names->push_back(n.name);
  int r = CheckSubtree(tree, n.right, names);
  EXPECT_LE(std::abs(l - r), 1) << n.name;
  EXPECT_EQ(n.height, 1 + std::max(l, r)) << n.name;
  return 1 + std::max(l, r);
}

TEST(NameTree, RegistryHolds304NamesBalancedAndInByteOrder) {
  script::ScriptEngine se;
  script::NameTree& registry = se.registry;
  EXPECT_EQ(registry.Capacity(), 256);
  // Names as the system calls have them, in a mixed order, some that differ
  // only in case and some with Shift-JIS bytes (unsigned: after ASCII).
  std::vector<std::string> names;
  for (int i = 0; i < 300; i++) {
    char name[32];
    std::snprintf(name, sizeof name, "%s_%03d", i % 3 == 0 ? "get" : i % 3 == 1 ? "set" : "Put", (i * 37) % 300);
    names.push_back(name);
  }
  names.insert(names.end(), {"put_unit", "PUT_UNIT", "\x83\x65\x83\x58\x83\x67", "z"});
  std::vector<script::NameTreeNode*> nodes;
  for (size_t i = 0; i < names.size(); i++) {
    script::NameTreeNode* node = registry.Insert(names[i].c_str());
    ASSERT_NE(node, nullptr);
    node->value = reinterpret_cast<void*>(uintptr_t(i + 1));
  }
  EXPECT_EQ(registry.Count(), 304);
  EXPECT_EQ(registry.Capacity(), 512);  // grown by 256 at the 257th name
  for (size_t i = 0; i < names.size(); i++) {
    script::NameTreeNode* node = registry.Find(names[i].c_str());
    ASSERT_NE(node, nullptr) << names[i];
    EXPECT_EQ(node->value, reinterpret_cast<void*>(uintptr_t(i + 1))) << names[i];
  }
  EXPECT_EQ(registry.Find("put_uniT"), nullptr);
  EXPECT_EQ(registry.Find("get"), nullptr);

  std::vector<std::string> inOrder;
  int height = CheckSubtree(registry, registry.Root(), &inOrder);
  EXPECT_EQ(height, registry.Height());
  EXPECT_LE(height, 12);  // an AVL tree of 304 nodes is at most 1.44 log2 n high
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
    return std::strcmp(a.c_str(), b.c_str()) < 0;
  });
  EXPECT_EQ(inOrder, sorted);
  EXPECT_EQ(inOrder.back(), "\x83\x65\x83\x58\x83\x67");
  EXPECT_EQ(inOrder.front(), "PUT_UNIT");

  // A known name returns its node unchanged.
  script::NameTreeNode* existing = registry.Find("put_unit");
  void* value = existing->value;
  EXPECT_EQ(registry.Insert("put_unit"), existing);
  EXPECT_EQ(existing->value, value);
  EXPECT_EQ(registry.Count(), 304);

  registry.Reset();
  EXPECT_EQ(registry.Count(), 0);
  EXPECT_EQ(registry.Capacity(), 256);
  EXPECT_EQ(registry.Find("put_unit"), nullptr);
}

TEST(SignatureTree, FindsByValueAndGrows) {
  script::ScriptPools pools;
  script::SignatureTree tree;
  tree.Reset();
  std::vector<CScriptValue*> functions;
  for (int i = 0; i < 300; i++) functions.push_back(pools.AllocScriptValue());
  std::reverse(functions.begin(), functions.end());
  for (size_t i = 0; i < functions.size(); i++) {
    script::FunctionSignature* s = tree.Insert(functions[i]);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->returnType, 0);  // a new node is zeroed
    EXPECT_EQ(s->parameterCount, 0);
    s->parameterCount = uint8_t(i % 17);
  }
  EXPECT_EQ(tree.Capacity(), 512);
  EXPECT_LE(tree.Height(), 12);
  for (size_t i = 0; i < functions.size(); i++) {
    script::FunctionSignature* s = tree.Find(functions[i]);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->key, functions[i]);
    EXPECT_EQ(s->parameterCount, uint8_t(i % 17));
    EXPECT_EQ(tree.Insert(functions[i]), s);
  }
  EXPECT_EQ(tree.Find(nullptr), nullptr);
  EXPECT_EQ(tree.Count(), 300);
}

// ----------------------------------------------------------------------------
// Words
// ----------------------------------------------------------------------------

TEST(WordKinds, TableAndOperatorLevels) {
  // Every token kind the tokeniser makes is in the table as a token kind.
  for (int kind : {0, 4, 7, 8, 9, 10, 12, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 40, 41, 42,
                   43, 44, 45, 46, 47, 48, 49, 50, 52, 60, 61, 62, 63, 70, 71, 72, 73, 80, 81, 82, 83, 84, 85}) {
    const script::WordKindInfo* info = script::FindWordKind(kind);
    ASSERT_NE(info, nullptr) << kind;
    EXPECT_TRUE(info->token) << kind;
  }
  EXPECT_EQ(script::FindWordKind(2), nullptr);
  EXPECT_EQ(script::FindWordKind(51), nullptr);
  EXPECT_STREQ(script::FindWordKind(script::kWordStart)->codeText, "[Start]");
  EXPECT_STREQ(script::FindWordKind(script::kWordTypeSystemCall)->codeText, "syscall");
  EXPECT_STREQ(script::FindWordKind(script::kWordTypeSystemCall)->sourceText, "systemcall");
  EXPECT_STREQ(script::FindWordKind(script::kWordPrefixMinus)->codeText, "-(PRE)");
  EXPECT_STREQ(script::FindWordKind(script::kWordJumpIfFalse)->codeText, "if_not_goto");
  EXPECT_STREQ(script::FindWordKind(script::kWordBuildObject)->codeText, "{Object}");
  EXPECT_STREQ(script::FindWordKind(script::kWordSystemInterrupt)->sourceText, "__system_interrupt__");
  for (size_t i = 1; i < script::kWordKindCount; i++) EXPECT_LT(script::kWordKinds[i - 1].kind, script::kWordKinds[i].kind);

  struct Level {
    int kind;
    int level;
  };
  for (Level l : {Level{0, -1}, Level{8, -1}, Level{100, -1}, Level{101, 0}, Level{25, 1}, Level{52, 1},
                  Level{63, 2}, Level{62, 3}, Level{32, 4}, Level{30, 5}, Level{31, 6}, Level{48, 7},
                  Level{47, 8}, Level{34, 9}, Level{21, 10}, Level{24, 11}, Level{93, 11}, Level{61, 12},
                  Level{119, 13}, Level{114, 0}, Level{72, 14}, Level{81, 0}, Level{70, 0}})
    EXPECT_EQ(script::OperatorLevel(l.kind), l.level) << l.kind;
  script::ScriptEngine se;
  EXPECT_EQ(se.precedence[82], 14);
}

TEST(Words, PrintedFormsAndSetters) {
  ScriptPools pools;
  CScriptLiteral* w = pools.AllocScriptLiteral();
  script::SetValueFromText(pools, w, "007", script::kWordInt);
  EXPECT_EQ(w->kind, script::kWordInt);
  EXPECT_EQ(w->payload.i, 7);
  EXPECT_STREQ(script::WordName(*w), "");
  EXPECT_STREQ(script::WordPrintedText(*w), "7");
  EXPECT_STREQ(script::WordName(*w), "");  // the printed form is no name

  script::SetValueFromText(pools, w, "99999999999", script::kWordInt);
  EXPECT_EQ(w->payload.i, 2147483647);
  script::SetValueFromText(pools, w, "1.5", script::kWordFloat);
  EXPECT_STREQ(script::WordPrintedText(*w), "1.500000");

  // The longest "%f" texts of a float print whole.
  for (float f : {FLT_MAX, -FLT_MAX, 3.0e38f, 1.0e30f}) {
    script::SetFloatValue(pools, w, f);
    char expected[128];
    std::snprintf(expected, sizeof expected, "%f", double(f));
    EXPECT_STREQ(script::WordPrintedText(*w), expected);
  }
  EXPECT_EQ(std::strlen(script::WordPrintedText(*w)), 38u);  // 1e30
  script::SetFloatValue(pools, w, -FLT_MAX);
  EXPECT_EQ(std::strlen(script::WordPrintedText(*w)) + 1, script::kFloatTextBytes);

  script::SetValueFromText(pools, w, "text", script::kWordString);
  EXPECT_EQ(w->kind, script::kWordString);
  EXPECT_STREQ(script::WordName(*w), "text");
  script::ClearScriptLiteral(pools, w);
  EXPECT_EQ(w->kind, script::kWordEnd);
  EXPECT_LE(w->text.capacity(), 15u);  // the buffer is freed

  EXPECT_EQ(script::ParseHexInt("7FFFFFFF"), 2147483647);
  EXPECT_EQ(script::ParseHexInt("80000000"), 2147483647);
  EXPECT_EQ(script::ParseDecimalInt("-99999999999"), -2147483647 - 1);
  EXPECT_EQ(script::ParseDecimalInt("12abc"), 12);
  EXPECT_EQ(script::ParseDecimalInt("abc"), 0);
}

// Texts are read as numbers as strtol (clamped to 32 bits) and strtod (as a
// float) read them, however long their digits run.
TEST(Values, NumberReadersReadAsTheCLibraryDoes) {
  std::string longDigits = "12345678901234567890123456789012345678901234567890";
  std::string huge(40000, '7');
  const std::string texts[] = {"", "  42", "\t-17x", "+8", "-", "2147483647", "2147483648", "-2147483648",
                               "-2147483649", "000000000000000000000000000000000000000000000000012", "3.75", " -0.5e3",
                               "1e39", "0x1A", "0X10p1", "inf", "-nan", ".5", "1.", "abc",
                               longDigits, "-" + longDigits, longDigits + ".25", longDigits + "e-40",
                               longDigits + ".5E-45", huge, "-" + huge, huge + "e-39990"};
  for (const std::string& t : texts) {
    long long l = std::strtoll(t.c_str(), nullptr, 10);
    int32_t wantInt = l > INT32_MAX ? INT32_MAX : l < INT32_MIN ? INT32_MIN : int32_t(l);
    EXPECT_EQ(script::ParseDecimalInt(t.c_str()), wantInt) << t.substr(0, 60);
    float wantFloat = float(std::strtod(t.c_str(), nullptr));
    float got = script::ParseFloat(t.c_str());
    if (std::isnan(wantFloat)) EXPECT_TRUE(std::isnan(got)) << t.substr(0, 60);
    else EXPECT_EQ(got, wantFloat) << t.substr(0, 60);
  }
}

TEST(Values, ValueToFloatFollowsReferLinks) {
  ScriptPools pools;
  CScriptValue* target = pools.AllocScriptValue();
  target->type = script::kValueInt;
  target->data.i = 3;
  CScriptValue* refer = pools.AllocScriptValue();
  refer->type = script::kValueRefer;
  refer->data.value = target;
  EXPECT_EQ(script::ScriptEngine::ValueToFloat(refer), 3.0f);
  target->type = script::kValueString;
  target->stringValue = "2.5";
  EXPECT_EQ(script::ScriptEngine::ValueToFloat(refer), 2.5f);
  target->type = script::kValueRefer;
  target->data.value = refer;  // a cycle ends, it does not hang
  EXPECT_EQ(script::ScriptEngine::ValueToFloat(refer), 0.0f);
  EXPECT_EQ(script::ScriptEngine::ValueToFloat(nullptr), 0.0f);
}

}  // namespace
