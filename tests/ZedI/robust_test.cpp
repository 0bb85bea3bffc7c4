// Robustness of the script engine against bad input: mutated script sources for
// the compiler, mutated images for the checker, loader and CPU, hostile arguments
// for the standard classes' host functions, bad include targets and bad files.
// Every mutation comes from a fixed seed and a fixed number of cases, so a
// failure replays; the minimised inputs of the faults found are kept as table rows.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Builtins.h"
#include "Compiler.h"
#include "Dump.h"
#include "Fixture.h"
#include "HostCall.h"
#include "Image.h"
#include "Instance.h"
#include "Support.h"
#include "VmSpace.h"

namespace {

using zedi::VmSpace;

int Check(int, int ok) { return ok; }
int Total(int n, scVarArgs args) {
    int sum = 0;
    uint32_t w;
    for (int i = 0; i < n && args.Word(w); i++) sum = int(uint32_t(sum) + w);
    return sum;
}
int Twice(int x) { return int(2u * uint32_t(x)); }
double Halve(double x) { return x / 2; }
void Print(int) {}

// The host symbols the corpus imports.
void RegisterHost() {
    static bool done = [] {
        scEngine_Init();
        scRegister_Kernel_Header();
        scRegister_Host_Symbol("check", Check);
        scRegister_Host_Symbol("total", Total);
        scRegister_Host_Symbol("twice", Twice);
        scRegister_Host_Symbol("halve", Halve);
        scRegister_Host_Symbol("print", Print);
        scRegister_Host_Variable<int>("host_counter");
        return true;
    }();
    (void)done;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The corpus scripts and the built-in headers.
std::vector<std::string> Corpus() {
    RegisterHost();
    std::vector<std::string> out;
    std::vector<std::string> names;
    if (DIR* d = opendir(ZEDI_SCRIPTS)) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 3 && n.compare(n.size() - 3, 3, ".sc") == 0) names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (auto& n : names) out.push_back(ReadFile(std::string(ZEDI_SCRIPTS) + "/" + n));
    for (const char* h : {"Instances", "stdlib", "Kernel"})
        if (const char* t = scFind_Builtin_Header(h)) out.push_back(t);
    return out;
}

// A small deterministic generator (the standard distributions differ between
// libraries; this does not).
struct Gen {
    std::mt19937 r;
    explicit Gen(uint32_t seed) : r(seed) {}
    uint32_t operator()(uint32_t n) { return n ? r() % n : 0; }
    bool Chance(int percent) { return (*this)(100) < uint32_t(percent); }
};

const char* const kTokens[] = {
    "{", "}", "(", ")", ";", ",", "\"", "'", "#", "/*", "*/", "//", "\\", "operator", "~", "::",
    "[", "]", "template", "class", "struct", "int", "char*", "double", "return", "if", "else",
    "while", "for", "switch", "case", "default:", "break", "continue", "import", "export",
    "c_import", "#define", "#define X(a) a##a", "#include stdlib", "#ifdef X", "#endif", "#else",
    "#if", "#elif", "#undef", "#title", "#author", "#!", "#! 3 \"x\"", "new", "delete", "this",
    "sizeof", "...", "->", ".", "=", "==", "+", "-", "*", "&", "&&", "|", "<<", ">>=", "?", ":",
    "0x", "1e", "1.5.", "'\\'", "\"\\\"", "\x81", "\x82\xa0", "\xff", "\x5c", "\n", "\t", "0",
    "-2147483648", "4294967296", "1e999", "string", "vector", "fork", "wait", "static", "const",
    "unsigned", "typedef", "enum", "union", "goto", "virtual", "public:", "private:", "friend",
};

// One mutation of a source text.
void MutateSource(std::string& s, Gen& g) {
    size_t n = s.size();
    auto pos = [&] { return size_t(g(uint32_t(s.size() + 1))); };
    switch (g(12)) {
    case 0: {  // delete a range
        if (!n) break;
        size_t a = pos(), len = g(g.Chance(20) ? 400 : 20);
        s.erase(std::min(a, s.size()), len);
        break;
    }
    case 1: {  // duplicate a range
        if (!n) break;
        size_t a = pos() % n, len = 1 + g(g.Chance(20) ? 300 : 30);
        std::string part = s.substr(a, len);
        s.insert(pos(), part);
        break;
    }
    case 2:  // truncate
        s.resize(pos());
        break;
    case 3:
    case 4: {  // insert a token
        std::string t = kTokens[g(sizeof kTokens / sizeof *kTokens)];
        if (g.Chance(50)) t = " " + t + " ";
        s.insert(pos(), t);
        break;
    }
    case 5: {  // flip bytes, high Shift-JIS bytes among them
        for (int k = 1 + int(g(4)); k > 0 && n; k--) {
            uint8_t b = g.Chance(40) ? uint8_t(0x81 + g(0x7f)) : uint8_t(g(256));
            s[g(uint32_t(s.size()))] = char(b);
        }
        break;
    }
    case 6: {  // cut a line after a quote, a comment start or a directive
        const char* marks[] = {"\"", "'", "/*", "//", "#", "\\"};
        const char* m = marks[g(6)];
        size_t at = s.find(m, pos());
        if (at == std::string::npos) break;
        size_t eol = s.find('\n', at);
        s.erase(at + 1, eol == std::string::npos ? std::string::npos : eol - at - 1);
        break;
    }
    case 7: {  // deep nesting
        const char* pairs[][2] = {{"(", ")"}, {"{", "}"}, {"[", "]"}, {"#ifdef X\n", "#endif\n"}, {"if(1)", ";"}};
        auto& p = pairs[g(5)];
        int depth = 1 + int(g(g.Chance(30) ? 3000 : 200));
        std::string open, close;
        for (int i = 0; i < depth; i++) open += p[0];
        if (g.Chance(70))
            for (int i = 0; i < depth; i++) close += p[1];
        size_t at = pos();
        s.insert(at, open + "x" + close);
        break;
    }
    case 8: {  // long identifier or literal
        int len = 100 + int(g(g.Chance(30) ? 20000 : 400));
        std::string t;
        switch (g(4)) {
        case 0: t = std::string(size_t(len), 'a'); break;
        case 1: t = "\"" + std::string(size_t(len), 'x') + "\""; break;
        case 2: t = std::string(size_t(len), '9'); break;
        default: t = "'" + std::string(size_t(len), 'c') + "'"; break;
        }
        s.insert(pos(), " " + t + " ");
        break;
    }
    case 9: {  // swap two lines
        size_t a = s.rfind('\n', pos()), b = s.find('\n', pos());
        if (a == std::string::npos || b == std::string::npos || a >= b) break;
        std::string line = s.substr(a, b - a);
        s.erase(a, b - a);
        s.insert(std::min(pos(), s.size()), line);
        break;
    }
    case 10: {  // a long line
        s.insert(pos(), std::string(3000 + g(6000), g.Chance(50) ? ' ' : '+'));
        break;
    }
    default: {  // a macro that refers to itself or a bad directive argument
        const char* snippets[] = {
            "#define A A\nint q = A;\n", "#define A B\n#define B A\nA\n", "#define F(x) F(x)\nF(1)\n",
            "#define G(x,y) x##y\nG(,)\nG((,)\n", "#include \"\"\n", "#include\n", "#title\n",
            "#define S(x) #x\nchar*s=S(\"\\\");\n", "#! x\n", "#!\n", "#if defined\n",
            "#define E(...) 1\nE(1,2)\n",
        };
        s.insert(pos(), snippets[g(sizeof snippets / sizeof *snippets)]);
        break;
    }
    }
}

// ZEDI_ROBUST_SEED and ZEDI_ROBUST_CASES replace the fixed seed and case count
// for a longer search by hand.
uint32_t Seed(uint32_t fixed) {
    const char* e = std::getenv("ZEDI_ROBUST_SEED");
    return e ? uint32_t(std::strtoul(e, nullptr, 10)) : fixed;
}
int Cases(int fixed) {
    const char* e = std::getenv("ZEDI_ROBUST_CASES");
    return e ? std::atoi(e) : fixed;
}

int LineCount(const std::string& s) {
    int n = 1;
    for (char c : s) n += c == '\n';
    return n;
}

// Compiles a text and checks that the result is an image that passes the
// checker, or a proper compile error with nothing left allocated.
void CompileChecked(const std::string& text, int maxLine, const std::string& what) {
    zedi::ClearError();
    scScript image = scCompile_Text(text.c_str());
    EXPECT_EQ(scmTrackedCount(), 0) << what;
    if (image) {
        zedi::ImageLayout layout;
        std::string why;
        EXPECT_TRUE(zedi::CheckImage(static_cast<const uint8_t*>(image), uint32_t(scGet_Script_Size(image)),
                                     layout, why))
            << what << ": " << why;
        std::free(image);
        return;
    }
    EXPECT_TRUE(scLast_Error == scerr_SYNTAX || scLast_Error == scerr_DECLARATION || scLast_Error == scerr_CODEGEN ||
                scLast_Error == scerr_OPERAND || scLast_Error == scerr_CONVERSION || scLast_Error == scerr_INTERNAL)
        << what << ": error " << scLast_Error << " " << scLast_Error_Text;
    std::string err = scLast_Error_Text;
    size_t open = err.find('('), close = err.find(") Error :");
    ASSERT_TRUE(open != std::string::npos && close != std::string::npos && open < close) << what << ": " << err;
    int line = std::atoi(err.c_str() + open + 1);
    EXPECT_GE(line, 0) << what << ": " << err;
    EXPECT_LE(line, maxLine) << what << ": " << err;
    EXPECT_GT(err.size(), close + 9) << what << ": no message in " << err;
}

// ---- Compiler ------------------------------------------------------------------

TEST(RobustCompiler, MutatedSources) {
    std::vector<std::string> corpus = Corpus();
    ASSERT_GE(corpus.size(), 10u);
    int headerLines = 0;
    for (const char* h : {"Instances", "stdlib", "Kernel"}) headerLines += LineCount(scFind_Builtin_Header(h));
    // ZEDI_ROBUST_SOURCE=file:file... compiles those files in turn (for
    // minimising a case).
    if (const char* files = std::getenv("ZEDI_ROBUST_SOURCE")) {
        std::stringstream list(files);
        std::string one;
        while (std::getline(list, one, ':')) {
            std::string s = ReadFile(one);
            CompileChecked(s, LineCount(s) + headerLines + 1, one);
        }
        return;
    }
    Gen g(Seed(20261210));
    const int kCases = Cases(2000);
    int compiled = 0;
    for (int i = 0; i < kCases; i++) {
        std::string s = corpus[g(uint32_t(corpus.size()))];
        for (int k = 1 + int(g(g.Chance(30) ? 8 : 2)); k > 0; k--) MutateSource(s, g);
        // A sanitizer report ends the process: ZEDI_ROBUST_KEEP=dir keeps each case
        // in a file there before it is compiled.
        if (const char* dir = std::getenv("ZEDI_ROBUST_KEEP"))
            std::ofstream(std::string(dir) + "/case" + std::to_string(i) + ".sc", std::ios::binary) << s;
        CompileChecked(s, LineCount(s) + headerLines + 1, "case " + std::to_string(i));
        if (::testing::Test::HasFailure()) {
            std::ofstream("robust_case.sc", std::ios::binary) << s;
            FAIL() << "case " << i << " written to robust_case.sc";
        }
        compiled += scLast_Error == 0;
    }
    EXPECT_GT(compiled, 0);  // some mutations still compile
}

// The text with a line end after every 60 bytes.
std::string Lines(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i += 60) out += s.substr(i, 60) + "\n";
    return out;
}

