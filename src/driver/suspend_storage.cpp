#include "driver/suspend_storage.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

// ---- the lock ----

namespace {

void writeOwnPid(int fd) {
    const std::string pid = std::to_string(long(::getpid())) + "\n";
    if (::ftruncate(fd, 0) != 0) return;
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
}

long pidWrittenIn(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? std::strtol(text, nullptr, 10) : 0;
}

// Whether the name still leads to the file that was opened: a holder that
// let its lock go has removed the file, and a lock on the removed file
// keeps no one out.
bool nameStillLeadsTo(const std::string& path, int fd) {
    struct stat named {}, opened {};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(fd, &opened) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

// Opens the lock file, not a link planted in its place. Another user's lock
// file may be open for reading only; the lock works on that too.
int openLockFile(const std::string& path) {
    const int flags = O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    const int fd = ::open(path.c_str(), O_RDWR | flags, 0644);
    return fd >= 0 || errno != EACCES ? fd : ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

LockOutcome takeSuspendLock(SuspendLock& lock, const std::string& suspendFile, long& holderPid) {
    const std::string path = suspendFile + ".lock";
    if (lock.fd >= 0 && lock.path == path) return LockOutcome::TAKEN;
    releaseSuspendLock(lock);
    holderPid = 0;
    // A few rounds: each lost one means that the holder let go (and
    // removed the file) between the open and the lock.
    for (int round = 0; round < 8; ++round) {
        const int fd = openLockFile(path);
        if (fd < 0) return LockOutcome::UNAVAILABLE;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            if (held) holderPid = pidWrittenIn(fd);
            ::close(fd);
            return held ? LockOutcome::HELD_BY_OTHER : LockOutcome::UNAVAILABLE;
        }
        if (nameStillLeadsTo(path, fd)) {
            writeOwnPid(fd);
            lock = {path, fd};
            return LockOutcome::TAKEN;
        }
        ::close(fd);
    }
    return LockOutcome::UNAVAILABLE;
}

void releaseSuspendLock(SuspendLock& lock) {
    if (lock.fd < 0) return;
    // Removed while still held: a run that opened it just before finds,
    // once it has the lock, that the name leads elsewhere, and tries again.
    ::unlink(lock.path.c_str());
    ::close(lock.fd);
    lock = {};
}

// ---- the replacement ----

namespace {

constexpr int GUARDED_SIGNALS[] = {SIGTERM, SIGHUP};
constexpr size_t GUARDED_COUNT = sizeof GUARDED_SIGNALS / sizeof GUARDED_SIGNALS[0];
struct sigaction previousActions[GUARDED_COUNT];
bool guarded[GUARDED_COUNT];
// The temporary file a guarded signal removes: set once the file exists,
// cleared before it is renamed or removed.
std::atomic<const char*> temporaryToRemove{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free, "read by a signal handler");

// Async-signal-safe: the unlink of a name made before, then the signal
// again with the action it had before the save (the console's guard, which
// sets the terminal back and ends the process).
void removeTemporaryAndEnd(int signalNumber) {
    if (const char* path = temporaryToRemove.load()) ::unlink(path);
    for (size_t i = 0; i < GUARDED_COUNT; ++i)
        if (GUARDED_SIGNALS[i] == signalNumber) ::sigaction(signalNumber, &previousActions[i], nullptr);
    ::raise(signalNumber);
}

bool isIgnored(const struct sigaction& action) {
    return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN;
}

// While the temporary file comes into being or goes, and the handler's name
// of it with it, the guarded signals wait. The solving thread is the only
// one that takes them during a save: the main thread blocks them while it
// waits for the solving thread, and the key poller has ended.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : GUARDED_SIGNALS) sigaddset(&set, s);
        ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

// A signal the run ignores (started under nohup) stays ignored: the save
// goes on through it.
void guardSignals() {
    for (size_t i = 0; i < GUARDED_COUNT; ++i) {
        ::sigaction(GUARDED_SIGNALS[i], nullptr, &previousActions[i]);
        guarded[i] = !isIgnored(previousActions[i]);
        if (!guarded[i]) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporaryAndEnd;
        sigemptyset(&action.sa_mask);
        ::sigaction(GUARDED_SIGNALS[i], &action, nullptr);
    }
}

void unguardSignals() {
    for (size_t i = 0; i < GUARDED_COUNT; ++i)
        if (guarded[i]) ::sigaction(GUARDED_SIGNALS[i], &previousActions[i], nullptr);
}

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

void forgetTemporary(Replacement& r) {
    {
        SignalsHeld held;
        temporaryToRemove = nullptr;
    }
    unguardSignals();
    r.file = nullptr;
}

}  // namespace

bool beginReplacement(Replacement& r, const std::string& target) {
    r = {target, target + ".XXXXXX", nullptr};
    SignalsHeld held;
    guardSignals();
    // Exclusive creation under a fresh name, mode 0600: a file or a link
    // planted in the folder is never opened, let alone written through.
    const int fd = ::mkostemp(r.temporary.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) r.file = ::fdopen(fd, "wb");
    if (r.file) {
        temporaryToRemove = r.temporary.c_str();
        return true;
    }
    if (fd >= 0) {
        ::close(fd);
        ::unlink(r.temporary.c_str());
    }
    unguardSignals();
    return false;
}

bool commitReplacement(Replacement& r) {
    const int fd = ::fileno(r.file);
    bool ok = std::fflush(r.file) == 0 && ::fchmod(fd, finalMode(r.target)) == 0 && ::fsync(fd) == 0;
    // A failed close is a failed write.
    ok = std::fclose(r.file) == 0 && ok;
    bool renamed = false;
    if (ok) {
        SignalsHeld held;
        renamed = std::rename(r.temporary.c_str(), r.target.c_str()) == 0;
        if (renamed) temporaryToRemove = nullptr;
    }
    if (!renamed) ::unlink(r.temporary.c_str());
    forgetTemporary(r);
    if (renamed) syncFolder(folderOf(r.target));
    return renamed;
}

void abandonReplacement(Replacement& r) {
    std::fclose(r.file);
    ::unlink(r.temporary.c_str());
    forgetTemporary(r);
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
