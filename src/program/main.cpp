#include "program/entry.h"

int main(int argc, char* argv[]) { return runEntrySequence(argc, argv); }
