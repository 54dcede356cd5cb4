// overlay.cpp - see overlay.h.
#include "map/overlay.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

// ---- Lines and fields ------------------------------------------------------------------

// Where the reading stands: the rest of the text, the current line (its
// end excluded) and the position in it.
struct Reader {
    const char *next;  // the first byte after the current line's end
    const char *end;   // the end of the text
    int64_t lineNumber;
    const char *p;        // in the current line
    const char *lineEnd;  // the current line's end: at its LF, or at the text's end
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

void SkipBlanks(Reader *r) {
    while (r->p < r->lineEnd && IsBlank(*r->p)) r->p++;
}

bool AtLineEnd(Reader *r) {
    SkipBlanks(r);
    return r->p == r->lineEnd;
}

// Moves to the next line that is not blank; false at the end of the text,
// with lineNumber then one past the last line.
bool NextLine(Reader *r) {
    while (r->next < r->end) {
        const char *start = r->next;
        const char *lf = static_cast<const char *>(std::memchr(start, '\n', size_t(r->end - start)));
        r->lineEnd = lf ? lf : r->end;
        r->next = lf ? lf + 1 : r->end;
        r->lineNumber++;
        r->p = start;
        if (!AtLineEnd(r)) return true;
    }
    r->p = r->lineEnd = r->end;
    r->lineNumber++;
    return false;
}

// A field ends at a blank or the line's end, or at ')' where the caller
// allows one (the last coordinate of a portal's point).
bool FieldEnds(const Reader *r, bool parenthesis) {
    return r->p == r->lineEnd || IsBlank(*r->p) || (parenthesis && *r->p == ')');
}

// A number as a C locale prints one (a '+' sign accepted too, as strtod
// does); false, with nothing read, when the next field is none.
template <typename Number>
bool ReadField(Reader *r, Number *value, bool parenthesis) {
    SkipBlanks(r);
    const char *q = r->p;
    if (q < r->lineEnd && *q == '+') {
        q++;
        if (q < r->lineEnd && (*q == '+' || *q == '-')) return false;
    }
    Number v;
    std::from_chars_result got = std::from_chars(q, r->lineEnd, v);
    if (got.ec != std::errc() || got.ptr == q) return false;
    const char *was = r->p;
    r->p = got.ptr;
    if (!FieldEnds(r, parenthesis)) {
        r->p = was;
        return false;
    }
    *value = v;
    return true;
}

// A coordinate: a number rounded to the nearest 32-bit float, as the
// level's vertices are stored, which must be finite: below FLT_MAX plus
// half its last place (so FLT_MAX printed with 9 digits, a hair above it,
// is still FLT_MAX). Not a number fails the comparison too.
bool ReadCoordinate(Reader *r, float *out, bool parenthesis) {
    static const double LIMIT = double(FLT_MAX) + std::ldexp(1.0, 103);
    double v;
    if (!ReadField(r, &v, parenthesis) || !(std::fabs(v) < LIMIT)) return false;
    *out = float(v);
    return true;
}

bool ReadPoint(Reader *r, Vertex *out, bool parenthesis) {
    return ReadCoordinate(r, &out->x, false) && ReadCoordinate(r, &out->y, false) &&
           ReadCoordinate(r, &out->z, parenthesis);
}

// ---- The tables ---------------------------------------------------------------------------
// Grown by doubling as the lines are read, so they hold what the file
// holds and never what its header claims.

struct Tables {
    Overlay *overlay;
    int32_t pointCapacity, pathCapacity;
};

template <typename T>
bool Grow(T **table, int32_t used, int32_t *capacity) {
    if (used < *capacity) return true;
    if (*capacity > INT32_MAX / 2) return false;
    int32_t larger = *capacity ? *capacity * 2 : 1024;
    T *grown = static_cast<T *>(PlatAlloc(size_t(larger) * sizeof(T)));
    if (!grown) return false;
    if (used) std::memcpy(grown, *table, size_t(used) * sizeof(T));
    PlatFree(*table);
    *table = grown;
    *capacity = larger;
    return true;
}

bool AddPoint(Tables *t, const Vertex &point) {
    Overlay *o = t->overlay;
    if (!Grow(&o->points, o->pointCount, &t->pointCapacity)) return false;
    o->points[o->pointCount++] = point;
    return true;
}

bool EndPath(Tables *t) {
    Overlay *o = t->overlay;
    if (!Grow(&o->pathEnds, o->pathCount, &t->pathCapacity)) return false;
    o->pathEnds[o->pathCount++] = o->pointCount;
    return true;
}

// ---- The two formats --------------------------------------------------------------------------

struct Failure {
    int64_t line;
    const char *text;  // null: none
};

Failure FailAt(const Reader *r, const char *text) { return Failure{r->lineNumber, text}; }
const Failure NO_FAILURE = {0, nullptr};
const char OUT_OF_MEMORY[] = "out of memory";

// One polyline of every point, in order.
Failure ParseLeakTrace(Reader *r, Tables *t) {
    Failure failure = NO_FAILURE;
    while (NextLine(r)) {
        Vertex point;
        if (!ReadPoint(r, &point, false)) {
            failure = FailAt(r, "expected three numbers x y z");
            break;
        }
        if (!AtLineEnd(r)) {
            failure = FailAt(r, "expected the end of the line after x y z");
            break;
        }
        if (!AddPoint(t, point)) {
            failure = FailAt(r, OUT_OF_MEMORY);
            break;
        }
    }
    if (t->overlay->pointCount && !EndPath(t)) failure = FailAt(r, OUT_OF_MEMORY);
    return failure;
}

// A line holding one whole number and nothing else.
bool ReadCountLine(Reader *r, int64_t *count) {
    return NextLine(r) && ReadField(r, count, false) && *count >= 0 && AtLineEnd(r);
}

// One portal line: N A B [F] (x y z) ... Its points are added and its path
// ended only when the whole line fits.
Failure ParsePortal(Reader *r, Tables *t) {
    int64_t numbers[4];
    int count = 0;
    while (count < 4 && ReadField(r, &numbers[count], false)) count++;
    SkipBlanks(r);
    if (count < 3 || r->p == r->lineEnd || *r->p != '(')
        return FailAt(r, "expected a point count, two leaf numbers and the points (x y z)");
    if (numbers[0] < 3) return FailAt(r, "a portal has at least 3 points");
    Overlay *o = t->overlay;
    int32_t first = o->pointCount;
    for (int64_t i = 0; i < numbers[0]; i++) {
        SkipBlanks(r);
        bool open = r->p < r->lineEnd && *r->p == '(';
        if (open) r->p++;
        Vertex point;
        bool read = open && ReadPoint(r, &point, true);
        SkipBlanks(r);
        if (!read || r->p == r->lineEnd || *r->p != ')') {
            o->pointCount = first;
            return FailAt(r, "expected as many points (x y z) as the portal's point count");
        }
        r->p++;
        if (!AddPoint(t, point)) {
            o->pointCount = first;
            return FailAt(r, OUT_OF_MEMORY);
        }
    }
    if (!AtLineEnd(r)) {
        o->pointCount = first;
        return FailAt(r, "expected the end of the line after the portal's points");
    }
    if (!EndPath(t)) {
        o->pointCount = first;
        return FailAt(r, OUT_OF_MEMORY);
    }
    return NO_FAILURE;
}

// The first line names the format, which says how many count lines follow
// and which of them counts the portals.
Failure ParsePortals(Reader *r, Tables *t) {
    t->overlay->closed = 1;
    const char *word = nullptr;
    size_t length = 0;
    if (NextLine(r)) {
        word = r->p;
        while (r->p < r->lineEnd && !IsBlank(*r->p)) r->p++;
        length = size_t(r->p - word);
    }
    auto is = [&](const char *name) { return word && length == std::strlen(name) && !std::memcmp(word, name, length); };
    int prt2 = is("PRT2");
    if (!(is("PRT1") || is("PRT1-AM") || prt2) || !AtLineEnd(r)) return FailAt(r, "expected PRT1, PRT1-AM or PRT2");
    int countLines = is("PRT1") ? 2 : 3;
    int64_t counts[3];
    for (int i = 0; i < countLines; i++)
        if (!ReadCountLine(r, &counts[i])) return FailAt(r, "expected a count, one whole number");
    int64_t portals = counts[prt2 ? 2 : 1];
    // A PRT1 file may have a third count line (faces); a portal line never
    // holds a single number.
    Reader peek = *r;
    int64_t faces;
    if (countLines == 2 && ReadCountLine(&peek, &faces)) *r = peek;
    for (int64_t k = 0; k < portals; k++) {
        if (!NextLine(r)) {
            static char text[96];
            std::snprintf(text, sizeof text, "the file ends after %lld of %lld portals", (long long)k,
                          (long long)portals);
            return FailAt(r, text);
        }
        Failure failure = ParsePortal(r, t);
        if (failure.text) return failure;
    }
    return NO_FAILURE;
}

}  // namespace