// A function with `count' char array locals of `bytes' each.
std::string LocalsOf(int count, int bytes) {
    std::string text = "int f() {";
    for (int i = 0; i < count; i++) text += " char a" + std::to_string(i) + "[" + std::to_string(bytes) + "];";
    return text + " return 0; }";
}

// Inputs that once crashed, hung or leaked in the compiler; the texts of a row
// are compiled in turn.
TEST(RobustCompiler, FoundInputs) {
    RegisterHost();
    struct Case {
        const char* name;
        std::vector<std::string> texts;
        const char* error;  // part of the last text's error, null for none in particular
    } cases[] = {
        {"empty", {""}, nullptr},
        {"member body error leaves no class behind",
         {"class C { public: int m; int f() { return m +; } };", "int g() { return m; }"}, nullptr},
        {"huge global array", {"int a[2147483647];"}, "Object too large"},
        {"negative array size", {"int a[-5];"}, "Constant integer array size expected"},
        {"huge local array", {"int f() { double a[1000000][1000000]; return 0; }"}, "Object too large"},
        {"huge structure",
         {"struct S { int a[16000000]; int b[16000000]; int c[16000000]; int d[16000000]; int e[16000000]; };\nS s;"},
         "Object too large"},
        {"globals past the data limit", {"char a[60000000];\nchar b[60000000];"}, "Global data too large"},
        {"a long run of prefix operators", {"int f() { return " + std::string(2000, '!') + "1; }"},
         "Expression nested too deeply"},
        {"prefix operators over many lines", {"int f() { int x; return " + Lines(std::string(12000, '-')) + "x; }"},
         "Expression nested too deeply"},
        {"a line of the longest size", {"// " + std::string(2044, 'a') + "\nint x;"}, nullptr},
        {"a line too long is refused, not cut", {"int x;\n// " + std::string(2045, 'a') + "\nint y;"},
         "Line 2 is longer than 2047 bytes"},
        {"locals past the data limit", {LocalsOf(17, 4 << 20)}, "Local data too large"},
        {"a local past the stack cap",
         {"int f() { char a[60000000]; char b[60000000]; return 0; }"}, "Local variable too large for the stack"},
    };
    for (auto& c : cases) {
        for (auto& t : c.texts) CompileChecked(t, LineCount(t) + 1, c.name);
        EXPECT_TRUE(!c.error || ztest::Contains(scLast_Error_Text, c.error)) << c.name << ": " << scLast_Error_Text;
    }
}

