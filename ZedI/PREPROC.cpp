// Preprocessor and the compile entry points: reading files and texts into lines,
// macros, conditions, includes with line marks, title and author.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <new>
#include <string>
#include <vector>

#include "Compiler.h"
#include "CompilerInternal.h"
#include "HostCall.h"

scScript scCompileToImage(scSourceText* text);

namespace zc {

namespace {

constexpr int kLineBuffer = 4096;
constexpr int kMaxIncludeDepth = 100;
constexpr int kMaxExpansionsPerLine = 1000;
// Includes per compile and bytes of included files: a file that includes itself
// (its line marks then read as a return) or a fan of unguarded includes stops here.
constexpr int kMaxIncludes = 1000;
constexpr long kMaxIncludedBytes = 64l << 20;
int g_includes = 0;
long g_includedBytes = 0;

scDictionary g_macros;
int g_depth = -1;
int g_offsets[kMaxIncludeDepth + 1];
char g_names[kMaxIncludeDepth + 1][260];
// Per include level, the folder of its file ("" for a script given as text), where
// the files it includes are looked for first; the folder of the file that the
// include being read opens, until its entry mark is read.
std::string g_dirs[kMaxIncludeDepth + 1];
std::string g_mainDir, g_pendingDir;
int g_expansionLine = -1, g_expansions = 0;

const char* const kPredefined[][2] = {
    {"ZedI", "94"},        {"WAIT", "__vcpu(56)"}, {"c_import", "import(1)"},
    {"NULL", "(void*)0"},  {"MAXINT", "(0x7fffffff)"}, {"bool", "int"},
    {"true", "1"},         {"false", "0"},
};

scSymbol* AddMacro(const char* name, int kind, int listLength, const char* text) {
    scSymbol* m = scdicAdd(g_macros, name, listLength, kind, nullptr);
    m->typeString = scmStrdup(text);
    MarkMacroName(name, true);
    return m;
}

void SetLine(int index, const std::string& text) {
    if (text.size() >= size_t(kLineBuffer)) Error(scerr_SYNTAX, "Line too long after macro expansion");
    src->lines[index] = scmStrdup(text.c_str());
}

// Moves the reading position past the end of the current line.
void ToLineEnd() { src->position = int(std::strlen(src->lines[src->currentLine])) + 1; }

void NeedLexeme() {
    if (!scsGetLexeme(src)) Error(scerr_SYNTAX, "Parse error");
}

std::string Unquote(const char* s) {
    std::string v = s;
    if (v.size() >= 2 && v[0] == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return v;
}

// Opens a file by name; "\" separators read as "/", and a name that does not exist
// as written is looked up case-insensitively, part by part.
FILE* OpenSource(const char* path) {
    if (!path) return nullptr;
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (FILE* f = scOpenRegularFile(p.c_str())) return f;
    std::string built = p[0] == '/' ? "/" : "";
    size_t i = p[0] == '/' ? 1 : 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string part = p.substr(i, j - i);
        std::string dir = built.empty() ? "." : built;
        std::string found;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                if (strcasecmp(e->d_name, part.c_str()) == 0) {
                    found = e->d_name;
                    break;
                }
            }
            closedir(d);
        }
        if (found.empty()) return nullptr;
        built += found;
        if (j < p.size()) built += '/';
        i = j + 1;
    }
    return scOpenRegularFile(built.c_str());
}

std::string QuoteArgument(std::string a) {
    size_t b = a.find_first_not_of(" \t");
    size_t e = a.find_last_not_of(" \t");
    a = b == std::string::npos ? "" : a.substr(b, e - b + 1);
    std::string out;
    for (char c : a) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out;
}

// The lexeme of a macro's parameter list that begins at or after `at` (empty
// at its end): a word, or an operator of up to three characters.
std::string ListLexeme(const std::string& list, size_t& at) {
    while (at < list.size() && (list[at] == ' ' || list[at] == '\t')) at++;
    size_t from = at;
    if (at < list.size() && IsWordChar((unsigned char)list[at])) {
        while (at < list.size() && IsWordChar((unsigned char)list[at])) at++;
    } else if (at < list.size()) {
        at++;
        for (size_t n = 3; n >= 2; n--)
            if (from + n <= list.size() && IsOperator(list.substr(from, n).c_str())) {
                at = from + n;
                break;
            }
    }
    return list.substr(from, at - from);
}

