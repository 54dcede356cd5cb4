// cli_batch.cpp - see cli_batch.h.
#include "cli/cli_batch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "cli/cli_backend.h"
#include "cli/cli_json.h"
#include "cli/cli_load.h"
#include "cli/cli_output.h"
#include "cli/cli_pictures.h"
#include "cli/cli_source.h"
#include "map/archive_kind.h"
#include "map/model.h"

namespace {

enum { MAX_JOBS = 256, MAX_BASE_NAME = 160 };

struct BatchOptions {
    std::vector<int> views;  // view command identifiers, in the order asked
    int32_t width, height;
    int32_t thumbnailSide;   // 0: no thumbnail
    int32_t jobs;
    std::string outDir;
};

// One level to draw, or a PATH that failed before any level could be
// found in it (error set).
struct Level {
    size_t source;     // index into sources
    std::string name;  // the source as the record names it
    int archive;       // 1: a row of an archive
    size_t rowIndex;
    std::string row;
    std::string base;  // what the pictures' names begin with
    std::string error;
};

std::vector<CliSource> sources;
std::vector<Level> levels;
BatchOptions options;

// ---- The line -------------------------------------------------------------------------

int ParseViews(const std::string &list, std::vector<int> *views) {
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int view = ViewModeByName(name.c_str());
        if (!view || std::find(views->begin(), views->end(), view) != views->end()) return 0;
        views->push_back(view);
        if (comma == std::string::npos) return 1;
        start = comma + 1;
    }
}

// The cores this process may run on.
int32_t CoreCount(void) {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? int32_t(n) : 1;
}

// Returns 0 when the line is good, else the status of bad usage.
int ReadOptions(const CliArgs &args) {
    options = BatchOptions{{}, 800, 600, 0, CoreCount(), ""};
    if (!args.given[OPT_OUT]) return CliUsageError("batch needs -o OUTDIR");
    options.outDir = args.value[OPT_OUT];
    if (!ParseViews(args.given[OPT_VIEWS] ? args.value[OPT_VIEWS] : "3dz", &options.views))
        return CliUsageError("--views needs views from xy xz yz 3dx 3dy 3dz, separated by commas, each once");
    if (args.given[OPT_SIZE] && (!ParseSize(args.value[OPT_SIZE].c_str(), &options.width, &options.height) ||
                                 options.width < 1 || options.height < 1))
        return CliUsageError("--size needs WxH, each side from 1 to 16384");
    if (args.given[OPT_THUMBNAIL] &&
        !ParseCount(args.value[OPT_THUMBNAIL].c_str(), MAX_THUMBNAIL_SIDE, &options.thumbnailSide))
        return CliUsageError("--thumbnail needs a side from 1 to 4096");
    if (args.given[OPT_JOBS] && !ParseCount(args.value[OPT_JOBS].c_str(), MAX_JOBS, &options.jobs))
        return CliUsageError("--jobs needs a number from 1 to 256");
    return 0;
}

// OUTDIR, made when it is not there (its parent must be).
int MakeOutDir(void) {
    const char *dir = options.outDir.c_str();
    if (mkdir(dir, 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "korvitan-cli: cannot create %s: %s\n", dir, std::strerror(errno));
        return 0;
    }
    struct stat st;
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "korvitan-cli: cannot write into %s: %s\n", dir,
                     std::strerror(errno ? errno : ENOTDIR));
        return 0;
    }
    return 1;
}

// ---- Names ----------------------------------------------------------------------------------

// Appends the parts of a path, each reduced to safe bytes, joined by '_';
// empty parts, "." and ".." are dropped, so nothing of it can climb.
void AppendParts(const std::string &path, std::string *base) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find_first_of("/\\", start);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == "." || part == "..") continue;
        if (!base->empty()) *base += '_';
        for (char c : part) {
            bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '-' || c == '+' || c == '_';
            *base += safe ? c : '_';
        }
    }
}