// ---- Images --------------------------------------------------------------------

// The corpus compiled, once with marker words so that loops can yield.
std::vector<std::vector<uint8_t>> CorpusImages() {
    std::vector<std::vector<uint8_t>> out;
    for (int preempt = 0; preempt < 2; preempt++) {
        scEngine_Set_Setting(scset_PREEMPTION, preempt);
        for (auto& text : Corpus()) {
            scScript image = scCompile_Text(text.c_str());
            if (!image) continue;
            auto* p = static_cast<const uint8_t*>(image);
            out.emplace_back(p, p + scGet_Script_Size(image));
            std::free(image);
        }
    }
    scEngine_Set_Setting(scset_PREEMPTION, 0);
    return out;
}

void PutWord(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (at + 4 <= b.size()) std::memcpy(&b[at], &v, 4);
}

uint32_t Interesting(Gen& g, uint32_t size) {
    const uint32_t values[] = {0, 1, 3, 4, 72, 0x7fffffff, 0x80000000, 0xffffffff, 0xfffffffc, 0xffff, 0x10000,
                               size, size - 4, size + 4, zedi::kMaxImageSize, 0x12345600};
    return values[g(sizeof values / sizeof *values)];
}


void MutateImage(std::vector<uint8_t>& b, Gen& g) {
    uint32_t size = uint32_t(b.size());
    switch (g(8)) {
    case 0:  // flip bytes
        for (int k = 1 + int(g(6)); k > 0; k--) b[g(size)] ^= uint8_t(1 + g(255));
        break;
    case 1:  // a header word
        PutWord(b, 4 * g(zedi::kHeaderSize / 4), g.Chance(70) ? Interesting(g, size) : g.r());
        break;
    case 2:  // any word
        PutWord(b, 4 * g(size / 4), g.Chance(70) ? Interesting(g, size) : g.r());
        break;
    case 3:  // an offset word nudged
    {
        size_t at = 4 * g(zedi::kHeaderSize / 4);
        uint32_t v;
        std::memcpy(&v, &b[at], 4);
        PutWord(b, at, v + uint32_t(int32_t(g(17)) - 8));
        break;
    }
    case 4:  // truncate
        b.resize(g(size));
        break;
    case 5:  // extend
        b.resize(size + 1 + g(64), uint8_t(g(256)));
        break;
    case 6: {  // an instruction word with random opcode and operand bits
        uint32_t code = zedi::ImageWord(b.data(), zedi::hdrCode), codeSize = zedi::ImageWord(b.data(), zedi::hdrCodeSize);
        if (code >= size || codeSize == 0 || codeSize > size - code) break;
        uint32_t at = code + 4 * g(codeSize / 4);
        uint32_t w = g.r();
        if (g.Chance(50)) w = (w & ~63u) | g(62);
        PutWord(b, at, w);
        break;
    }
    default: {  // an immediate operand or record word made hostile
        uint32_t at = 4 * g(size / 4);
        PutWord(b, at, Interesting(g, size) + uint32_t(g.Chance(50) ? 0 : int32_t(g(9)) - 4));
        break;
    }
    }
    if (b.size() >= zedi::kHeaderSize && g.Chance(80)) PutWord(b, zedi::hdrSize, uint32_t(b.size()));
}

