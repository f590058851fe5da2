#pragma once
// The tvc parser: one file's tokens to its syntax tree, by recursive descent
// (one function per grammar rule of docs/language.md). Errors are collected,
// the parser skips to the next statement or declaration and goes on, so one
// run reports several mistakes. Nesting is bounded, so no input can exhaust
// the stack.

#include <cstdint>

#include "tools/tvc/ast.h"
#include "tools/tvc/diagnostics.h"

namespace tavelo::tools::tvc {

// Deeper nesting of statements and expressions is an error (each
// parenthesis counts two: its expression and its operand).
inline constexpr int kMaxNesting = 200;

Module parse_file(const Sources& sources, uint32_t file, Diagnostics& diagnostics);

}  // namespace tavelo::tools::tvc