std::string Lowered(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// The base of a level's names: "PATHPART_BELOW_ROW" less a final ".bsp",
// never empty, never beginning with '.', at most MAX_BASE_NAME bytes, and
// numbered ("-2", "-3", ...) where an earlier level has it in any case. A
// picture's name is the base, '.', a word without a dot and ".png", so
// two different bases never give one name.
std::string BaseName(const std::string &named, const std::string &row, std::set<std::string> *taken) {
    std::string base;
    AppendParts(named == "-" ? std::string("stdin") : named, &base);
    AppendParts(row, &base);
    if (base.size() > 4 && Lowered(base.substr(base.size() - 4)) == ".bsp") base.resize(base.size() - 4);
    if (base.size() > MAX_BASE_NAME) base.resize(MAX_BASE_NAME);
    if (base.empty()) base = "level";
    if (base[0] == '.') base[0] = '_';
    std::string chosen = base;
    for (int n = 2; taken->count(Lowered(chosen)); n++) chosen = base + "-" + std::to_string(n);
    taken->insert(Lowered(chosen));
    return chosen;
}

// ---- What is to be drawn ------------------------------------------------------------------

void AddFailure(const std::string &name, const std::string &error) {
    Level level{};
    level.name = name;
    level.error = error;
    levels.push_back(level);
}

// Adds the levels of one file: its rows when it is an archive, known by
// its name, or its first bytes too where byFirstBytes (a file named on the
// line, not met in a folder). shown is the name the pictures come from.
// A stream named twice ("-" twice, say) is read once: the second read
// would find it at its end, and its name would stand for the empty block.
size_t StreamAlreadyRead(const std::string &path) {
    for (size_t i = 0; i < sources.size(); i++)
        if (sources[i].kind == SOURCE_MEMORY && sources[i].path == path) return i;
    return sources.size();
}

void AddFile(const std::string &path, const std::string &shown, int byFirstBytes) {
    size_t index = StreamAlreadyRead(path);
    if (index == sources.size()) {
        CliSource source;
        if (!OpenSource(path.c_str(), &source)) {
            AddFailure(path, source.error);
            return;
        }
        sources.push_back(source);
    }
    const CliSource &source = sources[index];
    Level level{};
    level.source = index;
    level.name = path;
    level.base = shown;  // the name's start for now; BaseName comes later
    if (!SourceIsArchive(&source, byFirstBytes)) {
        levels.push_back(level);
        return;
    }
    std::string error;
    cliState.source = path;
    int listed = ListArchiveRows(&source, &error);
    FreeMapData();
    if (!listed || cliState.offeredRows.empty()) {
        AddFailure(path, listed ? "the archive lists no map" : error);
        return;
    }
    level.archive = 1;
    for (size_t i = 0; i < cliState.offeredRows.size(); i++) {
        level.rowIndex = i;
        level.row = cliState.offeredRows[i];
        levels.push_back(level);
    }
}

// Whether a file met in a folder is taken: a level or an archive by name.
int IsTakenName(const char *name) {
    size_t n = std::strlen(name);
    return (n >= 4 && Lowered(name + n - 4) == ".bsp") || HasArchiveEnding(name);
}

struct Walk {
    std::string rootReal;  // the folder given, links resolved
    std::set<std::pair<dev_t, ino_t>> seen;  // folders walked, so a link cannot loop
};

// Where a link in the folder ends, when that is inside the folder.
int InsideRoot(const Walk &walk, const std::string &path, std::string *real) {
    char *resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return 0;
    *real = resolved;
    std::free(resolved);
    const std::string &root = walk.rootReal;
    return real->compare(0, root.size(), root) == 0 && (real->size() == root.size() || (*real)[root.size()] == '/' || root == "/");
}

void WalkFolder(Walk *walk, const std::string &dir, const std::string &shown) {
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !walk->seen.insert({st.st_dev, st.st_ino}).second) return;
    DIR *d = opendir(dir.c_str());
    if (!d) {
        AddFailure(dir, std::string("Can't open folder: ") + std::strerror(errno));
        return;
    }
    std::vector<std::string> names;
    while (struct dirent *entry = readdir(d)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        std::string path = dir + (dir.back() == '/' ? "" : "/") + name;
        std::string real;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode) && (!InsideRoot(*walk, path, &real) || stat(path.c_str(), &st) != 0)) continue;
        if (S_ISDIR(st.st_mode)) WalkFolder(walk, path, shown + "/" + name);
        else if (S_ISREG(st.st_mode) && IsTakenName(name.c_str())) AddFile(path, shown + "/" + name, 0);
    }
}