// What a child process that runs an image reports.
enum { kRunOk = 0, kRunBadError = 3 };

// Creates an instance of the image and runs each exported function with zero
// arguments on a small step budget. Returns kRunBadError when an error is not
// reported as a runtime error.
int RunImage(const std::vector<uint8_t>& bytes) {
    void* image = std::malloc(bytes.size());
    std::memcpy(image, bytes.data(), bytes.size());
    auto runtimeError = [] {
        return scLast_Error == 0 || ((scLast_Error == scerr_RUNTIME || scLast_Error == scerr_PRIORITY) &&
                                     std::strncmp(scLast_Error_Text, "Runtime error", 13) == 0);
    };
    zedi::ClearError();
    scInstance* inst = scCreate_Instance(image);
    if (!runtimeError()) return kRunBadError;
    if (inst) {
        std::vector<std::string> names;
        for (auto& e : inst->img->layout.exportList)
            if (e.kind >= 0 && e.kind <= 256) names.push_back(e.name);
        std::vector<uint8_t> zeros(256);
        for (auto& n : names) {
            if (scGet_Instance_Status(inst) == scstatus_FREE && !scInstance_Handle(inst)) break;
            zedi::ClearError();
            int symbol = scGet_Symbol(inst, n.c_str());
            int kind = 0;
            for (auto& e : inst->img->layout.exportList)
                if (e.name == n) kind = e.kind;
            scLaunch_With_Params(inst, 20, symbol, kind, zeros.data());
            if (!runtimeError()) return kRunBadError;
            for (int slice = 0; slice < 50 && scGet_Instance_Status(inst) != scstatus_FREE; slice++) {
                zedi::ClearError();
                scRun_Time_Slice();
                if (!runtimeError()) return kRunBadError;
            }
            scKill_Instance(inst);
        }
        scFree_Instance(inst);
    }
    std::free(image);
    return kRunOk;
}

// Runs RunImage in a child process: a mutated image may loop for ever without
// a marker word, which is the script's right, so such a run is stopped after
// three seconds and counted. Returns -1 for a stopped run, else the child's
// exit code (a signal or a sanitizer report makes it non-zero).
int RunInChild(const std::vector<uint8_t>& bytes) {
    return ztest::RunInChild([&] { return RunImage(bytes); }, 3);
}

void CheckImageBytes(const std::vector<uint8_t>& b, const std::string& what, int* accepted, int* stopped) {
    zedi::ImageLayout layout;
    std::string why;
    bool ok = zedi::CheckImage(b.data(), uint32_t(b.size()), layout, why);
    EXPECT_TRUE(ok || !why.empty()) << what;
    std::ostringstream dump;
    zeditool::DumpImage(b, dump);
    if (!ok || zedi::ImageWord(b.data(), zedi::hdrSize) != b.size()) return;
    zedi::FindInfoChunk(b.data(), "TITL");
    zedi::FindInfoChunk(b.data(), "AUTH");
    ++*accepted;
    int rc = RunInChild(b);
    if (rc == -1) ++*stopped;
    else {
        EXPECT_EQ(rc, kRunOk) << what << " (3: an error that is not a runtime error; above 128: a signal)";
    }
}

