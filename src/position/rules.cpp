#include "position/rules.h"

RuleSwitches ruleSwitches;
