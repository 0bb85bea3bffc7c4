// Lexer: turns the source text's lines into lexemes (short texts compared by
// their callers), with whole string and character literals.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Compiler.h"
#include "CompilerInternal.h"

namespace zc {

CompilePhase phase = phaseIDLE;
scSourceText* src = nullptr;
bool literalMode = true;
bool readOnce = true;
char title[128] = "Untitled";
char author[128] = "Anonymous";

namespace {
const char* const kOps3[] = {"<<=", ">>="};
const char* const kOps2[] = {"..", "##", "->", "||", "&&", "//", "/*", "*/", "+=", "-=", "/=",
                             "*=", "%=", ">>", "<<", "==", "!=", "<=", ">=", "++", "--", "[]",
                             "::", "\\\\", "\\'", "\\\""};
constexpr int kEnd = 26;
}  // namespace

bool IsOperator(const char* text) {
    for (const char* o : kOps3)
        if (!std::strcmp(o, text)) return true;
    for (const char* o : kOps2)
        if (!std::strcmp(o, text)) return true;
    return false;
}

const CharClasses kCharClasses;

CharClasses::CharClasses() {
    for (int c = 0; c < 256; ++c) {
        if ((c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 94) || c == 96 || (c >= 123 && c <= 126))
            of[c] |= kPunct;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') of[c] |= kWord;
        if (c == 0 || c == 9 || c == 10 || c == 13 || c == 32) of[c] |= kBlank;
    }
}

namespace {

// The two-character operators by their pair.
struct Operators {
    bool two[128][128] = {};
    Operators() {
        for (const char* o : kOps2) two[uint8_t(o[0])][uint8_t(o[1])] = true;
    }
};
const Operators kOperators;

inline bool IsOperator2(int a, int b) { return a < 128 && b < 128 && kOperators.two[a][b]; }
inline bool IsOperator3(int a, int b, int c) { return c == '=' && b == a && (a == '<' || a == '>'); }

}  // namespace

static bool IsBlank(int c) { return c >= 0 && c < 256 && (kCharClasses.of[c] & kBlank); }

// The index of the line an error belongs to: the reading position's, or past
// the end of the text the last line of the script (the text ends with a closing
// line of its own after the script's lines).
static int ErrorLineIndex() {
    int line = src->currentLine;
    if (line >= src->lastLine && src->lastLine > 0) line = src->lastLine - 1;
    return line;
}

int CurrentLineNumber() {
    if (!src) return 0;
    return ErrorLineIndex() - src->lineOffset + 1;
}

void Error(int cls, const char* format, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    const char* name = src ? src->name : "script";
    int line = CurrentLineNumber();
    const char* lineText = nullptr;
    if (src && ErrorLineIndex() >= 0 && ErrorLineIndex() <= src->lastLine) lineText = src->lines[ErrorLineIndex()];
    scCompile_Error_At(name, line, lineText, cls, "%s", text);
    throw zedi::CompileAbort{};
}

void InternalError(const char* check, const char* unit, int line) {
    char what[300];
    std::snprintf(what, sizeof what, " <%s> in %s", check, unit);
    Error(scerr_INTERNAL, scMSG_INTERNAL, what, line);
}

scSourceText* scsNewSourceText() {
    auto* t = static_cast<scSourceText*>(scmAlloc(sizeof(scSourceText)));
    t->ownsLines = 1;
    t->lex = t->lexeme;
    static uint32_t serial = 0;
    t->serial = ++serial;
    return t;
}

// The line array's block holds a power of two of slots at least the capacity,
// so that growing the capacity a few slots at a time moves it only now and then.
static int LineSlots(int capacity) {
    int n = 16;
    while (n < capacity) n *= 2;
    return n;
}

void SetLineCapacity(scSourceText* t, int capacity) {
    if (!t->lines)
        t->lines = static_cast<char**>(scmAlloc(LineSlots(capacity) * int(sizeof(char*))));
    else if (LineSlots(capacity) > LineSlots(t->capacity))
        t->lines = static_cast<char**>(scmRealloc(t->lines, LineSlots(capacity) * int(sizeof(char*))));
    t->capacity = capacity;
}

void AppendLineText(scSourceText* t, char* line) {
    if (t->lastLine + 2 >= t->capacity) SetLineCapacity(t, t->capacity + 20);
    t->lines[++t->lastLine] = line;
}

void AppendLine(scSourceText* t, const char* text, int length) {
    char* line = static_cast<char*>(scmAlloc(length + 1));
    std::memcpy(line, text, size_t(length));
    AppendLineText(t, line);
}

// The reading primitives, inlined into the lexer's loops. Stepping back works
// on the compile's current text (a text being read is always that one).
static inline int GetChar(scSourceText* t) {
    if (t->position > 0 && t->currentLine <= t->lastLine && t->lines[t->currentLine][t->position - 1] == 0) {
        t->currentLine++;
        t->position = 0;
        t->lineBreaksBefore++;
    }
    if (t->currentLine > t->lastLine) return kEnd;
    return (unsigned char)t->lines[t->currentLine][t->position++];
}

static inline void UngetChar(scSourceText* t) {
    if (t->position > 1 || t->currentLine == 0) {
        if (t->position > 0) t->position--;
        return;
    }
    t->currentLine--;
    t->lineBreaksBefore--;
    if (t->currentLine < 0) Error(scerr_SYNTAX, "Internal parser error!");
    t->position = int(std::strlen(t->lines[t->currentLine])) + 1;
}

int scsGetChar(scSourceText* t) { return GetChar(t); }

void scsUngetChar() { UngetChar(src); }

bool scsSkipBlanks(scSourceText* t) {
    t->lineBreaksBefore = t->lineBreaksBefore == -1 ? 1 : 0;
    t->blanksBefore = 0;
    for (;;) {
        int c = GetChar(t);
        if (c == kEnd) return false;
        if (IsBlank(c)) {
            t->blanksBefore++;
            continue;
        }
        UngetChar(src);
        return true;
    }
}

// The common case read straight from the current line: blanks and a lexeme
// that do not cross a line end, whose reading ends where the character by
// character reading ends. False, with nothing changed, for any other case, and
// when a byte 26 is looked at: read as the end of the text, it is not stepped
// back over.
static bool ReadRawLexemeOnLine(scSourceText* t) {
    if (t != src || t->currentLine > t->lastLine) return false;
    const char* line = t->lines[t->currentLine];
    int p = t->position;
    if (p > 0 && line[p - 1] == 0) return false;  // the line is read to its end
    int q = p;
    while (line[q] == ' ' || line[q] == '\t' || line[q] == '\r' || line[q] == '\n') ++q;
    int c = (unsigned char)line[q];
    // Stepping back over a line's first character goes to the line before.
    if (c == 0 || (q == 0 && t->currentLine > 0) || c < 32 || c == 127) return false;
    char* lx = t->lexeme;
    int end;
    if (c == ';' || c == '"' || c == '\'' || c == '(' || c == ')' || c >= 0x80) {
        lx[0] = char(c);
        lx[1] = 0;
        end = q + 1;
    } else if (kCharClasses.of[c] & kPunct) {
        lx[0] = char(c);
        int c2 = (unsigned char)line[q + 1];
        if (c2 == kEnd || (c2 && line[q + 2] == kEnd)) return false;
        end = q + 1;
        if (!(kCharClasses.of[c2] & kPunct) || c2 == ';' || c2 == '"' || c2 == '\'' || c2 == '(' || c2 == ')') {
            // The quote pairs that begin with a backslash are operators too.
            if (c == '\\' && (c2 == '"' || c2 == '\'')) {
                lx[1] = char(c2);
                lx[2] = 0;
                end = q + 2;
            } else {
                lx[1] = 0;
            }
        } else if (int c3 = (unsigned char)line[q + 2]; (kCharClasses.of[c3] & kPunct) && IsOperator3(c, c2, c3)) {
            lx[1] = char(c2);
            lx[2] = char(c3);
            lx[3] = 0;
            end = q + 3;
        } else if (IsOperator2(c, c2)) {
            lx[1] = char(c2);
            lx[2] = 0;
            end = q + 2;
        } else {
            lx[1] = 0;
        }
    } else {
        bool number = c >= '0' && c <= '9';
        int n = 0;
        int j = q;
        for (;; ++j) {
            int d = (unsigned char)line[j];
            if (d == kEnd) return false;
            if (!((kCharClasses.of[d] & kWord) || (d == '.' && number))) break;
            if (n >= 127) return false;  // too long: the long way reports it
            lx[n++] = char(d);
        }
        lx[n] = 0;
        end = j;
    }
    t->lex = lx;
    t->lineBreaksBefore = t->lineBreaksBefore == -1 ? 1 : 0;
    t->blanksBefore = q - p;
    t->lexemeStart = q;
    t->position = end;
    return true;
}

bool scsReadRawLexeme(scSourceText* t) {
    if (ReadRawLexemeOnLine(t)) return true;
    t->lex = t->lexeme;
    t->lexeme[0] = 0;
    if (!scsSkipBlanks(t)) return false;
    int c = GetChar(t);
    if (c == kEnd) return false;
    t->lexemeStart = t->position - 1;
    if (c == ';' || c == '"' || c == '\'' || c == '(' || c == ')' || c >= 0x80) {
        t->lexeme[0] = char(c);
        t->lexeme[1] = 0;
        return true;
    }
    if (IsPunct(c)) {
        t->lexeme[0] = char(c);
        t->lexeme[1] = 0;
        int c2 = GetChar(t);
        if (c2 == kEnd || !IsPunct(c2) || c2 == ';' || c2 == '"' || c2 == '\'' || c2 == '(' ||
            c2 == ')') {
            if (c2 != kEnd) UngetChar(src);
            // The quote pairs that begin with a backslash are operators too.
            if (c == '\\' && (c2 == '"' || c2 == '\'')) {
                GetChar(t);
                t->lexeme[1] = char(c2);
                t->lexeme[2] = 0;
            }
            return true;
        }
        int c3 = GetChar(t);
        if (c3 != kEnd && IsPunct(c3) && IsOperator3(c, c2, c3)) {
            t->lexeme[1] = char(c2);
            t->lexeme[2] = char(c3);
            t->lexeme[3] = 0;
            return true;
        }
        if (c3 != kEnd) UngetChar(src);
        if (IsOperator2(c, c2)) {
            t->lexeme[1] = char(c2);
            t->lexeme[2] = 0;
            return true;
        }
        UngetChar(src);
        return true;
    }
    if (c < 32 || c == 127) {
        Error(scerr_SYNTAX, "Invalid character (code %d) in the source", c);
    }
    UngetChar(src);
    int n = 0;
    bool number = c >= '0' && c <= '9';
    for (;;) {
        int d = GetChar(t);
        if (d != kEnd && ((kCharClasses.of[d] & kWord) || (d == '.' && number))) {
            if (n >= 127) {
                t->lexeme[n] = 0;
                Error(scerr_SYNTAX, "Too long lexema %s", t->lexeme);
            }
            t->lexeme[n++] = char(d);
            continue;
        }
        if (d != kEnd) UngetChar(src);
        break;
    }
    t->lexeme[n] = 0;
    return true;
}

// Reads a string or character literal after its opening quote. Bytes are read
// one by one: a Shift-JIS character whose trail byte is 0x5C (a backslash) escapes
// the byte after it, so script authors write such characters with the backslash
// doubled.
// The byte that a backslash and `d` stand for in a literal of the compiling
// phase (a backslash at a line's end keeps the line break).
static void AppendEscaped(std::string& s, int d) {
    switch (d) {
    case 'n': s += '\n'; break;
    case 'r': s += '\r'; break;
    case 't': s += '\t'; break;
    case '\\': s += '\\'; break;
    case '"': s += '"'; break;
    case '\'': s += '\''; break;
    default:
        s += '\\';
        s += d == 0 ? '\n' : char(d);
    }
}

static void ReadLiteral(scSourceText* t, char quote) {
    std::string s(1, quote);
    for (;;) {
        int c = scsGetChar(t);
        if (c == kEnd) Error(scerr_SYNTAX, "End of file reached inside string definition");
        if (c == '\\') {
            int d = scsGetChar(t);
            if (d == kEnd) Error(scerr_SYNTAX, "End of file reached inside string definition");
            if (phase == phaseCOMPILE) {
                AppendEscaped(s, d);
            } else {
                s += '\\';
                s += d == 0 ? '\n' : char(d);
            }
            continue;
        }
        if (c == 0 || c == 13 || c == 10) {
            s += '\n';
            continue;
        }
        s += char(c);
        if (c == quote) break;
    }
    if (s.size() < sizeof t->lexeme) {
        std::memcpy(t->lexeme, s.c_str(), s.size() + 1);
        t->lex = t->lexeme;
    } else {
        // Long literals (chat lines) are held in a block of their own.
        t->lex = static_cast<char*>(scmAlloc(int(s.size()) + 1));
        std::memcpy(t->lex, s.c_str(), s.size() + 1);
        std::snprintf(t->lexeme, sizeof t->lexeme, "%s", s.substr(0, 131).c_str());
    }
}

// ---- Lexemes read once ----------------------------------------------------------
// While a compile runs, the names, numbers and literals are interned: one copy
// of each text with its hash and marks, so that the dictionaries need not hash
// a name again and the preprocessor knows a macro's name by a mark. The
// preprocessor cuts a line into lexemes only to see whether it needs it; the
// compiler cuts each line it reads once into a slot kept for the lines read
// lately, and reading a lexeme then finds it by the reading position, leaving
// the reader's state as the character by character reading leaves it. A line's
// lexemes stop before anything that reading does its own way (a literal or `\'
// running over the line's end, a byte 26, a control byte, a word too long):
// from there on the line is read character by character, as before.
namespace {

struct Atom {
    const char* text;
    uint32_t hash;
    uint32_t length;
    uint32_t flags;
};
enum : uint32_t { atomMACRO = 1 };

struct Token {
    uint32_t atom;
    uint16_t start, end;  // lexemeStart and the position after it
};

// Lexemes in a block that grows (not zeroed: written before read).
struct TokenBuffer {
    Token* data = nullptr;
    size_t size = 0, capacity = 0;
    void Room(size_t more) {
        if (size + more <= capacity) return;
        size_t n = std::max(capacity * 2, size + more);
        auto* d = static_cast<Token*>(std::realloc(data, n * sizeof(Token)));
        if (!d) throw std::bad_alloc();
        data = d;
        capacity = n;
    }
    void Release() {
        std::free(data);
        data = nullptr;
        size = capacity = 0;
    }
};

// The lexemes of one line of the text being compiled. The lines read lately
// keep theirs in a few such slots (by line index), reused over and over: a
// compile touches little fresh memory however long the text.
struct LineSlot {
    int line = -1;
    const char* text = nullptr;  // the line they were cut from
    uint32_t serial = 0;         // of the text the line belongs to
    uint32_t generation = 0;     // counts the cuts into this slot
    int32_t length = 0;          // of the line's text
    bool complete = false;       // only blanks follow the last lexeme
    TokenBuffer tokens;
};
constexpr int kLineSlots = 256;

struct Lexemes {
    std::vector<Atom> atoms;
    std::vector<uint32_t> slots;  // by hash: an atom's index + 1; 0 a free slot
    struct Chunk {
        std::unique_ptr<char[]> bytes;
        size_t size;
    };
    std::vector<Chunk> chunks;   // the atoms' texts
    size_t chunk = 0, used = 0;  // the chunk being filled, its bytes taken
    uint64_t macroFilter[64] = {};  // by hash: bits of the names that are or were macros
    LineSlot lines[kLineSlots];
    uint32_t serial = 0;  // the text being read
    // The line of the lexeme read last, its line's lexemes, and the one after it.
    int line = -1;
    const Token* tk = nullptr;
    uint32_t count = 0, next = 0;
    // The last lexeme found the long way: where the reading started (mostly on
    // a line before it), the lexeme, its line and the blanks and line breaks
    // passed; read again after a step back, it is taken from here while its
    // line's slot holds the same cut.
    struct {
        int fromLine = -1, fromPosition = 0, line = -1;
        const LineSlot* slot = nullptr;
        uint32_t generation = 0, index = 0;
        int blanks = 0, breaks = 0;
    } far;
    uint32_t single[256] = {};  // the atoms of one-byte texts
};
Lexemes g;

constexpr size_t kChunk = 64 * 1024;

// A copy of the text in the chunks, after a byte of marks (markWORD, markRESERVED).
const char* Keep(const char* text, uint32_t length) {
    size_t need = size_t(length) + 2;
    while (g.chunk < g.chunks.size() && g.used + need > g.chunks[g.chunk].size) {
        ++g.chunk;
        g.used = 0;
    }
    if (g.chunk == g.chunks.size()) {
        size_t size = std::max(kChunk, need);
        g.chunks.push_back({std::unique_ptr<char[]>(new char[size]), size});
    }
    char* at = g.chunks[g.chunk].bytes.get() + g.used;
    // A word: word bytes, not led by a digit.
    bool word = length && !(text[0] >= '0' && text[0] <= '9');
    for (uint32_t k = 0; word && k < length; ++k) word = IsWordChar((unsigned char)text[k]);
    at[0] = word ? markWORD : 0;
    std::memcpy(at + 1, text, length);
    at[length + 1] = 0;
    g.used += need;
    return at + 1;
}

__attribute__((noinline)) uint32_t AddAtom(const char* text, uint32_t length, uint32_t hash) {
    uint32_t index = uint32_t(g.atoms.size());
    g.atoms.push_back({Keep(text, length), hash, length, 0});
    if (g.atoms.size() * 2 > g.slots.size()) {
        std::vector<uint32_t> slots(std::max<size_t>(g.slots.size() * 2, 1024));
        uint32_t m = uint32_t(slots.size()) - 1;
        for (uint32_t k = 0; k < g.atoms.size(); ++k) {
            uint32_t i = g.atoms[k].hash & m;
            while (slots[i]) i = (i + 1) & m;
            slots[i] = k + 1;
        }
        g.slots.swap(slots);
    } else {
        uint32_t m = uint32_t(g.slots.size()) - 1;
        uint32_t i = hash & m;
        while (g.slots[i]) i = (i + 1) & m;
        g.slots[i] = index + 1;
    }
    return index;
}

inline uint32_t Intern(const char* text, uint32_t length, uint32_t hash) {
    const uint32_t* slots = g.slots.data();
    uint32_t mask = uint32_t(g.slots.size()) - 1;
    const Atom* atoms = g.atoms.data();
    for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
        uint32_t s = slots[i];
        if (!s) break;
        const Atom& a = atoms[s - 1];
        if (a.hash != hash || a.length != length) continue;
        uint32_t k = 0;
        while (k < length && a.text[k] == text[k]) ++k;
        if (k == length) return s - 1;
    }
    return AddAtom(text, length, hash);
}

// The end of the word or number whose first byte is at `i` (a number takes its
// dots along, as the lexer reads it), with the hash of its text.
inline int WordEnd(const unsigned char* line, int i, uint32_t& hash) {
    int c = line[i], end = i + 1;
    uint32_t h = scdicHashStep(kDictionaryHashSeed, uint8_t(c));
    if (c >= '0' && c <= '9') {
        while ((kCharClasses.of[line[end]] & kWord) || line[end] == '.') h = scdicHashStep(h, line[end++]);
    } else {
        while (kCharClasses.of[line[end]] & kWord) h = scdicHashStep(h, line[end++]);
    }
    hash = h;
    return end;
}

// The end of the literal whose quote is at `i`, its text read as the compiling
// phase reads it (see ReadLiteral); -1 when it runs over the line's end or
// meets a byte 26.
int LiteralEnd(const char* line, int i, std::string& s) {
    char quote = line[i];
    s.assign(1, quote);
    int j = i + 1;
    for (;;) {
        int c = (unsigned char)line[j++];
        if (c == kEnd || c == 0) return -1;
        if (c == '\\') {
            int d = (unsigned char)line[j++];
            if (d == kEnd || d == 0) return -1;
            AppendEscaped(s, d);
            continue;
        }
        if (c == 13 || c == 10) {
            s += '\n';
            continue;
        }
        s += char(c);
        if (c == quote) return j;
    }
}

// Cuts `line` from byte `from` on, appending its lexemes to `tokens`, and
// returns where it stopped: at the line's end when all is cut, otherwise before
// the first lexeme that the character by character reading must read.
int Cut(const char* text, int from, TokenBuffer& tokens) {
    const auto* line = reinterpret_cast<const unsigned char*>(text);
    size_t length = std::strlen(text);
    if (length > 0xFFFF) return from;  // positions are kept in 16 bits
    tokens.Room(length + 1);
    Token* out = tokens.data + tokens.size;
    Token* const begin = out;
    int i = from;
    for (;;) {
        int c = line[i];
        while (c == ' ') c = line[++i];
        uint8_t cls = kCharClasses.of[c];
        if (cls & kBlank) {
            if (!c) {
                tokens.size += size_t(out - begin);
                return i;
            }
            ++i;
            continue;
        }
        int end = i + 1;
        uint32_t atom;
        if (cls & kWord) {
            uint32_t h;
            end = WordEnd(line, i, h);
            if (end - i > 127 || line[end] == kEnd) break;
            atom = end == i + 1 ? g.single[c] : Intern(text + i, uint32_t(end - i), h);
        } else if (cls & kPunct) {
            int c2 = line[i + 1];
            if (c == ';' || c == '(' || c == ')') {
                atom = g.single[c];
            } else if (c == '"' || c == '\'') {
                std::string literal;
                end = LiteralEnd(text, i, literal);
                if (end < 0) break;
                auto n = uint32_t(literal.size());
                atom = Intern(literal.data(), n, scdicHashOf(literal.data(), n));
            } else {
                if (!(kCharClasses.of[c2] & kPunct)) {
                    // Mostly a one-byte lexeme before a blank or a word.
                    if (c2 == kEnd || (c2 && line[i + 2] == kEnd)) break;
                } else if (c2 == kEnd || line[i + 2] == kEnd) {
                    break;
                } else if (c2 == ';' || c2 == '"' || c2 == '\'' || c2 == '(' || c2 == ')') {
                    // The quote pairs that begin with a backslash are operators too.
                    if (c == '\\' && (c2 == '"' || c2 == '\'')) end = i + 2;
                } else if (int c3 = line[i + 2]; (kCharClasses.of[c3] & kPunct) && IsOperator3(c, c2, c3)) {
                    end = i + 3;
                } else if (IsOperator2(c, c2)) {
                    end = i + 2;
                    if (c == '.' && c2 == '.') {
                        // ".." and a "." after it read as "...".
                        if (line[end] == kEnd) break;
                        if (line[end] == '.') ++end;
                    }
                }
                atom = end == i + 1 ? g.single[c] : Intern(text + i, uint32_t(end - i), scdicHashOf(text + i, uint32_t(end - i)));
            }
        } else if (c >= 0x80) {
            atom = g.single[c];
        } else {
            break;  // a control byte: refused by the lexer
        }
        *out++ = {atom, uint16_t(i), uint16_t(end)};
        i = end;
    }
    tokens.size += size_t(out - begin);
    return i;
}

// Made ready for the compile's text.
inline void Ready() {
    if (g.slots.empty()) ResetLexemes();
    if (src->serial == g.serial) return;
    g.serial = src->serial;
    g.line = -1;
    g.far = {};
}

// The lexemes of a line of the compile's text, cut when its slot holds another's.
const LineSlot& LineTokensOf(int index) {
    LineSlot& s = g.lines[index & (kLineSlots - 1)];
    const char* text = src->lines[index];
    if (s.line != index || s.text != text || s.serial != g.serial) {
        s.line = index;
        s.text = text;
        s.serial = g.serial;
        ++s.generation;
        s.tokens.size = 0;
        int end = Cut(text, 0, s.tokens);
        s.complete = text[end] == 0;
        s.length = s.complete ? end : int(std::strlen(text));
    }
    return s;
}

__attribute__((always_inline)) inline void Take(scSourceText* t, int line, uint32_t i, int blanks, int lineBreaks) {
    const Token& k = g.tk[i];
    const Atom& a = g.atoms[k.atom];
    t->currentLine = line;
    t->position = k.end;
    t->lexemeStart = k.start;
    t->blanksBefore = blanks;
    t->lineBreaksBefore = lineBreaks;
    t->lex = const_cast<char*>(a.text);
    g.next = i + 1;
    scdicKnownHash(a.text, a.hash, a.length);
}

// Reads the lexeme at the reading position from the lines' lexemes, as the
// character by character reading would, when the reading does not go on from
// the one read last on its line; false, with nothing changed, where they do not
// tell it.
__attribute__((noinline)) bool ReadCutFar(scSourceText* t) {
    int line = t->currentLine, p = t->position;
    if (line < 0 || line > t->lastLine) return false;
    Ready();
    g.line = -1;  // cutting lines below may take the slot of the one read last
    const LineSlot* s = &LineTokensOf(line);
    const Token* tk = s->tokens.data;
    uint32_t count = uint32_t(s->tokens.size);
    int lineBreaks = t->lineBreaksBefore == -1 ? 1 : 0;
    uint32_t i = 0;
    int blanks;
    if (count && p < tk[count - 1].end) {
        while (tk[i].start < p) ++i;
        // `p` must lie in the blanks before it, not inside the one before.
        if (i > 0 && tk[i - 1].end > p) return false;
        blanks = tk[i].start - p;
    } else {
        // Past the line's last lexeme: the next one stands on a line further on.
        if (!s->complete) return false;
        blanks = p <= s->length ? s->length - p + 1 : 0;
        for (;;) {
            if (++line > t->lastLine) return false;  // the end of the text: the long way
            ++lineBreaks;
            s = &LineTokensOf(line);
            if (s->tokens.size) break;
            if (!s->complete) return false;
            blanks += s->length + 1;
        }
        tk = s->tokens.data;
        count = uint32_t(s->tokens.size);
        blanks += tk[0].start;
    }
    g.line = line;
    g.tk = tk;
    g.count = count;
    g.far.fromLine = t->currentLine;
    g.far.fromPosition = p;
    g.far.line = line;
    g.far.slot = s;
    g.far.generation = s->generation;
    g.far.index = i;
    g.far.blanks = blanks;
    g.far.breaks = lineBreaks - (t->lineBreaksBefore == -1 ? 1 : 0);
    Take(t, line, i, blanks, lineBreaks);
    return true;
}

// The lexeme after the one read last on its line, or that one read again after
// a step back: most lexemes are read so.
__attribute__((always_inline)) inline bool ReadCutNear(scSourceText* t) {
    if (t->serial != g.serial) return false;
    int p = t->position;
    int lineBreaks = t->lineBreaksBefore == -1 ? 1 : 0;
    if (t->currentLine == g.line) {
        const Token* tk = g.tk;
        uint32_t i = g.next;
        if (i < g.count && tk[i - 1].end == p) {
            Take(t, g.line, i, tk[i].start - p, lineBreaks);
            return true;
        }
        --i;
        if (i > 0 && tk[i - 1].end == p) {
            Take(t, g.line, i, tk[i].start - p, lineBreaks);
            return true;
        }
    }
    if (t->currentLine == g.far.fromLine && p == g.far.fromPosition && g.far.slot &&
        g.far.slot->generation == g.far.generation) {
        g.line = g.far.line;
        g.tk = g.far.slot->tokens.data;
        g.count = uint32_t(g.far.slot->tokens.size);
        Take(t, g.far.line, g.far.index, g.far.blanks, lineBreaks + g.far.breaks);
        return true;
    }
    return false;
}

}  // namespace

