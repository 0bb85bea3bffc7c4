// Script compiler: lexer, preprocessor, code generator, images, the corpus of
// self-checking scripts and the compile errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
// GCC 12 with the sanitizers warns that std::regex's inlined std::function
// members may be used uninitialized (-Wmaybe-uninitialized); they are not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Compiler.h"
#ifdef ZEDI_HAVE_DUMP
#include "Dump.h"
#endif
#include "CompilerInternal.h"
#include "VARS.h"
#include "Format.h"
#include "HostCall.h"
#include "Image.h"
#include "Instance.h"

namespace {

std::vector<int> g_failed;
std::set<int> g_ran;  // the ids of the checks that ran
int* g_hostCounter = nullptr;

void Check(int id, int ok) {
    g_ran.insert(id);
    if (!ok) g_failed.push_back(id);
}
// The sum of the first n argument words, wrapping as the script's ints do.
int Total(int n, scVarArgs args) {
    uint32_t sum = 0;
    uint32_t w;
    for (int i = 0; i < n && args.Word(w); i++) sum += w;
    return int32_t(sum);
}
int Twice(int x) { return 2 * x; }
double Halve(double x) { return x / 2; }

struct Register {
    Register() {
        scRegister_Host_Symbol("check", Check);
        scRegister_Host_Symbol("total", Total);
        scRegister_Host_Symbol("twice", Twice);
        scRegister_Host_Symbol("halve", Halve);
        g_hostCounter = scRegister_Host_Variable<int>("host_counter");
    }
};

// An image and one instance of it, freed together.
struct Compiled {
    scScript image = nullptr;
    scInstance* inst = nullptr;
    explicit Compiled(scScript i) : image(i) {
        if (image) inst = scCreate_Instance(image);
    }
    ~Compiled() {
        if (inst) {
            scKill_Instance(inst);
            scFree_Instance(inst);
        }
        std::free(image);
    }
    Compiled(const Compiled&) = delete;
    Compiled& operator=(const Compiled&) = delete;
    int Call(const char* name, std::vector<int> args = {}) {
        zedi::ClearError();
        return scVCall_Instance(inst, scGet_Symbol(inst, name), int(args.size() * 4), args.data());
    }
    int32_t Word(uint32_t offset) const { return zedi::ImageWord(static_cast<const uint8_t*>(image), offset); }
};

class Compiler : public ::testing::Test {
protected:
    void SetUp() override {
        static Register once;
        g_failed.clear();
        g_ran.clear();
        *g_hostCounter = 7;
    }
    // Compiles a text that must compile.
    static scScript Text(const std::string& text) {
        scScript image = scCompile_Text(text.c_str());
        EXPECT_NE(image, nullptr) << scLast_Error_Text;
        EXPECT_EQ(scmTrackedCount(), 0);
        return image;
    }
};

std::string ScriptPath(const char* name) { return std::string(ZEDI_SCRIPTS) + "/" + name; }

// A compile error's message, after its unit and line.
const char* MessageOf(const char* error) {
    const char* at = std::strstr(error, ") Error :");
    return at ? at + 9 : error;
}

// A compile error's whole text: the unit, the line and the message.
std::string ErrorText(int line, const char* message, const char* unit = "Untitled") {
    char text[1100];
    std::snprintf(text, sizeof text, "%s(%3d) Error :%s", unit, line, message);
    return text;
}

// The checked layout of a compiled image.
zedi::ImageLayout LayoutOf(scScript image) {
    zedi::ImageLayout layout;
    std::string why;
    EXPECT_TRUE(zedi::CheckImage(static_cast<const uint8_t*>(image), uint32_t(scGet_Script_Size(image)), layout, why))
        << why;
    return layout;
}

// ---- Lexer ---------------------------------------------------------------------

constexpr zc::CompilePhase kPre = zc::phasePREPROCESS, kCompile = zc::phaseCOMPILE;

std::vector<std::string> Lexemes(const char* text, zc::CompilePhase phase, std::string* error = nullptr) {
    std::vector<std::string> out;
    scmForgetAll();
    zedi::ClearError();
    try {
        zc::src = zc::scsTextFromString(text);
        zc::phase = phase;
        zc::src->lastLine--;  // without the closing line
        while (zc::scsGetLexeme(zc::src)) out.push_back(zc::src->lex);
    } catch (const zedi::CompileAbort&) {
        if (error) *error = scLast_Error_Text;
        out.push_back("<error>");
    }
    zc::src = nullptr;
    zc::phase = zc::phaseIDLE;
    scmReleaseAll();
    return out;
}

TEST(Lexer, Table) {
    std::string name127(127, 'a');
    struct Case {
        std::string text;
        zc::CompilePhase phase;
        std::vector<std::string> lexemes;
    } cases[] = {
        {"a<<=b", kCompile, {"a", "<<=", "b"}},
        {"a<<b", kCompile, {"a", "<<", "b"}},
        {"a<-b", kCompile, {"a", "<", "-", "b"}},
        {"a|=b", kCompile, {"a", "|", "=", "b"}},
        {"((x))", kCompile, {"(", "(", "x", ")", ")"}},
        {"1.5f a.b ...", kCompile, {"1.5f", "a", ".", "b", "..."}},
        {"12 0x1F 1.5 2.5.1 1e5 1e-5 .5", kCompile, {"12", "0x1F", "1.5", "2.5.1", "1e5", "1e", "-", "5", ".", "5"}},
        {"p->x && y || z != w == v", kCompile, {"p", "->", "x", "&&", "y", "||", "z", "!=", "w", "==", "v"}},
        {"\"a\\tb\"", kCompile, {"\"a\tb\""}},
        {"\"a\\tb\"", kPre, {"\"a\\tb\""}},
        {"'\\''", kCompile, {"'''"}},
        {"\"ab\ncd\"", kCompile, {"\"ab\ncd\""}},
        {name127, kCompile, {name127}},
        {"x\xff" "y", kCompile, {"x", "\xff", "y"}},
        // A Shift-JIS trail byte 0x5C is a backslash to the lexer: it escapes
        // what follows (script authors write it as two backslashes).
        {"\"\x95\\n\"", kCompile, {"\"\x95\n\""}},
        {"\"\x95\\\\\"", kCompile, {"\"\x95\\\""}},
        // A byte 26 inside a line reads as the end of the text: where it ends a
        // lexeme it is passed over, where a lexeme would begin the text ends.
        {"ab\x1a" "cd", kCompile, {"ab", "cd"}},
        {"a+\x1a+b", kCompile, {"a", "+", "+", "b"}},
        {"x<<\x1a=", kCompile, {"x", "<<", "="}},
        {"a \x1a b", kCompile, {"a"}},
    };
    for (auto& c : cases) EXPECT_EQ(Lexemes(c.text.c_str(), c.phase), c.lexemes) << c.text;
}

TEST(Lexer, Errors) {
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {std::string(128, 'a'), "Too long lexema"},
        {"\"open", "End of file reached inside string definition"},
        {"a \x01 b", "Invalid character"},
    };
    for (auto& c : cases) {
        std::string error;
        auto lex = Lexemes(c.text.c_str(), kCompile, &error);
        ASSERT_FALSE(lex.empty());
        EXPECT_EQ(lex.back(), "<error>") << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(scLast_Error, scerr_SYNTAX);
    }
}

TEST(Lexer, LongLiteralsAreHeld) {
    std::string body(600, 'x');
    auto lex = Lexemes(("\"" + body + "\" y").c_str(), kCompile);
    ASSERT_EQ(lex.size(), 2u);
    EXPECT_EQ(lex[0], "\"" + body + "\"");
    EXPECT_EQ(lex[1], "y");
}

// Reading the lexemes cut once per line leaves the reader as reading them
// character by character does: the lexeme, where it starts, the blanks and line
// breaks before it and the position after it; also when a lexeme is read again
// after a step back, or from a position set by hand.
TEST(Lexer, ReadOnceAsCharacterByCharacter) {
    std::string word127(127, 'w');
    // More lines than the reader keeps cut: going back cuts a line again.
    std::string many;
    for (int i = 0; i < 600; ++i) many += i % 7 ? "x" + std::to_string(i) + " += y;\n" : "\n  \n";
    std::string texts[] = {
        many,
        "int a = b+c;\n\n  x<<=2 ; \n\t y ... z\n",
        "f(\"one\\ttwo\", 'c', '\\'');\ng(\"open\nline\") \"\\\nx\"",
        "a..b...c\n..\n.\n.. .",
        "p\x1a q\nr\n s+\x1a+t\n u..\x1a",
        "\n\n   \n  last  \n\n",
        "w\xff\xfe v\\\"q\\'",
        "(" + word127 + ")\n" + word127 + "x y",
        "x \x01 y",
        "a\rb \"c\rd\"",
    };
    struct State {
        std::string lex;
        int line, position, start, blanks, breaks;
        bool operator==(const State&) const = default;
    };
    auto read = [](const std::string& text, bool once) {
        std::vector<State> out;
        scmForgetAll();
        zedi::ClearError();
        zc::readOnce = once;
        zc::ResetLexemes();
        try {
            zc::src = zc::scsTextFromString(text.c_str());
            zc::phase = zc::phaseCOMPILE;
            auto note = [&] {
                auto* t = zc::src;
                out.push_back({t->lex, t->currentLine, t->position, t->lexemeStart, t->blanksBefore, t->lineBreaksBefore});
            };
            for (int n = 0; zc::scsGetLexeme(zc::src); ++n) {
                note();
                if (n % 3 == 1) {
                    zc::scsUngetLexeme(zc::src);
                    if (!zc::scsGetLexeme(zc::src)) break;
                    note();
                }
            }
            for (int line = 0; line <= zc::src->lastLine; ++line) {
                zc::scsSetPosition(zc::src, line, 0);
                if (zc::scsGetLexeme(zc::src)) note();
                zc::scsSetPosition(zc::src, line, 1);
                if (zc::scsGetLexeme(zc::src)) note();
            }
        } catch (const zedi::CompileAbort&) {
            out.push_back({std::string("<error> ") + scLast_Error_Text, 0, 0, 0, 0, 0});
        }
        zc::src = nullptr;
        zc::phase = zc::phaseIDLE;
        zc::readOnce = true;
        scmReleaseAll();
        return out;
    };
    for (auto& text : texts) {
        auto once = read(text, true), each = read(text, false);
        ASSERT_EQ(once.size(), each.size()) << text;
        for (size_t i = 0; i < once.size(); ++i) {
            const State& a = once[i];
            const State& b = each[i];
            EXPECT_TRUE(a == b) << text << "\nlexeme " << i << ": " << a.lex << " at " << a.line << ":" << a.position
                                << " start " << a.start << " blanks " << a.blanks << " breaks " << a.breaks
                                << "\n character by character: " << b.lex << " at " << b.line << ":" << b.position
                                << " start " << b.start << " blanks " << b.blanks << " breaks " << b.breaks;
        }
    }
}

// A lexeme read once knows whether it is a reserved word and a valid
// identifier; other texts are looked up as before.
TEST(Lexer, ReservedWordsOfLexemesReadOnce) {
    std::string text;
    for (int k = 0; k < zedi::kReservedWordCount; ++k) text += std::string(zedi::kReservedWords[k]) + " ";
    text += "iff in x doo Int sizeof_ _if 7up";
    scmForgetAll();
    zc::ResetLexemes();
    zc::src = zc::scsTextFromString(text.c_str());
    zc::src->lastLine--;  // without the closing line
    zc::phase = zc::phaseCOMPILE;
    int reserved = 0, plain = 0;
    while (zc::scsGetLexeme(zc::src)) {
        bool expected = false;
        for (int k = 0; k < zedi::kReservedWordCount; ++k) expected |= std::string(zc::Lex()) == zedi::kReservedWords[k];
        EXPECT_EQ(zedi::IsReservedWord(zc::Lex()), expected) << zc::Lex();
        EXPECT_EQ(zedi::IsReservedWord(std::string(zc::Lex()).c_str()), expected) << zc::Lex();
        bool valid = !expected && !(zc::Lex()[0] >= '0' && zc::Lex()[0] <= '9');
        EXPECT_EQ(zc::IsValidIdentifier(zc::Lex()), valid) << zc::Lex();
        EXPECT_EQ(zc::IsValidIdentifier(std::string(zc::Lex()).c_str()), valid) << zc::Lex();
        (expected ? reserved : plain)++;
    }
    EXPECT_EQ(reserved, zedi::kReservedWordCount);
    EXPECT_EQ(plain, 8);
    zc::src = nullptr;
    zc::phase = zc::phaseIDLE;
    scmReleaseAll();
}

// A file is read as lines the way a text-mode line reader with a buffer of a
// longest line (2047 bytes), its line end and a zero reads it: a line end is
// LF, with any CRs before it; a zero byte ends the line's text; the last line,
// when no LF ends it, ends at a byte 26 or 0xFF; a line too long is refused.
TEST(SourceText, FileLines) {
    std::string a2047(2047, 'a'), a2048(2048, 'a'), a2049(2049, 'a');
    std::string nul = std::string(10, 'a') + '\0' + std::string(3000, 'b') + "\n";
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;  // without the closing line; empty with `error`
        const char* error;
    } cases[] = {
        // A read that meets the end of the file gives the last line: after a
        // last line end, an empty one.
        {"", {""}, nullptr},
        {"\n\n", {"", "", ""}, nullptr},
        {"a\r\nb\n", {"a", "b", ""}, nullptr},
        {"a\rb\nx\r\r\n", {"a\rb", "x", ""}, nullptr},
        {"ab", {"ab"}, nullptr},
        {"ab\x1ajunk", {"ab"}, nullptr},
        {"a\x1a" "b\nc\xff" "d", {"a\x1a" "b", "c"}, nullptr},
        {"a\xff\nb", {"a\xff", "b"}, nullptr},
        {std::string("a\0b\nc\n", 6), {"a", "c", ""}, nullptr},
        {nul, {std::string(10, 'a'), std::string(962, 'b'), ""}, nullptr},
        {a2047 + "\n" + a2047, {a2047, a2047}, nullptr},
        {"x\n" + a2048 + "\n", {}, "Line 2 is longer than 2047 bytes"},
        {a2048, {}, "Line 1 is longer than 2047 bytes"},
        {a2049, {}, "Line 1 is longer than 2047 bytes"},
        {a2049 + "\n", {}, "Line 1 is longer than 2047 bytes"},
        // A last line that fills the reader's buffer is not read to the end of the file.
        {std::string(2040, 'a') + "\x1a" + std::string(7, 'b'), {std::string(2040, 'a')}, nullptr},
        {std::string(2040, 'a') + "\x1a" + std::string(8, 'b'), {}, "Line 1 is longer than 2047 bytes"},
    };
    std::string path = testing::TempDir() + "/zedi_file_lines.sc";
    for (auto& c : cases) {
        {
            std::ofstream out(path, std::ios::binary);
            out << c.bytes;
        }
        std::vector<std::string> lines;
        std::string error;
        scmForgetAll();
        zedi::ClearError();
        try {
            scSourceText* t = zc::scsTextFromFile(path.c_str());
            ASSERT_NE(t, nullptr);
            for (int i = 0; i < t->lastLine; ++i) lines.push_back(t->lines[i]);
            EXPECT_STREQ(t->lines[t->lastLine], " /**/ ");
        } catch (const zedi::CompileAbort&) {
            error = scLast_Error_Text;
        }
        scmReleaseAll();
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(lines, c.lines) << c.bytes.substr(0, 40);
        }
    }
    std::remove(path.c_str());
}

// ---- Preprocessor --------------------------------------------------------------

std::string Pre(const std::string& text) {
    std::string out;
    if (!zedi::PreprocessText(text.c_str(), out)) return std::string("ERROR ") + scLast_Error_Text;
    // Collapse blank runs so the expectations stay readable.
    std::string c;
    for (char ch : out) {
        if ((ch == ' ' || ch == '\t') && (c.empty() || c.back() == ' ' || c.back() == '\n')) continue;
        if (ch == '\n' && !c.empty() && c.back() == ' ') c.pop_back();
        c += ch;
    }
    return c;
}

