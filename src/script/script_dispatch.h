// script_dispatch.h -- how Execute() reaches a step's case: a table of labels
// where the compiler has them, else the switch.
#pragma once

#include "script/script_opcodes.h"

// Execute() dispatches every word through its one switch over the opcode.
// A step that follows another step (a loop's test after its increment, an
// assignment after a test) goes to its own case directly: with labels as
// values, through a table of the step cases' labels, so that each step kind
// has an indirect jump of its own, which predicts the step that follows far
// better than the switch's one jump for all. Without the extension the
// chain goes back through the switch; what runs is the same either way.
//
// Compilers that take `&&label` (GCC, Clang) use the table. Defining
// TKW4_VM_SWITCH_DISPATCH (the CMake option TKW4_VM_SWITCH) forces the
// switch, so the fallback is built and tested on those compilers too.
//
//   VM_STEP_TABLE       in Execute(), before the loop: the table of the
//                       step cases' labels, in opcode order
//   VM_STEP_CASE(Name)  the case of the step opcode Opcode::Name, followed
//                       by a colon as a case is
//   VM_GOTO_STEP(s)     to the case of the step `s` (a CodeStep*); needs the
//                       loop's `op` and the `dispatch:` label on its switch

#if !defined(TKW4_VM_SWITCH_DISPATCH) && (defined(__GNUC__) || defined(__clang__))
#define SCRIPT_VM_JUMP_TABLE 1
#else
#define SCRIPT_VM_JUMP_TABLE 0
#endif

namespace script {

// The number of step opcodes, each with a case in the table (the steps
// are the last opcodes, StepCall the last of all).
constexpr int kStepKinds = int(Opcode::StepCall) - int(kFirstStep) + 1;

}  // namespace script

#if SCRIPT_VM_JUMP_TABLE

// The labels in the order of the step opcodes (script_opcodes.h).
#define VM_STEP_TABLE                                                                         \
  static void* const kStepCases[] = {                                                        \
      &&caseStepCompareJump, &&caseStepIndexJump,    &&caseStepIncrement,                    \
      &&caseStepCompoundAssign, &&caseStepAssign,    &&caseStepIndexAssign,                  \
      &&caseStepPushBinary,  &&caseStepAssignBinary, &&caseStepJump,                         \
      &&caseStepMember,      &&caseStepElementMember, &&caseStepMemberOp,                    \
      &&caseStepMemberArith, &&caseStepReturn,       &&caseStepCall};                        \
  static_assert(sizeof kStepCases / sizeof kStepCases[0] == kStepKinds, "one label per step opcode")
#define VM_STEP_CASE(name) \
  case Opcode::name:       \
  case##name
#define VM_GOTO_STEP(s) goto* kStepCases[(s)->op - int(kFirstStep)]

#else

#define VM_STEP_TABLE static_assert(true)
#define VM_STEP_CASE(name) case Opcode::name
#define VM_GOTO_STEP(s)   \
  do {                    \
    op = Opcode((s)->op); \
    goto dispatch;        \
  } while (0)

#endif
