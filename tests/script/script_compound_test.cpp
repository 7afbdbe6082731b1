// script_compound_test.cpp -- compound values: member paths and the typed
// getters and setters, removal, the object text writer byte for byte, the
// readers (data files included), adding and the element-wise operations.

#include "script_test_util.h"

namespace {

using scripttest::Raised;
using scripttest::ScriptFixture;

class Compound : public ScriptFixture {
 protected:
  script::ScriptPools& pools = se.pools;

  // Reads object text as a data file is read: the initial value of one
  // extern object. The compound, or null (with the errors listed).
  script::CScriptArray* Read(const std::string& text) {
    test::WriteFile("data.txt", text);
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    se.LoadScriptMemory("extern object __system_option_data__=\r\n#include \"data.txt\"\r\n;\r\n", "loader.txt");
    script::CScriptValue* v = se.FindGlobal("__system_option_data__");
    return v && v->type == script::kValueCompound ? v->data.array : nullptr;
  }

  // Reads and writes back in one form.
  std::string Rewrite(const std::string& text, int depth) {
    script::CScriptArray* a = Read(text);
    EXPECT_EQ(se.GetErrorListText(), "") << text;
    return a ? script::WriteCompoundText(a, depth) : "<none>";
  }
};

// ----------------------------------------------------------------------------
// Member paths
// ----------------------------------------------------------------------------

TEST_F(Compound, SettingAPathMakesEveryMissingStep) {
  script::CScriptArray* root = script::NewCompound(pools, nullptr);
  script::SetMemberInt(pools, root, "A.B[2]", 7);
  EXPECT_EQ(root->kind, script::kCompoundObject);
  script::CScriptArray* b = script::GetMemberCompound(root, "A.B");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->kind, script::kCompoundArray);
  EXPECT_EQ(script::GetElement(b, 0), nullptr);  // slots 0 and 1 stay empty
  EXPECT_EQ(script::GetElement(b, 1), nullptr);
  EXPECT_EQ(script::GetElementInt(b, 2), 7);
  EXPECT_STREQ(script::GetElementName(b, 2), "[2]");
  EXPECT_EQ(script::WriteCompoundText(root, 0), "{A:{B:[7]}}");

  // Every spelling of a path reaches the same values.
  script::SetMemberString(pools, root, "P[1].NAME", "pad");
  script::SetMemberFloat(pools, root, "P.1.F[0][1]", 0.5f);
  EXPECT_STREQ(script::GetMemberString(root, "P.1.NAME"), "pad");
  EXPECT_EQ(script::GetMemberFloat(root, "P[1].F[0].1"), 0.5f);
  EXPECT_EQ(script::GetElementCompound(script::GetMemberCompound(root, "P"), 1),
            script::GetMemberCompound(root, "P[1]"));
  script::CScriptArray* list = script::GetMemberCompound(root, "P");
  EXPECT_EQ(script::GetMemberCompound(list, "[1]"), script::GetMemberCompound(root, "P.1"));
  // An index step on an object reads the member in that slot.
  EXPECT_EQ(script::GetMemberInt(root, "0.B[2]"), 7);
}

TEST_F(Compound, ReadingAPathNeverCreates) {
  script::CScriptArray* root = script::NewCompound(pools, nullptr);
  script::SetMemberInt(pools, root, "A", 1);
  uint32_t values = pools.values.Count();
  uint32_t arrays = pools.arrays.Count();
  EXPECT_EQ(script::GetMemberInt(root, "X.Y[3]"), 0);
  EXPECT_EQ(script::GetMemberFloat(root, "A.B"), 0.0f);
  EXPECT_STREQ(script::GetMemberString(root, "missing"), "");
  EXPECT_EQ(script::GetMemberCompound(root, "A"), nullptr);
  EXPECT_EQ(script::FindMemberPath(root, "[5]"), nullptr);
  EXPECT_EQ(pools.values.Count(), values);
  EXPECT_EQ(pools.arrays.Count(), arrays);
  EXPECT_EQ(script::GetElementCount(root), 16);  // slots, empty ones included
}