TEST(Preprocessor, Macros) {
    struct Case {
        const char* text;
        const char* contains;
    } cases[] = {
        {"#define N 5\nint x = N;", "int x = 5;"},
        {"#define A B\n#define B 7\nint x = A;", "int x = 7;"},
        {"#define SQ(x) ((x)*(x))\nint y = SQ(a+1);", "int y = (( a+1 )*( a+1 ));"},
        {"#define STR(x) #x\nchar *s = STR(a \"b\");", "char *s = \"a \\\"b\\\"\";"},
        {"#define CAT(a,b) a##b\nint CAT(foo,bar);", "int foobar"},
        {"int a; // note \"x\"\nint b;", "int a;\nint b;"},
        {"char *s = \"// not a comment\";", "char *s = \"// not a comment\";"},
        {"int a; /* \" */ int b;", "int a; int b;"},
        {"int a; /* one\ntwo\nthree */ int b;", "int a;\n\nint b;"},
        {"x = MAXINT + true + false;", "x = (0x7fffffff) + 1 + 0;"},
        {"WAIT;", "__vcpu(56);"},
        {"#define LONG 1 + \\\n 2\nint x = LONG;", "int x = 1 + 2;"},
        // Lines with nothing to do around ones with work, and work late in a line.
        {"#define N 5\nint a = b / 2;\nint c = a % 3 + N;", "int a = b / 2;\nint c = a % 3 + 5;"},
        {"#define N 5\nx = y / 2; // N\nz = 1.5 + N;", "x = y / 2;\nz = 1.5 + 5;"},
        {"#define N 5\nx = y /* N */ + N;", "x = y + 5;"},
        {"#define N 5\nint a;\n#ifdef N\nyes N\n#endif", "int a;\n\nyes 5"},
        // A name is a macro's from its definition to its undefinition.
        {"int a = N;\n#define N 5\nint b = N;\n#undef N\nint c = N;", "int a = N;\n\nint b = 5;\n\nint c = N;"},
    };
    for (auto& c : cases) {
        std::string out = Pre(c.text);
        EXPECT_NE(out.find(c.contains), std::string::npos) << c.text << "\n---\n" << out;
    }
}

TEST(Preprocessor, Conditions) {
    struct Case {
        const char* text;
        const char* present;
        const char* absent;
    } cases[] = {
        {"#ifdef ZedI\nyes\n#else\nno\n#endif", "yes", "no"},
        {"#ifndef ZedI\nyes\n#else\nno\n#endif", "no", "yes"},
        {"#if defined NULL\nyes\n#endif", "yes", "ERROR"},
        {"#if ! defined NULL\nyes\n#else\nno\n#endif", "no", "yes"},
        {"#ifdef NOPE\n#ifdef ZedI\na1\n#else\nb1\n#endif\n#else\nc1\n#endif", "c1", "b1"},
        {"#ifdef NOPE\nx1\n#elif ZedI\ny1\n#else\nz1\n#endif", "y1", "z1"},
        {"#ifndef G\n#define G\nonce\n#endif\n#ifndef G\ntwice\n#endif", "once", "twice"},
        {"#undef ZedI\n#define ZedI 3\nv = ZedI;", "v = 3;", "ERROR"},
    };
    for (auto& c : cases) {
        std::string out = Pre(c.text);
        EXPECT_NE(out.find(c.present), std::string::npos) << c.text << "\n---\n" << out;
        EXPECT_EQ(out.find(c.absent), std::string::npos) << c.text << "\n---\n" << out;
    }
}

TEST(Preprocessor, Errors) {
    struct Case {
        const char* text;
        const char* message;
        int line;
    } cases[] = {
        {"#define ZedI 1", "Macro `ZedI' redefined", 1},
        {"x;\n#undef NOPE", "Undefining not defined macro", 2},
        {"#ifdef ZedI\nx", "#endif missing after #if", 2},
        {"#endif", "#endif without #if", 1},
        {"#else", "#else without #if", 1},
        {"#elif X", "#elif without #if", 1},
        {"#if X", "Unknown #X directive", 1},
        {"#pragma x", "Undefined or invalid # directive", 1},
        {"int a; #define X", "Parse error at # directive", 1},
        {"#define F(a,b) a\nF(1)", "Too few parameters for macro `F'", 2},
        {"#define F(a) a\nF(1,2)", "Too many parameters for macro `F'", 2},
        {"#define F(a) a\nF;", "Macro `F' requires parameters", 2},
        // A parameter list is names separated by commas, read at a call.
        {"#define F(a == b) a\nint x;\nF(1 == 2);", "Parse error at ==", 3},
        {"#define F(a + b) a\nF(1, 2);", "Parse error at +", 2},
        {"#define F(a, b c) a\nF(1, 2);", "Parse error at c", 2},
        {"#define +x", "Parse error at  macro definition", 1},
        {"#include \"/nonexistent/file.sc\"", "Unable to include file `/nonexistent/file.sc'", 1},
        {"#include nosuchheader", "Unable to include internal `nosuchheader'", 1},
        {"#define R R R\nR", "Macro `R' expands without end", 2},
        {"#define", "Parse error at  macro definition", 1},
        {"#include", "Parse error", 1},
    };
    for (auto& c : cases) {
        std::string out;
        EXPECT_FALSE(zedi::PreprocessText(c.text, out)) << c.text;
        EXPECT_EQ(scLast_Error, scerr_SYNTAX) << c.text;
        EXPECT_EQ(scLast_Error_Text, ErrorText(c.line, c.message, "script")) << c.text;
        EXPECT_EQ(scmTrackedCount(), 0);
    }
}

TEST(Preprocessor, IncludesWithLineMarks) {
    char dir[] = "/tmp/zedi_incXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string inner = std::string(dir) + "/Inner.h";
    std::string outer = std::string(dir) + "/outer.sc";
    {
        std::ofstream(inner) << "#ifndef INNER\n#define INNER\nint inner_a;\nint inner_b = ;\n#endif\n";
        std::ofstream(outer) << "int first;\r\n#include \"" << dir << "\\INNER.H\"\r\n#include \"" << dir
                             << "/Inner.h\"\r\nint last;\r\n";
    }
    std::string out;
    ASSERT_TRUE(zedi::PreprocessFile(outer.c_str(), out)) << scLast_Error_Text;
    EXPECT_NE(out.find("#! 0 \""), std::string::npos) << out;
    EXPECT_NE(out.find("#! 2 \"!!_internal_Script\""), std::string::npos) << out;
    EXPECT_EQ(out.find("inner_a"), out.rfind("inner_a")) << "the guard keeps one copy\n" << out;
    // An error inside the included file names that file and its own line.
    scScript image = scCompile_File(outer.c_str());
    EXPECT_EQ(image, nullptr);
    std::string error = scLast_Error_Text;
    EXPECT_NE(error.find("INNER.H(  4)"), std::string::npos) << error;
    std::remove(inner.c_str());
    std::remove(outer.c_str());
    rmdir(dir);
}

// A quoted include names a file beside the file that includes it (as the
// characters in npc/ share their player); elsewhere the working directory
// applies, as before.
TEST(Preprocessor, IncludesBesideTheIncludingFile) {
    char dir[] = "/tmp/zedi_besideXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string sub = std::string(dir) + "/npc";
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    std::string script = sub + "/hero.sc", player = sub + "/player.h", brain = sub + "/lib/brain.h",
                cwdFile = std::string(dir) + "/fromcwd.h";
    ASSERT_EQ(mkdir((sub + "/lib").c_str(), 0700), 0);
    std::ofstream(script) << "#include \"player.h\"\n#include \"npc/lib/brain.h\"\n#include \"fromcwd.h\"\n"
                             "int run() { return player + brain + cwd; }\nexport run;\n";
    std::ofstream(player) << "#include \"lib/brain.h\"\nint player = 1;\n";
    std::ofstream(brain) << "#ifndef BRAIN\n#define BRAIN\nint brain = 10;\n#endif\n";
    std::ofstream(cwdFile) << "int cwd = 100;\n";
    char* previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir), 0);
    scScript image = scCompile_File(script.c_str());
    std::string error = image ? "" : scLast_Error_Text;
    EXPECT_EQ(chdir(previous), 0);
    std::free(previous);
    ASSERT_NE(image, nullptr) << error;
    scInstance* inst = scCreate_Instance(image);
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(scVCall_Instance(inst, scGet_Symbol(inst, "run"), 0, nullptr), 111);
    scFree_Instance(inst);
    std::free(image);
    for (const std::string& f : {script, player, brain, cwdFile}) std::remove(f.c_str());
    rmdir((sub + "/lib").c_str());
    rmdir(sub.c_str());
    rmdir(dir);
}

TEST(Preprocessor, BuiltinHeadersAndTitle) {
    scRegister_Builtin_Header("TestHdr", "#ifndef TESTHDR\n#define TESTHDR\nint from_header;\n#endif\n");
    std::string out = Pre("#title \"My title\"\n#author Someone\n#include TestHdr\n#include TestHdr\n");
    EXPECT_EQ(out.find("from_header"), out.rfind("from_header"));
    EXPECT_NE(out.find("from_header"), std::string::npos);
    scScript image = scCompile_Text("#title \"My title\"\n#author Someone\n");
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(scGet_Title(image), "My title");
    EXPECT_STREQ(scGet_Author(image), "Someone");
    std::free(image);
    image = scCompile_Text("");
    EXPECT_STREQ(scGet_Title(image), "Untitled");
    EXPECT_STREQ(scGet_Author(image), "Anonymous");
    std::free(image);
}

// ---- Images --------------------------------------------------------------------

// Builds expected image bytes: words little-endian, tags as four bytes.
struct ImageBytes {
    std::vector<uint8_t> bytes;
    void Word(uint32_t w) { Add({uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)}); }
    void Add(std::vector<uint8_t> v) { bytes.insert(bytes.end(), v.begin(), v.end()); }
    void Tag(const char* t) { Add(std::vector<uint8_t>(t, t + 4)); }
    void Words(std::vector<uint32_t> words) {
        for (uint32_t w : words) Word(w);
    }
    // An export entry of a one-letter name.
    void Export(char name, uint32_t value, uint32_t kind) {
        Add({uint8_t(name), 0, 0, 0});
        Words({value, kind});
    }
    // The header: the words from offset 12 to 64, between the magic words.
    void Header(std::vector<uint32_t> words) {
        for (uint32_t w : {0x4964655Au, 0x55504356u, 94u}) Word(w);
        for (uint32_t w : words) Word(w);
        Word(0x21484F45u);
    }
    // TITL with the given title (padded to a word) and the default AUTH, then END!.
    void Chunks(const std::string& title) {
        Tag("TITL");
        uint32_t length = uint32_t(title.size() + 4) / 4 * 4;
        Word(length);
        std::vector<uint8_t> t(title.begin(), title.end());
        t.resize(length, 0);
        Add(t);
        Tag("AUTH");
        Word(12);
        Add({'A', 'n', 'o', 'n', 'y', 'm', 'o', 'u', 's', 0, 0, 0});
        Tag("END!");
    }
};

std::vector<uint8_t> BytesOf(scScript image) {
    const uint8_t* p = static_cast<const uint8_t*>(image);
    return std::vector<uint8_t>(p, p + scGet_Script_Size(image));
}

TEST_F(Compiler, EmptyScriptImageBytes) {
    scScript image = Text("");
    ASSERT_NE(image, nullptr);
    ImageBytes expect;
    expect.Header({137, 72, 116, 121, 0, 137, 129, 8, 0, 0, 4000, 120, 0, 4});
    expect.Chunks("Untitled");
    expect.Add({0, 0, 0, 0});                 // export table: one zero byte, padded
    expect.Add({0});                          // import table: one zero byte
    expect.Add({opRET, opNOP, opNOP, opNOP}); // initialisation routine
    expect.Add({opENTER, opLEAVE, opRET, opNOP});
    expect.Word(0);
    expect.Word(0);                           // end of the records
    EXPECT_EQ(BytesOf(image), expect.bytes);
    std::free(image);
}

TEST_F(Compiler, GlobalsOnlyImageBytes) {
    // Initialised globals are records, not code: the initialisation routine stays
    // a lone RET. v lies at 4 and s at 8 (data size 12); the pointer to the
    // literal is written as placeholder bytes and a pool record; exports come
    // newest first.
    scScript image = Text("#title \"Dice\"\nint v = 7;\nchar *s = \"hi\";\nexport s;\nexport v;\n");
    ASSERT_NE(image, nullptr);
    ImageBytes expect;
    // size, info, exports, code, 0, pool, records, code size, data size, pool size,
    // stack, imports, init, clean-up.
    expect.Header({196, 72, 112, 141, 0, 193, 149, 8, 12, 3, 4000, 140, 0, 4});
    expect.Chunks("Dice");
    expect.Export('v', 4, uint32_t(-1));
    expect.Export('s', 8, uint32_t(-1));
    expect.Add({0, 0, 0, 0, 0});
    expect.Add({opRET, opNOP, opNOP, opNOP, opENTER, opLEAVE, opRET, opNOP});
    expect.Words({4, 4, 7});               // v := 7
    expect.Words({8, 4, 0});               // s: four placeholder bytes,
    expect.Words({8, uint32_t(-2), 0});    // then s := pool + 0
    expect.Words({0, 0});
    expect.Add({'h', 'i', 0});
    EXPECT_EQ(BytesOf(image), expect.bytes);
    std::free(image);
}

TEST_F(Compiler, OneFunctionImageBytes) {
    // The jump over the body at code 4 is overwritten by the end of the
    // initialisation routine (LEAVE RET); its immediate word (16, the body's
    // length) survives behind it. The body at 12: ENTER, MOV r0, 5, the LEAVE RET
    // of the return and of the body's end sharing one word. The clean-up routine
    // follows at 28.
    scScript image = Text("int f() { return 5; }\nexport f;\n");
    ASSERT_NE(image, nullptr);
    ImageBytes expect;
    expect.Header({173, 72, 116, 133, 0, 173, 165, 32, 0, 0, 4000, 132, 0, 28});
    expect.Chunks("Untitled");
    expect.Export('f', 12, 0);
    expect.Add({0, 0, 0, 0, 0});
    expect.Add({opENTER, opNOP, opNOP, opNOP});   // 0
    expect.Add({opLEAVE, opRET, opNOP, opNOP});   // 4
    expect.Word(16);                              // 8
    expect.Add({opENTER, opNOP, opNOP, opNOP});   // 12: f
    expect.Add({opMOV, 0x01, 0, 0});              // 16: MOV r0, 5
    expect.Word(5);
    expect.Add({opLEAVE, opRET, opLEAVE, opRET}); // 24
    expect.Add({opENTER, opLEAVE, opRET, opNOP}); // 28: clean-up
    expect.Word(0);
    expect.Word(0);
    EXPECT_EQ(BytesOf(image), expect.bytes);
    std::free(image);
}

TEST_F(Compiler, GlobalsAsDataRecords) {
    scScript image = Text(
        "int i = -2; char c = 'A'; short s = 300; fixed f = 1.5; float x = 0.5; double d = 2.0;\n"
        "int a[3] = {1, 2, 3,}; char str[8] = \"abc\";\n"
        "struct S { char c; int i; }; S st = {1, 2};\n"
        "char *p = \"abc\"; int copy = i;\n");
    ASSERT_NE(image, nullptr);
    zedi::ImageLayout layout = LayoutOf(image);
    auto* bytes = static_cast<const uint8_t*>(image);
    struct Rec {
        int target, kind;
        std::vector<uint8_t> data;
    };
    std::vector<Rec> got;
    for (auto& r : layout.recordList) {
        Rec x{r.target, r.kind, {}};
        if (r.kind > 0) x.data.assign(bytes + r.at + 8, bytes + r.at + 8 + r.kind);
        else if (r.kind == -2) x.data = {uint8_t(r.c)};
        else if (r.kind == -3) x.data = {uint8_t(r.c), uint8_t(r.n)};
        got.push_back(x);
    }
    std::vector<Rec> expect = {
        {4, 4, {0xFE, 0xFF, 0xFF, 0xFF}},
        {8, 1, {'A'}},
        {12, 2, {0x2C, 0x01}},
        {16, 4, {0x00, 0x80, 0x01, 0x00}},
        {20, 4, {0x00, 0x00, 0x00, 0x3F}},
        {24, 8, {0, 0, 0, 0, 0, 0, 0, 0x40}},
        {32, 12, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}},
        {44, 8, {'a', 'b', 'c', 0, 0, 0, 0, 0}},
        {52, 8, {1, 0, 0, 0, 2, 0, 0, 0}},
        {60, 4, {0, 0, 0, 0}},
        {60, -2, {0}},
        {64, 4, {0, 0, 0, 0}},
        {64, -3, {4, 4}},
    };
    ASSERT_EQ(got.size(), expect.size());
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(got[i].target, expect[i].target) << i;
        EXPECT_EQ(got[i].kind, expect[i].kind) << i;
        EXPECT_EQ(got[i].data, expect[i].data) << i;
    }
    EXPECT_EQ(layout.dataSize, 68u);
    Compiled c(image);
    ASSERT_NE(c.inst, nullptr);
    EXPECT_EQ(*static_cast<int*>(scGet_Global(c.inst, 64, 4)), -2);
    c.image = nullptr;
    std::free(image);
}

