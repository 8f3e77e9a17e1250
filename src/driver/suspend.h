// Stopping a long run and taking it up again: the save offer after an
// interruption, and the suspend file holding the whole solver state.
#pragma once

#include "driver/solution.h"
#include "search/position_table.h"

// Set after a suspend file was written in this run; the run then does not
// offer to delete it at its end.
extern bool suspendFileWritten;
// Set after a suspend file was read at start; its elapsed time counts.
extern bool suspendFileResumed;

// After a phase ended by interruption: asks whether to save, and writes the
// suspend file on Yes, with line as the solution to keep.
void offerSave(const MoveLine& line);

// Writes the suspend file from the global state.
void writeSuspendFile();

// Offers the suspend file of the problem, if there is one, and reads it on
// Yes. True when the run resumes a saved state.
bool resumeFromSuspendFile(PositionTable& table);