void ResetLexemes() {
    scdicKnownHash(nullptr, 0, 0);
    g.atoms.clear();
    g.slots.assign(1024, 0);
    if (g.chunks.size() > 4) g.chunks.resize(4);
    g.chunk = 0;
    g.used = 0;
    for (LineSlot& s : g.lines) {
        s.line = -1;
        s.serial = 0;
        if (s.tokens.capacity > 1024) s.tokens.Release();
    }
    std::memset(g.macroFilter, 0, sizeof g.macroFilter);
    g.serial = 0;
    g.line = -1;
    g.next = 0;
    g.far = {};
    for (int c = 1; c < 256; ++c) {
        char b = char(c);
        g.single[c] = Intern(&b, 1, scdicHashOf(&b, 1));
    }
    for (int k = 0; k < zedi::kReservedWordCount; ++k) {
        const char* w = zedi::kReservedWords[k];
        auto n = uint32_t(std::strlen(w));
        const_cast<char*>(g.atoms[Intern(w, n, scdicHashOf(w, n))].text)[-1] |= markRESERVED;
    }
}

int LexemeMarks(const char* text) {
    if (!text || text != scdicKnown.name) return -1;
    return text[-1];
}

void MarkMacroName(const char* name, bool macro) {
    Ready();
    uint32_t length = uint32_t(std::strlen(name));
    uint32_t hash = scdicHashOf(name, length);
    Atom& a = g.atoms[Intern(name, length, hash)];
    a.flags = macro ? a.flags | atomMACRO : a.flags & ~atomMACRO;
    if (macro) g.macroFilter[(hash >> 6) & 63] |= uint64_t(1) << (hash & 63);
}

