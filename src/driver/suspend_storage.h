// The suspend file on disk: the replacement of the file through a temporary
// file of its own, so that the old file is lost only once the new one is
// complete and on disk.
#pragma once

#include <cstdio>
#include <string>

// A new file being written under a name of its own beside the one it is to
// replace.
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
