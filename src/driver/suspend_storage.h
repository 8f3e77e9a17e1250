// The suspend file on disk: the lock that keeps two runs of a problem from
// using its file at once, and the replacement of the file through a
// temporary file of its own, so that the old file is lost only once the new
// one is complete and on disk.
#pragma once

#include <cstdio>
#include <string>

// The lock of one suspend file: a file beside it (NAME.lock) that the run
// holds an flock on and writes its process id into. The suspend file itself
// cannot carry the lock: a save renames a new file over it, and a run that
// opened the name after the rename would lock the new file while the saver
// still held the old one; and before the first save there is nothing to lock.
struct SuspendLock {
    std::string path;  // the lock file; empty while none is held
    int fd = -1;
};

enum class LockOutcome {
    TAKEN,         // held now (or already was, for this file)
    HELD_BY_OTHER, // another process holds it; holderPid names it (0: unknown)
    UNAVAILABLE,   // no lock can be made here (a read-only folder, a file
                   // system without flock): the run goes on without one
};

// Takes the lock of the suspend file named suspendFile, unless it is held
// already; a lock of another suspend file is let go first.
LockOutcome takeSuspendLock(SuspendLock& lock, const std::string& suspendFile, long& holderPid);
// Lets the lock go and removes its file.
void releaseSuspendLock(SuspendLock& lock);

// A new file being written under a name of its own beside the one it is to
// replace. While it exists, SIGTERM and SIGHUP remove it before they end
// the process. One replacement at a time.
struct Replacement {
    std::string target;
    std::string temporary;
    std::FILE* file = nullptr;
};

// Creates the temporary file (a fresh name, never an existing file or a
// link, readable by the owner only while it is written). False when it
// cannot be created.
bool beginReplacement(Replacement& r, const std::string& target);
// Flushes the file, gives it the mode of the file it replaces (or of a new
// file), puts it on disk and renames it over the target; the folder is
// synced too. False when any step before the rename failed; the temporary
// file is then gone and the target untouched.
bool commitReplacement(Replacement& r);
// Removes the temporary file (the writing failed).
void abandonReplacement(Replacement& r);

// Whether a regular file stands at the name (symbolic links followed).
bool isRegularFile(const std::string& path);
