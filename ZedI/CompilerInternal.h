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
    // The last lexeme: points at `lexeme`, or at a tracked block for a long literal.
    char* lex;
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
// Reports the current human line number of the reading position.
int CurrentLineNumber();

// Source text and lexer.
scSourceText* scsNewSourceText();
void AppendLine(scSourceText* t, const char* text, int length);
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
bool IsPunct(int c);
bool IsWordChar(int c);
bool IsOperator(const char* text);

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
bool Is(const char* text);
const char* Lex();
// Requires the current lexeme to be `what`; otherwise a compile error of class
// `cls` whose message is `message` filled with the lexeme found.
void Expect(const char* what, const char* message = "Parse error at %s", int cls = scerr_SYNTAX);

scSourceText* scsPreprocess(scSourceText* text);

}  // namespace zc