// Reads the argument list of a call of the macro `m` ("(" follows) and returns its
// expansion.
std::string ExpandMacroCall(scSymbol* m) {
    std::string text = m->typeString;
    int listLength = m->address;
    std::string params = text.substr(1, size_t(listLength) - 2);  // inside the parentheses
    std::string body = text.substr(size_t(listLength) + 1);
    NeedLexeme();
    if (!Is("(")) Error(scerr_INTERNAL, "Internal preprocessor error!");
    // The parameter names, read as lexemes: a name, then "," or the end.
    std::vector<std::string> names;
    for (size_t i = 0;;) {
        std::string n = ListLexeme(params, i);
        if (n.empty() || IsPunct((unsigned char)n[0])) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, m->name);
        names.push_back(n);
        std::string separator = ListLexeme(params, i);
        if (separator.empty()) break;
        if (separator != ",") Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, separator.c_str());
    }
    size_t index = 0;
    for (;;) {
        std::string arg = " ";
        int paren = 0, brace = 0;
        bool last = false;
        for (;;) {
            NeedLexeme();
            if (paren == 0 && brace == 0 && (Is(",") || Is(")"))) {
                last = Is(")");
                arg += ' ';
                break;
            }
            if (Is("(")) paren++;
            if (Is(")")) paren--;
            if (Is("{")) brace++;
            if (Is("}")) brace--;
            if (src->blanksBefore > 0 && arg.size() > 1) arg += ' ';
            arg += Lex();
            if (arg.size() > 255) Error(scerr_SYNTAX, "Macro argument too long");
        }
        if (index >= names.size()) Error(scerr_SYNTAX, "Too many parameters for macro `%s'", m->name);
        const std::string& name = names[index];
        // Substitute in the body, lexeme by lexeme, outside literals.
        std::string out;
        size_t i = 0;
        while (i < body.size()) {
            char c = body[i];
            if (c == '"' || c == '\'') {
                size_t j = i + 1;
                while (j < body.size() && body[j] != c) {
                    if (body[j] == '\\') j++;
                    j++;
                }
                out += body.substr(i, j + 1 - i);
                i = j + 1;
                continue;
            }
            if (IsWordChar((unsigned char)c)) {
                size_t j = i;
                while (j < body.size() && IsWordChar((unsigned char)body[j])) j++;
                std::string word = body.substr(i, j - i);
                if (word == name) {
                    if (!out.empty() && out.back() == '#' && (out.size() < 2 || out[out.size() - 2] != '#')) {
                        out.pop_back();
                        out += '"' + QuoteArgument(arg) + '"';
                    } else if (out.size() >= 2 && out.compare(out.size() - 2, 2, "##") == 0) {
                        out += arg.substr(1);
                    } else {
                        out += arg;
                    }
                } else {
                    out += word;
                }
                i = j;
                continue;
            }
            out += c;
            i++;
        }
        body = out;
        index++;
        if (last) {
            std::string joined;
            for (size_t k = 0; k < body.size(); k++) {
                if (body.compare(k, 2, "##") == 0) {
                    if (!joined.empty() && joined.back() == ' ') joined.pop_back();
                    k++;
                    continue;
                }
                joined += body[k];
            }
            body = joined;
            if (index < names.size()) Error(scerr_SYNTAX, "Too few parameters for macro `%s'", m->name);
            break;
        }
        if (index >= names.size()) Error(scerr_SYNTAX, "Too many parameters for macro `%s'", m->name);
    }
    if (body.size() >= size_t(kLineBuffer)) Error(scerr_SYNTAX, "Macro body too long");
    return body;
}