TEST_F(Compound, TypedGettersByElementType) {
  script::CScriptArray* a = Read("{i: 3, f: -2.75, s: \"12\", o: {}}");
  ASSERT_NE(a, nullptr);
  struct Case {
    const char* path;
    int32_t i;
    float f;
    const char* s;  // null: no text
  };
  const Case cases[] = {
      {"i", 3, 3.0f, nullptr},
      {"f", -2, -2.75f, nullptr},
      {"s", 0, 0.0f, "12"},
      {"o", 0, 0.0f, nullptr},
      {"none", 0, 0.0f, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(script::GetMemberInt(a, c.path), c.i) << c.path;
    EXPECT_EQ(script::GetMemberFloat(a, c.path), c.f) << c.path;
    const char* s = script::GetMemberString(a, c.path);
    if (c.s) {
      EXPECT_STREQ(s, c.s) << c.path;
    } else {
      EXPECT_EQ(s, nullptr) << c.path;
    }
  }
}

TEST_F(Compound, ElementsAndMembersDoNotMix) {
  script::CScriptValue* owner = pools.AllocScriptValue();
  owner->text = "table";
  script::CScriptArray* a = script::NewCompound(pools, owner);
  script::AddArrayElement(pools, a, 0, script::kValueInt, 0);
  EXPECT_EQ(Raised([&] { script::AddObjectMember(pools, a, "k", script::kValueInt, 0); }),
            test::Sjis("table.k は使用できません。配列にオブジェクトを追加しました。"));
  script::CScriptArray* o = script::NewCompound(pools, nullptr);
  script::AddObjectMember(pools, o, "k", script::kValueInt, 0);
  EXPECT_EQ(Raised([&] { script::AddArrayElement(pools, o, 3, script::kValueInt, 0); }),
            test::Sjis("[3]は指定できません。オブジェクトに配列を追加しました。"));
  // A negative index takes the first empty slot.
  script::AddArrayElement(pools, a, 2, script::kValueInt, 0);
  script::CScriptValue* fresh = script::AddArrayElement(pools, a, -1, script::kValueInt, 0);
  EXPECT_EQ(fresh, script::GetElement(a, 1));
  // An existing element or member comes back unchanged, type and all.
  EXPECT_EQ(script::AddArrayElement(pools, a, 1, script::kValueString, 0)->type, script::kValueInt);
}

TEST_F(Compound, AHugeIndexIsAnErrorNotAnAllocation) {
  script::CScriptArray* a = script::NewCompound(pools, nullptr);
  EXPECT_EQ(Raised([&] { script::AddArrayElement(pools, a, 2000000000, script::kValueInt, 0); }),
            test::Sjis("配列のインデックス[2000000000]が大きすぎます。"));
  EXPECT_EQ(Raised([&] { script::SetMemberInt(pools, a, "[99999999999]", 1); }),
            test::Sjis("配列のインデックス[2147483647]が大きすぎます。"));
  EXPECT_EQ(script::GetElementCount(a), 0);
  // The largest allowed index still works.
  script::AddArrayElement(pools, a, script::kMaxArrayIndex, script::kValueInt, 0);
  EXPECT_EQ(script::GetElementCount(a), script::kMaxArrayIndex + 1);
}

// ----------------------------------------------------------------------------
// Removing
// ----------------------------------------------------------------------------

TEST_F(Compound, RemovingANestedMemberKeepsThisLevelsNamesFound) {
  script::CScriptArray* root = Read("{x: 5, inner: {x: 1, y: 2}, z: 3}");
  ASSERT_NE(root, nullptr);
  script::CScriptValue* nested = script::FindMemberPath(root, "inner.x");
  ASSERT_NE(nested, nullptr);
  EXPECT_EQ(script::RemoveMember(pools, root, nested), 1);
  // The member of the same name at this level is still stored and found.
  EXPECT_EQ(script::GetMemberInt(root, "x"), 5);
  EXPECT_EQ(script::FindMemberPath(root, "inner.x"), nullptr);
  EXPECT_EQ(script::GetMemberInt(root, "inner.y"), 2);
  EXPECT_EQ(script::WriteCompoundText(root, 0), "{x:5,inner:{y:2},z:3}");
  // Removing at this level takes the name out of the tree too; the next
  // new member reuses the freed slot.
  EXPECT_EQ(script::RemoveMember(pools, root, script::FindMember(root, "x")), 1);
  EXPECT_EQ(script::FindMember(root, "x"), nullptr);
  script::SetMemberInt(pools, root, "w", 9);
  EXPECT_EQ(script::WriteCompoundText(root, 0), "{w:9,inner:{y:2},z:3}");
  EXPECT_EQ(script::RemoveMember(pools, root, nested), 0);  // not there any more
}

TEST_F(Compound, ManyMembersStayFoundThroughRemovals) {
  script::CScriptArray* a = script::NewCompound(pools, nullptr);
  for (int i = 0; i < 500; i++) script::SetMemberInt(pools, a, ("m" + std::to_string(i)).c_str(), i);
  for (int i = 0; i < 500; i += 3) script::RemoveMember(pools, a, script::FindMember(a, ("m" + std::to_string(i)).c_str()));
  for (int i = 0; i < 500; i++) {
    const script::CScriptValue* v = script::FindMember(a, ("m" + std::to_string(i)).c_str());
    if (i % 3 == 0) {
      EXPECT_EQ(v, nullptr) << i;
    } else {
      ASSERT_NE(v, nullptr) << i;
      EXPECT_EQ(v->data.i, i);
    }
  }
}

// Small objects find their members by a scan, larger ones by a tree built
// when the slots grow: every member stays found across the change, through
// removals, refills and copies, and prefixes of a name find nothing.
TEST_F(Compound, MembersStayFoundWhileAnObjectOutgrowsItsFirstSlots) {
  script::CScriptArray* a = script::NewCompound(pools, nullptr);
  auto name = [](int i) { return "m" + std::string(size_t(i % 3), 'x') + std::to_string(i); };
  auto check = [&](const script::CScriptArray* c, int count, const char* when) {
    for (int i = 0; i < count; i++) {
      const script::CScriptValue* v = script::FindMember(c, name(i).c_str());
      ASSERT_NE(v, nullptr) << when << " " << i;
      EXPECT_EQ(v->data.i, i) << when;
    }
    EXPECT_EQ(script::FindMember(c, "m"), nullptr) << when;
    EXPECT_EQ(script::FindMember(c, "mx"), nullptr) << when;
    EXPECT_EQ(script::FindMember(c, name(count).c_str()), nullptr) << when;
  };
  for (int i = 0; i < 16; i++) script::SetMemberInt(pools, a, name(i).c_str(), i);
  check(a, 16, "full slots");
  // A removal frees a slot: the refill does not grow the slots.
  script::RemoveMember(pools, a, script::FindMember(a, name(5).c_str()));
  EXPECT_EQ(script::FindMember(a, name(5).c_str()), nullptr);
  script::SetMemberInt(pools, a, name(5).c_str(), 5);
  EXPECT_EQ(script::GetElementCount(a), 16);
  check(a, 16, "refilled");
  for (int i = 16; i < 40; i++) script::SetMemberInt(pools, a, name(i).c_str(), i);
  EXPECT_EQ(script::GetElementCount(a), 48);
  check(a, 40, "grown");
  script::RemoveMember(pools, a, script::FindMember(a, name(3).c_str()));
  EXPECT_EQ(script::FindMember(a, name(3).c_str()), nullptr);
  script::SetMemberInt(pools, a, name(3).c_str(), 3);
  check(a, 40, "grown and refilled");
  script::CScriptArray* copy = script::CopyCompound(pools, a);
  check(copy, 40, "copy");
  EXPECT_EQ(script::WriteCompoundText(copy, 0), script::WriteCompoundText(a, 0));
  // An array's elements are no members, however few.
  script::CScriptArray* list = Read("[1, 2]");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(script::FindMember(list, "[0]"), nullptr);
}

TEST_F(Compound, AnArrayHoleVanishesWhenWritten) {
  script::CScriptArray* a = Read("[10, 20, 30]");
  ASSERT_NE(a, nullptr);
  script::RemoveMember(pools, a, script::GetElement(a, 1));
  EXPECT_EQ(script::GetElementCount(a), 16);
  EXPECT_EQ(script::WriteCompoundText(a, 0), "[10,30]");
  EXPECT_EQ(Rewrite("[10,30]", 0), "[10,30]");
  script::ClearScriptArray(pools, Read("[1]"));
}

// ----------------------------------------------------------------------------
// Writer
// ----------------------------------------------------------------------------

TEST_F(Compound, CompactAndIndentedForms) {
  struct Case {
    const char* text;
    int depth;
    const char* written;
  };
  const Case cases[] = {
      {"{A: 1, B: [1, 2]}", 1, "{\r\n\tA:1,\r\n\tB:[1,2]\r\n}"},
      {"{A: 1, B: [1, 2]}", 0, "{A:1,B:[1,2]}"},
      {"{f: 2.5, s: \"t\\tq\\\"\\\\\\n\"}", 0, "{f:2.500000,s:\"t\\tq\\\"\\\\\\n\"}"},
      {"{}", 1, "{\r\n}"},
      {"{}", 0, "{}"},
      {"[]", 1, "[]"},
      {"{a: {}, b: []}", 1, "{\r\n\ta:{\r\n\t},\r\n\tb:[]\r\n}"},
      {"{a: 1, a: \"2\"}", 0, "{a:2}"},
      {"{a: \"1\", a: 2}", 0, "{a:\"2\"}"},
      {"[[1, 2], {x: 3}, 4]", 1, "[\r\n\t[1,2],\r\n\t{\r\n\t\tx:3\r\n\t},4\r\n]"},
      {"{\"quoted key\": 1, `raw`: 2}", 0, "{quoted key:1,raw:2}"},
      {"{PAD: [{NAME: \"p\", MAP: [1, 2]}, {NAME: \"q\", MAP: []}], NET: {PORT: [17328, 0]}}", 1,
       "{\r\n\tPAD:[\r\n\t\t{\r\n\t\t\tNAME:\"p\",\r\n\t\t\tMAP:[1,2]\r\n\t\t},\r\n\t\t{\r\n\t\t\tNAME:\"q\",\r\n"
       "\t\t\tMAP:[]\r\n\t\t}\r\n\t],\r\n\tNET:{\r\n\t\tPORT:[17328,0]\r\n\t}\r\n}"},
  };
  for (const Case& c : cases) EXPECT_EQ(Rewrite(c.text, c.depth), c.written) << c.text;
}

TEST_F(Compound, ValuesWithoutTextWriteNothing) {
  script::CScriptArray* a = script::NewCompound(pools, nullptr);
  script::AddArrayElement(pools, a, 0, script::kValueInt, 0)->data.i = 1;
  script::AddArrayElement(pools, a, 1, script::kValueUndefined, 0);
  script::AddArrayElement(pools, a, 2, script::kValueSystemCall, 0);
  script::AddArrayElement(pools, a, 3, script::kValueFunction, 0);
  script::CScriptValue* raw = script::AddArrayElement(pools, a, 4, script::kValueString, script::kAttrRawString);
  raw->stringValue = "a\\b\"";
  EXPECT_EQ(script::WriteCompoundText(a, 0), "[1,,,(null),`a\\b\"`]");
  // A member holding a compound that never got an element: its name alone.
  script::CScriptArray* o = script::NewCompound(pools, nullptr);
  script::CScriptValue* empty = script::AddObjectMember(pools, o, "E", script::kValueCompound, 0);
  empty->data.array = script::NewCompound(pools, empty);
  script::AddObjectMember(pools, o, "F", script::kValueInt, 0);
  EXPECT_EQ(script::WriteCompoundText(o, 1), "{\r\n\tE:,\r\n\tF:0\r\n}");
  EXPECT_EQ(script::WriteCompoundText(nullptr, 1), "");
  char buffer[64];
  EXPECT_EQ(script::WriteCompoundText(o, nullptr, 0), 9);  // "{E:,F:0}" and its zero
  EXPECT_EQ(script::WriteCompoundText(o, buffer, 0), 9);
  EXPECT_STREQ(buffer, "{E:,F:0}");
  EXPECT_EQ(script::WriteCompoundText(static_cast<script::CScriptArray*>(nullptr), nullptr, 0), 1);
}

TEST_F(Compound, ReferCyclesAreWrittenWithoutEnd) {
  // o = {me: o}: a member that refers back to the object being written.
  script::CScriptValue* o = pools.AllocScriptValue();
  o->text = "o";
  script::AssignCompoundToVariable(pools, o, script::NewCompound(pools, o));
  script::CScriptValue* me = script::AddObjectMember(pools, o->data.array, "me", script::kValueUndefined, 0);
  script::AssignReference(pools, me, o);
  script::SetMemberInt(pools, o->data.array, "n", 1);
  EXPECT_EQ(script::WriteCompoundText(o->data.array, 0), "{me:,n:1}");
  EXPECT_EQ(script::WriteCompoundText(o->data.array, 1), "{\r\n\tme:,\r\n\tn:1\r\n}");
  // Copies keep the link as a link; adding skips it.
  script::CScriptArray* copy = script::CopyCompound(pools, o->data.array);
  EXPECT_EQ(script::FindMember(copy, "me")->data.value, o);
  script::AddCompounds(pools, copy, o->data.array);
  EXPECT_EQ(script::GetMemberInt(copy, "n"), 2);
  // Reading through the link still works, one level at a time.
  EXPECT_EQ(script::GetMemberInt(o->data.array, "me.me.me.n"), 1);
}

TEST_F(Compound, DeepNestingIsWrittenCutAndReleasedWithoutRecursion) {
  // 100,000 arrays inside each other, as a running script can build them.
  script::CScriptArray* root = script::NewCompound(pools, nullptr);
  script::CScriptArray* a = root;
  for (int i = 0; i < 100000; i++) {
    script::CScriptValue* e = script::AddArrayElement(pools, a, 0, script::kValueCompound, 0);
    e->data.array = script::NewCompound(pools, e);
    a = e->data.array;
  }
  std::string text = script::WriteCompoundText(root, 0);
  EXPECT_EQ(text, std::string(script::kMaxCompoundDepth, '[') + std::string(script::kMaxCompoundDepth, ']'));
  EXPECT_EQ(Raised([&] { script::CopyCompound(pools, root); }), test::Sjis("配列またはオブジェクトの入れ子が深すぎます。"));
  uint32_t before = pools.arrays.Count();
  pools.ReleaseScriptArray(root);
  EXPECT_EQ(pools.arrays.Count(), before - 100001);
  EXPECT_EQ(pools.values.Count(), 0u);
}

// ----------------------------------------------------------------------------
// Readers
// ----------------------------------------------------------------------------

TEST_F(Compound, DataFilesAreCompiledLikeScripts) {
  script::CScriptArray* a = Read(
      "// settings\r\n"
      "#define W 1024\r\n"
      "{\r\n"
      "  VER: 20130331,                /* block comment */\r\n"
      "  \"RSP_FILE\" = \"demo.rsp\",\r\n"
      "  SCREEN: {WIDTH: W, HEIGHT: W * 3 / 4, FLAGS: 0x1F,},\r\n"
      "  LIST: [1, 2.5, -3, `raw\\text`, ],\r\n"
      "  NAME: \"a\" + \"b\",\r\n"
      "}\r\n");
  ASSERT_NE(a, nullptr) << se.GetErrorListText();
  EXPECT_EQ(se.GetErrorListText(), "");
  EXPECT_EQ(script::GetMemberInt(a, "VER"), 20130331);
  EXPECT_STREQ(script::GetMemberString(a, "RSP_FILE"), "demo.rsp");
  EXPECT_EQ(script::GetMemberInt(a, "SCREEN.WIDTH"), 1024);
  EXPECT_EQ(script::GetMemberInt(a, "SCREEN.HEIGHT"), 768);
  EXPECT_EQ(script::GetMemberInt(a, "SCREEN.FLAGS"), 31);
  EXPECT_EQ(script::GetMemberFloat(a, "LIST[1]"), 2.5f);
  EXPECT_EQ(script::GetMemberInt(a, "LIST[2]"), -3);
  EXPECT_STREQ(script::GetMemberString(a, "LIST[3]"), "raw\\text");
  EXPECT_STREQ(script::GetMemberString(a, "NAME"), "ab");
  EXPECT_EQ(script::GetElementCount(script::GetMemberCompound(a, "LIST")), 16);
}

TEST_F(Compound, WrittenTextReadsBackTheSame) {
  const char* indented =
      "{\r\n\tVER:20130331,\r\n\tRSP_FILE:\"x \\\"y\\\" \\\\ z\",\r\n\tSCREEN:{\r\n\t\tMODE:\"WINDOW\",\r\n"
      "\t\tSCALE:1.250000\r\n\t},\r\n\tPAD:[\r\n\t\t{\r\n\t\t\tNAME:\"p\",\r\n\t\t\tMAP:[1,2,255]\r\n\t\t}\r\n\t]\r\n}";
  EXPECT_EQ(Rewrite(indented, 1), indented);
  std::string compact = Rewrite(indented, 0);
  EXPECT_EQ(Rewrite(compact, 0), compact);
  EXPECT_EQ(Rewrite(compact, 1), indented);
}

TEST_F(Compound, ReaderErrorsAreListed) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"{a: 1 ; }", "JSON式の値の間に「,」が足りません。"},
      {"[1 ; ]", "JSON式の配列要素の間に「,」が足りません。"},
      {"{a 1}", "JSON式の変数名[a]の次に「:」が足りません。"},
      {"{3: 1}", "[3]はJSON式の変数名として解釈できません。"},
      {"{a: 1", "JSON式の値の間に「,」が足りません。"},
      {"{a: 1 / 0}", "ゼロによる除算。"},
      {"{a: undefinedName}", "変数「undefinedName」が定義されていません。"},
  };
  for (const Case& c : cases) {
    Read(c.text);
    std::string errors = se.GetErrorListText();
    EXPECT_NE(errors.find(test::Sjis(c.message)), std::string::npos) << c.text << "\n" << errors;
  }
  // After an error the object read so far is kept, an array is not.
  script::CScriptArray* object = Read("{a: 1, b 2, c: 3}");
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(script::WriteCompoundText(object, 0), "{a:1}");
  EXPECT_EQ(Read("[1, 2 3]"), nullptr);
}

