#include "driver/run_findings.h"

RunFindings runFindings;