// The folder part of a path ("\" read as "/"), "" for a bare name.
std::string FolderOf(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void Include(const std::string& argument, bool isFile, int directiveLine) {
    scSourceText* inc;
    std::string name = argument;
    if (isFile) {
        // A relative name is looked for beside the including file first, then
        // in the working directory.
        std::string path = name;
        const std::string& here = g_dirs[g_depth < 0 ? 0 : g_depth];
        FILE* f = nullptr;
        if (!name.empty() && name[0] != '/' && !here.empty()) {
            path = here + "/" + name;
            f = OpenSource(path.c_str());
        }
        if (!f) {
            path = name;
            f = OpenSource(path.c_str());
        }
        if (!f) Error(scerr_SYNTAX, "Unable to include file `%s'", name.c_str());
        std::fclose(f);
        g_pendingDir = FolderOf(path);
        inc = scsTextFromFile(path.c_str());
        if (!inc) Error(scerr_SYNTAX, "Unable to include file `%s'", name.c_str());
        for (int i = 0; i <= inc->lastLine; i++) g_includedBytes += long(std::strlen(inc->lines[i])) + 1;
        if (g_includedBytes > kMaxIncludedBytes) Error(scerr_SYNTAX, "Included files too large");
    } else {
        const char* text = scFind_Builtin_Header(name.c_str());
        if (!text) Error(scerr_SYNTAX, "Unable to include internal `%s'", name.c_str());
        g_pendingDir = g_dirs[g_depth < 0 ? 0 : g_depth];
        inc = scsTextFromString(text);
    }
    if (g_depth + 1 >= kMaxIncludeDepth) Error(scerr_SYNTAX, "Includes nested too deeply");
    if (++g_includes > kMaxIncludes) Error(scerr_SYNTAX, "Too many includes");
    char mark[300];
    std::snprintf(mark, sizeof mark, "#! 0 \"%s\"", name.c_str());
    SetLine(directiveLine, mark);
    // Return mark names the including text.
    std::string back;
    if (g_depth <= 0)
        back = "\"!!_internal_Script\"";
    else
        back = std::string("\"") + g_names[g_depth] + "\"";
    int n = directiveLine - src->lineOffset + 1;
    std::snprintf(mark, sizeof mark, "#! %d %s", n, back.c_str());
    inc->lines[inc->lastLine] = scmStrdup(mark);
    int count = inc->lastLine + 1;
    int need = src->lastLine + 1 + count + 2;
    if (need > src->capacity) SetLineCapacity(src, need);
    std::memmove(src->lines + directiveLine + 1 + count, src->lines + directiveLine + 1,
                 size_t(src->lastLine - directiveLine) * sizeof(char*));
    std::memcpy(src->lines + directiveLine + 1, inc->lines, size_t(count) * sizeof(char*));
    src->lastLine += count;
    src->currentLine = directiveLine;
    src->position = 0;
    src->lineBreaksBefore = -1;
}

void LineMark(int line) {
    // "#!" n "name": the mark stays in the output.
    scsGetChar(src);  // the "!"
    int c = scsGetChar(src);
    if (c != ' ') {
        ToLineEnd();
        return;
    }
    NeedLexeme();
    int n = std::atoi(Lex());
    NeedLexeme();
    std::string name = Unquote(Lex());
    bool back = name == "!!_internal_Script" || (g_depth > 0 && name == g_names[g_depth - 1]);
    if (back) {
        if (g_depth > 0) g_depth--;
    } else {
        if (g_depth + 1 >= kMaxIncludeDepth) Error(scerr_SYNTAX, "Includes nested too deeply");
        g_depth++;
        std::snprintf(g_names[g_depth], sizeof g_names[g_depth], "%s", name.c_str());
        g_dirs[g_depth] = g_pendingDir;
    }
    const char* shown = back && g_depth == 0 ? title : g_names[g_depth];
    std::memcpy(src->name, shown, std::min(std::strlen(shown) + 1, sizeof src->name - 1));
    src->name[sizeof src->name - 1] = 0;
    g_offsets[g_depth] = line - n + 1;
    src->lineOffset = line - n + 1;
    ToLineEnd();
}

// Passes over the lines, from the reading position on, that need nothing of
// the preprocessor, leaving the position where the lexer would have left it
// for the next lexeme.
void SkipPlainLines() {
    while (src->currentLine <= src->lastLine) {
        const char* line = src->lines[src->currentLine];
        int p = src->position;
        if (p > 0 && line[p - 1] == 0) {
            // Read to its end: the next line starts after a line break.
            ++src->currentLine;
            src->position = 0;
            src->lineBreaksBefore = -1;
            continue;
        }
        int end = PlainFrom(src->currentLine, p);
        if (end < 0) return;
        src->position = end + 1;
    }
}

// Reads the text to its end. Conditional blocks are read without recursion, so
// that they nest as deep as memory allows: each open block keeps its state on
// a stack of its own.
void PreprocessText() {
    struct Block {
        bool parentSkipping;  // inside a skipped region
        bool skipping;        // the current part is skipped
        bool anyActive;       // a part of the block was active
    };
    std::vector<Block> open;
    bool parentSkipping = false, skipping = false, anyActive = true;
    auto endOfText = [&] {
        if (!open.empty()) Error(scerr_SYNTAX, "#endif missing after #if");
    };
    for (;;) {
        const bool nested = !open.empty();
        if (!skipping) SkipPlainLines();
        if (!scsGetLexeme(src)) return endOfText();
        int line = src->currentLine;
        if (!Is("#")) {
            if (skipping) {
                SetLine(line, "");
                src->position = 1;
                continue;
            }
            if (Is("//")) {
                std::string l = src->lines[line];
                SetLine(line, l.substr(0, size_t(src->lexemeStart)));
                ToLineEnd();
                src->lineBreaksBefore = -1;
                continue;
            }
            if (Is("/*")) {
                int start = src->lexemeStart;
                literalMode = false;
                bool closed = false;
                while (scsGetLexeme(src)) {
                    if (Is("*/")) {
                        closed = true;
                        break;
                    }
                }
                literalMode = true;
                if (!closed) return endOfText();
                int endLine = src->currentLine;
                std::string first = src->lines[line];
                std::string last = src->lines[endLine];
                if (endLine == line) {
                    SetLine(line, first.substr(0, size_t(start)) + " " + last.substr(size_t(src->position)));
                    src->position = start;
                } else {
                    SetLine(line, first.substr(0, size_t(start)));
                    for (int k = line + 1; k < endLine; k++) SetLine(k, "");
                    SetLine(endLine, last.substr(size_t(src->position)));
                    src->currentLine = endLine;
                    src->position = 0;
                    src->lineBreaksBefore = -1;
                }
                continue;
            }
            if (!IsPunct((unsigned char)Lex()[0])) {
                scSymbol* m = scdicLookup(g_macros, Lex());
                if (!m) continue;
                if (line != g_expansionLine) g_expansionLine = line, g_expansions = 0;
                if (++g_expansions > kMaxExpansionsPerLine)
                    Error(scerr_SYNTAX, "Macro `%s' expands without end", m->name);
                int start = src->lexemeStart;
                std::string replacement;
                if (m->typeKind == 0) {
                    replacement = m->typeString;
                } else {
                    int c = scsGetChar(src);
                    if (c != 26) scsUngetChar();
                    if (c != '(') Error(scerr_SYNTAX, "Macro `%s' requires parameters", m->name);
                    replacement = ExpandMacroCall(m);
                }
                int endLine = src->currentLine;
                std::string rest = src->lines[endLine] + size_t(src->position);
                if (endLine != line) {
                    // A call whose arguments run over lines is rewritten where they end.
                    std::string head = std::string(src->lines[line]).substr(0, size_t(start));
                    SetLine(line, head);
                    for (int k = line + 1; k < endLine; k++) SetLine(k, "");
                    SetLine(endLine, replacement + rest);
                    src->currentLine = endLine;
                    src->position = 0;
                } else {
                    std::string head = std::string(src->lines[line]).substr(0, size_t(start));
                    SetLine(line, head + replacement + rest);
                    src->position = start;
                }
                continue;
            }
            continue;
        }
        // A directive.
        if (src->lineBreaksBefore <= 0) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, "# directive");
        int hashAt = src->lexemeStart;
        int c = scsGetChar(src);
        if (c == '!') {
            scsUngetChar();
            if (skipping) {
                ToLineEnd();
                continue;
            }
            LineMark(line);
            continue;
        }
        if (c != 26) scsUngetChar();
        if (!scsReadRawLexeme(src)) Error(scerr_SYNTAX, "Parse error");
        std::string dir = Lex();
        std::string original = src->lines[line];
        SetLine(line, original.substr(0, size_t(hashAt)));
        // Arguments are read from the original text.
        src->lines[line] = scmStrdup(original.c_str());
        auto finish = [&](int upto) {
            for (int k = line; k <= upto; k++) SetLine(k, k == line ? original.substr(0, size_t(hashAt)) : "");
            src->currentLine = upto;
            ToLineEnd();
        };
        if (dir == "else" || dir == "elif" || dir == "endif") {
            if (!nested) Error(scerr_SYNTAX, "#%s without #if", dir.c_str());
            if (dir == "endif") {
                finish(line);
                parentSkipping = open.back().parentSkipping;
                skipping = open.back().skipping;
                anyActive = open.back().anyActive;
                open.pop_back();
                continue;
            }
            if (dir == "else") {
                skipping = parentSkipping || anyActive;
                if (!skipping) anyActive = true;
                finish(line);
            } else {
                NeedLexeme();
                bool defined = scdicLookup(g_macros, Lex()) != nullptr;
                skipping = parentSkipping || anyActive || !defined;
                if (!skipping) anyActive = true;
                finish(src->currentLine);
            }
            continue;
        }
        if (dir == "ifdef" || dir == "ifndef" || dir == "if") {
            NeedLexeme();
            bool active;
            if (dir == "if") {
                bool negate = false;
                if (Is("!")) {
                    negate = true;
                    NeedLexeme();
                }
                if (!Is("defined")) Error(scerr_SYNTAX, "Unknown #%s directive", Lex());
                NeedLexeme();
                active = (scdicLookup(g_macros, Lex()) != nullptr) != negate;
            } else {
                active = (scdicLookup(g_macros, Lex()) != nullptr) == (dir == "ifdef");
            }
            finish(src->currentLine);
            open.push_back({parentSkipping, skipping, anyActive});
            parentSkipping = skipping;
            skipping = parentSkipping || !active;
            anyActive = !skipping;
            continue;
        }
        if (skipping) {
            finish(line);
            continue;
        }
        if (dir == "title" || dir == "author") {
            NeedLexeme();
            std::string v = Unquote(Lex());
            if (v.size() > 127) v.resize(127);
            char* target = dir == "title" ? title : author;
            std::snprintf(target, 128, "%s", v.c_str());
            if (dir == "title") std::snprintf(src->name, sizeof src->name, "%s", title);
            finish(src->currentLine);
        } else if (dir == "define") {
            NeedLexeme();
            if (IsPunct((unsigned char)Lex()[0])) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, " macro definition");
            std::string name = Lex();
            if (scdicLookup(g_macros, name.c_str())) Error(scerr_SYNTAX, "Macro `%s' redefined", name.c_str());
            int ch = scsGetChar(src);
            std::string list;
            int kind = 0;
            if (ch == '(') {
                kind = 1;
                list = "(";
                for (;;) {
                    int d = scsGetChar(src);
                    if (d == 0 || d == 26) Error(scerr_SYNTAX, "Parse error");
                    list += char(d);
                    if (d == ')') break;
                }
            } else if (ch != 26) {
                scsUngetChar();
            }
            // Skip blanks on this line.
            const char* l = src->lines[src->currentLine];
            while (l[src->position] == ' ' || l[src->position] == '\t') src->position++;
            std::string body;
            int startLine = src->currentLine;
            if (l[src->position] == 0) {
                body = " ";
                src->position++;
            } else {
                body = scsReadRestOfLine(src, 1);
            }
            // Continued lines (a backslash at the end) are emptied with the directive.
            int endLine = src->currentLine;
            (void)startLine;
            if (kind == 1)
                AddMacro(name.c_str(), 1, int(list.size()), (list + ":" + body).c_str());
            else
                AddMacro(name.c_str(), 0, 0, body.c_str());
            finish(endLine > src->lastLine ? src->lastLine : endLine);
        } else if (dir == "undef") {
            NeedLexeme();
            if (!scdicLookup(g_macros, Lex())) Error(scerr_SYNTAX, "Undefining not defined macro");
            scdicRemove(g_macros, Lex());
            MarkMacroName(Lex(), false);
            finish(src->currentLine);
        } else if (dir == "include") {
            NeedLexeme();
            bool isFile = Lex()[0] == '"';
            std::string name = Unquote(Lex());
            for (char& ch : name)
                if (ch == '\\') ch = '/';
            if (src->currentLine != line) Error(scerr_SYNTAX, "Parse error");
            Include(name, isFile, line);
        } else {
            Error(scerr_SYNTAX, "Undefined or invalid # directive");
        }
    }
}

}  // namespace