TEST_F(Compiler, ExportAndImportTables) {
    scScript image = Text(
        "import int twice(int x);\nimport(3, halve) double h(double x);\nint v;\n"
        "int f(int a, double b) { return twice(a); }\nint g() { return (int)h(1.0); }\n"
        "export v;\nexport f;\nexport g;\n");
    ASSERT_NE(image, nullptr);
    zedi::ImageLayout layout = LayoutOf(image);
    ASSERT_EQ(layout.exportList.size(), 3u);
    EXPECT_EQ(layout.exportList[0].name, "g");  // newest export first
    EXPECT_EQ(layout.exportList[1].name, "f");
    EXPECT_EQ(layout.exportList[1].kind, 12);
    EXPECT_EQ(layout.exportList[2].name, "v");
    EXPECT_EQ(layout.exportList[2].value, 4);
    EXPECT_EQ(layout.exportList[2].kind, -1);
    ASSERT_EQ(layout.importList.size(), 2u);
    EXPECT_EQ(layout.importList[0].name, "twice");
    EXPECT_EQ(layout.importList[0].kind, 4);
    EXPECT_EQ(layout.importList[1].name, "halve");
    EXPECT_EQ(layout.importList[1].kind, 8);
    std::free(image);
    // An imported member function's kind word is its parameter bytes, the
    // object pointer included, as a member defined in the script has them.
    image = Text(
        "class C { import int get(int a, double b); import void none(); int x; };\nC c;\n"
        "int f() { c.none(); return c.get(1, 2.0); }\nexport f;\n");
    ASSERT_NE(image, nullptr);
    layout = LayoutOf(image);
    ASSERT_EQ(layout.importList.size(), 2u);
    EXPECT_EQ(layout.importList[0].name, "C.none");
    EXPECT_EQ(layout.importList[0].kind, 4);
    EXPECT_EQ(layout.importList[1].name, "C.get");
    EXPECT_EQ(layout.importList[1].kind, 16);
    std::free(image);
}

TEST_F(Compiler, MemberDeclarationsOfStructures) {
    // Member functions are declarations only: they take no room in the structure.
    scScript failed = scCompile_Text(
        "struct S {\npublic:\n  int a;\n  S(int x);\n  ~S();\n  import(1, S_get) int get();\n"
        "  import int operator+(int b);\n  import int operator(int)();\nprivate:\n  char b;\n};\n"
        "S s = {1, 2};\nint f() { return sizeof(S) + s.b; }\nexport f;\n");
    EXPECT_EQ(failed, nullptr);
    EXPECT_EQ(scLast_Error, scerr_DECLARATION);
    EXPECT_NE(std::string(scLast_Error_Text).find("Function `S.S' declared and not defined!"), std::string::npos)
        << scLast_Error_Text;
    Compiled d(Text(
        "struct S {\n  int a;\n  import int get();\n  import int operator[](int i);\n  char b;\n};\n"
        "S s = {1, 2};\nint f() { return sizeof(S) * 10 + s.b; }\nexport f;\n"));
    ASSERT_NE(d.inst, nullptr);
    EXPECT_EQ(d.Call("f"), 82);
}

TEST_F(Compiler, ScriptDeclarations) {
    Compiled c(Text("script Seat { int OnTurn(); void OnChat(char *text); };\n"
                    "int f() { return sizeof(Seat); }\nexport f;\n"));
    ASSERT_NE(c.inst, nullptr);
    EXPECT_EQ(c.Call("f"), 20);
}

TEST_F(Compiler, ExportedMembersAndScriptSlots) {
    // Script members take 4-byte slots from 12 in declaration order; a structure
    // declared inside the script takes one slot per member of its own. With more
    // than one dot, each structure name is looked up in the type dictionary from
    // the structure before it on (A is older than B, so B.A finds it).
    scScript image = Text(
        "script T { int f(); struct P { int a; int b; char c; }; int g(char *s);\n"
        "  struct Q { int q; } named; int h(); };\n"
        "struct A { int x; int y; };\nstruct B { int z; A a; };\n"
        "export T.f; export T.g; export T.named; export T.h; export B.A.y; export B.a;\n");
    ASSERT_NE(image, nullptr);
    zedi::ImageLayout layout = LayoutOf(image);
    struct {
        const char* name;
        int value, kind;
    } expected[] = {{"B.a", 4, -1},  {"B.A.y", 4, -1}, {"T.h", 40, 0},
                    {"T.named", 36, -1}, {"T.g", 28, 0},   {"T.f", 12, 0}};
    ASSERT_EQ(layout.exportList.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); i++) {
        EXPECT_EQ(layout.exportList[i].name, expected[i].name);
        EXPECT_EQ(layout.exportList[i].value, expected[i].value) << expected[i].name;
        EXPECT_EQ(layout.exportList[i].kind, expected[i].kind) << expected[i].name;
    }
    std::free(image);
}

TEST_F(Compiler, FailureInsideNestedStructureLeavesNoContext) {
    // A compile error inside a structure body must not leave that structure
    // current for the next compile (where a script would be refused as nested).
    EXPECT_EQ(scCompile_Text("struct S { struct X { int a int b; }; };"), nullptr);
    scScript image = Text("script T { int f(); };\n");
    std::free(image);
}

TEST_F(Compiler, InitialisationRoutineRunsTopLevelCode) {
    // Top-level code after the last body runs too.
    Compiled c(Text("struct P { int a; int b; }; P one = {1, 2}; int f() { return 3; }\nP two = one;\nexport two;\n"));
    ASSERT_NE(c.inst, nullptr);
    EXPECT_EQ(*static_cast<int*>(scGet_Global(c.inst, scGet_Symbol(c.inst, "two") + 4, 4)), 2);
}

// ---- Code generator ------------------------------------------------------------

TEST_F(Compiler, InstructionEncodings) {
    struct Case {
        const char* body;      // the body of f(), compiled alone
        std::vector<uint32_t> words;
    } cases[] = {
        // ENTER; the body; LEAVE RET.
        {"return;", {0x3C3D3D3D & 0, 0}},
    };
    (void)cases;
    auto codeOf = [&](const std::string& text) {
        scScript image = Text(text);
        std::vector<uint32_t> words;
        if (!image) return words;
        auto* bytes = static_cast<const uint8_t*>(image);
        uint32_t code = zedi::ImageWord(bytes, 24), size = zedi::ImageWord(bytes, 40);
        for (uint32_t i = 0; i + 4 <= size; i += 4) words.push_back(zedi::ImageWord(bytes, code + i));
        std::free(image);
        return words;
    };
    auto w = [](uint8_t a, uint8_t b = 0, uint8_t c = 0, uint8_t d = 0) { return uint32_t(a | b << 8 | c << 16 | d << 24); };
    uint32_t nops = w(opNOP, opNOP, opNOP, opNOP);
    uint32_t enter = w(opENTER, opNOP, opNOP, opNOP);
    uint32_t leaveRet = w(opLEAVE, opRET, opLEAVE, opRET);
    uint32_t cleanup = w(opENTER, opLEAVE, opRET, opNOP);
    // Init routine: ENTER, then LEAVE RET over the body jump (8 bytes).
    std::vector<uint32_t> head = {enter, w(opLEAVE, opRET, opNOP, opNOP), nops, enter};
    struct Enc {
        const char* text;
        std::vector<uint32_t> body;
    } encs[] = {
        // unsigned division: OPTIONS 1 right before DIV.
        {"unsigned int u; int f() { return u / 3; }",
         {w(opMOV | 0x80, 0x01 | (2 << 5), 2), 4, w(opOPTIONS), 1, w(opDIV, 0x01, 2), 3, w(opMOV, 0x11, 0, 2)}},
        // a double immediate takes two words.
        {"double d; int f() { d = 1.5; return 0; }", {w(opDMOV | 0x40, 2 << 1), 4, 0, 0x3FF80000, w(opMOV, 1), 0}},
        // __vcpu bytes share a word with NOP padding.
        {"int f() { __vcpu(56); __vcpu(57, 58); return 0; }", {w(opCLI, opSTI, opNOP, opNOP), w(opMOV, 1), 0}},
        // while (0): the test jumps over the body; JMP back to the top.
        {"int f() { while (0) ; return 0; }", {w(opJMP), 8, w(opJMP), uint32_t(-8 - 8), w(opMOV, 1), 0}},
    };
    for (auto& e : encs) {
        auto words = codeOf(e.text);
        std::vector<uint32_t> expect = head;
        // ENTER is a byte opcode: a following __vcpu byte shares its word.
        if (std::strstr(e.text, "__vcpu")) expect.back() = w(opENTER, opWAIT, opNOP, opNOP);
        expect.insert(expect.end(), e.body.begin(), e.body.end());
        expect.push_back(leaveRet);
        expect.push_back(cleanup);
        // The word behind LEAVE RET keeps the body jump's offset: the end of the
        // body relative to the end of the jump.
        ASSERT_EQ(words.size(), expect.size()) << e.text;
        expect[2] = uint32_t((words.size() - 1) * 4 - 12);
        EXPECT_EQ(words, expect) << e.text;
    }
}

std::vector<int> g_progress;
void Progress(int percent) { g_progress.push_back(percent); }

TEST_F(Compiler, PreemptionMarkersAndProgress) {
    scEngine_Set_Setting(scset_PREEMPTION, 1);
    scEngine_Set_Progress(Progress);
    g_progress.clear();
    scScript image = Text("int g;\nint f() {\n int a;\n a = 1;\n g = a;\n return a;\n}\nexport f;\n");
    scEngine_Set_Setting(scset_PREEMPTION, 0);
    scEngine_Set_Progress(nullptr);
    ASSERT_NE(image, nullptr);
    auto* bytes = static_cast<const uint8_t*>(image);
    uint32_t code = zedi::ImageWord(bytes, 24), size = zedi::ImageWord(bytes, 40);
    int markers = 0;
    for (uint32_t i = 0; i + 4 <= size; i += 4)
        if (zedi::ImageWord(bytes, code + i) == scMarkerWord) markers++;
    EXPECT_EQ(markers, 5);  // after each statement that emitted code, the body included
    ASSERT_FALSE(g_progress.empty());
    for (size_t i = 1; i < g_progress.size(); i++) EXPECT_GT(g_progress[i], g_progress[i - 1]);
    Compiled c(image);
    EXPECT_EQ(c.Call("f"), 1);
}

TEST_F(Compiler, TitleChunkLengths) {
    struct Case {
        const char* title;
        int length;
    } cases[] = {{"Seven77", 8}, {"Eight888", 12}, {"", 4}};
    for (auto& c : cases) {
        scScript image = Text(std::string("#title \"") + c.title + "\"\n");
        ASSERT_NE(image, nullptr);
        int at = scFind_Info_Chunk(image, "TITL");
        ASSERT_GT(at, 0);
        EXPECT_EQ(zedi::ImageWord(static_cast<const uint8_t*>(image), uint32_t(at - 4)), uint32_t(c.length)) << c.title;
        EXPECT_STREQ(scGet_Title(image), c.title);
        std::free(image);
    }
}

