// Shared state and helpers of the script compiler's units (not for hosts).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DICT.h"
#include "Engine.h"
#include "Support.h"
#include "VcpuOps.h"

// The compiler's source text: a list of lines, the reading position and the last
// lexeme with where it stood.
struct scSavedPosition {
    struct scSourceText* text;
    int line;
    int position;
};

struct scSourceText {
    char** lines;
    int currentLine;
    int position;
    int lastLine;
    int capacity;
    int ownsLines;
    char name[256];
    int lineOffset;
    char lexeme[132];
    int lexemeStart;
    int blanksBefore;
    int lineBreaksBefore;
    scSavedPosition saved;
    // The last lexeme: points at `lexeme`, at a tracked block for a long literal,
    // or at the interned text of a lexeme read once.
    char* lex;
    // Numbers the texts made, so that the lexemes kept for one are not taken for another's.
    uint32_t serial;
};

// ---- Engine-wide compile state -------------------------------------------------
namespace zc {

enum CompilePhase { phaseIDLE, phasePREPROCESS, phaseCOMPILE };
extern CompilePhase phase;
extern scSourceText* src;      // the text being read
extern bool literalMode;       // string and character literals read whole
extern char title[128], author[128];

// Raises a compile error of the class, naming the current source and line.
[[noreturn]] void Error(int cls, const char* format, ...) __attribute__((format(printf, 2, 3)));
// A failed consistency check of the compiler: the message names the check and
// the source unit and line where it failed.
[[noreturn]] void InternalError(const char* check, const char* unit, int line);
#define INTERNAL_ERROR(check) ::zc::InternalError(check, __FILE_NAME__, __LINE__)
// Reports the current human line number of the reading position.
int CurrentLineNumber();

// Source text and lexer.
scSourceText* scsNewSourceText();
void AppendLine(scSourceText* t, const char* text, int length);
// Appends a line whose text (a tracked block or a part of one) is the text's own.
void AppendLineText(scSourceText* t, char* line);
// Sets the number of slots of the line array (it never shrinks).
void SetLineCapacity(scSourceText* t, int capacity);
scSourceText* scsTextFromFile(const char* path);
scSourceText* scsTextFromString(const char* text);
int scsGetChar(scSourceText* t);
void scsUngetChar();
bool scsSkipBlanks(scSourceText* t);
bool scsReadRawLexeme(scSourceText* t);
bool scsGetLexeme(scSourceText* t);
void scsUngetLexeme(scSourceText* t);
scSavedPosition* scsSavePosition(scSourceText* t, scSavedPosition* p);
scSourceText* scsSetPosition(scSourceText* t, int line, int position);
char* scsReadRestOfLine(scSourceText* t, int collapse);
// Character classes of the lexer by byte.
enum : uint8_t { kPunct = 1, kWord = 2, kBlank = 4 };
struct CharClasses {
    uint8_t of[256] = {};
    CharClasses();
};
extern const CharClasses kCharClasses;
inline bool IsPunct(int c) { return c >= 0 && c < 256 && (kCharClasses.of[c] & kPunct); }
inline bool IsWordChar(int c) { return c >= 0 && c < 256 && (kCharClasses.of[c] & kWord); }
bool IsOperator(const char* text);
// The lexemes read once (see PARSER.cpp): forgets those of the last compile;
// marks a name as a macro's or not; and, for the preprocessor, whether the rest
// of a line from `from` needs nothing of it: the line's length, -1 when it does.
// Off, the compiling phase reads character by character too (to compare the two).
extern bool readOnce;
void ResetLexemes();
void MarkMacroName(const char* name, bool macro);
// For the text of the current lexeme read once, its marks: whether it is a
// word (word bytes not led by a digit) and a reserved one; -1 for any other text.
enum : int { markWORD = 1, markRESERVED = 2 };
int LexemeMarks(const char* text);
int PlainFrom(int line, int from);

// Bounds a recursion of the compiler (nested expressions, statements, blocks,
// declarators) so that deep nesting is a compile error, not a host stack overflow.
struct Nesting {
    int& depth;
    Nesting(int& d, int limit, const char* what) : depth(d) {
        if (++depth > limit) {
            depth = 0;
            Error(scerr_SYNTAX, "%s nested too deeply", what);
        }
    }
    ~Nesting() {
        if (depth > 0) --depth;
    }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;
};

// Reads the next lexeme of the compile's source; "Parse error" at the end.
void Next();
// Next lexeme; false at the end of the text.
bool TryNext();
void Back();
// Whether the current lexeme is `text` (most lexemes differ in the first byte;
// the rest of a short text is compared here rather than by a library call).
__attribute__((always_inline)) inline bool Is(const char* text) {
    const char* l = src->lex;
    if (__builtin_constant_p(__builtin_strlen(text)))
        return l[0] == text[0] && (!text[0] || __builtin_strcmp(l + 1, text + 1) == 0);
    size_t i = 0;
    while (l[i] == text[i]) {
        if (!text[i]) return true;
        ++i;
    }
    return false;
}
inline const char* Lex() { return src->lex; }
// Requires the current lexeme to be `what`; otherwise a compile error of class
// `cls` whose message is `message` filled with the lexeme found.
void Expect(const char* what, const char* message = "Parse error at %s", int cls = scerr_SYNTAX);

scSourceText* scsPreprocess(scSourceText* text);

}  // namespace zc