// A source line holds at most this many bytes; a longer one is refused rather
// than cut, which would change what the script means.
constexpr int kMaxLine = 2047;

[[noreturn]] void LineTooLong(int line) {
    if (src) Error(scerr_SYNTAX, "Line %d is longer than %d bytes", line, kMaxLine);  // an included file's line
    // The main text, before it is read from: the message names the line itself.
    scCompile_Error_At("script", line, nullptr, scerr_SYNTAX, "Line %d is longer than %d bytes", line, kMaxLine);
    throw zedi::CompileAbort{};
}

// At least the number of lines of a text (its line ends, and one more): the
// line array is made that large at once rather than grown and copied.
static int LineCount(const char* text, size_t size) {
    size_t n = 1;
    for (const char* p = text; (p = static_cast<const char*>(std::memchr(p, '\n', size - size_t(p - text)))); ++p) ++n;
    for (const char* p = text; (p = static_cast<const char*>(std::memchr(p, '\r', size - size_t(p - text)))); ++p) ++n;
    return int(std::min(n, size_t(1) << 24));
}

scSourceText* scsTextFromString(const char* text) {
    if (!text) return nullptr;
    scSourceText* t = scsNewSourceText();
    t->lastLine = -1;
    // The lines stay in one copy of the text: each ends where a zero is put.
    size_t size = std::strlen(text);
    SetLineCapacity(t, LineCount(text, size) + 2);
    auto* p = static_cast<char*>(std::malloc(size + 1));
    if (!p) throw std::bad_alloc();
    scmTrack(p);
    std::memcpy(p, text, size + 1);
    while (*p) {
        char* e = p + std::strcspn(p, "\r\n");
        int len = int(e - p);
        if (len > kMaxLine) LineTooLong(t->lastLine + 2);
        char end = *e;
        *e = 0;
        AppendLineText(t, p);
        if (end == '\r' && e[1] == '\n') e++;
        if (end) e++;
        p = e;
    }
    AppendLine(t, " /**/ ", 6);
    return t;
}

