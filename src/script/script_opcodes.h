// script_opcodes.h -- the virtual machine's instruction set: the opcode that
// each word kind of the compiled code executes as, one line of semantics
// each, and the table from word kind to opcode.
#pragma once

#include <array>
#include <cstdint>

#include "script/script_records.h"

namespace script {

// ----------------------------------------------------------------------------
// Opcodes
//
// The compiled program is a list of postfix words; every word executes as
// the opcode of its kind (kOpcodeOfKind). Operands are words on the current
// thread's data stack: L is the left operand, pushed first, R the right one,
// popped first. "num" is an int or a float; int with float gives float.
// Every opcode adds 1 to the slice's instruction counter.
// ----------------------------------------------------------------------------

enum class Opcode : uint8_t {
  Nop,              // nothing (words only the compiler or a declaration reads; label definitions)
  End,              // wait counter -1: the thread ends at the next loop turn
  PushInt,          // push a copy of the int literal
  PushFloat,        // push a copy of the float literal
  PushString,       // push a copy of the string literal (its origin remembered for jumps)
  PushHandle,       // push a copy of the function constant: text, kind 13 and target
  PushName,         // push a reference to the name's variable; a missing one is made untyped
  Add,              // L + R: numbers, texts joined ("%d", "%f", object text), compounds added
  Subtract,         // L - R: numbers; compound minus compound element-wise
  Multiply,         // L * R: numbers; compound and number element-wise
  Divide,           // L / R: zero R first raises; int / int truncates; compound / number
  Modulo,           // L % R: int remainder (sign of L), zero R raises; float L - trunc(L/R)*R
  Assign,           // L = R: L a variable, not const; pushes the reference to L
  Greater,          // L > R: numbers, or texts byte-wise; int 1 or 0
  Less,             // L < R
  GreaterEqual,     // L >= R
  LessEqual,        // L <= R
  Equal,            // L == R: numbers (mixed as float) or texts; number with text is an error
  NotEqual,         // L != R
  Not,              // !x: 1 for int 0, float 0.0 and the empty text, else 0
  BitNot,           // ~x: int complement (a float truncated)
  Xor,              // L ^ R: ints (floats truncated)
  BitAnd,           // L & R
  BitOr,            // L | R
  ShiftLeft,        // L << R: the count masked to 5 bits
  ShiftRight,       // L >> R: sign-filling, the count masked to 5 bits
  LogicalAnd,       // L && R: floats truncated first (0.5 is false); both sides evaluated
  LogicalOr,        // L || R
  AddAssign,        // L += R: numbers, texts, compounds; assigned typed; pushes L
  SubtractAssign,   // L -= R
  MultiplyAssign,   // L *= R
  DivideAssign,     // L /= R: a zero R raises the division error
  ModuloAssign,     // L %= R: a zero int R raises the division error
  BitAndAssign,     // L &= R: ints
  BitOrAssign,      // L |= R
  XorAssign,        // L ^= R
  PostIncrement,    // x++: x an int or float variable; pushes the old value
  PostDecrement,    // x--
  PreIncrement,     // ++x: pushes the reference to x
  PreDecrement,     // --x
  Plus,             // +x: numbers and texts unchanged, a compound copied
  Negate,           // -x: numbers negated (ints wrap), compounds element-wise
  Discard,          // ";": trim the data stack to its topmost call marker
  Member,           // L.R: the member named by R's variable in L's compound (made when missing)
  Declare,          // a local declaration: reads its modifiers and name from the next words
  JumpIfFalse,      // pop label, pop condition; jump when int 0, float 0.0 or ""
  JumpIfTrue,       // the same, jumping when the condition is true
  Jump,             // pop label and jump
  Call,             // pop the callee: a label, a function or a system call
  Return,           // ReturnFromCall: back to the caller, or the thread ends
  Interrupt,        // system interrupt named by the popped string
  Index,            // L[R]: element by position (int) or member by name (string), made when missing
  Marker,           // push the call marker "@"
  BindParameter,    // "pop_value": bind the top argument to the parameter named by the next words
  CastInt,          // (int): float truncated, text parsed
  CastFloat,        // (float): int converted, text parsed
  CastString,       // (string): "%d", "%f", the text, the object text
  CastFunction,     // (function): a function operand as a function handle
  BuildArray,       // an array from the element count and values on the stack
  BuildObject,      // an object from the member count and key and value pairs