void Save(const std::vector<uint8_t>& b) {
    std::ofstream("robust_case.so", std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

TEST(RobustImage, MutatedImages) {
    std::vector<std::vector<uint8_t>> images = CorpusImages();
    ASSERT_GE(images.size(), 10u);
    Gen g(Seed(94));
    const int kCases = Cases(400);
    int accepted = 0, stopped = 0;
    for (int i = 0; i < kCases; i++) {
        std::vector<uint8_t> b = images[g(uint32_t(images.size()))];
        for (int k = 1 + int(g(3)); k > 0 && !b.empty(); k--) MutateImage(b, g);
        if (std::getenv("ZEDI_ROBUST_KEEP")) Save(b);
        CheckImageBytes(b, "case " + std::to_string(i), &accepted, &stopped);
        if (::testing::Test::HasFailure()) {
            Save(b);
            FAIL() << "case " << i << " written to robust_case.so";
        }
    }
    std::printf("images: %d cases, %d accepted, %d runs stopped\n", kCases, accepted, stopped);
    EXPECT_GT(accepted, 0);
}

// Random instruction streams, with the special registers (code, data, pool and
// stack bases, instruction and stack pointers, copy count) among the operands.
TEST(RobustImage, RandomCode) {
    using namespace zasm;
    Gen g(Seed(61));
    auto operand = [&g]() {
        const uint8_t regs[] = {0, 1, 2, 3, 240, 241, 242, 243, 244, 245, 246, 247, 248, 249, 251, 255};
        const int32_t imms[] = {0, 1, -1, 4, -4, 8, 64, 1024, 0x10000, 0x7fffffff, int32_t(0x80000000), -1024};
        uint8_t r = g.Chance(70) ? regs[g(sizeof regs)] : uint8_t(g(256));
        int32_t v = g.Chance(70) ? imms[g(sizeof imms / sizeof *imms)] : int32_t(g.r());
        switch (g(4)) {
        case 0: return R(r);
        case 1: return I(v);
        case 2: return MR(uint8_t(g(4)), r);
        default: return MI(uint8_t(g(4)), v);
        }
    };
    const int kCases = Cases(100);
    int stopped = 0;
    for (int i = 0; i < kCases; i++) {
        auto b = ztest::WithFunction([&](ImageBuilder& ib) {
            ib.a.Op0({opENTER});
            for (int k = 1 + int(g(12)); k > 0; k--) {
                uint8_t op = uint8_t(g(62));
                if (op >= scFirstNoOperand) ib.a.Op0({op, uint8_t(scFirstNoOperand + g(7))});
                else if (op < scFirstTwoOperand) ib.a.Op1(op, operand());
                else {
                    Opnd a = operand();
                    ib.a.Op2(op, a, operand());
                }
            }
            ib.a.Op0({opLEAVE, opRET});
        });
        std::vector<uint8_t> bytes = b.Build();
        if (std::getenv("ZEDI_ROBUST_KEEP")) Save(bytes);
        int rc = RunInChild(bytes);
        EXPECT_TRUE(rc == kRunOk || rc == -1) << "case " << i << ": " << rc;
        stopped += rc == -1;
        if (::testing::Test::HasFailure()) {
            Save(bytes);
            FAIL() << "case " << i << " written to robust_case.so";
        }
    }
    std::printf("random code: %d cases, %d runs stopped\n", kCases, stopped);
}

// Code that once broke the CPU, found as mutated images: each must end in a
// runtime error containing `error`.
TEST(RobustImage, FoundCode) {
    using namespace zasm;
    struct Case {
        const char* name;
        std::function<void(Asm&)> body;
        const char* error;
    } cases[] = {
        {"copy of more than a word from an immediate",
         [](Asm& a) { a.Op2(opMOV, R(regCOUNT), I(64)); a.Op2(opCOPY, Data(0), I(5)); }, "Invalid operand of COPY"},
        {"copy of more than a word into an immediate",
         [](Asm& a) { a.Op2(opMOV, R(regCOUNT), I(12)); a.Op2(opCOPY, I(5), Data(0)); }, "Invalid operand of COPY"},
    };
    for (auto& c : cases) {
        auto b = ztest::WithFunction([&](ImageBuilder& ib) {
            ib.a.Op0({opENTER});
            c.body(ib.a);
            ib.a.Op0({opLEAVE, opRET});
        });
        ztest::Script s(b);
        ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
        zedi::ClearError();
        scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"));
        EXPECT_EQ(scLast_Error, scerr_RUNTIME) << c.name;
        EXPECT_TRUE(ztest::Contains(scLast_Error_Text, c.error)) << c.name << ": " << scLast_Error_Text;
    }
}

// ---- Host functions of the standard classes and the "Kernel" header ----------

const char* const kHostNames[] = {
    "string.string", "string.string_SZ", "string.string_I", "string.stringCC", "string.~string",
    "string.length", "string.operator=(int)", "string.operator=", "string.operator=(char*)",
    "string.operator+", "string.operator+(char*)", "string.sub", "string.operator()", "string.cmp",
    "string.operator==", "string.operator!=", "string.operator>", "string.operator<",
    "string.operator>=", "string.operator<=", "string.operator==(char*)", "string.operator+=",
    "string.operator+=(char*)", "string.del", "string.insert", "string.find", "string.replace",
    "string.toInt", "string.operator(int)", "string.operator[]", "string.reconstruct",
    "vector.vectorVOID", "vector.vector", "vector.vectorCC", "vector.operator=", "vector.~vector",
    "vector.operator+", "vector.operator-", "vector.operator*", "vector.operator+=", "vector.operator-=",
    "vector.operator*=", "vector.operator==", "vector.operator!=", "vector.operator<", "vector.operator>",
    "vector.operator<=", "vector.operator>=", "vector.normalize", "vector.length",
    "scCompile_Text", "scCompile_File", "scLoad_Script", "scGet_Script_Size", "scGet_Title",
    "scGet_Author", "scGet_Instance_Title", "scGet_Symbol", "scFree_Instance", "scKill_Instance",
    "scPause_Instance", "scGet_Forked", "scSet_Priority", "scGet_Priority",
};

// Calls a host function with the given words; false when the call failed.
bool HostCall(const char* name, std::vector<uint32_t> words) {
    std::string error;
    ztest::InvokeHost(name, std::move(words), error);
    return error.empty();
}

uint32_t Text(const char* s) { return VmSpace::Get().AddrOf(scNew_Text(s)); }

TEST(RobustHost, HostileArguments) {
    RegisterHost();
    VmSpace& vm = VmSpace::Get();
    // Objects and texts the arguments are drawn from.
    uint32_t str = scScript_Alloc(4), str2 = scScript_Alloc(4), vec = scScript_Alloc(24), small = scScript_Alloc(4);
    HostCall("string.string_SZ", {str, Text("hello world")});
    HostCall("string.string_SZ", {str2, Text("o")});
    std::memset(vm.Ptr(vec), 0x7f, 24);  // NaN-like doubles
    uint32_t open = scScript_Alloc(64);  // a text without its NUL
    std::memset(vm.Ptr(open), 'x', 64);
    uint32_t bogus = scScript_Alloc(4);  // a string whose text is not a heap block
    zedi::StoreWord(vm.Ptr(bogus), open + 60);
    uint32_t wild = scScript_Alloc(4);  // a string whose text lies outside script memory
    zedi::StoreWord(vm.Ptr(wild), 0x7ffffff0);
    const uint32_t pool[] = {0, 1, 0xffffffffu, 0x7fffffff, 0x80000000u, 0x10000, 0x40000000, 12, 0xfffffff4u,
                             str, str2, vec, small, open, open + 63, bogus, wild, Text(""), Text("/"),
                             Text("no/such/file.sc"), Text("int x = ;"), Text("%s%s%n")};
    std::vector<uint32_t> scratch;  // result objects
    Gen g(Seed(7));
    const int kCases = Cases(4000);
    for (int i = 0; i < kCases; i++) {
        const char* name = kHostNames[g(sizeof kHostNames / sizeof *kHostNames)];
        std::vector<uint32_t> words;
        for (int k = int(g(6)); k > 0; k--) words.push_back(g.Chance(80) ? pool[g(sizeof pool / sizeof *pool)] : g.r());
        zedi::ClearError();
        HostCall(name, words);
        if (::testing::Test::HasFailure()) FAIL() << "case " << i << ": " << name;
    }
    EXPECT_EQ(scmTrackedCount(), 0);
}

// The same through scripts: each body runs in "run" after `string s = "hello";`
// and `vector v(1.0, 2.0, 3.0);`; it must finish or end in a runtime error.
TEST(RobustHost, HostileScripts) {
    RegisterHost();
    const char* bodies[] = {
        "string t = s.sub(-5, 2147483647); return t.length();",
        "string t = s(2147483647, -1); return t.length();",
        "s.del(-1, 100); s.del(3, -100); s.del(2147483647, 2147483647); return s.length();",
        "string t = \"x\"; s.insert(-3, t); s.insert(2147483647, t); return s.length();",
        "return s[-1];",
        "return s[2147483647];",
        "s.cstr = NULL; return s.length() + s.find(s) + s.toInt();",
        "s.cstr = (char*)1; return s.length();",
        "s.cstr = (char*)-1; string t = s; return t.length();",
        "string t = (char*)0; t += t; t += (char*)0; return t.cmp(s);",
        "string t = \"\"; return s.replace(t, t, true);",
        "string a = \"aa\"; string b = \"aaaa\"; s = a; int i; for (i = 0; i < 20; i++) s.replace(a, b, true); return s.length() == 2097152;",
        "char *p = s.cstr; p[5] = 'x'; return s.length();",
        "vector w(0.0, 0.0, 0.0); w.normalize(); return w.length() > 0;",
        "vector *p = (vector*)8; p->normalize(); return 0;",
        "vector w(100000000.0, 1.0, 0.0); int i; for (i = 0; i < 80; i++) w *= w; w.normalize(); return w == v;",
        "s.~string(); s.~string(); return s.length();",
    };
    for (const char* body : bodies) {
        std::string text = std::string("#include stdlib\nint run()\n{\n    string s = \"hello\";\n    vector v(1.0, 2.0, 3.0);\n    ") +
                           body + "\n}\nexport run;\n";
        zedi::ClearError();
        scScript image = scCompile_Text(text.c_str());
        if (!image) {
            ADD_FAILURE() << body << ": " << scLast_Error_Text;
            continue;
        }
        scInstance* inst = scCreate_Instance(image);
        EXPECT_NE(inst, nullptr) << body << ": " << scLast_Error_Text;
        if (inst) {
            zedi::ClearError();
            scVCall_Instance(inst, scGet_Symbol(inst, "run"), 0, nullptr);
            EXPECT_TRUE(scLast_Error == 0 || scLast_Error == scerr_RUNTIME) << body << ": " << scLast_Error_Text;
            scFree_Instance(inst);
        }
        std::free(image);
    }
}

// ---- Files ---------------------------------------------------------------------

// A scratch folder with the files the cases name.
class RobustFiles : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        RegisterHost();
        char tmpl[] = "/tmp/zedi_robust_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        Write("empty.sc", "");
        Write("ok.sc", "int f() { return 3; }\nexport f;\n");
        mkdir(Path("folder.sc").c_str(), 0700);
        mkdir(Path("folder.so").c_str(), 0700);
        mkfifo(Path("pipe.sc").c_str(), 0600);
        mkfifo(Path("pipe.so").c_str(), 0600);
        // Sparse files larger than any source or image.
        ASSERT_EQ(truncate(Write("huge.sc", "").c_str(), 70l << 20), 0);
        ASSERT_EQ(truncate(Write("huge.so", "").c_str(), 70l << 20), 0);
        Write("self.sc", "#include \"" + Path("self.sc") + "\"\nint x;\n");
        Write("twice.sc", "#include \"" + Path("twice.sc") + "\"\n#include \"" + Path("twice.sc") + "\"\n");
        Write("a.sc", "#include \"" + Path("b.sc") + "\"\n");
        Write("longest.sc", "// " + std::string(2044, 'a') + "\r\nint x;\r\n// " + std::string(2044, 'b'));
        Write("toolong.sc", "int x;\r\n// " + std::string(2045, 'a') + "\r\nint y;\r\n");
        Write("b.sc", "#include \"" + Path("a.sc") + "\"\n");
        scScript image = scCompile_File(Path("ok.sc").c_str());
        ASSERT_NE(image, nullptr) << scLast_Error_Text;
        std::string bytes(static_cast<const char*>(image), size_t(scGet_Script_Size(image)));
        std::free(image);
        Write("ok.so", bytes);
        Write("short.so", bytes.substr(0, bytes.size() - 4));
        Write("long.so", bytes + std::string(4, '\0'));
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }
};