TEST_F(Compound, ObjectsAreBuiltFromAThreadsDataStack) {
  script::WordStack stack;
  // As the code of {a: 1, b: "s"} leaves it: the last member first.
  script::StackPushText(se, stack, "b", script::kWordName);
  script::StackPushText(se, stack, "s", script::kWordString);
  script::StackPushText(se, stack, "a", script::kWordName);
  script::StackPushInt(se, stack, 1);
  script::StackPushInt(se, stack, 2);
  script::CScriptArray* o = script::BuildCompoundFromStack(se, stack, script::kCompoundObject);
  EXPECT_EQ(script::WriteCompoundText(o, 0), "{a:1,b:\"s\"}");
  EXPECT_EQ(script::FindMember(o, "a")->attributes, script::kAttrUntyped);
  EXPECT_EQ(stack.end, 0);
  // An array: the values into count-1 down to 0; a temporary compound is
  // taken over, a variable's compound copied.
  script::CScriptArray* inner = script::NewCompound(pools, nullptr);
  script::SetMemberInt(pools, inner, "[0]", 5);
  script::StackPushFloat(se, stack, 1.5f);
  script::StackPushCompound(se, stack, inner);
  script::StackPushInt(se, stack, 2);
  script::CScriptArray* a = script::BuildCompoundFromStack(se, stack, script::kCompoundArray);
  EXPECT_EQ(script::WriteCompoundText(a, 0), "[1.500000,[5]]");
  EXPECT_EQ(script::GetElementCompound(a, 1), inner);
  script::StackPushText(se, stack, "x", script::kWordString);
  EXPECT_EQ(Raised([&] { script::BuildCompoundFromStack(se, stack, script::kCompoundArray); }),
            test::Sjis("JSON式の要素数が整数ではありません。"));
  EXPECT_EQ(Raised([&] { script::BuildCompoundFromStack(se, stack, 0); }), test::Sjis("JSON式の解釈が開始出来ません。"));
  EXPECT_EQ(Raised([&] { script::StackPop(stack); }), test::Sjis("スタックアンダーフロー(データスタック)"));
  script::FreeWordStack(se, stack);
}

