#include "driver/suspend_storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// The mode a new file gets: what the creation mask lets through of 0666.
// The mask can only be read by setting it; no other thread creates files
// during a save.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A replaced file keeps its permissions.
mode_t finalMode(const std::string& target) {
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) return old.st_mode & 07777;
    return newFileMode();
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename is on disk once the folder is. A failure here is not a failed
// save: the name holds the new file, and a crash could at worst bring the
// old one back, which is as complete.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool beginReplacement(Replacement& r, const std::string& target) {
    r = {target, target + ".XXXXXX", nullptr};
    // Exclusive creation under a fresh name, mode 0600: a file or a link
    // planted in the folder is never opened, let alone written through.
    const int fd = ::mkostemp(r.temporary.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) r.file = ::fdopen(fd, "wb");
    if (r.file) return true;
    if (fd >= 0) {
        ::close(fd);
        ::unlink(r.temporary.c_str());
    }
    return false;
}

bool commitReplacement(Replacement& r) {
    const int fd = ::fileno(r.file);
    bool ok = std::fflush(r.file) == 0 && ::fchmod(fd, finalMode(r.target)) == 0 && ::fsync(fd) == 0;
    // A failed close is a failed write.
    ok = std::fclose(r.file) == 0 && ok;
    r.file = nullptr;
    const bool renamed = ok && std::rename(r.temporary.c_str(), r.target.c_str()) == 0;
    if (!renamed) ::unlink(r.temporary.c_str());
    if (renamed) syncFolder(folderOf(r.target));
    return renamed;
}

void abandonReplacement(Replacement& r) {
    std::fclose(r.file);
    r.file = nullptr;
    ::unlink(r.temporary.c_str());
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