TEST_F(RobustFiles, CompileFileAndIncludes) {
    struct Case {
        std::string what;     // a file to compile, or a text when it holds a line end
        const char* error;    // part of the error text; "" for a file that cannot be opened, null for success
    } cases[] = {
        {"empty.sc", nullptr},
        {"missing.sc", ""},
        {"folder.sc", ""},
        {"pipe.sc", ""},
        {"/dev/zero", ""},
        {"huge.sc", "too large"},
        {"longest.sc", nullptr},
        {"toolong.sc", "Line 2 is longer than 2047 bytes"},
        {"self.sc", "Too many includes"},
        {"twice.sc", "Too many includes"},
        {"a.sc", "Too many includes"},
        {"#include \"/dev/zero\"\n", "Unable to include file `/dev/zero'"},
        {"#include \"/\"\n", "Unable to include file `/'"},
        {"#include \"" + dir + "/folder.sc\"\n", "Unable to include file"},
        {"#include \"" + dir + "/pipe.sc\"\n", "Unable to include file"},
        {"#include \"" + dir + "/missing.sc\"\n", "Unable to include file"},
        {"#include \"" + dir + "/../" + dir.substr(5) + "/huge.sc\"\n", "too large"},
        {"#include \"" + dir + "/empty.sc\"\nint x;\n", nullptr},
    };
    for (auto& c : cases) {
        bool text = c.what.find('\n') != std::string::npos;
        scScript image = text ? scCompile_Text(c.what.c_str())
                              : scCompile_File(c.what[0] == '/' ? c.what.c_str() : Path(c.what).c_str());
        EXPECT_EQ(scmTrackedCount(), 0) << c.what;
        if (!c.error) {
            EXPECT_NE(image, nullptr) << c.what << ": " << scLast_Error_Text;
        } else if (!*c.error) {
            EXPECT_EQ(image, nullptr) << c.what;
            EXPECT_EQ(scLast_Error, 0) << c.what << ": " << scLast_Error_Text;
        } else {
            EXPECT_EQ(image, nullptr) << c.what;
            EXPECT_EQ(scLast_Error, scerr_SYNTAX) << c.what;
            EXPECT_TRUE(ztest::Contains(scLast_Error_Text, c.error)) << c.what << ": " << scLast_Error_Text;
        }
        std::free(image);
    }
    EXPECT_EQ(scCompile_File(nullptr), nullptr);
    std::string out;
    EXPECT_FALSE(zedi::PreprocessFile(Path("folder.sc").c_str(), out));
}

