#include "frontend/problem_header.h"

ProblemHeader problem;
std::vector<Move> enteredSequence;