  // Steps: runs of words decoded once and executed as one (see the Notes).
  // a and b are name words or int literals, "L" a label literal.
  StepCompareJump,    // a b cmp "L" if_not_goto ["L2" goto]: ints compared, jump when false
  StepIndexJump,      // a b [] "L" if_not_goto ["L2" goto]: an int element tested
  StepIncrement,      // a ++ ; ["L2" goto] (also --, ++(PRE), --(PRE)): an int variable
  StepCompoundAssign, // a b op= ; ["L2" goto]: += -= *= &= |= ^= on ints
  StepAssign,         // a b = ; ["L2" goto]: an int into an int variable
  StepIndexAssign,    // a b [] c = ; ["L2" goto]: an int into an int element
  StepPushBinary,     // a b op: + - * or a comparison of ints; pushes the int result
  StepAssignBinary,   // a b c op = [; ["L2" goto]]: b op c into an int variable
  StepJump,           // "L" goto: a jump to a label named by a literal
  StepMember,         // a m .: pushes the member m of the object in a
  StepElementMember,  // a b [] m .: pushes the member m of the object in element b of a
  StepMemberOp,       // a m . op: the number on top, op + - * the number member m of a's object
  StepMemberArith,    // a m . c op: pushes a's number member m, op + - *, the number c
  StepReturn,         // a return: an int variable's value returned from a call
  StepCall,           // f call: a function called by name
};

// The first opcode of a step of several words.
constexpr Opcode kFirstStep = Opcode::StepCompareJump;

// Whether a step may start straight after another step: every step may (a
// call or a return then ends the chain: it leaves the code it stands in).
constexpr bool IsChainedStep(Opcode op) { return op >= kFirstStep; }

// Notes:
// - Jumps and calls go to the word after the label's or function's
//   definition word, so a definition word runs only when the code before it
//   falls through to it. It then does nothing: it leaves no value on the
//   stack that no statement would remove.
// - "&&" and "||" see floats truncated (0.5 && 1 is 0), while "!" and the
//   conditional jumps test floats by value (!0.5 is 0, if (0.5) is taken).
// - Int arithmetic wraps at 32 bits; INT_MIN / -1 is INT_MIN and
//   INT_MIN % -1 is 0.
// - A push when 65,536 entries are in use and a pop of an empty stack raise
//   the stack errors; "trim to marker" never removes the marker itself.
// - Declarations, parameter bindings and system interrupts read the words
//   after them as operands: the thread's current word moves past them.
// - Steps: the common runs of words (loop tests, increments, assignments of
//   ints, element access, calls by name) are decoded once into a step that
//   runs them without the stack traffic between them. A step runs only when
//   its outcome is sure to be the words' own: every name already linked,
//   the values ints where it expects ints, no error possible, the
//   instruction limit not reached inside it, and the stack deep enough that
//   the words' pushes would take no new record. Otherwise its first word
//   runs alone, as any word, and the next word is tried as a step in turn.
//   A step counts one instruction per word it covers (its tail jump's two
//   only when the tail is taken), and errors and the listing see the words.

constexpr Opcode OpcodeOfKind(int kind) {
  switch (kind) {
    case kWordEnd: return Opcode::End;
    case kWordInt: return Opcode::PushInt;
    case kWordFloat: return Opcode::PushFloat;
    case kWordString: return Opcode::PushString;
    case kWordFunctionConstant: return Opcode::PushHandle;
    case kWordName:
    case kWordFunctionName: return Opcode::PushName;
    case kWordAdd: return Opcode::Add;
    case kWordSubtract: return Opcode::Subtract;
    case kWordMultiply: return Opcode::Multiply;
    case kWordDivide: return Opcode::Divide;
    case kWordModulo: return Opcode::Modulo;
    case kWordAssign: return Opcode::Assign;
    case kWordGreater: return Opcode::Greater;
    case kWordLess: return Opcode::Less;
    case kWordNot:
    case kWordPrefixNot: return Opcode::Not;
    case kWordBitNot:
    case kWordPrefixBitNot: return Opcode::BitNot;
    case kWordXor: return Opcode::Xor;
    case kWordBitAnd: return Opcode::BitAnd;
    case kWordBitOr: return Opcode::BitOr;
    case kWordShiftLeft: return Opcode::ShiftLeft;
    case kWordShiftRight: return Opcode::ShiftRight;
    case kWordAddAssign: return Opcode::AddAssign;
    case kWordSubtractAssign: return Opcode::SubtractAssign;
    case kWordMultiplyAssign: return Opcode::MultiplyAssign;
    case kWordDivideAssign: return Opcode::DivideAssign;
    case kWordModuloAssign: return Opcode::ModuloAssign;
    case kWordEqual: return Opcode::Equal;
    case kWordGreaterEqual: return Opcode::GreaterEqual;
    case kWordLessEqual: return Opcode::LessEqual;
    case kWordNotEqual: return Opcode::NotEqual;
    case kWordBitAndAssign: return Opcode::BitAndAssign;
    case kWordBitOrAssign: return Opcode::BitOrAssign;
    case kWordXorAssign: return Opcode::XorAssign;
    case kWordIncrement: return Opcode::PostIncrement;
    case kWordDecrement: return Opcode::PostDecrement;
    case kWordLogicalAnd: return Opcode::LogicalAnd;
    case kWordLogicalOr: return Opcode::LogicalOr;
    case kWordSemicolon: return Opcode::Discard;
    case kWordMember: return Opcode::Member;
    case kWordPrefixPlus: return Opcode::Plus;
    case kWordPrefixMinus: return Opcode::Negate;
    case kWordPrefixIncrement: return Opcode::PreIncrement;
    case kWordPrefixDecrement: return Opcode::PreDecrement;
    case kWordTypeInt:
    case kWordTypeFloat:
    case kWordTypeString:
    case kWordTypeVariable:
    case kWordTypeFunction:
    case kWordTypeSystemCall:
    case kWordTypeArray:
    case kWordTypeObject: return Opcode::Declare;
    case kWordJumpIfFalse: return Opcode::JumpIfFalse;
    case kWordJumpIfTrue: return Opcode::JumpIfTrue;
    case kWordJump: return Opcode::Jump;
    case kWordCallCode: return Opcode::Call;
    case kWordReturnCode: return Opcode::Return;
    case kWordInterruptCode: return Opcode::Interrupt;
    case kWordIndex: return Opcode::Index;
    case kWordCallMarker: return Opcode::Marker;
    case kWordPopValue: return Opcode::BindParameter;
    case kWordCastInt: return Opcode::CastInt;
    case kWordCastFloat: return Opcode::CastFloat;
    case kWordCastString: return Opcode::CastString;
    case kWordCastFunction: return Opcode::CastFunction;
    case kWordBuildArray: return Opcode::BuildArray;
    case kWordBuildObject: return Opcode::BuildObject;
    default: return Opcode::Nop;  // start marker, label definitions, token-only kinds
  }
}

// The opcode of every kind byte, so the dispatch is one load and one switch.
constexpr std::array<Opcode, 256> MakeOpcodeTable() {
  std::array<Opcode, 256> table{};
  for (int kind = 0; kind < 256; kind++) table[size_t(kind)] = OpcodeOfKind(kind);
  return table;
}
inline constexpr std::array<Opcode, 256> kOpcodeOfKind = MakeOpcodeTable();

}  // namespace script