#ifdef ZEDI_HAVE_DUMP
TEST_F(Compiler, JumpsAndDecodedCode) {
    // Jumps are emitted with a placeholder and re-emitted in place with their target.
    scScript image = Text("int g;\nint f(int x) { if (x) g = 1; else g = 2; return g; }\nexport f;\n");
    ASSERT_NE(image, nullptr);
    const uint8_t* p = static_cast<const uint8_t*>(image);
    std::vector<uint8_t> bytes(p, p + scGet_Script_Size(image));
    std::ostringstream out;
    ASSERT_TRUE(zeditool::DumpImage(bytes, out));
    std::string text = out.str();
    for (const char* line : {"    16  JFALSE frame[8], 20    ; -> 48", "    28  MOV data[4], 1",
                             "    40  JMP 12    ; -> 60", "    48  MOV data[4], 2", "    60  MOV r0, data[4]"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    std::free(image);
}

#endif

TEST_F(Compiler, JumpsRun) {
    // if/else: JFALSE over the then-part, JMP over the else-part; every jump lands
    // on a word inside the code (checked by the image checker and a run).
    Compiled c(Text("int f(int x) { int r; if (x) r = 1; else r = 2; return r; }\nexport f;"));
    ASSERT_NE(c.inst, nullptr);
    EXPECT_EQ(c.Call("f", {5}), 1);
    EXPECT_EQ(c.Call("f", {0}), 2);
}

TEST_F(Compiler, DeclarationsAfterCaseLabels) {
    // Locals declared directly after a label belong to that case: the same name
    // may come back in another case, a jump to a later label never leaves the
    // stack out of step, fall-through and break release them, and a local
    // declared after the switch sits where the code expects it.
    Compiled c(Text("int f(int x) {\n"
                    "  int r = 0;\n"
                    "  switch (x) {\n"
                    "  case 1: int y = 5; r = y + 1; break;\n"
                    "  case 2: int y = 7; static int s = 3; r = y + s; break;\n"
                    "  case 4: int a = 1; double pad = 2.0; r = a;\n"
                    "  case 5: int b = 2; r = r + b; break;\n"
                    "  default: double d = 1.5; r = 100 + (int)(d * 2);\n"
                    "  }\n"
                    "  int after = 9;\n"
                    "  return r * 10 + after;\n"
                    "}\nexport f;\n"));
    ASSERT_NE(c.inst, nullptr);
    struct {
        int x, result;
    } cases[] = {{1, 69}, {2, 109}, {3, 1039}, {4, 39}, {5, 29}};
    for (auto& k : cases) EXPECT_EQ(c.Call("f", {k.x}), k.result) << "x = " << k.x;
}

// ---- Results of ordinary C code -------------------------------------------------

struct ResultCase {
    const char* text;  // defines int f()
    int result;
};

// Compiles each case after the common declarations, runs f and compares its result.
void ExpectResults(const char* common, const std::vector<ResultCase>& cases) {
    for (auto& k : cases) {
        Compiled c(scCompile_Text((std::string(common) + k.text + "\nexport f;\n").c_str()));
        EXPECT_EQ(scmTrackedCount(), 0);
        if (!c.inst) {
            ADD_FAILURE() << k.text << "\n" << scLast_Error_Text;
            continue;
        }
        int r = c.Call("f");
        EXPECT_EQ(scLast_Error, 0) << k.text << "\n" << scLast_Error_Text;
        EXPECT_EQ(r, k.result) << k.text;
    }
}

TEST_F(Compiler, ConstantIndexAfterComputedAddress) {
    // A constant index (or member offset) that follows an address held in a
    // register still counts.
    const char* globals =
        "int G[2][3] = {{1, 2, 3}, {4, 5, 6}};\nchar C[3][4] = {\"abc\", \"def\", \"ghi\"};\n"
        "struct S { int a; int arr[4]; char name[6]; };\nS ss[3];\n"
        "struct P { int x; int y; };\nP T[2][2];\nint H[2][3][4];\n";
    std::vector<ResultCase> cases = {
        {"int f() { int i = 1; return G[i][2]; }", 6},
        {"int f() { int i = 1; G[i][1] = 99; return G[1][1] * 100 + G[1][0]; }", 9904},
        {"int f() { int i = 1; int *p = &G[i][2]; return *p; }", 6},
        {"int f() { int L[2][3]; int i = 1; L[1][0] = 4; L[1][1] = 5; L[1][2] = 6; return L[i][2]; }", 6},
        {"int f() { int L[2][3]; int i = 1; L[1][0] = 0; L[i][1] = 7; return L[1][1] * 10 + L[1][0]; }", 70},
        {"int f() { int i = 1; return C[i][2] + C[i + 1][1]; }", 'f' + 'h'},
        {"int f() { int i = 1; char L[2][4]; L[1][0] = 0; L[i][3] = 'x'; return L[1][3] + L[1][0]; }", 'x'},
        {"int f() { S *p = &ss[1]; p->arr[2] = 42; return ss[1].arr[2]; }", 42},
        {"int f() { int i = 1; ss[i].arr[3] = 7; return ss[1].arr[3]; }", 7},
        {"int f() { S *p = &ss[2]; (*p).arr[1] = 9; return ss[2].arr[1]; }", 9},
        {"int f() { S *p = &ss[0]; p->name[3] = 'q'; return ss[0].name[3]; }", 'q'},
        {"int f() { int i = 1; T[i][1].y = 8; return T[1][1].y * 10 + T[1][1].x; }", 80},
        {"int f() { int i = 1; H[i][2][3] = 5; return H[1][2][3] + H[1][0][0]; }", 5},
        {"int f() { int i = 1, j = 2; int *p = &H[i][j][3]; *p = 11; return H[1][2][3]; }", 11},
        {"int f() { S L[2]; int i = 1; L[i].arr[2] = 13; return L[1].arr[2]; }", 13},
    };
    ExpectResults(globals, cases);
}

TEST_F(Compiler, CharAndShortWidenedWhenAssignedToInt) {
    // The bytes beside the char or short are not zero, so copying a whole word
    // shows.
    const char* globals =
        "struct M { char c; char d; short s; short t; int x; };\nM gm = {'a', 'b', 300, -1, -1};\n"
        "char gs[4] = \"abc\";\nshort gh[3] = {300, 7, -1};\n"
        "int take(M m) { int x; x = m.s; return x; }\n";
    std::vector<ResultCase> cases = {
        {"int f() { char s[4] = \"abc\"; int c; c = s[0]; return c; }", 'a'},
        {"int f() { int c; c = gs[1]; return c; }", 'b'},
        {"int f() { char *p = gs; int c; c = *p; return c; }", 'a'},
        {"int f() { char *p = gs; int i = 1, c; c = p[i]; return c; }", 'b'},
        {"int f() { int c; c = gm.c; return c; }", 'a'},
        {"int f() { M *p = &gm; int c; c = p->d; return c; }", 'b'},
        {"int f() { int c; c = gh[0]; return c; }", 300},
        {"int f() { short *p = gh; int c; c = p[1]; return c; }", 7},
        {"int f() { M *p = &gm; int c; c = p->s; return c; }", 300},
        {"int f() { int c; c = gs[0] + 0; return c; }", 'a'},
        {"int f() { int c; c = gh[0] * 1; return c; }", 300},
        {"int f() { return take(gm); }", 300},
        {"int f() { int a[2]; a[1] = gs[2]; return a[1]; }", 'c'},
        {"int f() { int *q; int c; q = &c; *q = gm.s; return c; }", 300},
    };
    ExpectResults(globals, cases);
}

TEST_F(Compiler, FloatingValuesStoredIntoIntegers) {
    // Stored into an integer the value is truncated toward zero; a compound
    // assignment computes in double and truncates the result.
    const char* globals =
        "double d = 7.5; float fl = 2.75;\nint ga[3];\nstruct P { int x; char c; short s; };\nP gp;\n"
        "int g(double x) { int i; i = x; return i; }\n";
    std::vector<ResultCase> cases = {
        {"int f() { int i; i = d; return i; }", 7},
        {"int f() { int i; i = 3.9; return i; }", 3},
        {"int f() { int i; i = -d; return i; }", -7},
        {"int f() { int i; i = fl; return i; }", 2},
        {"int f() { int i = 2; i += d; return i; }", 9},
        {"int f() { int j = 3; j *= 1.5; return j; }", 4},
        {"int f() { int j = 7; j /= 2.0; return j; }", 3},
        {"int f() { int j = 1; j -= fl; return j; }", -1},
        {"int f() { int i = 1; ga[i] = d; return ga[1]; }", 7},
        {"int f() { gp.x = d; return gp.x; }", 7},
        {"int f() { P *p = &gp; p->x = 9.99; p->x += 1.5; return p->x; }", 10},
        {"int f() { int *q = &ga[2]; *q = d * 2; return ga[2]; }", 15},
        {"int f() { unsigned int u; u = d; return u; }", 7},
        {"int f() { unsigned int u = 10; u *= 1.5; return u; }", 15},
        {"int f() { gp.c = 3; gp.c *= 1.5; gp.s = 5; gp.s += d; return gp.c * 100 + gp.s; }", 412},
        {"int f() { return g(-2.5); }", -2},
    };
    ExpectResults(globals, cases);
}

TEST_F(Compiler, ArrayParametersArePointersToTheirElements) {
    // As in C: the argument decays to a pointer to its first element, and the
    // parameter is that pointer, whatever its declared size.
    const char* functions =
        "struct P { int x; int y; };\nint G[2][3] = {{1, 2, 3}, {4, 5, 6}};\nP gp[2];\n"
        "int sum(int a[3], int k) { return a[0] + a[1] + a[2] + k; }\n"
        "int sum2(int a[2][3], int k) { return a[0][0] + a[1][2] * 10 + k * 100; }\n"
        "int size(int a[100]) { return sizeof(a); }\nvoid set(int a[2], int v) { a[1] = v; }\n"
        "int len(char s[8]) { int n = 0; while (s[n]) n++; return n; }\n"
        "int ys(P ps[2]) { return ps[0].y * 10 + ps[1].y; }\n"
        "int later(int a[4]);\nint later(int *a) { return a[3]; }\n"
        "int row(int a[3]) { return a[2]; }\n";
    ExpectResults(functions, {
        {"int f() { int x[3]; x[0] = 1; x[1] = 2; x[2] = 3; return sum(x, 100); }", 106},
        {"int f() { return sum(G[1], 7) * 100 + sum2(G, 2); }", 2461},
        {"int f() { int y[2][3]; y[0][0] = 1; y[1][2] = 5; int k = 3; return sum2(y, k); }", 351},
        {"int f() { int x[5]; return size(x); }", 4},
        {"int f() { int x[2]; x[1] = 0; set(x, 9); return x[1]; }", 9},
        {"int f() { char b[8] = \"abcd\"; return len(b) * 10 + len(\"xy\"); }", 42},
        {"int f() { P l[2]; l[0].y = 3; l[1].y = 4; gp[1].y = 6; return ys(l) * 100 + ys(gp); }", 3406},
        {"int f() { int x[4]; x[3] = 8; return later(x); }", 8},
        {"int f() { int i = 1; return row(G[i]) * 10 + row(G[0]); }", 63},
    });
}

TEST_F(Compiler, StructureSizesRoundToTheFirstDataMember) {
    // The members at their own alignment, the whole at the first data member's.
    ExpectResults("struct A { char c; int i; short s; };\nstruct B { int i; char c; };\n"
                  "struct C { short s; char c; };\nstruct D { char c; double d; };\n"
                  "struct E { A a; char c; };\nstruct F { import int get(); short s; char c; int i; char d; };\n"
                  "struct G { int i[2]; char c; };\nA ga[2];\n"
                  "script K { int f(); int g(); };\nstruct W { char c; K k; };\nW gw;\n",
                  {{"int f() { return sizeof(A); }", 10},
                   {"int f() { return sizeof(B); }", 8},
                   {"int f() { return sizeof(C); }", 4},
                   {"int f() { return sizeof(D); }", 12},
                   {"int f() { return sizeof(E); }", 11},
                   {"int f() { return sizeof(F); }", 10},
                   {"int f() { return sizeof(G); }", 12},
                   {"int f() { return (int)&ga[1] - (int)&ga[0]; }", 10},
                   // A script object is aligned as a word.
                   {"int f() { return sizeof(W) * 100 + (int)&gw.k - (int)&gw; }", 2404}});
}

// ---- Conversions ---------------------------------------------------------------

// The kinds of value a conversion takes and gives, each with a value that shows
// a wrong conversion (sign, fraction, bits beyond the target's width).
enum Kind { kChar, kShort, kInt, kUnsigned, kFixed, kFloat, kDouble, kPointer, kKinds };
struct KindInfo {
    const char* name;   // the script's type
    const char* tag;    // in generated names
    const char* value;  // a constant of the kind
};
const KindInfo kKindInfo[kKinds] = {
    {"char", "c", "(char)200"},         {"short", "s", "(short)40000"},
    {"int", "i", "(-7)"},               {"unsigned int", "u", "(unsigned int)4000000000"},
    {"fixed", "x", "(fixed)-2.75"},     {"float", "f", "(float)300.7"},
    {"double", "d", "(-3.75)"},         {"char*", "p", "(char*)70000"},
};

// The source value as the language holds it: an integer's word, fixed bits, or
// a floating value.
struct Source {
    int32_t word;
    double real;
};
Source SourceValue(Kind k) {
    switch (k) {
    case kChar: return {200, 200};
    case kShort: return {40000, 40000};
    case kInt: return {-7, -7};
    case kUnsigned: return {int32_t(4000000000u), 0};
    case kFixed: return {int32_t(-2.75 * 65536), -2.75};
    case kFloat: return {0, double(300.7f)};
    case kDouble: return {0, -3.75};
    default: return {70000, 0};
    }
}

// The bits of the converted value (a double's two words) by the conversion
// rules: integers keep their word (char and short their low bits), fixed to an
// integer shifts right by 16, floating values truncate toward zero, fixed is the
// value × 65536.
uint64_t Expected(Kind from, Kind to) {
    Source v = SourceValue(from);
    bool floating = from == kFloat || from == kDouble;
    int32_t asInt = floating ? int32_t(v.real) : from == kFixed ? v.word >> 16 : v.word;
    double asReal = floating ? v.real : from == kFixed ? v.word / 65536.0 : double(v.word);
    switch (to) {
    case kChar: return uint32_t(asInt) & 0xFF;
    case kShort: return uint32_t(asInt) & 0xFFFF;
    case kFixed:
        return uint32_t(from == kFixed ? v.word : floating ? int32_t(v.real * 65536) : int32_t(uint32_t(asInt) << 16));
    case kFloat: {
        float f = float(asReal);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return bits;
    }
    case kDouble: {
        uint64_t bits;
        std::memcpy(&bits, &asReal, 8);
        return bits;
    }
    default: return uint32_t(asInt);
    }
}

// No conversion between a pointer and a floating or fixed value; an unsigned
// value made floating or fixed goes through the signed conversion of its word,
// which this table does not pin.
bool Converts(Kind from, Kind to) {
    auto real = [](Kind k) { return k == kFixed || k == kFloat || k == kDouble; };
    if ((from == kPointer && real(to)) || (to == kPointer && real(from))) return false;
    return !(from == kUnsigned && real(to));
}

// A script condition: the variable `r` of kind `k` holds the bits `e`.
std::string HoldsBits(const std::string& r, Kind k, uint64_t e) {
    char cmp[160];
    if (k == kDouble)
        std::snprintf(cmp, sizeof cmp, "*(int*)&%s == %d && *((int*)&%s + 1) == %d", r.c_str(), int32_t(e), r.c_str(),
                      int32_t(e >> 32));
    else
        std::snprintf(cmp, sizeof cmp, "*(int*)&%s == %d", r.c_str(), int32_t(e));
    return cmp;
}

// For each kind a global g<tag> holding its value and a function id<tag> that
// returns its argument of that kind.
std::string KindGlobalsAndIdentities() {
    std::string text;
    for (const KindInfo& S : kKindInfo) {
        text += std::string(S.name) + " g" + S.tag + " = " + S.value + ";\n";
        text += std::string(S.name) + " id" + S.tag + "(" + S.name + " x) { return x; }\n";
    }
    return text;
}

// Runs the script's function run, whose check(id, ok) calls are described by
// `what` (by id): each ran and none failed.
void RunChecks(const std::string& text, const std::vector<std::string>& what) {
    scScript image = scCompile_Text(text.c_str());
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    EXPECT_EQ(scmTrackedCount(), 0);
    Compiled c(image);
    ASSERT_NE(c.inst, nullptr);
    EXPECT_EQ(c.Call("run"), 0) << scLast_Error_Text;
    EXPECT_EQ(g_ran.size(), what.size());
    for (int id : g_failed) ADD_FAILURE() << what[size_t(id)];
}

TEST_F(Compiler, ConversionTable) {
    // Every source kind to every target kind, the value an immediate, a call's
    // result in a register, a local or a global, converted by a cast, a store,
    // a local's initialiser, a return and an argument: the target's bits.
    std::string text = "import void check(int id, int ok);\n";
    text += KindGlobalsAndIdentities();
    for (int s = 0; s < kKinds; s++)
        for (int t = 0; t < kKinds; t++) {
            if (!Converts(Kind(s), Kind(t))) continue;
            const KindInfo &S = kKindInfo[s], &T = kKindInfo[t];
            text += std::string(T.name) + " ret" + S.tag + T.tag + "(" + S.name + " x) { return x; }\n";
        }
    std::vector<std::string> what;  // by check id
    std::string body = "int run()\n{\n";
    for (int s = 0; s < kKinds; s++) {
        const KindInfo& S = kKindInfo[s];
        body += std::string("    ") + S.name + " l" + S.tag + " = " + S.value + ";\n";
    }
    for (int t = 0; t < kKinds; t++) {
        const KindInfo& T = kKindInfo[t];
        body += std::string("    ") + T.name + " r" + T.tag + ";\n";
    }
    int block = 0;
    for (int s = 0; s < kKinds; s++)
        for (int t = 0; t < kKinds; t++) {
            if (!Converts(Kind(s), Kind(t))) continue;
            const KindInfo &S = kKindInfo[s], &T = kKindInfo[t];
            uint64_t e = Expected(Kind(s), Kind(t));
            std::string r = std::string("r") + T.tag;
            std::string cmp = HoldsBits(r, Kind(t), e);
            const std::string places[] = {S.value, std::string("id") + S.tag + "(g" + S.tag + ")",
                                          std::string("l") + S.tag, std::string("g") + S.tag};
            const char* placeNames[] = {"immediate", "register", "local", "global"};
            for (int p = 0; p < 4; p++) {
                const std::string& x = places[p];
                const std::string uses[] = {
                    r + " = (" + T.name + ")" + x,
                    r + " = " + x,
                    r + " = ret" + S.tag + T.tag + "(" + x + ")",
                    r + " = id" + T.tag + "(" + x + ")",
                };
                const char* useNames[] = {"cast", "store", "return", "argument"};
                // A call takes an argument of another kind only for a fixed or
                // floating parameter, from int, fixed, float or double.
                bool passes = s == t || ((t == kFixed || t == kFloat || t == kDouble) &&
                                         (s == kInt || s == kFixed || s == kFloat || s == kDouble));
                for (int u = 0; u < (passes ? 4 : 3); u++) {
                    // Clear the whole word first, so that only the target's bytes count.
                    body += "    " + r + " = 0; *(int*)&" + r + " = 0; " + uses[u] + ";\n";
                    body += "    check(" + std::to_string(what.size()) + ", " + cmp + ");\n";
                    what.push_back(std::string(useNames[u]) + " of " + S.name + " (" + placeNames[p] + ") to " + T.name);
                }
                // A local's initialiser, in a block of its own (a pointer is
                // initialised from a pointer only).
                if (t == kPointer && s != kPointer) continue;
                body += "    { " + std::string(T.name) + " q = " + x + "; " + r + " = 0; *(int*)&" + r + " = 0; " + r +
                        " = q; check(" + std::to_string(what.size()) + ", " + cmp + "); }\n";
                what.push_back(std::string("initialiser of ") + S.name + " (" + placeNames[p] + ") to " + T.name);
                block++;
            }
        }
    RunChecks(text + body + "    return 0;\n}\nexport run;\n", what);
}

TEST_F(Compiler, ConversionsAndInitializersRefused) {
    struct Case {
        const char* text;
        int cls;
        const char* message;
    };
    const Case cases[] = {
        {"struct S { int a; int b; }; S s; int f() { return (int)s; }", 5, "Illegal type conversion  to int"},
        {"struct S { int a; int b; }; int f() { S s; s = (S)1; return 0; }", 5, "Illegal type conversion  to struct S"},
        {"char *p; double f() { return (double)p; }", 5, "Illegal type conversion  to double"},
        {"char *p; int f() { fixed x; x = (fixed)p; return 0; }", 5, "Illegal type conversion  to fixed"},
        {"double d; int f() { char *p; p = (char*)d; return 0; }", 5, "Illegal type conversion from floating to pointer"},
        {"struct S { int a; int b; }; S s; int f() { int *p; p = (int*)s; return 0; }", 5,
         "Illegal type conversion to pointer"},
        {"int ii; int f() { (char)ii = 5; return ii; }", 4, "Invalid lvalue in assignment"},
        {"int ii; int f() { (int)ii = 5; return ii; }", 4, "Invalid lvalue in assignment"},
        {"int ii; int f() { (int)ii += 5; return ii; }", 4, "Invalid lvalue in assignment"},
        {"int ii; int f() { ((int)ii)++; return ii; }", 4, "Invalid lvalue in increment"},
        {"int ii; int f() { int *p = &(int)ii; return 0; }", 4, "Not a lvalue to unary &"},
        // A global initialised from a global of another kind would need code.
        {"float ff = 0.25; double a = ff;", 2, "Illegal initializer"},
        {"double dd = 3.75; int b = dd;", 2, "Illegal initializer"},
        {"int ii = 3; double c = ii;", 2, "Illegal initializer"},
        {"char c = 7; int i = c;", 2, "Illegal initializer"},
        {"int ii = 3; fixed x = ii;", 2, "Illegal initializer"},
        // A structure takes an object of its type only.
        {"struct S { int a; int b; }; S s = 1;", 2, "invalid initializer for `s'"},
        {"struct T { int a; }; T t; struct S { int a; int b; }; S s = t;", 2, "invalid initializer for `s'"},
        {"struct S { int a; int b; }; int f() { S s = 1; return 0; }", 2, "invalid initializer for `s'"},
        {"struct T { int a; }; T t; struct S { int a; int b; }; int f() { S s = t; return s.b; }", 2,
         "invalid initializer for `s'"},
        {"struct S { int a; int b; }; struct O { S s; int x; }; O o = {1, 2};", 2, "invalid initializer for `o'"},
    };
    for (const Case& k : cases) {
        scScript image = scCompile_Text(k.text);
        EXPECT_EQ(image, nullptr) << k.text;
        std::free(image);
        std::string error = scLast_Error_Text;
        EXPECT_EQ(error, std::string("Untitled(  1) Error :") + k.message) << k.text;
        EXPECT_EQ(scLast_Error, k.cls) << k.text;
    }
}

TEST_F(Compiler, CastsReturnsAndFixedValues) {
    const char* globals =
        "import int total(int n, ...);\n"
        "float ff = 0.25; double dd = 3.75; int ii = 3; fixed x = 2.75; fixed one = 1; int i300 = 300;\n"
        "double retf() { return ff; }\nfloat retd() { return dd / 3; }\nint reti() { return x; }\n"
        "char retc() { return i300; }\nfixed retx() { return ii; }\nstruct S8 { int a; int b; };\n";
    std::vector<ResultCase> cases = {
        // Casts to and from float convert, wherever the value is.
        {"int f() { double d; d = (double)ff; return d * 100; }", 25},
        {"int f() { float g; g = (float)dd; return g * 100; }", 375},
        {"int f() { float g; g = (float)ii; return g * 100; }", 300},
        {"int f() { double d; d = (float)ii + (float)dd; return d * 100; }", 675},
        {"int f() { return total(2, (float)ii) == total(2, 3.0) && total(2, (float)dd) == total(2, 3.75); }", 1},
        {"int f() { double d; d = (double)(float)0.1; return d == 0.1; }", 0},
        {"int f() { float g = 0.1; return (double)(float)0.1 == g; }", 1},
        {"int f() { return (int)(float)dd + (int)(double)ff; }", 3},
        {"int f() { int c = 0; double d; d = c ? (float)ii : 2.5; return d * 10; }", 25},
        {"int f() { int c = 1; double d; d = c ? (float)ii : 2.5; return d * 10; }", 30},
        {"int f() { int c = 0; double d; d = c ? 2.5 : (float)ii; return d * 10; }", 30},
        {"int f() { double d; d = -(float)dd; return d * 100; }", -375},
        {"int f() { double d; d = (float)dd * (float)ii; return d * 100; }", 1125},
        {"int f() { return ((float)dd > 3) * 10 + ((float)ff == 0.25); }", 11},
        // Returns convert to the declared type.
        {"int f() { double d; d = retf(); return d * 100; }", 25},
        {"int f() { float g; g = retd(); return g * 100; }", 125},
        {"int f() { return reti(); }", 2},
        {"int f() { return retc(); }", 44},
        {"int f() { return (int)retx(); }", 3},
        // A fixed value stored into an int loses its fraction; a compound
        // assignment computes in the common type.
        {"int f() { int i; i = x; return i; }", 2},
        {"int f() { int i; i = x + 1; return i; }", 3},
        {"int f() { int i = 1; i += x; return i; }", 3},
        {"int f() { int i = 1; i *= x; return i; }", 2},
        {"int f() { int i = 10; i /= x; return i; }", 3},
        {"int f() { char c = 1; c += x; return c; }", 3},
        {"int f() { int a[2]; a[1] = x * 2; return a[1]; }", 5},
        {"int f() { int i = 3; i *= 0.5; return i; }", 1},
        {"int f() { int i = 1; i -= 0.5; return i; }", 0},
        // char and short casts cut and zero-extend; a fold gives the same.
        {"int f() { return (char)ii * 0 + (char)i300; }", 44},
        {"int f() { return (char)(i300 + 1); }", 45},
        {"int f() { return (char)200; }", 200},
        {"int f() { char c = 200; return c == (char)200; }", 1},
        {"int f() { return (short)(i300 * 300); }", 24464},
        {"int f() { return (short)-1 + (char)-1; }", 65535 + 255},
        {"int f() { short s = 40000; return (char)s; }", 64},
        {"int f() { return (short)(char)i300; }", 44},
        // Globals copied from globals whose bytes hold the value.
        {"char low = i300; int *pp = 0; int asInt = pp; S8 s8a; S8 s8b = s8a;\n"
         "int f() { S8 s = s8b; return low + asInt + s.b; }", 44},
    };
    ExpectResults(globals, cases);
}

TEST_F(Compiler, UnsignedDivisionByFixedLeavesNoFlagBehind) {
    // A fixed division with an unsigned operand is FIXDIV, which takes no
    // unsigned flag: the signed operations after it stay signed.
    const char* divisions[] = {"x /= u;", "w /= x;", "uc /= x;", "us /= x;"};
    const struct {
        const char* expr;
        int signedResult;
    } next[] = {{"a / b", 0}, {"a % b", -1}, {"a > b", 0}, {"a >> 1", -1}, {"a <= b", 1}};
    std::vector<std::string> texts;
    std::vector<ResultCase> cases;
    texts.reserve(std::size(divisions) * std::size(next));
    for (const char* d : divisions)
        for (auto& n : next) {
            texts.push_back(std::string("int f() { unsigned int u = 2, w = 10; unsigned char uc = 10;\n"
                                        "  unsigned short us = 10; fixed x = 3.0; int a = -1; int b = 7;\n  ") +
                            d + " return " + n.expr + "; }");
            cases.push_back({texts.back().c_str(), n.signedResult});
        }
    ExpectResults("", cases);
    // The divisions themselves.
    ExpectResults("", {{"int f() { unsigned int u = 2; fixed x = 3.0; x /= u; return (int)(x * 10); }", 15},
                       {"int f() { unsigned int w = 10; unsigned char c = 10; fixed x = 4.0; w /= x; c /= x;\n"
                        "  return w * 10 + c; }", 22}});
}

TEST_F(Compiler, FoldsOfOtherKindsGiveTheEmittedValue) {
    // Each expression folded from constants and computed from variables.
    const char* exprs[] = {
        "(int)(F15 * 2)", "(int)(2 * F15)", "(int)(3 / F15)", "(int)(F15 * F2)", "(int)(F15 + 1)",
        "(int)(F15 - 1)", "(int)(1 - F15)", "(int)(F15 / F2 * 8)", "F15 > 1", "F15 == F15",
        "(int)(F15 + F2)", "C200 + 1", "C200 * 2", "S40000 + C200", "(int)(FL + 1)", "(int)(FL * F15)",
    };
    std::string text = "import void check(int id, int ok);\nint run()\n{\n"
                       "    fixed f15 = 1.5, f2 = 2; char c200 = 200; short s40000 = 40000; float fl = 0.1;\n";
    int id = 0;
    for (const char* e : exprs) {
        std::string folded = e, computed = e;
        for (auto [name, constant, variable] :
             {std::tuple{"F15", "(fixed)1.5", "f15"}, {"F2", "(fixed)2", "f2"}, {"C200", "(char)200", "c200"},
              {"S40000", "(short)40000", "s40000"}, {"FL", "(float)0.1", "fl"}}) {
            for (size_t at; (at = folded.find(name)) != std::string::npos;) folded.replace(at, strlen(name), constant);
            for (size_t at; (at = computed.find(name)) != std::string::npos;) computed.replace(at, strlen(name), variable);
        }
        text += "    check(" + std::to_string(id++) + ", (" + folded + ") == (" + computed + "));\n";
    }
    text += "    return 0;\n}\nexport run;\n";
    Compiled c(Text(text));
    ASSERT_NE(c.inst, nullptr);
    EXPECT_EQ(c.Call("run"), 0) << scLast_Error_Text;
    EXPECT_EQ(int(g_ran.size()), id);
    for (int failed : g_failed) ADD_FAILURE() << exprs[failed];
}

// The initial bytes of the global `v` declared by `text`.
std::vector<uint8_t> GlobalBytes(const std::string& text, size_t size) {
    Compiled c(scCompile_Text((text + "\nexport v;\n").c_str()));
    if (!c.inst) {
        ADD_FAILURE() << text << "\n" << scLast_Error_Text;
        return {};
    }
    auto* p = static_cast<const uint8_t*>(scGet_Global(c.inst, scGet_Symbol(c.inst, "v"), int(size)));
    return std::vector<uint8_t>(p, p + size);
}

template <class T>
std::vector<uint8_t> BytesOfValue(T x) {
    std::vector<uint8_t> out(sizeof x);
    std::memcpy(out.data(), &x, sizeof x);
    return out;
}

TEST_F(Compiler, DoubleLiteralsReadCorrectlyRounded) {
    for (const char* literal : {"0.3", "0.1", "2.675", "4.35", "0.000001", "1.5e3", "123456789.123456789",
                                "9007199254740993.0", "1.7976931348623157e308", "1.0e309", "1.5f"}) {
        std::string digits = literal;
        if (digits.back() == 'f') digits.pop_back();
        EXPECT_EQ(GlobalBytes(std::string("double v = ") + literal + ";", 8), BytesOfValue(std::strtod(digits.c_str(), nullptr)))
            << literal;
    }
    // 0.1 + 0.2 is just above 0.3, at run time and folded.
    ExpectResults("", {{"int f() { double a = 0.1, b = 0.2; return (a + b == 0.3) * 10 + (a + b > 0.3); }", 1},
                       {"int f() { int a; a = 0.1 + 0.2 > 0.3; return a; }", 1}});
}

TEST_F(Compiler, IntegerLiteralsKeepTheirBits) {
    // A literal that fits in 32 bits keeps its bit pattern as an int.
    struct {
        const char* literal;
        uint32_t bits;
    } cases[] = {{"0x80000000", 0x80000000u},  {"0xFFFFFFFF", 0xFFFFFFFFu}, {"0xFF00FF00", 0xFF00FF00u},
                 {"3000000000", 3000000000u}, {"4294967295", 0xFFFFFFFFu}, {"037777777777", 0xFFFFFFFFu},
                 {"2147483647", 0x7FFFFFFFu}, {"-2147483648", 0x80000000u}, {"-0x80000000", 0x80000000u},
                 {"0", 0u},                   {"010", 8u}};
    for (auto& k : cases)
        EXPECT_EQ(GlobalBytes(std::string("int v = ") + k.literal + ";", 4), BytesOfValue(k.bits)) << k.literal;
    ExpectResults("", {{"int f() { int m = 0xFF00FF00; return (m & 0xFF000000) == 0xFF000000; }", 1},
                       {"int f() { unsigned int u = 0xFFFFFFFF; return u / 0x10000; }", 0xFFFF}});
    for (const char* literal : {"4294967296", "0x100000000", "99999999999999999999", "0400000000000"}) {
        EXPECT_EQ(scCompile_Text((std::string("int f() {\n  return ") + literal + ";\n}\n").c_str()), nullptr)
            << literal;
        EXPECT_EQ(scLast_Error, scerr_SYNTAX) << literal;
        EXPECT_TRUE(std::string(scLast_Error_Text).find("integer constant too large") != std::string::npos) << scLast_Error_Text;
        EXPECT_TRUE(std::string(scLast_Error_Text).find("(  2)") != std::string::npos) << scLast_Error_Text;
    }
}

TEST_F(Compiler, StructuresDeclaredAndInitialisedAsInC) {
    const char* maker =
        "struct V { int x; int y; int z; };\n"
        "V make(int a, int b, int c) { V v; v.x = a; v.y = b; v.z = c; return v; }\n"
        "struct W { int w; };\nW one(int a) { W r; r.w = a; return r; }\n";
    std::vector<ResultCase> cases = {
        // typedef of a structure declared in place under its own name.
        {"typedef struct P { int a; int b; } P;\nint f() { P p; p.a = 4; p.b = 5; return p.a * 10 + p.b; }", 45},
        {"typedef struct P { int a; } Q;\nint f() { Q q; P p; q.a = 7; p.a = 1; return q.a + p.a; }", 8},
        {"typedef struct P { int a; } *PP;\nint f() { P p; PP q = &p; q->a = 3; return p.a; }", 3},
        // A structure declared in a type definition needs no name there; a ";"
        // may follow a member function's body.
        {"typedef struct P { int a; };\nint f() { P p; p.a = 2; return p.a; }", 2},
        {"struct P { int a; int g() { return a + 1; }; int b; };\nint f() { P p; p.a = 2; return p.g(); }", 3},
        // A structure result initialises a structure without constructors.
        {"int f() { V x = make(1, 2, 3); return x.x + x.y * 10 + x.z * 100; }", 321},
        {"int f() { int k = 9; V x = make(1, 2, 3), y = make(4, 5, 6); int m = 7;\n"
         "  return x.x + y.z * 10 + k * 100 + m * 1000; }", 7961},
        {"int f() { W a = one(6); W b = one(a.w + 1); return a.w * 10 + b.w; }", 67},
        {"int f() { V x = make(1, 2, 3); if (x.y == 2) { V y = make(x.z, 0, 0); return y.x; } return 0; }", 3},
    };
    ExpectResults(maker, cases);
}

TEST_F(Compiler, NestedStructureTypes) {
    // A structure declared inside another without a member name takes no room
    // there; it is named qualified by the outer one, or unqualified as in C.
    const char* types =
        "struct O { struct I { int x; int z; }; int y; class K { int k; }; };\n"
        "struct P { struct Q { struct R { int r; }; int q; }; };\n";
    std::vector<ResultCase> cases = {
        {"O::I a; I b; O o;\nint f() { a.x = 3; b.x = 4; o.y = 5; return a.x + b.x + o.y; }", 12},
        {"int f() { O::I a; a.z = 2; O::K k; k.k = 30; return a.z + k.k + sizeof(O) * 100 + sizeof(O::I) * 1000; }", 8432},
        {"int f() { P::Q::R r; P::Q q; r.r = 6; q.q = 1; return r.r * 10 + q.q; }", 61},
        {"O::I g(int v) { O::I i; i.x = v; return i; }\nint f() { O::I i = g(9); return i.x; }", 9},
        // Qualifiers are lexemes: blanks may stand around them, and "." serves as "::".
        {"O :: I a; P :: Q ::R r;\nint f() { a.x = 3; r.r = 4; return a.x * 10 + r.r; }", 34},
        {"O.I a;\nint f() { a.x = 3; O . I b; b.z = 5; return a.x * 10 + b.z; }", 35},
    };
    ExpectResults(types, cases);
    // A member function defined outside its structure, qualified by "::" or
    // ".", also through a nested structure.
    ExpectResults("struct N { int v; int get(); int twice(); struct M { int w; int get(); }; };\n"
                  "int N::get() { return v; }\nint N.twice() { return v * 2; }\n"
                  "int N::M::get() { return w + 1; }\n",
                  {{"int f() { N n; n.v = 4; N::M m; m.w = 6; return n.get() * 100 + n.twice() * 10 + m.get(); }", 487}});
    // A structure declared in a structure is its own, whatever is declared
    // outside under its name; unqualified, the name means the one declared at
    // the top level, inside the structure its own.
    ExpectResults("struct I { int a; int b; int c; };\nstruct O { struct I { char x; }; I i; int y; };\n",
                  {{"int f() { return sizeof(I) * 100 + sizeof(O::I) * 10 + sizeof(O); }", 1218},
                   {"int f() { O o; o.i.x = 7; I i; i.c = 2; return o.i.x * 10 + i.c; }", 72}});
}

TEST_F(Compiler, ConditionalResultTakesTheTrueBranchType) {
    // The result of ?: has the type of its true branch; the other branch is
    // converted to it, and the result converted again where it is stored.
    std::vector<ResultCase> cases = {
        {"int f() { int a = 1; double d; d = a > 5 ? 2 : 1.5; return (int)(d * 10); }", 10},
        {"int f() { int a = 9; double d; d = a > 5 ? 2 : 1.5; return (int)(d * 10); }", 20},
        {"int f() { int a = 1; double d; d = a > 5 ? 2.5 : 1; return (int)(d * 10); }", 10},
        {"int f() { int a = 9; int i; i = a > 5 ? 2.5 : 1; return i; }", 2},
    };
    ExpectResults("", cases);
}

TEST_F(Compiler, ConditionalFalseValueConvertedToTheTrueBranchType) {
    // c ? t : x with c false, for a true branch t of every kind and a false
    // value x of every kind it converts from, x an immediate, a call's result in
    // a register, a local or a global: the value of x converted to t's type,
    // stored, initialising a local, passed as an argument and passed to a
    // variadic function (its words: a floating result is a double).
    std::string text = "import void check(int id, int ok);\nimport int total(int n, ...);\n";
    text += KindGlobalsAndIdentities();
    std::string body = "int run()\n{\n    int c = 0;\n";
    for (int s = 0; s < kKinds; s++) {
        const KindInfo& S = kKindInfo[s];
        body += std::string("    ") + S.name + " l" + S.tag + " = " + S.value + ";\n";
        body += std::string("    ") + S.name + " r" + S.tag + ";\n";
    }
    std::vector<std::string> what;  // by check id
    for (int t = 0; t < kKinds; t++)
        for (int s = 0; s < kKinds; s++) {
            if (!Converts(Kind(s), Kind(t))) continue;
            const KindInfo &S = kKindInfo[s], &T = kKindInfo[t];
            const uint64_t e = Expected(Kind(s), Kind(t));
            const std::string r = std::string("r") + T.tag, cmp = HoldsBits(r, Kind(t), e);
            const bool floating = t == kFloat || t == kDouble;
            const uint64_t pushed = floating ? Expected(Kind(s), kDouble) : e;
            const int32_t sum = floating ? int32_t(uint32_t(pushed) + uint32_t(pushed >> 32)) : int32_t(pushed);
            const std::string places[] = {S.value, std::string("id") + S.tag + "(g" + S.tag + ")",
                                          std::string("l") + S.tag, std::string("g") + S.tag};
            const char* placeNames[] = {"immediate", "register", "local", "global"};
            for (int p = 0; p < 4; p++) {
                const std::string cond = std::string("c ? l") + T.tag + " : " + places[p];
                const std::string clear = r + " = 0; *(int*)&" + r + " = 0; ";
                const std::string of = std::string("a false ") + S.name + " (" + placeNames[p] + ") after a true " + T.name;
                auto add = [&](const std::string& code, const std::string& name) {
                    body += "    " + code + "\n";
                    what.push_back(name + " of " + of);
                };
                add(clear + r + " = " + cond + "; check(" + std::to_string(what.size()) + ", " + cmp + ");", "store");
                add("{ " + std::string(T.name) + " q = " + cond + "; " + clear + r + " = q; check(" +
                        std::to_string(what.size()) + ", " + cmp + "); }",
                    "initialiser");
                add(clear + r + " = id" + T.tag + "(" + cond + "); check(" + std::to_string(what.size()) + ", " + cmp +
                        ");",
                    "argument");
                add("check(" + std::to_string(what.size()) + ", total(" + (floating ? "2" : "1") + ", " + cond +
                        ") == " + std::to_string(sum) + ");",
                    "variadic argument");
            }
        }
    RunChecks(text + body + "    return 0;\n}\nexport run;\n", what);
}

// Every check(N, ...) written in the script ran: a script that returns early or
// skips a branch must not pass by running fewer checks.
void ExpectEveryCheckRan(const char* file) {
    std::ifstream in(ScriptPath(file));
    std::stringstream text;
    text << in.rdbuf();
    std::set<int> written;
    static const std::regex call(R"(\bcheck\(\s*(\d+)\s*,)");
    std::string source = text.str();
    for (std::sregex_iterator m(source.begin(), source.end(), call), end; m != end; ++m)
        written.insert(std::stoi((*m)[1]));
    EXPECT_FALSE(written.empty()) << file;
    EXPECT_EQ(g_ran, written) << file << ": the checks that ran";
}

void RunCorpus(const char* file, int expect = 0) {
    scScript image = scCompile_File(ScriptPath(file).c_str());
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    EXPECT_EQ(scmTrackedCount(), 0);
    Compiled c(image);
    ASSERT_NE(c.inst, nullptr) << scLast_Error_Text;
    int r = c.Call("run");
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    EXPECT_EQ(r, expect) << file;
    EXPECT_EQ(g_failed, std::vector<int>{}) << file << ": failed check ids";
    ExpectEveryCheckRan(file);
}

TEST_F(Compiler, CorpusArithmetic) { RunCorpus("arith.sc"); }
TEST_F(Compiler, CorpusPointersArraysStructs) { RunCorpus("pointers.sc"); }
TEST_F(Compiler, CorpusControlFlow) { RunCorpus("control.sc", 3); }
TEST_F(Compiler, CorpusFunctions) { RunCorpus("functions.sc"); }
TEST_F(Compiler, CorpusHostCalls) { RunCorpus("hostcalls.sc"); }
TEST_F(Compiler, CorpusExpressions) { RunCorpus("expressions.sc"); }

TEST_F(Compiler, CorpusMultitasking) {
    scScript image = scCompile_File(ScriptPath("multitask.sc").c_str());
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    Compiled c(image);
    ASSERT_NE(c.inst, nullptr);
    ASSERT_EQ(scLaunch_With_Params(c.inst, 1000, scGet_Symbol(c.inst, "run"), 0, nullptr), 1) << scLast_Error_Text;
    int slices = 0;
    while (scGet_Instance_Status(c.inst) != scstatus_FREE && slices < 100) {
        scRun_Time_Slice();
        slices++;
    }
    EXPECT_LT(slices, 100);
    EXPECT_EQ(g_failed, std::vector<int>{});
    ExpectEveryCheckRan("multitask.sc");
    int shared = *static_cast<int*>(scGet_Global(c.inst, 4, 4));
    int steps = *static_cast<int*>(scGet_Global(c.inst, 8, 4));
    EXPECT_EQ(shared, 10);  // the forked child ran
    EXPECT_EQ(steps, 3);
    EXPECT_GE(slices, 2);   // WAIT gave the CPU back
}

TEST_F(Compiler, UnnamedForkAfterACallReturningMinusOne) {
    // Register 0 holds -1 from the call when each fork comes: the parent and the
    // forked child both fork and go on.
    scScript image = scCompile_Text(
        "int count = 0;\nint neg() { return -1; }\n"
        "int run()\n{\n    neg();\n    fork {\n        neg();\n        fork count = count + 1000;\n"
        "        count = count + 10;\n    }\n    neg();\n    fork count = count + 1;\n"
        "    count = count + 100;\n    return 0;\n}\nexport run;\nexport count;\n");
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    Compiled c(image);
    ASSERT_NE(c.inst, nullptr);
    ASSERT_EQ(scLaunch_With_Params(c.inst, 1000, scGet_Symbol(c.inst, "run"), 0, nullptr), 1) << scLast_Error_Text;
    const uint32_t handle = scInstance_Handle(c.inst);
    for (int slices = 0; slices < 20; slices++) scRun_Time_Slice();
    if (!scInstance_From_Handle(handle)) {
        c.inst = nullptr;
        FAIL() << "the top instance was freed at a fork";
    }
    EXPECT_EQ(*static_cast<int*>(scGet_Global(c.inst, scGet_Symbol(c.inst, "count"), 4)), 1111);
}

// Launches the instance's `run' and gives time slices until it ends or 100 have
// passed; whether the top instance is still there.
bool RunInSlices(Compiled& c) {
    const uint32_t handle = scInstance_Handle(c.inst);
    if (scLaunch_With_Params(c.inst, 1000, scGet_Symbol(c.inst, "run"), 0, nullptr) != 1) return false;
    for (int slices = 0; slices < 100 && scGet_Instance_Status(c.inst) != scstatus_FREE; slices++)
        scRun_Time_Slice();
    return scInstance_From_Handle(handle) != nullptr;
}

TEST_F(Compiler, StoredImageWithForksAndFloatsRunsAsCompiledNow) {
    scScript stored = scLoad_Script(ScriptPath("fork_float_stored.so").c_str());
    ASSERT_NE(stored, nullptr) << scLast_Error_Text;
    scScript compiled = scCompile_File(ScriptPath("fork_float.sc").c_str());
    ASSERT_NE(compiled, nullptr) << scLast_Error_Text;
    for (scScript image : {stored, compiled}) {
        SCOPED_TRACE(image == stored ? "stored image" : "compiled now");
        Compiled c(image);
        ASSERT_NE(c.inst, nullptr);
        ASSERT_TRUE(RunInSlices(c)) << scLast_Error_Text;
        auto global = [&](const char* name, int size) { return scGet_Global(c.inst, scGet_Symbol(c.inst, name), size); };
        double out1, out2;
        float out3;
        std::memcpy(&out1, global("out1", 8), 8);
        std::memcpy(&out2, global("out2", 8), 8);
        std::memcpy(&out3, global("out3", 4), 4);
        EXPECT_EQ(*static_cast<int*>(global("done", 4)), 11);
        EXPECT_EQ(out1, 56.0);
        EXPECT_EQ(out2, 6.5);
        EXPECT_EQ(out3, 6.25f);
        EXPECT_EQ(*static_cast<int*>(global("outChild", 4)), 1);
        EXPECT_EQ(c.inst->firstChild, nullptr);  // both children ended
    }
}

// Locals declared inside fork bodies: in a block, a nested block, a nested fork
// and as the whole body, initialised from the parent's locals, assigned later,
// passed to calls, addressed only by a nested child; a temporary structure; the
// parent's own later locals stay where it put them.
TEST_F(Compiler, LocalsDeclaredInForkBodies) {
    scScript image = scCompile_Text(
        "struct P { int x; int y; };\n"
        "int out1 = 0, out2 = 0, out3 = 0, out4 = 0, out5 = 0, out6 = 0, out7 = 0, after = 0, done = 0;\n"
        "int twice(int v) { return 2 * v; }\n"
        "int three(int a, int b, int c) { return a + b + c; }\n"
        "P make(int v) { P r; r.x = v; r.y = v + 1; return r; }\n"
        "int run()\n{\n"
        "    int i = 4, k;\n"
        "    fork {\n"
        "        int j = i + 1;\n"
        "        j = j * 2;\n"
        "        out1 = j;\n"
        "        {\n            int n = j + i;\n            out2 = n;\n        }\n"
        "        done = done + 1;\n"
        "    }\n"
        "    fork {\n"
        "        int a = twice(i) + 1, b;\n"
        "        b = twice(a);\n"
        "        out3 = b + i;\n"
        "        fork {\n"
        "            P p;\n            p.x = a;\n            p.y = b;\n"
        "            out4 = p.x * 100 + p.y + i;\n"
        "            done = done + 10;\n"
        "        }\n"
        "        done = done + 100;\n"
        "    }\n"
        "    fork {\n"  // a local that only a nested child addresses
        "        int c = i + 2;\n"
        "        fork out6 = c * 10;\n"
        "        done = done + 1000;\n"
        "    }\n"
        "    fork out5 = make(i).y + i;\n"  // a temporary structure: stack room of the child's own
        "    fork int unused = i * 3;\n"
        "    fork {\n"  // no locals of its own, but a call's pushes
        "        three(1, 2, 3);\n"
        "        out7 = i;\n"
        "        done = done + 10000;\n"
        "    }\n"
        "    int later = 7;\n"
        "    for (k = 0; k < 50 && done < 11111; k++) WAIT;\n"
        "    after = later + i;\n"
        "    return done;\n}\n"
        "export run;\nexport out5;\nexport out6;\nexport out7;\nexport out1;\nexport out2;\nexport out3;\nexport out4;\nexport after;\nexport done;\n");
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    Compiled c(image);
    ASSERT_NE(c.inst, nullptr);
    ASSERT_TRUE(RunInSlices(c)) << scLast_Error_Text;
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    auto global = [&](const char* name) { return *static_cast<int*>(scGet_Global(c.inst, scGet_Symbol(c.inst, name), 4)); };
    EXPECT_EQ(global("done"), 11111);
    EXPECT_EQ(global("out1"), 10);
    EXPECT_EQ(global("out2"), 14);
    EXPECT_EQ(global("out3"), 22);
    EXPECT_EQ(global("out4"), 922);
    EXPECT_EQ(global("out5"), 9);
    EXPECT_EQ(global("out6"), 60);
    EXPECT_EQ(global("out7"), 4);
    EXPECT_EQ(global("after"), 11);
}

// Every binary and unary operator over a table of operand pairs, once folded and
// once at run time.
TEST_F(Compiler, ForkedChildrenCannotKillTheirSiblings) {
    // Only a top instance has children: asked of a child, the kill does nothing.
    Compiled c(Text(
        "#include Instances\nint n = 0;\n"
        "int run() {\n"
        "  fork { WAIT; n = n + 1; }\n"
        "  fork { WAIT; scKill_My_Forked_Instances(); n = n + 10; }\n"
        "  n = n + 100;\n"
        "  return 0;\n"
        "}\nint count() { return n; }\nexport run;\nexport count;\n"));
    ASSERT_NE(c.inst, nullptr);
    ASSERT_EQ(scLaunch_With_Params(c.inst, 1000, scGet_Symbol(c.inst, "run"), 0, nullptr), 1) << scLast_Error_Text;
    scRun_Time_Slice();
    ASSERT_NE(scGet_Forked(c.inst, 2), nullptr);
    scKill_Forked_Instances(scGet_Forked(c.inst, 2));
    ASSERT_NE(scGet_Forked(c.inst, 1), nullptr);
    for (int slices = 0; slices < 20 && scGet_Forked(c.inst, 1); slices++) scRun_Time_Slice();
    EXPECT_EQ(scGet_Forked(c.inst, 1), nullptr);
    EXPECT_EQ(c.Call("count"), 111);
    // The top instance's own kill still ends every child and restarts the count.
    ASSERT_EQ(scLaunch_With_Params(c.inst, 1000, scGet_Symbol(c.inst, "run"), 0, nullptr), 1);
    scRun_Time_Slice();
    scKill_Forked_Instances(c.inst);
    EXPECT_EQ(scGet_Forked(c.inst, 3), nullptr);
    EXPECT_EQ(scGet_Forked(c.inst, 4), nullptr);
    EXPECT_EQ(scRun_Time_Slice(), 0);
}

TEST_F(Compiler, DifferentialFoldingTable) {
    const char* ops[] = {"+", "-", "*", "/", "%", "<<", ">>", "&", "|", "^", "==", "!=", "<", "<=", ">", ">=", "&&", "||"};
    int pairs[][2] = {{7, 2}, {-7, 2}, {7, -2}, {0, 5}, {5, 0}, {1, 33}, {-1, 31}, {2147483647, 1},
                      {-2147483647 - 1, -1}, {12345, 678}, {-5, -5}};
    std::string text = "import void check(int id, int ok);\nint run()\n{\n    int a, b;\n";
    int id = 0;
    for (auto& p : pairs) {
        char buf[512];
        auto lit = [](int v) {
            if (v == INT32_MIN) return std::string("(-2147483647 - 1)");
            return v < 0 ? "(" + std::to_string(v) + ")" : std::to_string(v);
        };
        text += "    a = " + lit(p[0]) + "; b = " + lit(p[1]) + ";\n";
        for (const char* op : ops) {
            id++;
            bool div = !std::strcmp(op, "/") || !std::strcmp(op, "%");
            if (div && p[1] == 0) continue;
            std::string A = p[0] == INT32_MIN ? "(-2147483647 - 1)" : lit(p[0]);
            std::string B = lit(p[1]);
            std::snprintf(buf, sizeof buf, "    check(%d, (%s %s %s) == (a %s b));\n", id, A.c_str(), op, B.c_str(), op);
            text += buf;
        }
        for (const char* op : {"-", "!", "~"}) {
            id++;
            std::string A = p[0] == INT32_MIN ? "(-2147483647 - 1)" : lit(p[0]);
            std::snprintf(buf, sizeof buf, "    check(%d, (%s%s) == (%sa));\n", id, op, A.c_str(), op);
            text += buf;
        }
    }
    text += "    return 0;\n}\nexport run;\n";
    Compiled c(Text(text));
    ASSERT_NE(c.inst, nullptr);
    EXPECT_EQ(c.Call("run"), 0) << scLast_Error_Text;
    // || and && of two constants fold to 0 or 1, while at run time || keeps a
    // non-zero left value: those ids are expected to differ.
    std::set<int> expected;
    int n = 0;
    for (auto& p : pairs) {
        for (const char* op : ops) {
            n++;
            if (!std::strcmp(op, "||") && p[0] != 0 && p[0] != 1) expected.insert(n);
        }
        n += 3;
    }
    std::set<int> failed(g_failed.begin(), g_failed.end());
    EXPECT_EQ(failed, expected);
}

// ---- Errors --------------------------------------------------------------------

struct ErrorCase {
    std::string text;
    int cls;
    const char* message;
    int line;
};

// Each text fails to compile with its class and message, on its line.
void ExpectErrors(const std::vector<ErrorCase>& cases) {
    for (auto& c : cases) {
        scScript image = scCompile_Text(c.text.c_str());
        EXPECT_EQ(image, nullptr) << c.text;
        std::free(image);
        EXPECT_EQ(scLast_Error, c.cls) << c.text << ": " << scLast_Error_Text;
        EXPECT_EQ(scLast_Error_Text, ErrorText(c.line, c.message)) << c.text;
        EXPECT_EQ(scmTrackedCount(), 0) << c.text;
    }
}

TEST_F(Compiler, ErrorTable) {
    ExpectErrors({
        {"int f() { return 1 }", 1, "Parse error at }", 1},
        {"}", 1, "`}' without `{'", 1},
        {"int x;\nint f() {", 1, "Parse error at  end of file", 2},
        {"int f() {\n  int x;\n  x = 1;\n", 1, "Parse error at  end of file", 3},
        {"int f() {\n  return 1 +", 1, "Parse error", 2},
        {"int f() { x = 1; }", 4, "`x' undeclared", 1},
        {"int f() { 1 = 2; }", 4, "Invalid lvalue in assignment", 1},
        {"int f() { int a; a = 1 / 0; }", 4, "Division by zero", 1},
        {"double d; int f() { d = d % 2.0; }", 4, "Invalid operands to binary %%", 1},
        {"float g; int f() { int a; a = 3 % g; }", 4, "Invalid operands to binary %%", 1},
        {"int f() { int *p; p = p - 1; }", 4, "Invalid pointer operation", 1},
        {"int a; int a;", 2, "Symbol `a' already defined", 1},
        {"static int n;", 2, "Global symbol `n' declared as static", 1},
        {"int a, f();", 2, "Forbidden function declaration", 1},
        {"int f();\n", 2, "Function `f' declared and not defined!", 1},
        {"long l;", 2, "Type long is a 64bit long, yet not supported. \n(if you need 32-bit long, use int instead)", 1},
        {"unsigned float x;", 2, "Only char,short and int can be unsigned", 1},
        {"int x; int a[x];", 2, "Constant integer array size expected", 1},
        {"int a[ ];", 1, "[] is illegal in ZedI. Sorry :-(", 1},
        {"int f(int a, int a);", 2, "Parameters 1 and 2 has the same name 'a'", 1},
        {"int &r;", 2, "reference without initializer", 1},
        {"return 1;", 1, "return in not a function", 1},
        {"int f() { fork (1) ; }", 4, "Invalid lvalue in assignment", 1},
        {"double d; int f() { fork (d) ; }", 4, "int variable required in fork", 1},
        {"int f() { switch (1) { default: ; case 1: ; } }", 1, "default expected to be last in switch", 1},
        {"int f() { if 1; }", 1, "`1' instead of `(' required after if", 1},
        {"int f() { char c; c = 'ab'; }", 1, "too long character constant", 1},
        {"int f(int x) { return 1; }\nint g() { return f(); }", 4, "`f()' could not be found.\nPossible candidates:\nint f(int)", 2},
        {"int f(int a, double b) {return 0;}\nint f(double a, int b) {return 0;}\nint g() { return f(1, 1); }", 4,
         "Unable to decide which of 2 candidates for function 'f(int,int)' to use:\nint f(double,int)\nint f(int,double)", 3},
        {"export nothing;", 2, "Unable to export nothing!", 1},
        {"int (*p)(int);\nint f() { return p(1); }", 4, "`p' is not a function", 2},
        {"int g(int x) { return x; }\nint f() { int (*p)(int); p = &g; }", 4,
         "At the moment getting the address of a function is not implemented!", 2},
        {"struct P { int a; }; struct Q { P p; };\nexport P.Q.a;", 2, "Structure P.Q does not exist!", 2},
        {"typedef int I; struct Q { int a; };\nexport Q.I.a;", 2, "Q.I.a is not a structure!", 2},
        {"struct P { int a; }; struct Q { P p; };\nexport Q.P.b;", 2, "Unable to export Q.P.b!", 2},
        {"script T { int; };", 2, "member name not specified in struct declaration", 1},
        {"script T { struct P { int a; } };", 1, "Parse error at }", 1},
        {"int f() { import int g(); }", 2, "Illegal import declaration inside a function", 1},
        {"import(16) int g();", 2, "The number 16 exceeded the maximum number (15) of dispatchers", 1},
        {"typedef int T; typedef int T;", 2, "duplicate definition `T'", 1},
        {"int x = y;", 4, "`y' undeclared", 1},
        {"int f(); int x = f();", 2, "Illegal initializer", 1},
        {"int a[3] = {1, 2};", 1, "Parse error at }", 1},
        {"char *p = {1};", 2, "Don't use {} in initialization of pointer.", 1},
        {"int f() { int a = 1; a ? 2 : a ? 3 : 4; }", 1, "Invalid expression separator :`?'", 1},
        {"union U { int a; };", 2, "Sorry.Unions not implemented yet", 1},
        {"struct S { import int a; };", 2, "A member variable (a) cannot be imported", 1},
        {"struct S { int f(); int f(); };", 2, "member `f' already in structure", 1},
        {"struct S { int operator@(); };", 2, "invalid operator function", 1},
        {"struct S { import int f() { } };", 2, "What? You want to define function `f'? It's already imported!", 1},
        {"struct S { int a; int a; };", 2, "member `a' already in structure", 1},
        {"struct S { S s; };", 2, "recursive declaration (struct 'S' inside itself)", 1},
        {"script T { int f() { } };", 2, "What? You want to define function `f'? It'll come in the script!", 1},
        {"script T { int f(); int f(); };", 2, "member `f' already in script", 1},
        {"script { int f(); };", 2, "Identifier required in script declaration", 1},
        {"struct S { int a; }; script S { int f(); };", 2, "`S' already defined as non-script", 1},
        {"double d; int f() { d %= 2.0; }", 3, "Invalid `MOD' operand for floating", 1},
        {"double d; int f() { d <<= 1; }", 3, "Invalid `SHL' operand for floating", 1},
        {"int f() { int x; x = 'a' + \"s\" % 2; }", 4, "Invalid pointer operation", 1},
        {"int f() { int x; x = 1 +; }", 1, "Invalid expression separator `;'", 1},
        {"int g; int f() { __vcpu(g); }", 1, "__vcpu requires constants as parameters", 1},
        {"int f() { while (1) ; }\nint g() { do ; until (1); }", 1, "while expected instead of 'until'", 2},
        {"int f() { return 1; }\nint f() { return 2; }", 2, "Symbol `f' already defined", 2},
        // A definition differs from another by its parameter types, not its result.
        {"int f(int a) { return a; }\ndouble f(int b) { return b; }", 2, "Symbol `f' already defined", 2},
        {"int f(int a);\ndouble f(int b) { return b; }", 2, "Symbol `f' already defined", 2},
        {"struct S { int f(int a);\ndouble f(int b); };", 2, "member `f' already in structure", 2},
        {"struct S { int f(int a); };\ndouble S::f(int b) { return b; }", 2, "Symbol `f' already defined", 2},
        {"struct S { int f(int a); };\nint S::f(double b) { return 1; }", 2, "Function f is not a member of S", 2},
        // Type definitions and member lists.
        {"typedef int;", 2, "type name not specified in type definition", 1},
        {"struct S { int a, f(); };", 2, "function can be declared one at a time!", 1},
        {"struct S { ; };", 2, "not a type in type definition", 1},
        {"struct S { int a, ; };", 2, "type name not specified in type definition", 1},
        // Members named outside their structure.
        {"int S::a;", 2, "Structure `S' does not exist", 1},
        {"typedef int T;\nint T::a;", 2, "`T' is not a structure", 2},
        {"struct P;\nint P::b() { return 1; }", 2, "Structure `P' was not fully specified", 2},
        {"struct P { int a; };\nint P::b() { return 1; }", 2, "`b' is not a member of P", 2},
        // Texts of body declarations and calls.
        {"int f() {\nint &r = 1; return r; }", 4, "Invalid reference initializer", 2},
        {"int f() {\nint x(1); return x; }", 1, "Parse error at (", 2},
        {"struct S { int a; }; S s;\nint f() { return s(1); }", 4, "Proper `operator()(int)' could not be found.", 2},
        {"int f() {\nchar *t = typeof(); return 0; }", 1, "typeof() requires type or variable", 2},
        {"void v() { }\nint f() { int a; a = v() + 1; return a; }", 5, "Illegal type conversion from void", 2},
        {"void v() { }\nint f() { int a; a = v(); return a; }", 5, "Illegal type conversion from void", 2},
        {"void v() { }\nint f() { int a = v(); return a; }", 5, "Illegal type conversion from void", 2},
        {"void v() { }\nint f() {\n  return v();\n}", 5, "Illegal type conversion from void", 3},
        {"void v() { }\nint f() { if (v()) return 1; return 0; }", 5, "Illegal type conversion from void", 2},
        {"void v() { }\nint f() { return -v(); }", 5, "Illegal type conversion from void", 2},
        {"void v() { }\ndouble d;\nint f() { d = v(); return 0; }", 5, "Illegal type conversion from void", 3},
        {"import int total(int n, ...);\nvoid v() { }\nint f() { return total(1, v()); }", 5,
         "Illegal type conversion from void", 3},
    });
}

TEST_F(Compiler, ErrorsOfScopesOperandsAndDeclarators) {
    ExpectErrors({
        // The parameters are in the body's scope.
        {"int f(int x) {\n  int x = x + 1; return x; }", 2, "Symbol `x' already defined", 2},
        {"int f(int a, double x) { int b; double x; return 0; }", 2, "Symbol `x' already defined", 1},
        {"struct S { int m; int g(int x) { int x; return 0; } };", 2, "Symbol `x' already defined", 1},
        // A structure without constructors is built by none.
        {"struct S { int a; };\nint f() { S s; s = S(1); return 0; }", 4, "Constructor `S(int)' couldn't be found.", 2},
        {"struct S { int a; };\nint f() { return S(1, 2.5).a; }", 4, "Constructor `S(int,double)' couldn't be found.", 2},
        // Pointer arithmetic steps by an int.
        {"int f() { char b[4]; char *p = b; char c = 1; p = p + c; return 0; }", 4, "Invalid 2nd argument to operator+", 1},
        {"int f() { int b[4]; int *p = b; short s = 1; p = p + s; return 0; }", 4, "Invalid 2nd argument to operator+", 1},
        {"int f() { int b[4]; int *p = b; p = p + 1.5; return 0; }", 4, "Invalid 2nd argument to operator+", 1},
        // A script type is named "script".
        {"script K { int f(); }; K k;\nint g(int x) { return x; }\nint f() { return g(k); }", 4,
         "`g(script)' could not be found.\nPossible candidates:\nint g(int)", 3},
        // A reference is the first element of a declarator.
        {"int f() { int x = 3; int & & r = x; return r; }", 2, "invalid reference", 1},
        {"int f(int & & r) { return r; }", 2, "invalid reference", 1},
    });
    // The shadowing that C allows stays; in a member function a local or
    // parameter hides a member, which hides a global (as in C++).
    ExpectResults("int g = 5;\nint h(int x) { { int x = 2; return x * 10; } }\n"
                  "int count = 9;\nclass C { public: int count;\n"
                  "  void set(int count) { this->count = count; } void reset() { count = 0; } };\n",
                  {{"int f() { int g = 3; return g + h(7); }", 23},
                   {"int f() { C c; c.set(5); int a = c.count; c.reset(); return a * 10 + c.count + count * 100; }", 950}});
}

TEST_F(Compiler, LiteralZeroPrefersNumbersThenPointersThenClassCasts) {
    // A literal 0 matches an integer or floating parameter first, then a
    // pointer, and a pointer before a class cast.
    const char* functions =
        "#include stdlib\n"
        "int f(int x) { return 1; }\nint f(char *p) { return 2; }\n"
        "int h(char *p) { return p == 0; }\n"
        "int q(char *p) { return 3; }\nint q(string& s) { return 4; }\n"
        "int d(double x) { return 5; }\nint d(char *p) { return 6; }\n"
        "int two(int a, char *p) { return 7; }\nint two(char *p, char *r) { return 8; }\n";
    ExpectResults(functions, {
        {"int f() { return f(0) * 10 + f(\"a\"); }", 12},
        {"int f() { return h(0); }", 1},
        {"int f() { string s = \"ab\"; return q(0) * 10 + q(s); }", 34},
        {"int f() { return d(0) * 10 + d(\"a\"); }", 56},
        {"int f() { return two(0, 0) * 10 + two(\"a\", 0); }", 78},
        // The standard string class: 0 is the number.
        {"int f() { string s = \"ab\"; s = 0; string t = 0; return s == \"0\" && t == \"0\" && (s + 0) == \"0\"; }", 1},
    });
    ExpectErrors({
        {"int f(int x) { return 1; }\nint f(double x) { return 2; }\nint g() { return f(0); }", 4,
         "Unable to decide which of 2 candidates for function 'f(int)' to use:\nint f(double)\nint f(int)", 3},
        {"int f(int x, char *p) { return 1; }\nint f(char *p, int x) { return 2; }\nint g() { return f(0, 0); }", 4,
         "Unable to decide which of 2 candidates for function 'f(int,int)' to use:\nint f(char*,int)\nint f(int,char*)", 3},
    });
}

TEST_F(Compiler, CallsOfOtherInstancesTakeAtMost65535BytesOfArguments) {
    // The descriptor of a host call or of a call of another script object's
    // function counts the argument bytes in 16 bits.
    const std::string types = "struct B { char c[70000]; }; struct C { char c[65532]; }; struct D { char c[65528]; };\n"
                              "import int take(B b); import int fits(C c); import int total(int n, ...);\n"
                              "script K { int give(B b); int pass(D d); int close(C c); };\n"
                              "B b; C c; D d; K k;\n";
    ExpectErrors({
        {types + "int f() { return take(b); }", 4, "Too many parameter bytes to function `take' (70000, at most 65535)", 5},
        {types + "int f() { return total(1, b); }", 4, "Too many parameter bytes to function `total' (70004, at most 65535)",
         5},
        {types + "int f() { return k.give(b); }", 4, "Too many parameter bytes to function `give' (70004, at most 65535)", 5},
        {types + "int f() { return k.close(c); }", 4, "Too many parameter bytes to function `close' (65536, at most 65535)",
         5},
    });
    scScript image = Text(types + "int f() { return fits(c) + k.pass(d); }");
    EXPECT_NE(image, nullptr) << scLast_Error_Text;
    std::free(image);
}

TEST_F(Compiler, InternalErrorsNameTheirCheckAndPlace) {
    zedi::ClearError();
    const int line = __LINE__ + 1;
    EXPECT_THROW(INTERNAL_ERROR("a check"), zedi::CompileAbort);
    EXPECT_EQ(scLast_Error, scerr_INTERNAL);
    char expected[200];
    std::snprintf(expected, sizeof expected, scErrorFormats[scmsg_INTERNAL], " <a check> in compiler_test.cpp", line);
    EXPECT_EQ(scLast_Error_Text, ErrorText(0, expected, "script"));
    zedi::ClearError();
}

TEST_F(Compiler, Limits) {
    // 999 cases compile; the 1000th is refused.
    auto switchWith = [](int cases) {
        std::string text = "int f(int x) { int r = 0; switch (x) {\n";
        for (int i = 0; i < cases; i++) text += "case " + std::to_string(i) + ": r = " + std::to_string(i * 2) + "; break;\n";
        return text + "} return r; }\nexport f;\n";
    };
    Compiled c(Text(switchWith(999)));
    ASSERT_NE(c.inst, nullptr);
    EXPECT_EQ(c.Call("f", {998}), 1996);
    EXPECT_EQ(scCompile_Text(switchWith(1000).c_str()), nullptr);
    EXPECT_EQ(scLast_Error, scerr_INTERNAL);
    EXPECT_NE(std::string(scLast_Error_Text).find("Too many cases in switch (max:1000)"), std::string::npos);
    // A call's arguments hold registers until they are pushed: 250 of them run
    // out of registers.
    std::string wide = "int g(int a, ...) { return a; }\nint f() { int x = 1; return g(x + 1";
    for (int i = 0; i < 250; i++) wide += i % 20 ? ", x + 1" : ",\n x + 1";
    wide += "); }\n";
    EXPECT_EQ(scCompile_Text(wide.c_str()), nullptr);
    EXPECT_NE(std::string(scLast_Error_Text).find("expression too complex (register overuse)"), std::string::npos)
        << scLast_Error_Text;
    // Nesting far beyond any script is refused before it could exhaust the
    // host's stack.
    struct Deep {
        std::string open, close;
        const char* what;
    } deep[] = {
        {"int f() { return ", "; }", "Expression nested too deeply"},
        {"int f() { ", " }", "Statements nested too deeply"},
        {"int ", ";", "Declarator nested too deeply"},
    };
    for (auto& d : deep) {
        std::string text = d.open;
        for (int i = 0; i < 30000; i++) text += i % 20 ? (d.what[0] == 'S' ? "{" : "(") : (d.what[0] == 'S' ? "\n{" : "\n(");
        text += d.what[0] == 'D' ? "x" : "1";
        for (int i = 0; i < 30000; i++) text += i % 20 ? (d.what[0] == 'S' ? "}" : ")") : (d.what[0] == 'S' ? "\n}" : "\n)");
        text += d.close;
        EXPECT_EQ(scCompile_Text(text.c_str()), nullptr) << d.what;
        EXPECT_STREQ(MessageOf(scLast_Error_Text), d.what);
    }
    // Conditional blocks nest as deep as memory allows.
    {
        std::string text;
        for (int i = 0; i < 2000; i++) text += "#ifdef ZedI\n";
        text += "int f() { return 7; }\n";
        for (int i = 0; i < 2000; i++) text += "#endif\n";
        Compiled c(Text(text + "export f;\n"));
        ASSERT_NE(c.inst, nullptr) << scLast_Error_Text;
        EXPECT_EQ(c.Call("f"), 7);
    }
    // An else-if chain does not nest deeper per arm.
    {
        std::string text = "int f(int x) {\n if (x == 0) return 1000;\n";
        for (int i = 1; i < 2000; i++) text += " else if (x == " + std::to_string(i) + ") return " + std::to_string(1000 + i) + ";\n";
        text += " else return -1;\n}\nexport f;\n";
        Compiled c(Text(text));
        ASSERT_NE(c.inst, nullptr) << scLast_Error_Text;
        for (int x : {0, 1, 1000, 1999}) EXPECT_EQ(c.Call("f", {x}), 1000 + x);
        EXPECT_EQ(c.Call("f", {2000}), -1);
    }
    // At least 127 nested blocks: the deepest of each form that compiles, and
    // one more that is refused.
    struct Block {
        const char *open, *close;
        int deepest;
    } blocks[] = {{"{ ", "} ", 1022}, {"if (x) { ", "} ", 511}, {"while (x) { x--; ", "} ", 511}};
    for (auto& b : blocks) {
        for (int depth : {127, b.deepest, b.deepest + 1}) {
            std::string text = "int f(int x) { ";
            for (int i = 0; i < depth; i++) text += std::string(b.open) + "\n";
            text += "x++;";
            for (int i = 0; i < depth; i++) text += std::string(b.close) + "\n";
            text += "return x; }\nexport f;\n";
            scScript image = scCompile_Text(text.c_str());
            EXPECT_EQ(image != nullptr, depth <= b.deepest) << b.open << " x " << depth << ": " << scLast_Error_Text;
            if (!image) {
                EXPECT_STREQ(MessageOf(scLast_Error_Text), "Statements nested too deeply");
            } else if (b.open[0] == 'i') {
                Compiled c(image);
                EXPECT_EQ(c.Call("f", {1}), 2);
                image = nullptr;
            }
            std::free(image);
        }
    }
    // At least 63 nested parentheses.
    struct Nest {
        const char *open, *close;
        int deepest;
    } nests[] = {{"(", ")", 255}, {"x = (", ")", 127}, {"(1 * ", ")", 127}, {"(1 | ", ")", 127}};
    for (auto& n : nests) {
        for (int depth : {63, n.deepest, n.deepest + 1}) {
            std::string text = "int f() { int x; return ";
            for (int i = 0; i < depth; i++) text += std::string(i % 20 ? "" : "\n") + n.open;
            text += "1";
            for (int i = 0; i < depth; i++) text += std::string(i % 20 ? "" : "\n") + n.close;
            text += "; }\n";
            scScript image = scCompile_Text(text.c_str());
            EXPECT_EQ(image != nullptr, depth <= n.deepest) << n.open << " x " << depth << ": " << scLast_Error_Text;
            if (!image) {
                EXPECT_STREQ(MessageOf(scLast_Error_Text), "Expression nested too deeply");
            }
            std::free(image);
        }
    }
    EXPECT_EQ(scmTrackedCount(), 0);
    // A line too long to hold is refused by its number.
    std::string longLine = "int x;\nint f() { return 1; }\nchar *s = \"" + std::string(3000, 'a') + "\";\n";
    EXPECT_EQ(scCompile_Text(longLine.c_str()), nullptr);
    EXPECT_EQ(scLast_Error_Text, ErrorText(3, "Line 3 is longer than 2047 bytes", "script"));
    // A long literal (a chat line) is held whole.
    std::string line(400, 'k');
    Compiled l(Text("char *s = \"" + line + "\";\nint f() { int n = 0; while (s[n]) n++; return n; }\nexport f;\n"));
    ASSERT_NE(l.inst, nullptr);
    EXPECT_EQ(l.Call("f"), 400);
}

// Runs `f` on a thread of its own whose stack holds `bytes`.
void OnStackOf(size_t bytes, const std::function<void()>& f) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, bytes);
    pthread_t thread;
    auto run = [](void* p) -> void* {
        (*static_cast<const std::function<void()>*>(p))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&f)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

// `n` lines made by `line` from their numbers.
std::string Lines(int n, const std::function<std::string(int)>& line) {
    std::string text;
    for (int i = 0; i < n; i++) text += line(i) + "\n";
    return text;
}

// 30,000 levels of every nesting that a script's text drives are refused with
// a message, or read without nesting, well inside a small stack (a quarter of
// a main thread's usual 8 MiB), also with the sanitizers' larger frames.
TEST_F(Compiler, DeepNestingOfAnyKindIsRefusedBeforeTheStackRunsOut) {
    constexpr int n = 30000;
    auto repeat = [](const std::string& each) { return Lines(n, [&](int) { return each; }); };
    auto structs = [&](const char* keyword, const char* member) {
        return Lines(n, [&](int i) { return std::string(keyword) + " S" + std::to_string(i) + " { " + member; }) +
               "int x;\n" + repeat("};");
    };
    const std::string chain =
        "struct A0 { int x; };\n" + Lines(n, [](int i) {
            return "struct A" + std::to_string(i + 1) + " { A" + std::to_string(i) + " a; };";
        });
    const std::string dimensions = "int a\n" + repeat("[1]");
    const std::string braces = repeat("{") + "1\n" + repeat("}");
    struct Deep {
        const char* name;
        std::string text;
        const char* message;  // null: compiles, and f() returns 4
    } cases[] = {
        {"expressions", "int f() { return\n" + repeat("(") + "1\n" + repeat(")") + "; }\n", "Expression nested too deeply"},
        {"statements", "int f() {\n" + repeat("{") + repeat("}") + "return 4; }\n", "Statements nested too deeply"},
        {"declarators", "int\n" + repeat("(") + "x\n" + repeat(")") + ";\n", "Declarator nested too deeply"},
        {"parameter lists",
         "int f(\n" + Lines(n, [](int i) { return "int (*g" + std::to_string(i) + ")("; }) + "int\n" + repeat(")") +
             ");\n",
         "Declarator nested too deeply"},
        {"structure bodies", structs("struct", ""), "Structures nested too deeply"},
        {"class bodies with member functions", structs("class", "public: int f() { return 1; }"),
         "Structures nested too deeply"},
        {"structures declared in a body", "int f() {\n" + structs("struct", "") + "return 4; }\n",
         "Structures nested too deeply"},
        {"a structure declared in a parameter list",
         "int f(struct P0 {\n" + Lines(n, [](int i) { return "struct P" + std::to_string(i + 1) + " {"; }) +
             "int x;\n" + Lines(n, [](int i) { return "} m" + std::to_string(i) + ";"; }) + "} p);\n",
         "Structures nested too deeply"},
        {"a global's brace list", dimensions + " =\n" + braces + ";\n", "Initializers nested too deeply"},
        {"a local's brace list", "int f() {\n" + dimensions + " =\n" + braces + "; return 4; }\n",
         "Initializers nested too deeply"},
        {"a brace list of nested structures", chain + "A" + std::to_string(n) + " g =\n" + braces + ";\n",
         "Initializers nested too deeply"},
        // What nests in the types only, not in the text, is read without nesting.
        {"a chain of structure types", chain + "int f() { return sizeof(A" + std::to_string(n) + "); }\n", nullptr},
        {"array dimensions", dimensions + ";\nint f() { return sizeof(a); }\n", nullptr},
        {"pointer levels of an argument",
         "int g(int\n" + repeat("*") + "p) { return 4; }\nint f() { int\n" + repeat("*") + "q = 0; return g(q); }\n",
         nullptr},
    };
    for (const Deep& d : cases) {
        scScript image = nullptr;
        std::string error;
        OnStackOf(2 << 20, [&] {
            image = scCompile_Text((d.text + "export f;\n").c_str());
            error = scLast_Error_Text;
        });
        if (d.message) {
            EXPECT_EQ(image, nullptr) << d.name;
            EXPECT_STREQ(MessageOf(error.c_str()), d.message) << d.name;
            std::free(image);
        } else {
            Compiled c(image);
            ASSERT_NE(c.inst, nullptr) << d.name << ": " << error;
            EXPECT_EQ(c.Call("f"), 4) << d.name;
        }
        EXPECT_EQ(scmTrackedCount(), 0) << d.name;
    }
    // At least 63 levels of each: the deepest that compiles, and one more that
    // is refused (a brace list's innermost value is a level of its own).
    struct Bound {
        const char* message;
        std::function<std::string(int)> text;  // f() returns 4
        int deepest;
    } bounds[] = {
        {"Structures nested too deeply",
         [](int k) {
             return Lines(k, [](int i) { return "struct S" + std::to_string(i) + " { int y;"; }) + "int x;\n" +
                    Lines(k, [](int) { return "};"; }) + "int f() { return sizeof(S0); }\n";
         },
         256},
        {"Initializers nested too deeply",
         [](int k) {
             return "int a" + Lines(k, [](int) { return "[1]"; }) + " = " + Lines(k, [](int) { return "{"; }) + "4" +
                    Lines(k, [](int) { return "}"; }) + ";\nint f() { return a" +
                    Lines(k, [](int) { return "[0]"; }) + "; }\n";
         },
         255},
    };
    for (const Bound& b : bounds) {
        for (int depth : {63, b.deepest, b.deepest + 1}) {
            scScript image = nullptr;
            std::string error;
            OnStackOf(2 << 20, [&] {
                image = scCompile_Text((b.text(depth) + "export f;\n").c_str());
                error = scLast_Error_Text;
            });
            EXPECT_EQ(image != nullptr, depth <= b.deepest) << b.message << " at " << depth << ": " << error;
            if (!image) {
                EXPECT_STREQ(MessageOf(error.c_str()), b.message);
                continue;
            }
            Compiled c(image);
            ASSERT_NE(c.inst, nullptr) << scLast_Error_Text;
            EXPECT_EQ(c.Call("f"), 4) << b.message << " at " << depth;
        }
    }
}

TEST_F(Compiler, FailedCompileLeavesNothingBehind) {
    int stack = scEngine_Get_Setting(scset_STACK_SIZE);
    EXPECT_EQ(scCompile_Text("#title \"Broken\"\nint f() { double big[100]; x; }"), nullptr);
    EXPECT_EQ(scEngine_Get_Setting(scset_STACK_SIZE), stack);
    scScript image = Text("int f() { double big[100]; return 0; }");
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(scGet_Title(image), "Untitled");
    zedi::ImageLayout layout = LayoutOf(image);
    EXPECT_EQ(layout.stackSize, 3200u > uint32_t(stack) ? 3200u * 1 : uint32_t(stack));
    EXPECT_EQ(scEngine_Get_Setting(scset_STACK_SIZE), stack);
    std::free(image);
    EXPECT_EQ(scCompile_File("/nonexistent/script.sc"), nullptr);
    EXPECT_EQ(scLast_Error, 0);
}

TEST_F(Compiler, StackSizeStaysWhereImagesLoad) {
    // The setting takes only what the loader accepts: 8 bytes to 16 MiB, a
    // multiple of 4.
    const int stack = scEngine_Get_Setting(scset_STACK_SIZE);
    for (int bad : {0, 4, 7, 4002, (16 << 20) + 4, -4}) {
        zedi::ClearError();
        EXPECT_EQ(scEngine_Set_Setting(scset_STACK_SIZE, bad), 0) << bad;
        EXPECT_EQ(scEngine_Get_Setting(scset_STACK_SIZE), stack) << bad;
        EXPECT_STREQ(scLast_Error_Text, ("Runtime error  in :Invalid stack size " + std::to_string(bad)).c_str());
    }
    zedi::ClearError();
    for (int good : {8, 16 << 20, stack}) EXPECT_EQ(scEngine_Set_Setting(scset_STACK_SIZE, good), 1) << good;
    // A local whose stack would pass the cap is refused when compiled; one at
    // the cap gives an image that loads.
    struct Case {
        const char* text;
        bool compiles;
    } cases[] = {
        {"int f() { char a[5000000]; return 0; }", false},
        {"int f() { char a[4194305]; return 0; }", false},
        {"int f() { char a[4194304]; a[9] = 3; return a[9]; }", true},
        {"int f() { char a[4194304] = \"x\"; return a[0]; }", true},
        {"struct S { char b[5000000]; S() { } };\nint f() { S s; return 0; }", false},
    };
    for (auto& c : cases) {
        scScript image = scCompile_Text(c.text);
        EXPECT_EQ(image != nullptr, c.compiles) << c.text << ": " << scLast_Error_Text;
        if (!image) {
            EXPECT_EQ(scLast_Error_Text, ErrorText(c.text[0] == 's' ? 2 : 1, "Local variable too large for the stack"))
                << c.text;
            continue;
        }
        Compiled run(image);
        ASSERT_NE(run.inst, nullptr) << c.text << ": " << scLast_Error_Text;
        EXPECT_EQ(scEngine_Get_Setting(scset_STACK_SIZE), stack);
    }
}

// Large programs compiled one after another in a process (the code buffer of
// one serves the next), with failed compiles between them: each image is the
// same as the first compile of its text made, and runs.
TEST_F(Compiler, LargeProgramsCompiledOneAfterAnother) {
    auto program = [](int functions, int salt) {
        std::string s = "int g;\n";
        for (int f = 0; f < functions; ++f) {
            s += "int f" + std::to_string(f) + "(int a) {\n  int x = a, i;\n";
            for (int k = 0; k < 40; ++k)
                s += "  for (i = 0; i < 2; i++) x = x + (i * " + std::to_string(k + salt) + ") - (a & 7) + g;\n";
            s += "  return x;\n}\n";
        }
        return s + "int run() { return f" + std::to_string(functions - 1) + "(5); }\nexport run;\n";
    };
    const std::string big = program(400, 1), other = program(300, 2);
    ASSERT_GT(other.size(), 600000u);  // code buffers of over a megabyte
    std::vector<uint8_t> first;
    int expected = 5;
    for (int k = 0; k < 40; ++k) expected = expected + (0 * (k + 1)) - 5 + (1 * (k + 1)) - 5;
    for (int round = 0; round < 4; ++round) {
        scScript image = Text(big);
        ASSERT_NE(image, nullptr);
        const auto* bytes = static_cast<const uint8_t*>(image);
        std::vector<uint8_t> now(bytes, bytes + scGet_Script_Size(image));
        std::free(image);
        if (round == 0) {
            first = now;
            Compiled c(Text(big));
            EXPECT_EQ(c.Call("run"), expected);
        }
        EXPECT_EQ(now, first) << "round " << round;
        // A failed compile of a large text, and another large program.
        EXPECT_EQ(scCompile_Text((other + "int broken() { return }\n").c_str()), nullptr);
        EXPECT_EQ(scmTrackedCount(), 0);
        std::free(Text(other));
    }
}

TEST(ReservedWords, ListedOnce) {
    EXPECT_EQ(zedi::kReservedWordCount, 35);
    std::set<std::string> words(zedi::kReservedWords, zedi::kReservedWords + zedi::kReservedWordCount);
    EXPECT_EQ(words.size(), 35u);
    EXPECT_TRUE(zedi::IsReservedWord("secured"));
    EXPECT_FALSE(zedi::IsReservedWord("main"));
}

}  // namespace
