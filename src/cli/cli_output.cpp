// cli_output.cpp - see cli_output.h.
#include "cli/cli_output.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// The named temporary file an interrupt must remove; empty when none. The
// handler only calls unlink and raise, which are safe in a signal handler.
static volatile sig_atomic_t haveNamedTemp;
static char namedTempPath[OUTPUT_PATH_SIZE];

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

static int Fail(OutputFile *out, int error) {
    if (!out->error) out->error = error;
    return 0;
}

static int CopyPath(const char *path, char *out, size_t capacity) {
    return std::snprintf(out, capacity, "%s", path) < int(capacity);
}

// ---- What OUT is ------------------------------------------------------------------

enum TargetKind {
    TARGET_NEW,    // no file by that name (finalPath: where to create it)
    TARGET_PLAIN,  // a plain file (finalPath: the file, links followed)
    TARGET_OTHER,  // anything else, or what cannot be told: opened as it is
};

enum { MAX_LINK_HOPS = 40 };  // as the kernel's own limit

// The path a link's text names, relative to the folder the link is in.
static int JoinLinkText(const char *link, const char *text, char *out, size_t capacity) {
    const char *slash = std::strrchr(link, '/');
    if (text[0] == '/' || !slash) return CopyPath(text, out, capacity);
    int n = std::snprintf(out, capacity, "%.*s/%s", int(slash - link), link, text);
    return n > 0 && size_t(n) < capacity;
}

// A link whose end does not exist: follows it link by link to the name at
// its end, where a new file is then created. TARGET_OTHER when the chain
// is too long or ends at something that has appeared since.
static TargetKind FollowToNewName(const char *target, char *finalPath, size_t capacity) {
    char path[OUTPUT_PATH_SIZE], text[OUTPUT_PATH_SIZE];
    if (!CopyPath(target, path, sizeof path)) return TARGET_OTHER;
    for (int hop = 0; hop < MAX_LINK_HOPS; hop++) {
        struct stat s;
        if (lstat(path, &s) != 0)
            return errno == ENOENT && CopyPath(path, finalPath, capacity) ? TARGET_NEW : TARGET_OTHER;
        if (!S_ISLNK(s.st_mode)) return TARGET_OTHER;
        ssize_t n = readlink(path, text, sizeof text - 1);
        if (n < 0) return TARGET_OTHER;
        text[n] = '\0';
        char next[OUTPUT_PATH_SIZE];
        if (!JoinLinkText(path, text, next, sizeof next)) return TARGET_OTHER;
        std::memcpy(path, next, sizeof path);
    }
    return TARGET_OTHER;
}

// A link that ends at a plain file: the file's own path, when the link
// can be followed to one. A descriptor link (/proc/self/fd/N) to a file
// that has been removed names no path ("... (deleted)"), and is written
// through as it is.
static TargetKind FollowToPlainFile(const char *target, const struct stat &end, char *finalPath,
                                    size_t capacity) {
    char *real = realpath(target, nullptr);
    struct stat s;
    int same = real && lstat(real, &s) == 0 && S_ISREG(s.st_mode) && s.st_dev == end.st_dev &&
               s.st_ino == end.st_ino && CopyPath(real, finalPath, capacity);
    std::free(real);
    return same ? TARGET_PLAIN : TARGET_OTHER;
}

static TargetKind ClassifyTarget(const char *target, char *finalPath, size_t capacity) {
    struct stat s;
    if (lstat(target, &s) != 0) {
        // No such name: a new file (a missing folder shows when it is made).
        // Any other reason shows when OUT is opened.
        return errno == ENOENT && CopyPath(target, finalPath, capacity) ? TARGET_NEW : TARGET_OTHER;
    }
    if (S_ISREG(s.st_mode)) return CopyPath(target, finalPath, capacity) ? TARGET_PLAIN : TARGET_OTHER;
    if (!S_ISLNK(s.st_mode)) return TARGET_OTHER;
    struct stat end;
    if (stat(target, &end) != 0)
        return errno == ENOENT ? FollowToNewName(target, finalPath, capacity) : TARGET_OTHER;
    if (S_ISREG(end.st_mode)) return FollowToPlainFile(target, end, finalPath, capacity);
    return TARGET_OTHER;
}

// ---- A new file, put in place when whole ------------------------------------------------