// Whether the rest of a line from `from` needs nothing of the preprocessor: no
// directive, comment (no "//" or "/*" anywhere) or literal, no byte the lexer
// treats specially or refuses, no word too long, and no word that names a
// macro. Words are cut as the lexer cuts them (a number takes its dots along).
int PlainFrom(int index, int from) {
    // What each byte asks of the scan.
    enum : uint8_t { END, BLANK, PUNCT, SLASH, REFUSE, LETTER, DIGIT };
    static const struct Kinds {
        uint8_t of[256];
        Kinds() {
            for (int c = 0; c < 256; ++c) {
                uint8_t cls = kCharClasses.of[c];
                of[c] = (cls & kBlank) ? BLANK : (cls & kPunct) ? PUNCT : (cls & kWord) ? LETTER : REFUSE;
            }
            of[0] = END;
            for (int c = '0'; c <= '9'; ++c) of[c] = DIGIT;
            of['/'] = SLASH;
            for (int c : {'#', '"', '\'', '\\'}) of[c] = REFUSE;
        }
    } kinds;
    if (g.slots.empty()) ResetLexemes();
    const char* text = src->lines[index];
    const auto* line = reinterpret_cast<const unsigned char*>(text);
    for (int i = from;;) {
        int c = line[i];
        switch (kinds.of[c]) {
        case END: return i;
        case BLANK:
        case PUNCT: ++i; continue;
        case SLASH:
            if (line[i + 1] == '/' || line[i + 1] == '*') return -1;
            ++i;
            continue;
        case REFUSE: return -1;  // directives, literals, control bytes, 127 and above: the long way
        default: break;
        }
        uint32_t h;
        int j = WordEnd(line, i, h);
        if (j - i > 127) return -1;
        if ((g.macroFilter[(h >> 6) & 63] >> (h & 63)) & 1) {
            uint32_t atom = j == i + 1 ? g.single[c] : Intern(text + i, uint32_t(j - i), h);
            if (g.atoms[atom].flags & atomMACRO) return -1;
        }
        i = j;
    }
}