// ----------------------------------------------------------------------------
// Adding and element-wise operations
// ----------------------------------------------------------------------------

TEST_F(Compound, AddingGoesElementByElement) {
  script::CScriptArray* target = Read("[10, \"y\", 1.5, {k: 1}]");
  ASSERT_NE(target, nullptr);
  script::CScriptValue* holder = pools.AllocScriptValue();
  holder->text = "list";
  target->owner = holder;
  script::CScriptArray* source = script::CopyCompound(pools, target);
  script::ClearScriptArray(pools, source);
  script::SetMemberInt(pools, source, "[0]", 1);
  script::SetMemberString(pools, source, "[1]", "x");
  script::SetMemberInt(pools, source, "[2]", 2);
  script::SetMemberInt(pools, source, "[3].k", 5);
  script::SetMemberInt(pools, source, "[5]", 7);
  script::AddCompounds(pools, target, source);
  EXPECT_EQ(script::WriteCompoundText(target, 0), "[11,\"yx\",3.500000,{k:6},7]");

  script::CScriptArray* object = script::NewCompound(pools, nullptr);
  script::SetMemberInt(pools, object, "a", 1);
  EXPECT_EQ(Raised([&] { script::AddCompounds(pools, target, object); }), test::Sjis("[list]には配列以外を加算できません。"));
  EXPECT_EQ(Raised([&] { script::AddCompounds(pools, object, target); }),
            test::Sjis("オブジェクトにはオブジェクト以外を加算できません。"));
  script::CScriptArray* strings = script::NewCompound(pools, nullptr);
  script::SetMemberString(pools, strings, "a", "s");
  EXPECT_EQ(Raised([&] { script::AddCompounds(pools, object, strings); }), test::Sjis("[a]に文字列を加算しようとしました。"));
  // Adding an empty compound changes nothing.
  script::AddCompounds(pools, object, script::NewCompound(pools, nullptr));
  EXPECT_EQ(script::WriteCompoundText(object, 0), "{a:1}");
}