TEST_F(RobustFiles, LoadScript) {
    scScript ok = scLoad_Script(Path("ok.so").c_str());
    EXPECT_NE(ok, nullptr) << scLast_Error_Text;
    std::free(ok);
    for (const char* name : {"missing.so", "folder.so", "pipe.so", "huge.so", "short.so", "long.so", "ok.sc", "empty.sc"}) {
        zedi::ClearError();
        scScript image = scLoad_Script(Path(name).c_str());
        EXPECT_EQ(image, nullptr) << name;
        std::free(image);
        EXPECT_EQ(scLast_Error, scerr_RUNTIME) << name;
    }
    EXPECT_EQ(scLoad_Script("/dev/zero"), nullptr);
    EXPECT_EQ(scLoad_Script(nullptr), nullptr);
}

// The developer tool on files it cannot use: an exit code of 1 and a message,
// never a hang or a crash.
TEST_F(RobustFiles, Tool) {
    struct Case {
        std::string args;
        const char* message;
    } cases[] = {
        {"dump folder.so", "cannot open"},
        {"dump pipe.so", "cannot open"},
        {"dump /dev/zero", "cannot open"},
        {"dump huge.so", "larger than any script image"},
        {"compile folder.sc", "cannot open"},
        {"compile self.sc", "Too many includes"},
        {"preprocess folder.sc", "cannot open"},
        {"run folder.so f", "cannot load"},
        {"run huge.so f", "cannot load"},
    };
    for (auto& c : cases) {
        std::string args;
        std::istringstream words(c.args);
        std::string w;
        for (int k = 0; words >> w; k++) args += " '" + (k == 1 && w[0] != '/' ? Path(w) : w) + "'";
        std::string cmd = "cd '" + dir + "' && timeout 60 " ZEDI_TOOL + args + " >out.txt 2>&1";
        int rc = std::system(cmd.c_str());
        std::string out = ReadFile(Path("out.txt"));
        EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 1) << c.args << ": status " << rc << "\n" << out;
        EXPECT_TRUE(ztest::Contains(out, c.message)) << c.args << ": " << out;
    }
}