__attribute__((noinline)) static bool ReadLexemeLong(scSourceText* t) {
    if (!scsReadRawLexeme(t)) return false;
    if (literalMode && (t->lexeme[0] == '"' || t->lexeme[0] == '\'') && t->lexeme[1] == 0) {
        ReadLiteral(t, t->lexeme[0]);
    } else if (t->lexeme[0] == '.' && t->lexeme[1] == '.' && !t->lexeme[2]) {
        int c = scsGetChar(t);
        if (c == '.')
            std::strcpy(t->lexeme, "...");
        else if (c != kEnd)
            scsUngetChar();
    }
    return true;
}

__attribute__((always_inline)) static inline bool GetLexeme(scSourceText* t) {
    t->saved = {t, t->currentLine, t->position};
    if (t == src && phase == phaseCOMPILE && literalMode && readOnce && (ReadCutNear(t) || ReadCutFar(t)))
        return true;
    return ReadLexemeLong(t);
}

bool scsGetLexeme(scSourceText* t) { return GetLexeme(t); }

void scsUngetLexeme(scSourceText* t) {
    t->currentLine = t->saved.line;
    t->position = t->saved.position;
}

scSavedPosition* scsSavePosition(scSourceText* t, scSavedPosition* p) {
    p->text = t;
    p->line = t->currentLine;
    p->position = t->position;
    return p;
}