TEST_F(Compound, ElementwiseOperationsKeepOrChangeNumberTypes) {
  script::CScriptArray* a = Read("{i: 7, f: 1.5, s: \"t\", n: [-3, 4]}");
  ASSERT_NE(a, nullptr);
  struct Case {
    script::CScriptArray* result;
    const char* written;
  };
  const Case cases[] = {
      {script::ApplyElementwiseOp(pools, a, script::kWordDivide, 2), "{i:3,f:0.750000,s:\"t\",n:[-1,2]}"},
      {script::CompoundBinaryOp(pools, a, script::kWordDivide, 2.0f), "{i:3.500000,f:0.750000,s:\"t\",n:[-1.500000,2.000000]}"},
      {script::ApplyElementwiseOp(pools, a, script::kWordMultiply, 3), "{i:21,f:4.500000,s:\"t\",n:[-9,12]}"},
      {script::CompoundBinaryOp(pools, a, script::kWordMultiply, 0.5f), "{i:3.500000,f:0.750000,s:\"t\",n:[-1.500000,2.000000]}"},
      {script::ApplyElementwiseOp(pools, a, script::kOpNegate, 0), "{i:-7,f:-1.500000,s:\"t\",n:[3,-4]}"},
      {script::ApplyElementwiseOp(pools, a, script::kOpCopy, 0), "{i:7,f:1.500000,s:\"t\",n:[-3,4]}"},
      {script::ApplyElementwiseOp(pools, a, 44, 0), "{i:0,f:0.000000,s:\"t\",n:[0,0]}"},
      // No divisor of 0 reaches here from scripts; it still does not fault.
      {script::ApplyElementwiseOp(pools, a, script::kWordDivide, 0), "{i:0,f:inf,s:\"t\",n:[0,0]}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(script::WriteCompoundText(c.result, 0), c.written);
    EXPECT_EQ(c.result->owner, a->owner);
    EXPECT_NE(c.result, a);
  }
  // The copy is deep: changing it leaves the original alone.
  script::CScriptArray* copy = script::CopyCompound(pools, a);
  script::SetMemberInt(pools, copy, "n[0]", 100);
  EXPECT_EQ(script::GetMemberInt(a, "n[0]"), -3);
  EXPECT_EQ(script::GetMemberInt(copy, "n[0]"), 100);
}

}  // namespace