// The last part of a PATH as given ("maps" of "/srv/maps/"), where the
// pictures' names begin.
std::string LastPart(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void AddPath(const std::string &path) {
    SourceKind kind;
    std::string error;
    if (!LookAtSource(path.c_str(), &kind, &error)) {
        AddFailure(path, error);
        return;
    }
    if (kind != SOURCE_FOLDER) {
        AddFile(path, LastPart(path), 1);
        return;
    }
    Walk walk;
    char *real = realpath(path.c_str(), nullptr);
    walk.rootReal = real ? real : path;
    std::free(real);
    WalkFolder(&walk, path, LastPart(path));
}

void NameLevels(void) {
    std::set<std::string> taken;
    for (Level &level : levels)
        if (level.error.empty()) level.base = BaseName(level.base, level.row, &taken);
}

// ---- Drawing one level (in a worker) -------------------------------------------------------

std::string OutPath(const std::string &name) { return options.outDir + "/" + name; }

// Writes one picture as OUTDIR/name; 0 with *error set on failure.
int WriteOne(const std::string &name, int view, std::string *error) {
    OutputFile out;
    std::string path = OutPath(name);
    int ok = OutputBeginReplacing(&out, path.c_str());
    if (ok) {
        if (view) ok = WritePicture(view, nullptr, PICTURE_PNG, &out);
        else ok = WriteThumbnail(options.thumbnailSide, 0, &out);
        if (!ok && !out.error) out.error = EIO;
        ok = OutputCommit(&out);
    }
    if (!ok) *error = "cannot write " + name + ": " + std::strerror(out.error);
    return ok;
}

// The pictures of the loaded level; on failure those already written are
// removed, so a level has all its pictures or none.
int WritePictures(const Level &level, Json *files, std::string *error) {
    std::vector<std::string> written;
    int ok = 1;
    cliState.clientRight = options.width;
    cliState.clientBottom = options.height;
    for (int view : options.views) {
        std::string name = level.base + "." + ViewName(view) + ".png";
        if (!(ok = WriteOne(name, view, error))) break;
        written.push_back(name);
        (*files)[ViewName(view)] = name;
    }
    if (ok && options.thumbnailSide) {
        std::string name = level.base + ".thumbnail.png";
        if ((ok = WriteOne(name, 0, error))) (*files)["thumbnail"] = name;
        written.push_back(name);
    }
    if (ok) return 1;
    for (const std::string &name : written) unlink(OutPath(name).c_str());
    *files = Json::object();
    return 0;
}

Json DrawLevel(const Level &level) {
    std::string error;
    const CliSource &source = sources[level.source];
    int loaded = level.archive ? LoadRowAt(&source, level.rowIndex, level.row, &error)
                               : LoadLevel(&source, 0, nullptr, &error);
    Json record = loaded ? LevelFactsJson(level.name, level.row) : MissingFactsJson(level.name, level.row);
    Json files = Json::object();
    if (loaded && !WritePictures(level, &files, &error)) {
        record = MissingFactsJson(level.name, level.row);
        loaded = 0;
    }
    FreeMapData();
    record["files"] = files;
    record["error"] = loaded ? Json(nullptr) : Json(error);
    return record;
}

// ---- Workers ------------------------------------------------------------------------------
// A worker reads the index of a level (4 bytes) from its task pipe, draws
// it and answers on its result pipe with the index, the length of the
// record and the record's JSON text; at the end of the task pipe it exits.

struct Worker {
    pid_t pid;
    int taskFd, resultFd;  // the parent's ends
    long level;            // the level it is drawing, or -1
    std::string pending;   // bytes of an answer read so far
};

std::vector<Worker> workers;

int ReadAllFrom(int fd, void *bytes, size_t n) {
    char *p = static_cast<char *>(bytes);
    while (n > 0) {
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return 0;
        p += r;
        n -= size_t(r);
    }
    return 1;
}

[[noreturn]] void RunWorker(int taskFd, int resultFd) {
    std::signal(SIGPIPE, SIG_DFL);
    cliState.quiet = true;
    // The cores are the workers' to share: one thread each.
    cliState.rasterThreads = options.jobs > 1 ? 1 : 0;
    uint32_t index;
    while (ReadAllFrom(taskFd, &index, sizeof index)) {
        std::string text = JsonText(DrawLevel(levels[index]), false);
        uint32_t header[2] = {index, uint32_t(text.size())};
        if (WriteFully(resultFd, header, sizeof header) || WriteFully(resultFd, text.data(), text.size()))
            break;
    }
    _exit(0);
}

int StartWorker(Worker *worker) {
    int task[2], result[2];
    if (pipe2(task, O_CLOEXEC) != 0) return 0;
    if (pipe2(result, O_CLOEXEC) != 0) {
        close(task[0]);
        close(task[1]);
        return 0;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        for (const Worker &other : workers) {
            if (other.pid <= 0) continue;
            close(other.taskFd);
            close(other.resultFd);
        }
        close(task[1]);
        close(result[0]);
        RunWorker(task[0], result[1]);
    }
    close(task[0]);
    close(result[1]);
    if (pid < 0) {
        close(task[1]);
        close(result[0]);
        return 0;
    }
    *worker = Worker{pid, task[1], result[0], -1, ""};
    return 1;
}

// ---- Progress ------------------------------------------------------------------------------

struct Progress {
    bool shown;
    size_t done, total;
    std::chrono::steady_clock::time_point start, lastDrawn;
};

Progress progress;

void DrawProgress(bool force) {
    if (!progress.shown) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - progress.lastDrawn < std::chrono::milliseconds(100)) return;
    progress.lastDrawn = now;
    double seconds = std::chrono::duration<double>(now - progress.start).count();
    double rate = seconds > 0 ? double(progress.done) / seconds : 0;
    const int WIDTH = 30;
    int filled = progress.total ? int(WIDTH * progress.done / progress.total) : WIDTH;
    std::string bar(size_t(filled), '=');
    bar.resize(WIDTH, ' ');
    char left[32] = "";
    if (rate > 0) {
        long remaining = long(double(progress.total - progress.done) / rate + 0.5);
        std::snprintf(left, sizeof left, "%ld:%02ld left", remaining / 60, remaining % 60);
    }
    std::fprintf(stderr, "\r[%s] %zu/%zu levels  %.1f levels/s  %s\033[K", bar.c_str(), progress.done,
                 progress.total, rate, left);
    std::fflush(stderr);
}

