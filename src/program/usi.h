// kelvaro --usi: the program as a USI engine that solves mate problems for
// a shogi GUI ("go mate"). The protocol is spoken on standard input and
// output; the console's own texts go to standard error meanwhile.
#pragma once

// Answers commands until quit or the end of standard input; the exit code.
int runUsiEngine();