scSourceText* scsSetPosition(scSourceText* t, int line, int position) {
    t->currentLine = line;
    t->position = position;
    return t;
}

char* scsReadRestOfLine(scSourceText* t, int collapse) {
    if (t->position > 0 && t->currentLine <= t->lastLine &&
        t->lines[t->currentLine][t->position - 1] == 0)
        return scmStrdup("");
    std::string out;
    int prev = 0;
    for (;;) {
        int c = scsGetChar(t);
        if (c == '\\') {
            // Skip the rest of this line.
            while (t->lines[t->currentLine][t->position] != 0) t->position++;
            if (collapse) {
                if (!IsBlank(prev)) out += ' ';
                t->position++;  // past the zero: the next read crosses into the next line
                prev = ' ';
                continue;
            }
            out += '\n';
            break;
        }
        if (c == '"' || c == '\'') {
            out += char(c);
            for (;;) {
                int d = scsGetChar(t);
                if (d == 0 || d == kEnd) {
                    if (d == 0) scsUngetChar();
                    break;
                }
                out += char(d);
                if (d == c) break;
            }
            prev = c;
            continue;
        }
        if (c == '/') {
            int d = scsGetChar(t);
            if (d == '/') {
                scsUngetChar();
                scsUngetChar();
                break;
            }
            if (d != kEnd) scsUngetChar();
        }
        if (c == 0 || c == 13 || c == 10 || c == kEnd) {
            if (c == 0) scsUngetChar(), t->position++;
            break;
        }
        if (collapse && (c == 9 || c == 32)) {
            if (prev != ' ') out += ' ';
            prev = ' ';
            continue;
        }
        out += char(c);
        prev = c;
        if (out.size() >= 10000) Error(scerr_SYNTAX, "Line too long");
    }
    return scmStrdup(out.c_str());
}

// ---- Reading helpers of the compiling phase ------------------------------------

void Next() {
    if (!GetLexeme(src)) Error(scerr_SYNTAX, "Parse error");
}
bool TryNext() { return GetLexeme(src); }
void Back() { scsUngetLexeme(src); }
void Expect(const char* what, const char* message, int cls) {
    if (!Is(what)) Error(cls, message, Lex());
}

}  // namespace zc
