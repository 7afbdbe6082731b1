// script_values_test.cpp -- values and conversions: typed assignment, refer
// chains, operand resolution, and constant expressions as the initial values
// of globals.

#include "script_test_util.h"

namespace {

using scripttest::Raised;
using scripttest::ScriptFixture;

class Conversions : public ScriptFixture {
 protected:
  script::ScriptPools& pools = se.pools;

  // A free-standing variable of a type.
  script::CScriptValue* Variable(int type, int attributes = 0, const char* name = "v") {
    script::CScriptValue* v = pools.AllocScriptValue();
    v->text = name;
    script::SetValueType(pools, v, type, attributes);
    return v;
  }

  // Compiles "extern <declaration>" and returns the global `name`.
  script::CScriptValue* Global(const std::string& declaration, const char* name) {
    EXPECT_EQ(Compile("main.txt", declaration), "") << declaration;
    return se.FindGlobal(name);
  }
};

TEST_F(Conversions, TypedAssignmentConvertsToTheDeclaredType) {
  script::CScriptValue* i = Variable(script::kValueInt);
  script::AssignFloatToVariable(pools, i, 2.9f);
  EXPECT_EQ(i->data.i, 2);
  script::AssignFloatToVariable(pools, i, -2.9f);
  EXPECT_EQ(i->data.i, -2);
  script::AssignStringToVariable(pools, i, "abc");
  EXPECT_EQ(i->data.i, 0);
  script::AssignStringToVariable(pools, i, "12abc");
  EXPECT_EQ(i->data.i, 12);
  script::AssignStringToVariable(pools, i, "99999999999");  // clamped as the engine reads numbers
  EXPECT_EQ(i->data.i, 2147483647);
  EXPECT_EQ(i->type, script::kValueInt);

  script::CScriptValue* s = Variable(script::kValueString);
  script::AssignIntToVariable(pools, s, 5);
  EXPECT_EQ(s->stringValue, "5");
  script::AssignFloatToVariable(pools, s, 0.5f);
  EXPECT_EQ(s->stringValue, "0.500000");
  script::AssignStringToVariable(pools, s, nullptr);
  EXPECT_EQ(s->stringValue, "");

  script::CScriptValue* f = Variable(script::kValueFloat);
  script::AssignIntToVariable(pools, f, 3);
  EXPECT_EQ(f->data.f, 3.0f);
  script::AssignStringToVariable(pools, f, "2.25");
  EXPECT_EQ(f->data.f, 2.25f);
  EXPECT_EQ(f->type, script::kValueFloat);

  // Out of range floats truncate to the processor's pattern, never UB.
  script::AssignFloatToVariable(pools, i, 3e9f);
  EXPECT_EQ(i->data.i, INT32_MIN);
}

TEST_F(Conversions, UntypedVariablesTakeTheAssignedType) {
  script::CScriptValue* v = Variable(script::kValueString, script::kAttrUntyped);
  script::AssignIntToVariable(pools, v, 7);
  EXPECT_EQ(v->type, script::kValueInt);
  EXPECT_EQ(v->data.i, 7);
  script::AssignStringToVariable(pools, v, "x");
  EXPECT_EQ(v->type, script::kValueString);
  script::CScriptArray* a = script::NewCompound(pools, nullptr);
  script::AssignCompoundToVariable(pools, v, a);
  EXPECT_EQ(v->type, script::kValueCompound);
  EXPECT_EQ(a->owner, v);
  // An int releases the compound it held.
  script::AssignIntToVariable(pools, v, 1);
  EXPECT_FALSE(pools.arrays.InUse(a->poolSlot));
  EXPECT_EQ(v->attributes, script::kAttrUntyped);
}

TEST_F(Conversions, AssignmentsThatDoNotFitRaiseTheirTexts) {
  script::CScriptValue* compound = Variable(script::kValueCompound, 0, "box");
  script::CScriptValue* number = Variable(script::kValueInt, 0, "n");
  struct Case {
    std::string raised;
    const char* expected;
  };
  const Case cases[] = {
      {Raised([&] { script::AssignIntToVariable(pools, compound, 1); }),
       "変数[box]はintでもfloatでもstringでもないため、整数を代入できません。"},
      {Raised([&] { script::AssignFloatToVariable(pools, compound, 1); }),
       "変数[box]はintでもfloatでもstringでもないため、小数を代入できません。"},
      {Raised([&] { script::AssignStringToVariable(pools, compound, "s"); }),
       "変数[box]はintでもfloatでもstringでもないため、文字列を代入できません。"},
      {Raised([&] { script::AssignReference(pools, number, compound); }),
       "変数[n]はrefer型ではないため参照を代入できません。"},
      {Raised([&] { script::AssignCompoundToVariable(pools, number, nullptr); }),
       "変数[n]はarray型ではないため配列を代入できません。"},
      {Raised([&] { script::AssignCallTarget(pools, number, nullptr); }),
       "変数[n]はfunction型ではないため関数コール先を代入できません。"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.raised, test::Sjis(c.expected));
}

TEST_F(Conversions, ReferChainsForwardAndLoopsAreCaught) {
  script::CScriptValue* target = Variable(script::kValueInt, 0, "target");
  script::CScriptValue* middle = Variable(script::kValueUndefined, 0, "middle");
  script::CScriptValue* first = Variable(script::kValueRefer, 0, "first");
  script::AssignReference(pools, middle, target);
  script::AssignReference(pools, first, middle);
  script::AssignIntToVariable(pools, first, 42);
  EXPECT_EQ(target->data.i, 42);
  EXPECT_EQ(script::FollowRefer(first), target);

  // A refer made to point back along its own chain loops: reading ends, and
  // assignment raises instead of running forever.
  script::AssignReference(pools, middle, first);
  EXPECT_EQ(script::FollowRefer(first), nullptr);
  EXPECT_EQ(Raised([&] { script::AssignIntToVariable(pools, first, 1); }),
            test::Sjis("変数[first]の参照が循環しています。"));
  EXPECT_EQ(script::ScriptEngine::ValueToFloat(first), 0.0f);
}

TEST_F(Conversions, OperandsResolveToTheirClasses) {
  script::CScriptLiteral* w = pools.AllocScriptLiteral();
  script::StackOperand o;
  script::SetFloatValue(pools, w, -2.5f);
  EXPECT_EQ(script::LookupStackVariable(w, &o), script::kOperandFloat);
  EXPECT_EQ(o.i, -2);
  script::SetValueFromText(pools, w, "17x", script::kWordString);
  EXPECT_EQ(script::LookupStackVariable(w, &o), script::kOperandString);
  EXPECT_EQ(o.i, 17);
  EXPECT_EQ(o.f, 0.0f);

  script::CScriptValue* s = Variable(script::kValueString, 0, "s");
  script::AssignStringToVariable(pools, s, "1.5");
  script::SetCallValue(pools, w, s);
  EXPECT_EQ(script::LookupStackVariable(w, &o), script::kOperandString);
  EXPECT_EQ(o.f, 1.5f);
  EXPECT_STREQ(o.name, "s");

  script::CScriptValue* undefined = Variable(script::kValueUndefined, 0, "u");
  script::SetCallValue(pools, w, undefined);
  EXPECT_EQ(Raised([&] { script::LookupStackVariable(w, &o); }), test::Sjis("[u]は定義されていない変数です。"));
  script::SetValueFromText(pools, w, "bare", script::kWordName);
  EXPECT_EQ(Raised([&] { script::LookupStackVariable(w, &o); }),
            test::Sjis("[bare]はリテラルが変数としてスタックに詰まれています。"));
  script::SetValueFromText(pools, w, ";", script::kWordSemicolon);
  EXPECT_EQ(script::LookupStackVariable(w, &o), script::kOperandNone);
  script::SetValueFromText(pools, w, "42", script::kWordInt);
  EXPECT_EQ(script::LookupStackVariable(w, &o), script::kOperandInt);
  EXPECT_EQ(o.i, 42);
}

TEST_F(Conversions, GlobalInitialValuesAreConstantExpressions) {
  struct Case {
    const char* declaration;
    const char* printed;  // the global in the compact text form of {x:...}
  };
  const Case cases[] = {
      {"extern int x = 1 + 2 * 3;", "{x:7}"},
      {"extern int x = (1 + 2) * 3;", "{x:9}"},
      {"extern int x = 2.9;", "{x:2}"},
      {"extern int x = -2.9;", "{x:-2}"},
      {"extern int x = \"12abc\";", "{x:12}"},
      {"extern int x = 0x7FFFFFFF + 1;", "{x:-2147483648}"},
      {"extern int x = 0xFFFFFFFF;", "{x:2147483647}"},
      {"extern int x = -7 % 2;", "{x:-1}"},
      {"extern int x = 7 / 2;", "{x:3}"},
      {"extern float x = 7.0 / 2;", "{x:3.500000}"},
      {"extern float x = 7.5 % 2;", "{x:1.500000}"},
      {"extern int x = 1 << 4 | 3 & 1 ^ 8;", "{x:25}"},
      {"extern int x = -8 >> 1;", "{x:-4}"},
      {"extern int x = 0.5 && 1;", "{x:0}"},
      {"extern int x = !0.5 || ~0;", "{x:1}"},
      {"extern int x = \"abc\" < \"abd\";", "{x:1}"},
      {"extern int x = 2 == 2.0;", "{x:1}"},
      {"extern string x = \"a\" + 1;", "{x:\"a1\"}"},
      {"extern string x = 1 + \"a\";", "{x:\"1a\"}"},
      {"extern string x = \"a\" + 1.5;", "{x:\"a1.500000\"}"},
      {"extern string x = 5;", "{x:\"5\"}"},
      {"extern string x = 0.5;", "{x:\"0.500000\"}"},
      {"extern string x = (string)3 + [1, {a: 2}];", "{x:\"3[1,{a:2}]\"}"},
      {"extern float x = (float)\"2.5\" * 2;", "{x:5.000000}"},
      {"extern variable x = \"text\";", "{x:\"text\"}"},
      {"extern int x = {a: {b: [1, 2, 3]}}.a.b[2];", "{x:3}"},
      {"extern object x = {a: 1} + {b: 2};", "{x:{a:1,b:2}}"},
      {"extern array x = [1, 2.5] - [1, 1];", "{x:[0,1.500000]}"},
      {"extern array x = -[1, -2];", "{x:[-1,2]}"},
      {"extern array x = 2 * [1, 2];", "{x:[2,4]}"},
      {"extern int y = 4; extern int x = y * y;", "{y:4,x:16}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Compile("main.txt", c.declaration), "") << c.declaration;
    EXPECT_EQ(script::WriteCompoundText(se.namespaces.global, 0), c.printed) << c.declaration;
  }
}

TEST_F(Conversions, WordSettersKeepOrGiveBackCompounds) {
  script::CScriptLiteral* w = pools.AllocScriptLiteral();
  script::SetValueFromText(pools, w, "42", script::kWordInt);
  EXPECT_EQ(w->kind, script::kWordInt);
  EXPECT_EQ(w->payload.i, 42);
  script::CScriptArray* a = script::NewCompound(pools, nullptr);
  script::SetObjectValue(pools, w, a);
  EXPECT_EQ(w->kind, script::kWordCompound);
  // Another payload gives the compound back to the pool ...
  script::SetFloatValue(pools, w, 1.0f);
  EXPECT_FALSE(pools.arrays.InUse(a->poolSlot));
  // ... unless the word gave it up first.
  script::CScriptArray* b = script::NewCompound(pools, nullptr);
  script::SetObjectValue(pools, w, b);
  script::GiveUpCompound(w);
  script::SetIntValue(pools, w, 0);
  EXPECT_TRUE(pools.arrays.InUse(b->poolSlot));
  script::SetObjectValue(pools, w, nullptr);
  EXPECT_EQ(w->kind, script::kWordInt);
  EXPECT_EQ(w->payload.bits, 0u);  // no high half of an old pointer is left
}

}  // namespace