const char *OverlayTitle(OverlayKind kind) { return kind == OVERLAY_LEAK ? "Leak trace" : "Portals"; }

void FreeOverlay(Overlay *overlay) {
    PlatFree(overlay->points);
    PlatFree(overlay->pathEnds);
    *overlay = Overlay{nullptr, 0, nullptr, 0, 0};
}

OverlayRead ParseOverlay(OverlayKind kind, const char *text, size_t n, Overlay *overlay, char *message,
                         size_t capacity) {
    FreeOverlay(overlay);
    if (capacity) message[0] = '\0';
    Reader r = {text, text + n, 0, text, text};
    Tables t = {overlay, 0, 0};
    Failure failure = kind == OVERLAY_LEAK ? ParseLeakTrace(&r, &t) : ParsePortals(&r, &t);
    if (!failure.text) return OVERLAY_WHOLE;
    if (capacity)
        std::snprintf(message, capacity, "%s: line %lld: %s", OverlayTitle(kind), (long long)failure.line,
                      failure.text);
    return OVERLAY_BROKEN;
}

// The whole file in one block from PlatAlloc; null with the message set.
static char *ReadWholeFile(OverlayKind kind, const char *path, size_t *size, char *message, size_t capacity) {
    const char *title = OverlayTitle(kind);
    PlatFile *file = PlatOpenFile(path);
    if (!file) {
        std::snprintf(message, capacity, "%s: can't open file: %s", title, path);
        return nullptr;
    }
    int64_t length = PlatFileSize(file);
    char *text = nullptr;
    if (length > OVERLAY_FILE_LIMIT) {
        std::snprintf(message, capacity, "%s: larger than %lld MiB: %s", title,
                      (long long)(OVERLAY_FILE_LIMIT >> 20), path);
    } else if (length < 0 || !(text = static_cast<char *>(PlatAlloc(size_t(length))))) {
        std::snprintf(message, capacity, "%s: can't read file: %s", title, path);
    } else {
        int64_t got = 0;
        while (got < length) {
            uint32_t n = PlatReadFile(file, text + got, uint32_t(length - got < (1 << 30) ? length - got : 1 << 30));
            if (n == 0) break;
            got += n;
        }
        if (got != length) {
            std::snprintf(message, capacity, "%s: can't read file: %s", title, path);
            PlatFree(text);
            text = nullptr;
        }
        *size = size_t(length);
    }
    PlatCloseFile(file);
    return text;
}

OverlayRead ReadOverlayFile(OverlayKind kind, const char *path, Overlay *overlay, char *message,
                            size_t capacity) {
    FreeOverlay(overlay);
    char ignored[1];
    if (!capacity) {
        message = ignored;
        capacity = sizeof ignored;
    }
    message[0] = '\0';
    size_t size = 0;
    char *text = ReadWholeFile(kind, path, &size, message, capacity);
    if (!text) return OVERLAY_ABSENT;
    OverlayRead read = ParseOverlay(kind, text, size, overlay, message, capacity);
    PlatFree(text);
    return read;
}

int OverlayPathBeside(const char *levelPath, const char *ending, char *out, size_t capacity) {
    // The last name starts after the last separator: '/', or a backslash on Windows.
    const char *name = levelPath;
    for (const char *p = levelPath; *p; p++)
        if (*p == '/' || *p == '\\') name = p + 1;
    const char *dot = std::strrchr(name, '.');
    size_t stem = dot && dot != name ? size_t(dot - levelPath) : std::strlen(levelPath);
    size_t tail = std::strlen(ending);
    if (stem + tail + 1 > capacity) return 0;
    std::memcpy(out, levelPath, stem);
    std::memcpy(out + stem, ending, tail + 1);
    return 1;
}
