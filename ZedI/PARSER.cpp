// Lexer: turns the source text's lines into lexemes (short texts compared by
// their callers), with whole string and character literals.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CompilerInternal.h"

namespace zc {

CompilePhase phase = phaseIDLE;
scSourceText* src = nullptr;
bool literalMode = true;
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

bool IsPunct(int c) {
    return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 94) || c == 96 ||
           (c >= 123 && c <= 126);
}
bool IsWordChar(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
static bool IsBlank(int c) { return c == 0 || c == 9 || c == 10 || c == 13 || c == 32; }

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

scSourceText* scsNewSourceText() {
    auto* t = static_cast<scSourceText*>(scmAlloc(sizeof(scSourceText)));
    t->ownsLines = 1;
    t->lex = t->lexeme;
    return t;
}

void AppendLine(scSourceText* t, const char* text, int length) {
    if (t->lastLine + 2 >= t->capacity) {
        int cap = t->capacity + 20;
        t->lines = static_cast<char**>(scmRealloc(t->lines, cap * int(sizeof(char*))));
        t->capacity = cap;
    }
    char* line = static_cast<char*>(scmAlloc(length + 1));
    std::memcpy(line, text, size_t(length));
    t->lines[++t->lastLine] = line;
}

int scsGetChar(scSourceText* t) {
    if (t->position > 0 && t->currentLine <= t->lastLine &&
        t->lines[t->currentLine][t->position - 1] == 0) {
        t->currentLine++;
        t->position = 0;
        t->lineBreaksBefore++;
    }
    if (t->currentLine > t->lastLine) return kEnd;
    return (unsigned char)t->lines[t->currentLine][t->position++];
}

void scsUngetChar() {
    scSourceText* t = src;
    if (t->position > 1 || t->currentLine == 0) {
        if (t->position > 0) t->position--;
        return;
    }
    t->currentLine--;
    t->lineBreaksBefore--;
    if (t->currentLine < 0) Error(scerr_SYNTAX, "Internal parser error!");
    t->position = int(std::strlen(t->lines[t->currentLine])) + 1;
}

bool scsSkipBlanks(scSourceText* t) {
    t->lineBreaksBefore = t->lineBreaksBefore == -1 ? 1 : 0;
    t->blanksBefore = 0;
    for (;;) {
        int c = scsGetChar(t);
        if (c == kEnd) return false;
        if (IsBlank(c)) {
            t->blanksBefore++;
            continue;
        }
        scsUngetChar();
        return true;
    }
}

bool scsReadRawLexeme(scSourceText* t) {
    t->lex = t->lexeme;
    t->lexeme[0] = 0;
    if (!scsSkipBlanks(t)) return false;
    int c = scsGetChar(t);
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
        int c2 = scsGetChar(t);
        if (c2 == kEnd || !IsPunct(c2) || c2 == ';' || c2 == '"' || c2 == '\'' || c2 == '(' ||
            c2 == ')') {
            if (c2 != kEnd) scsUngetChar();
            // The quote pairs that begin with a backslash are operators too.
            if (c == '\\' && (c2 == '"' || c2 == '\'')) {
                scsGetChar(t);
                t->lexeme[1] = char(c2);
                t->lexeme[2] = 0;
            }
            return true;
        }
        int c3 = scsGetChar(t);
        char three[4] = {char(c), char(c2), char(c3), 0};
        if (c3 != kEnd && IsPunct(c3) && IsOperator(three)) {
            std::memcpy(t->lexeme, three, 4);
            return true;
        }
        if (c3 != kEnd) scsUngetChar();
        char two[3] = {char(c), char(c2), 0};
        if (IsOperator(two)) {
            std::memcpy(t->lexeme, two, 3);
            return true;
        }
        scsUngetChar();
        return true;
    }
    if (c < 32 || c == 127) {
        Error(scerr_SYNTAX, "Invalid character (code %d) in the source", c);
    }
    scsUngetChar();
    int n = 0;
    bool number = c >= '0' && c <= '9';
    for (;;) {
        int d = scsGetChar(t);
        if (d != kEnd && (IsWordChar(d) || (d == '.' && number))) {
            if (n >= 127) {
                t->lexeme[n] = 0;
                Error(scerr_SYNTAX, "Too long lexema %s", t->lexeme);
            }
            t->lexeme[n++] = char(d);
            continue;
        }
        if (d != kEnd) scsUngetChar();
        break;
    }
    t->lexeme[n] = 0;
    return true;
}

// Reads a string or character literal after its opening quote. Bytes are read
// one by one: a Shift-JIS character whose trail byte is 0x5C (a backslash) escapes
// the byte after it, so script authors write such characters with the backslash
// doubled.
static void ReadLiteral(scSourceText* t, char quote) {
    std::string s(1, quote);
    for (;;) {
        int c = scsGetChar(t);
        if (c == kEnd) Error(scerr_SYNTAX, "End of file reached inside string definition");
        if (c == '\\') {
            int d = scsGetChar(t);
            if (d == kEnd) Error(scerr_SYNTAX, "End of file reached inside string definition");
            if (phase == phaseCOMPILE) {
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

bool scsGetLexeme(scSourceText* t) {
    scsSavePosition(t, &t->saved);
    if (!scsReadRawLexeme(t)) return false;
    if (literalMode && (t->lexeme[0] == '"' || t->lexeme[0] == '\'') && t->lexeme[1] == 0) {
        ReadLiteral(t, t->lexeme[0]);
    } else if (!std::strcmp(t->lexeme, "..")) {
        int c = scsGetChar(t);
        if (c == '.')
            std::strcpy(t->lexeme, "...");
        else if (c != kEnd)
            scsUngetChar();
    }
    return true;
}

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
    if (!scsGetLexeme(src)) Error(scerr_SYNTAX, "Parse error");
}
bool TryNext() { return scsGetLexeme(src); }
void Back() { scsUngetLexeme(src); }
bool Is(const char* text) { return !std::strcmp(src->lex, text); }
const char* Lex() { return src->lex; }
void Expect(const char* what, const char* message, int cls) {
    if (!Is(what)) Error(cls, message, Lex());
}

}  // namespace zc