// `run --limit N` holds the initialisation routine, the function and the
// clean-up routine to N instructions each: a script that never ends in any of
// them fails with a message instead of running for ever (each run has a
// deadline, so that a hang fails the test).
TEST_F(RobustFiles, ToolRunHoldsEachRoutineToTheLimit) {
    Write("ctor.sc", "class C { public: int v; C() { v = 0; while (1) { v = v + 1; } } };\nC c;\n"
                     "int f() { return 1; }\nexport f;\n");
    Write("spin.sc", "int n;\nint f() { while (1) n = n + 1; return 0; }\nexport f;\n");
    Write("dtor.sc", "class D { public: int v; D() { v = 1; } ~D() { while (1) { v = v + 1; } } };\nD d;\n"
                     "int f() { return d.v; }\nexport f;\n");
    Write("count.sc", "int f(int n) { int i, s = 0; for (i = 0; i < n; i++) s = s + i; return s; }\nexport f;\n");
    struct Case {
        std::string args;
        int status;
        const char* output;
    } cases[] = {
        {"run --limit 100000 ctor.sc f", 1, "Instruction budget used up"},
        {"run --limit 100000 spin.sc f", 1, "Instruction budget used up"},
        {"run --limit 100000 dtor.sc f", 1, "1\nRuntime error  in `Untitled':Instruction budget used up"},
        {"run --limit 100000 count.sc f 1000", 0, "499500\n"},
        {"run count.sc f 100000", 0, "704982704\n"},
        {"run --limit 1000 count.sc f 100000", 1, "Instruction budget used up"},
        {"run --limit -5 count.sc f", 2, "usage"},
        {"run --limit many count.sc f", 2, "usage"},
    };
    for (auto& c : cases) {
        std::string args;
        std::istringstream words(c.args);
        std::string w;
        while (words >> w) args += " '" + (w.find(".sc") != std::string::npos ? Path(w) : w) + "'";
        std::string cmd = "cd '" + dir + "' && timeout 60 " ZEDI_TOOL + args + " >out.txt 2>&1";
        int rc = std::system(cmd.c_str());
        std::string out = ReadFile(Path("out.txt"));
        EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == c.status) << c.args << ": status " << rc << "\n" << out;
        EXPECT_TRUE(ztest::Contains(out, c.output)) << c.args << ": " << out;
    }
}

}  // namespace
