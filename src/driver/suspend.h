// Stopping a long run and taking it up again: the save offer after an
// interruption, and the suspend file holding the whole solver state.
//
// The file is binary, little-endian, without checksum: a mark of its format,
// the key of the problem's initial position and its move count, the run's
// figures, the driver's phase and verification state, the current
// solution, the search's resume path and saved child lists, and the whole
// position table, raw. One run at a time uses a problem's file (a lock
// beside it, see suspend_storage.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "driver/solution.h"
#include "position/position.h"
#include "search/position_table.h"

// Set after a suspend file was written in this run; the run then does not
// offer to delete it at its end.
extern bool suspendFileWritten;
// Set when a save was asked for and not made: the run ends with exit code
// 1, and a file it was taken up from, the only good one, is not offered
// for deletion.
extern bool suspendSaveFailed;
// Set after a suspend file was read at start; its elapsed time counts.
extern bool suspendFileResumed;
// The run time stored in the suspend file that was taken up (seconds).
extern int32_t resumedElapsedSeconds;
// When the run's clock started (seconds since the epoch); the driver takes
// it again after the entered-sequence question.
extern std::time_t runStartTime;

// After a phase ended by interruption: asks whether to save, and writes the
// suspend file on Yes, with line as the solution to keep. initial is the
// problem's initial position.
void offerSave(const Position& initial, const MoveLine& line);

// Writes the suspend file of the problem whose initial position is given,
// from the global state. The previous file stays intact until the new one
// is complete. False when it was not written; the message says what the
// folder holds then.
bool writeSuspendFile(const Position& initial);

enum class ResumeResult {
    FRESH,    // no suspend file, or the user declined it
    RESUMED,  // the saved state was read
    REFUSED,  // the file does not fit this problem or is damaged; the message
              // has been shown and the run must end with exit code 1
};

// Offers the suspend file of the problem, if there is one and no other run
// holds it (a message names that run), and reads it on Yes. Nothing is
// changed before the whole file has been checked. initial
// is the problem's initial position (the saved solution is replayed on it
// to show where verification resumes).
ResumeResult resumeFromSuspendFile(PositionTable& table, const Position& initial);

// At the end of the run: a run taken up from its suspend file offers to
// delete it, unless it saved again or failed to; the file's lock is let go.
void endSuspendFileUse(bool resumed);

// The reading itself, from an open file of the given size (no question
// asked): the whole file is checked before anything is changed.
ResumeResult readSuspendFile(std::FILE* file, uint64_t size, PositionTable& table, const Position& initial);

// The largest table a suspend file can describe (its capacity field has 32 bits).
constexpr uint64_t SUSPENDABLE_CAPACITY_LIMIT = uint64_t(1) << 32;

// Checks a position record read from a file: the frame, the codes, the
// king squares, the counters, the hands, and that the attack maps and keys
// equal a fresh computation. Pointers are not looked at.
bool isPlausiblePosition(const Position& pos);