scSourceText* scsTextFromFile(const char* path) {
    FILE* f = OpenSource(path);
    if (!f) return nullptr;
    struct stat st;
    bool sized = fstat(fileno(f), &st) == 0;
    if (sized && st.st_size > kMaxIncludedBytes) {
        std::fclose(f);
        Error(scerr_SYNTAX, "File `%s' too large", path);
    }
    // The lines stay in one copy of the file: each ends where a zero is put.
    size_t size = 0, room = sized && st.st_size > 0 ? size_t(st.st_size) + 1 : 64 * 1024;
    auto* text = static_cast<char*>(std::malloc(room));
    for (;;) {
        if (!text) {
            std::fclose(f);
            throw std::bad_alloc();
        }
        size += std::fread(text + size, 1, room - size, f);
        if (size < room) break;  // the end of the file (or an error: read as its end)
        if (size > size_t(kMaxIncludedBytes)) {
            std::free(text);
            std::fclose(f);
            Error(scerr_SYNTAX, "File `%s' too large", path);
        }
        room *= 2;
        char* more = static_cast<char*>(std::realloc(text, room));
        if (!more) std::free(text);
        text = more;
    }
    std::fclose(f);
    scmTrack(text);
    scSourceText* t = scsNewSourceText();
    t->lastLine = -1;
    SetLineCapacity(t, LineCount(text, size) + 2);
    // Read as a text-mode line reader with a buffer of a longest line, its line
    // end and a zero reads: at most that many bytes at a time, up to a LF.
    constexpr size_t kRead = kMaxLine + 2;
    bool metEnd = false;  // the last read met the end of the file
    for (size_t at = 0; at < size;) {
        char* buf = text + at;
        size_t limit = std::min(size - at, kRead);
        auto* lf = static_cast<char*>(std::memchr(buf, '\n', limit));
        size_t taken = lf ? size_t(lf - buf) + 1 : limit;
        bool end = !lf && taken < kRead;  // the reading met the end of the file
        metEnd = end;
        int len = int(strnlen(buf, taken));
        bool cut = len == int(kRead) && buf[len - 1] != '\n' && !end;
        if (end) {
            for (int i = 0; i < len; i++)
                if (buf[i] == 26 || (unsigned char)buf[i] == 0xFF) {
                    len = i;
                    break;
                }
        }
        // Text-mode reading: a CR LF pair is one line end.
        while (len > 0 && (buf[len - 1] == '\n' || buf[len - 1] == '\r')) len--;
        if (cut || len > kMaxLine) LineTooLong(t->lastLine + 2);
        buf[len] = 0;
        AppendLineText(t, buf);
        at += taken;
    }
    // Read until a read meets the end: after a last line end (or in an empty
    // file) that read gives one more line, an empty one.
    if (!metEnd) {
        text[size] = 0;
        AppendLineText(t, text + size);
    }
    AppendLine(t, " /**/ ", 6);
    return t;
}