// The folder part of path ("." when it has none), into dir.
static int FolderOf(const char *path, char *dir, size_t capacity) {
    const char *slash = std::strrchr(path, '/');
    if (!slash) return CopyPath(".", dir, capacity);
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

static int BeginTemporary(OutputFile *out) {
    out->way = OUTPUT_WAY_TEMPORARY;
    char dir[OUTPUT_PATH_SIZE];
    if (!FolderOf(out->finalPath, dir, sizeof dir) ||
        !TempTemplate(out->finalPath, out->tempPath, sizeof out->tempPath))
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

// Gives up: removes the temporary file; the target is untouched.
static void AbandonTemporary(OutputFile *out) {
    if (out->fd >= 0) close(out->fd);
    out->fd = -1;
    if (out->named) {
        unlink(out->tempPath);
        ForgetNamedTemp();
        out->named = 0;
    }
}

// Gives the unnamed file a name beside the target, so that it can be
// renamed over the target in one step (linking straight to the target
// would refuse to replace an existing file).
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

static int CommitTemporary(OutputFile *out) {
    if (!out->error && fsync(out->fd) != 0) Fail(out, errno);
    if (!out->error && !out->named) NameTheFile(out);
    if (!out->error && close(out->fd) != 0) Fail(out, errno);
    else if (out->error) close(out->fd);
    out->fd = -1;
    if (!out->error && rename(out->tempPath, out->finalPath) != 0) Fail(out, errno);
    if (out->error) {
        AbandonTemporary(out);
        return 0;
    }
    ForgetNamedTemp();
    out->named = 0;
    return 1;
}

// ---- An existing file written through its own inode -----------------------------------

static int Hold(OutputFile *out, const void *bytes, size_t n) {
    if (n > out->heldCapacity - out->heldSize) {
        size_t wanted = out->heldCapacity ? out->heldCapacity : 1 << 16;
        while (wanted - out->heldSize < n) {
            if (wanted > SIZE_MAX / 2) return Fail(out, ENOMEM);
            wanted *= 2;
        }
        void *grown = std::realloc(out->held, wanted);
        if (!grown) return Fail(out, ENOMEM);
        out->held = static_cast<unsigned char *>(grown);
        out->heldCapacity = wanted;
    }
    std::memcpy(out->held + out->heldSize, bytes, n);
    out->heldSize += n;
    return 1;
}

int WriteFully(int fd, const void *bytes, size_t n) {
    const char *p = static_cast<const char *>(bytes);
    while (n > 0) {
        ssize_t written = write(fd, p, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : EIO;
        p += written;
        n -= size_t(written);
    }
    return 0;
}

static int WriteAll(OutputFile *out, const void *bytes, size_t n) {
    int error = WriteFully(out->fd, bytes, n);
    return error ? Fail(out, error) : 1;
}

// The file is emptied only now, with the whole picture at hand, so a
// picture that could not be made leaves it as it was.
static int CommitHeld(OutputFile *out) {
    if (!out->error && ftruncate(out->fd, 0) != 0) Fail(out, errno);
    if (!out->error) WriteAll(out, out->held, out->heldSize);
    if (!out->error && fsync(out->fd) != 0) Fail(out, errno);
    std::free(out->held);
    out->held = nullptr;
    out->heldSize = out->heldCapacity = 0;
    return !out->error;
}

// ---- Anything else, written straight into ---------------------------------------------

// A socket this process holds open (OUT is /dev/stdout or /proc/self/fd/N
// while that descriptor is a socket): a second descriptor of it.
static int DuplicateHeldSocket(const struct stat &socket) {
    DIR *dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (struct dirent *entry = readdir(dir)) {
        char *end = nullptr;
        long fd = std::strtol(entry->d_name, &end, 10);
        struct stat s;
        if (end == entry->d_name || *end != '\0' || fd == dirfd(dir) || fd > INT_MAX) continue;
        if (fstat(int(fd), &s) == 0 && s.st_dev == socket.st_dev && s.st_ino == socket.st_ino) {
            found = fcntl(int(fd), F_DUPFD_CLOEXEC, 3);
            break;
        }
    }
    closedir(dir);
    return found;
}

// A socket by its name in the file system: connected to, as a stream.
static int ConnectToSocket(const char *path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::strcpy(address.sun_path, path);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) return fd;
    int error = errno;
    close(fd);
    errno = error;
    return -1;
}

// Opens what OUT is. A plain file found here after all (a descriptor link
// to a removed file) is written through its inode, as one that exists.
static int BeginStraight(OutputFile *out, const char *target) {
    out->way = OUTPUT_WAY_STREAM;
    out->fd = open(target, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (out->fd < 0 && errno == ENXIO) {  // a socket cannot be opened, only reached
        struct stat s;
        if (stat(target, &s) == 0 && S_ISSOCK(s.st_mode)) {
            out->fd = DuplicateHeldSocket(s);
            if (out->fd < 0) out->fd = ConnectToSocket(target);
        } else {
            errno = ENXIO;
        }
    }
    if (out->fd < 0) return Fail(out, errno);
    struct stat s;
    if (fstat(out->fd, &s) == 0 && S_ISREG(s.st_mode)) out->way = OUTPUT_WAY_HELD;
    return 1;
}

// ---- The interface ----------------------------------------------------------------------------

int OutputBegin(OutputFile *out, const char *target, OutputExisting existing) {
    *out = OutputFile{};
    out->fd = -1;
    switch (ClassifyTarget(target, out->finalPath, sizeof out->finalPath)) {
    case TARGET_NEW: return BeginTemporary(out);
    case TARGET_PLAIN:
        if (existing == OUTPUT_REPLACE) return BeginTemporary(out);
        out->way = OUTPUT_WAY_HELD;
        out->fd = open(out->finalPath, O_WRONLY | O_NOCTTY | O_CLOEXEC);
        return out->fd >= 0 ? 1 : Fail(out, errno);
    case TARGET_OTHER: break;
    }
    return BeginStraight(out, target);
}

int OutputBeginReplacing(OutputFile *out, const char *target) {
    *out = OutputFile{};
    out->fd = -1;
    if (!CopyPath(target, out->finalPath, sizeof out->finalPath)) return Fail(out, ENAMETOOLONG);
    return BeginTemporary(out);
}

int OutputBeginStandard(OutputFile *out) {
    *out = OutputFile{};
    out->way = OUTPUT_WAY_STREAM;
    out->fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    return out->fd >= 0 ? 1 : Fail(out, errno);
}

int OutputWrite(OutputFile *out, const void *bytes, size_t n) {
    if (out->error) return 0;
    if (out->way == OUTPUT_WAY_HELD) return Hold(out, bytes, n);
    return WriteAll(out, bytes, n);
}

int OutputCommit(OutputFile *out) {
    if (out->way == OUTPUT_WAY_TEMPORARY) return CommitTemporary(out);
    if (out->way == OUTPUT_WAY_HELD) CommitHeld(out);
    if (out->fd >= 0 && close(out->fd) != 0) Fail(out, errno);
    out->fd = -1;
    return !out->error;
}
