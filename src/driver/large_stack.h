// The search recurses one level per ply, up to 2999 plies; it runs on a
// thread whose stack is sized for that depth.
#pragma once

#include <cstddef>
#include <functional>

// Stack given to the solving thread. The pages are reserved, not committed:
// only the depth actually reached costs memory.
constexpr size_t SOLVER_STACK_BYTES = size_t(512) << 20;

// Runs work on a thread with SOLVER_STACK_BYTES of stack and waits for it.
// Returns false when such a thread cannot be created (work did not run).
bool runOnSolverStack(const std::function<void()>& work);