// A failure, as the one-file commands print it, above the bar.
void PrintFailure(const Level &level, const std::string &error) {
    std::string where = level.name + (level.row.empty() ? "" : ": " + level.row);
    std::fprintf(stderr, "%skorvitan-cli: %s: %s\n", progress.shown ? "\r\033[K" : "", where.c_str(),
                 error.c_str());
    DrawProgress(true);
}

// ---- The parent's loop -------------------------------------------------------------------

std::vector<Json> records;
std::vector<uint32_t> queue;  // levels not yet handed out, in order
size_t queued;                // how many of them have been

void Finish(size_t index, Json record) {
    if (!record["error"].is_null()) PrintFailure(levels[index], record["error"].get<std::string>());
    records[index] = std::move(record);
    progress.done++;
    DrawProgress(progress.done == progress.total);
}

// Hands the worker its next level, or closes its task pipe when none is left.
void Feed(Worker *worker) {
    if (queued < queue.size()) {
        uint32_t index = queue[queued++];
        worker->level = long(index);
        if (WriteFully(worker->taskFd, &index, sizeof index) == 0) return;
        // It has gone; its result pipe tells, and the level is lost with it.
        return;
    }
    worker->level = -1;
    if (worker->taskFd >= 0) close(worker->taskFd);
    worker->taskFd = -1;
}

// Takes the complete answers out of what the worker sent.
void TakeAnswers(Worker *worker) {
    std::string &p = worker->pending;
    while (p.size() >= 8) {
        uint32_t header[2];
        std::memcpy(header, p.data(), sizeof header);
        if (p.size() < 8 + size_t(header[1])) return;
        Json record = Json::parse(p.substr(8, header[1]), nullptr, false);
        p.erase(0, 8 + size_t(header[1]));
        if (header[0] >= levels.size() || record.is_discarded()) continue;
        Finish(header[0], std::move(record));
        Feed(worker);
    }
}

