// cli_output.cpp - see cli_output.h.
#include "cli/cli_output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The named temporary file an interrupt must remove; empty when none. The
// handler only calls unlink and raise, which are safe in a signal handler.
static volatile sig_atomic_t haveNamedTemp;
static char namedTempPath[sizeof OutputFile::tempPath];

static void RemoveTempAndDie(int signal) {
    if (haveNamedTemp) unlink(namedTempPath);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

static void WatchNamedTemp(const char *path) {
    std::snprintf(namedTempPath, sizeof namedTempPath, "%s", path);
    haveNamedTemp = 1;
    static const int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    for (int signal : SIGNALS) std::signal(signal, RemoveTempAndDie);
}

static void ForgetNamedTemp(void) { haveNamedTemp = 0; }

// The folder part of path ("." when it has none), into dir.
static int FolderOf(const char *path, char *dir, size_t capacity) {
    const char *slash = std::strrchr(path, '/');
    if (!slash) return std::snprintf(dir, capacity, ".") < int(capacity);
    size_t n = slash == path ? 1 : size_t(slash - path);
    if (n >= capacity) return 0;
    std::memcpy(dir, path, n);
    dir[n] = '\0';
    return 1;
}

// A hidden name beside target for mkstemp: "dir/.name.XXXXXX".
static int TempTemplate(const char *target, char *out, size_t capacity) {
    const char *slash = std::strrchr(target, '/');
    int n = slash ? std::snprintf(out, capacity, "%.*s/.%s.XXXXXX", int(slash - target), target, slash + 1)
                  : std::snprintf(out, capacity, ".%s.XXXXXX", target);
    return n > 0 && size_t(n) < capacity;
}

static int Fail(OutputFile *out, int error) {
    if (!out->error) out->error = error;
    return 0;
}

int OutputBegin(OutputFile *out, const char *target) {
    *out = OutputFile{};
    out->fd = -1;
    out->target = target;
    char dir[sizeof out->tempPath];
    if (!FolderOf(target, dir, sizeof dir) || !TempTemplate(target, out->tempPath, sizeof out->tempPath))
        return Fail(out, ENAMETOOLONG);
    // A file with no name, in the folder it will be linked into.
    out->fd = open(dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (out->fd >= 0) return 1;
    // Some file systems cannot make one: a named file, removed on failure.
    out->fd = mkstemp(out->tempPath);
    if (out->fd < 0) return Fail(out, errno);
    out->named = 1;
    WatchNamedTemp(out->tempPath);
    // mkstemp makes the file private; give it the mode a new file gets.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(out->fd, 0666 & ~mask);
    return 1;
}

int OutputWrite(OutputFile *out, const void *bytes, size_t n) {
    if (out->error) return 0;
    const char *p = static_cast<const char *>(bytes);
    while (n > 0) {
        ssize_t written = write(out->fd, p, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return Fail(out, written < 0 ? errno : EIO);
        p += written;
        n -= size_t(written);
    }
    return 1;
}

// Gives up: removes the temporary file; target is untouched.
static void OutputAbandon(OutputFile *out) {
    if (out->fd >= 0) close(out->fd);
    out->fd = -1;
    if (out->named) {
        unlink(out->tempPath);
        ForgetNamedTemp();
        out->named = 0;
    }
}

// Gives the unnamed file a name beside target, so that it can be renamed
// over target in one step (linking straight to target would refuse to
// replace an existing file).
static int NameTheFile(OutputFile *out) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", out->fd);
    for (int attempt = 0; attempt < 100; attempt++) {
        char name[sizeof out->tempPath];
        std::memcpy(name, out->tempPath, sizeof name);
        size_t n = std::strlen(name);
        // The X's of the template, replaced by the pid and the attempt.
        std::snprintf(name + n - 6, 7, "%06x", unsigned(getpid() * 100 + attempt) & 0xFFFFFFu);
        if (linkat(AT_FDCWD, self, AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0) {
            std::memcpy(out->tempPath, name, sizeof name);
            out->named = 1;
            WatchNamedTemp(out->tempPath);
            return 1;
        }
        if (errno != EEXIST) return Fail(out, errno);
    }
    return Fail(out, EEXIST);
}

int OutputCommit(OutputFile *out) {
    if (!out->error && fsync(out->fd) != 0) Fail(out, errno);
    if (!out->error && !out->named) NameTheFile(out);
    if (!out->error && close(out->fd) != 0) Fail(out, errno);
    else if (out->error) close(out->fd);
    out->fd = -1;
    if (!out->error && rename(out->tempPath, out->target) != 0) Fail(out, errno);
    if (out->error) {
        OutputAbandon(out);
        return 0;
    }
    ForgetNamedTemp();
    out->named = 0;
    return 1;
}