scSourceText* scsPreprocess(scSourceText* text) {
    src = text;
    ResetLexemes();
    g_macros = scdicNewIndexed();
    for (auto& m : kPredefined) AddMacro(m[0], 0, 0, m[1]);
    text->lineBreaksBefore = -1;
    text->lineOffset = 0;
    std::strcpy(text->name, "script");
    g_depth = 0;
    g_includes = 0;
    g_includedBytes = 0;
    g_offsets[0] = 0;
    std::strcpy(g_names[0], "script");
    g_dirs[0] = g_mainDir;
    g_pendingDir = g_mainDir;
    g_expansionLine = -1;
    literalMode = true;
    text->currentLine = 0;
    text->position = 0;
    PreprocessText();
    g_macros = nullptr;
    return text;
}

}  // namespace zc

namespace {

// Compile state that must not leak from one compile into the next.
void ResetState() {
    zc::phase = zc::phaseIDLE;
    zc::src = nullptr;
    zc::literalMode = true;
    std::strcpy(zc::title, "Untitled");
    std::strcpy(zc::author, "Anonymous");
    zc::ResetLexemes();
}

template <class Make, class Body>
bool Guarded(Make make, Body body) {
    scEngine_Init();
    zedi::ClearError();
    scmForgetAll();
    scmUseArena();
    ResetState();
    int stack = scEngine_Get_Setting(scset_STACK_SIZE);
    bool ok = false;
    try {
        scSourceText* t = make();
        if (t) ok = body(t);
    } catch (const zedi::CompileAbort&) {
        ok = false;
    } catch (const std::bad_alloc&) {
        scCompile_Error_At("script", 0, nullptr, scerr_INTERNAL, "Out of memory");
        ok = false;
    }
    scEngine_Set_Setting(scset_STACK_SIZE, stack);
    scmReleaseAll();
    ResetState();
    return ok;
}

}  // namespace