// The worker has ended: its level, if any, gets an error record, and a
// new worker takes its place while levels remain.
void WorkerEnded(Worker *worker) {
    close(worker->resultFd);
    if (worker->taskFd >= 0) close(worker->taskFd);
    int status = 0;
    waitpid(worker->pid, &status, 0);
    worker->pid = -1;
    if (worker->level >= 0) {
        const Level &level = levels[size_t(worker->level)];
        Json record = MissingFactsJson(level.name, level.row);
        record["files"] = Json::object();
        char why[96];
        if (WIFSIGNALED(status))
            std::snprintf(why, sizeof why, "the worker drawing it ended by signal %d (%s)", WTERMSIG(status),
                          strsignal(WTERMSIG(status)));
        else
            std::snprintf(why, sizeof why, "the worker drawing it ended with status %d", WEXITSTATUS(status));
        record["error"] = why;
        Finish(size_t(worker->level), std::move(record));
    }
    if (queued < queue.size() && StartWorker(worker)) Feed(worker);
}

int RunWorkers(void) {
    size_t count = std::min(queue.size(), size_t(options.jobs));
    workers.assign(count, Worker{-1, -1, -1, -1, ""});
    for (Worker &worker : workers) {
        if (!StartWorker(&worker)) {
            std::fprintf(stderr, "korvitan-cli: cannot start a worker: %s\n", std::strerror(errno));
            return 0;
        }
    }
    for (Worker &worker : workers) Feed(&worker);
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Worker *> owners;
        for (Worker &worker : workers)
            if (worker.pid > 0) {
                fds.push_back(pollfd{worker.resultFd, POLLIN, 0});
                owners.push_back(&worker);
            }
        if (fds.empty()) return 1;
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        for (size_t i = 0; i < fds.size(); i++) {
            if (!fds[i].revents) continue;
            char buffer[65536];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                WorkerEnded(owners[i]);
                continue;
            }
            owners[i]->pending.append(buffer, size_t(got));
            TakeAnswers(owners[i]);
        }
    }
}

// ---- The manifest ---------------------------------------------------------------------------

int WriteManifest(void) {
    Json manifest = Json::object();
    manifest["levels"] = Json::array();
    for (Json &record : records) manifest["levels"].push_back(std::move(record));
    std::string text = JsonText(manifest, true) + "\n";
    std::string path = OutPath("manifest.json");
    OutputFile out;
    int ok = OutputBeginReplacing(&out, path.c_str());
    if (ok) {
        OutputWrite(&out, text.data(), text.size());
        ok = OutputCommit(&out);
    }
    if (!ok) std::fprintf(stderr, "korvitan-cli: cannot write %s: %s\n", path.c_str(), std::strerror(out.error));
    return ok;
}

}  // namespace

int CommandBatch(const CliArgs &args) {
    if (int status = ReadOptions(args)) return status;
    if (!MakeOutDir()) return 1;
    cliState.quiet = true;
    for (const std::string &path : args.names) AddPath(path);
    NameLevels();

    records.assign(levels.size(), Json());
    progress = Progress{isatty(STDERR_FILENO) != 0, 0, levels.size(), std::chrono::steady_clock::now(), {}};
    DrawProgress(true);
    for (size_t i = 0; i < levels.size(); i++) {
        if (!levels[i].error.empty()) {
            Json record = MissingFactsJson(levels[i].name, "");
            record["files"] = Json::object();
            record["error"] = levels[i].error;
            Finish(i, std::move(record));
        } else {
            queue.push_back(uint32_t(i));
        }
    }
    // A worker that has gone is seen at the end of its result pipe; a
    // write to its task pipe must not end the parent.
    std::signal(SIGPIPE, SIG_IGN);
    int ran = RunWorkers();
    std::signal(SIGPIPE, SIG_DFL);
    if (progress.shown) std::fputc('\n', stderr);
    int failed = !ran;
    for (const Json &record : records) failed |= record.is_null() || !record["error"].is_null();
    if (!WriteManifest()) failed = 1;
    for (CliSource &source : sources) CloseSource(&source);
    return failed ? 1 : 0;
}