static scScript CompileWith(scSourceText* (*make)(const char*), const char* arg) {
    scScript image = nullptr;
    Guarded([&] { return make(arg); },
            [&](scSourceText* t) {
                image = scCompileToImage(t);
                return image != nullptr;
            });
    return image;
}

// The main script's folder, where its includes are looked for first.
static scSourceText* MainFromFile(const char* path) {
    zc::g_mainDir = path ? zc::FolderOf(path) : "";
    return zc::scsTextFromFile(path);
}

static scSourceText* MainFromString(const char* text) {
    zc::g_mainDir.clear();
    return zc::scsTextFromString(text);
}

scScript scCompile_File(const char* path) { return CompileWith(MainFromFile, path); }
scScript scCompile_Text(const char* text) { return CompileWith(MainFromString, text); }

namespace zedi {

static bool PreprocessWith(scSourceText* (*make)(const char*), const char* arg, std::string& out) {
    return Guarded([&] { return make(arg); },
                   [&](scSourceText* t) {
                       zc::phase = zc::phasePREPROCESS;
                       zc::scsPreprocess(t);
                       out.clear();
                       for (int i = 0; i <= t->lastLine; i++) {
                           out += t->lines[i];
                           out += '\n';
                       }
                       return true;
                   });
}

bool PreprocessFile(const char* path, std::string& out) { return PreprocessWith(MainFromFile, path, out); }
bool PreprocessText(const char* text, std::string& out) { return PreprocessWith(MainFromString, text, out); }

}  // namespace zedi
