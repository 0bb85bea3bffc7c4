// zedi_cgen: writes random programs of the part of the language that C
// shares, builds each with g++ and with the script compiler, and compares what
// both print. A program the script compiler gets wrong (another output, a
// compile error, a runtime error, a crash or a hang) is reduced and written as
// a test of the c_subset folder.
//
//   zedi_cgen [--seeds A-B | --seed N] [--functions N] [--cxx PATH]
//             [--work DIR] [--out DIR] [--no-reduce] [--no-ubsan]
//             [--without FEATURE]... [--zedi PATH]
//   zedi_cgen --check PROGRAM.sc...   compares written programs the same way
//
// --zedi runs the script compiler through that `zedi` command (another build
// of it) instead of the one linked in.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Generate.h"
#include "Interp.h"
#include "Print.h"
#include "Reduce.h"
#include "Runner.h"

using namespace zcgen;

namespace {

struct Options {
    uint64_t first = 1, last = 10;
    GenOptions gen;
    std::string cxx = "g++";
    std::string work;
    std::string out = ZCGEN_C_SUBSET;
    bool reduce = true;
    bool ubsan = true;
    std::vector<std::string> check;  // programs to compare, instead of seeds
    std::string zedi;                // a `zedi` command to run, instead of the compiler linked in
};

constexpr long long kScriptInstructions = 400000000;
constexpr int kSeconds = 120;
constexpr int kReduceSeconds = 20;  // a hang while reducing
constexpr long long kInterpSteps = 100000000;

int Usage() {
    std::fprintf(stderr,
                 "usage: zedi_cgen [--seeds A-B | --seed N] [--functions N] [--cxx PATH]\n"
                 "                 [--work DIR] [--out DIR] [--no-reduce] [--no-ubsan] [--without FEATURE]...\n"
                 "                 [--zedi PATH]\n"
                 "       zedi_cgen [--zedi PATH] --check PROGRAM.sc...\n"
                 "features:");
    for (int k = 0; k < kFeatureCount; k++) std::fprintf(stderr, " %s", kFeatureNames[k].name);
    std::fprintf(stderr, "\n");
    return 2;
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    return bool(f);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line)) out.push_back(line);
    return out;
}

// The first line where the two outputs part, with the lines around it.
std::string FirstDifference(const std::string& expected, const std::string& got) {
    std::vector<std::string> a = Lines(expected), b = Lines(got);
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) i++;
    std::string s = "  first difference at line " + std::to_string(i + 1) + "\n";
    for (size_t k = i; k < i + 3 && k < a.size(); k++) s += "  g++:    " + a[k] + "\n";
    if (i >= a.size()) s += "  g++:    (ends)\n";
    for (size_t k = i; k < i + 3 && k < b.size(); k++) s += "  script: " + b[k] + "\n";
    if (i >= b.size()) s += "  script: (ends)\n";
    return s;
}

std::vector<std::string> NativeOptions(const Options& o, bool strict) {
    std::vector<std::string> v{"-std=c++20", "-I" + std::string(ZCGEN_C_SUBSET)};
    if (strict) {
        // As the build compiles the c_subset programs.
        v.insert(v.end(), {"-O2", "-Wall", "-Wextra", "-Werror"});
    } else {
        v.insert(v.end(), {"-O0", "-w"});
        if (o.ubsan) v.insert(v.end(), {"-fsanitize=undefined", "-fno-sanitize-recover=undefined"});
    }
    return v;
}

// How the script compiler's result differs from what g++ printed; empty when
// it does not.
std::string Failure(const Outcome& script, const std::string& expected) {
    if (script.kind != Outcome::ran) return std::string(KindName(script.kind)) + ": " + script.message;
    if (script.out != expected) return "prints otherwise";
    return "";
}

// An error's first line without the names and numbers in it, which change
// as the program gets smaller (code addresses, the variable named).
std::string Gist(const std::string& message) {
    std::string m = ErrorText(message), out;
    m = m.substr(0, m.find('\n'));
    bool quoted = false;
    for (size_t i = 0; i < m.size(); i++) {
        char ch = m[i];
        if (ch == '`') {
            quoted = true;
            out += "`";
        } else if (quoted) {
            if (ch == '\'') {
                quoted = false;
                out += "'";
            }
        } else if (ch >= '0' && ch <= '9') {
            if (out.empty() || out.back() != '#') out += '#';
        } else {
            out += ch;
        }
    }
    return out;
}

// `work`: a path in the work folder for what a `zedi` command writes.
Outcome Script(const Options& o, const std::string& path, const std::string& work, int seconds) {
    return o.zedi.empty() ? RunScript(path, kScriptInstructions, seconds) : RunScriptCommand(o.zedi, path, work, seconds);
}

bool SameFailure(const Outcome& first, const Outcome& now, const std::string& expected) {
    if (first.kind != now.kind) return false;
    if (now.kind == Outcome::ran) return now.out != expected;
    return Gist(first.message) == Gist(now.message);
}

struct Run {
    explicit Run(const Options& options) : o(options) {}
    const Options& o;
    std::string dir;
    long long functions = 0, lines = 0;
    std::vector<std::string> failures;
    bool generatorFault = false;

    std::string Heading(uint64_t seed, const std::string& what) const {
        return "// A program the generator wrote (zedi_cgen --seed " + std::to_string(seed) + ")" + what + "\n";
    }

    void Seed(uint64_t seed) {
        auto t0 = std::chrono::steady_clock::now();
        std::unique_ptr<Program> p = Generate(seed, o.gen);
        int made = int(p->funcs.size()) - 1;
        functions += made;
        std::string text = ProgramText(*p, Heading(seed, "."));
        lines += long(Lines(text).size());
        std::string base = dir + "/s" + std::to_string(seed);
        WriteFile(base + ".sc", text);
        std::string expected;
        try {
            expected = Interp(*p).RunMain(kInterpSteps);
        } catch (const Reject& r) {
            Report(seed, std::string("generator: the program it wrote does not run: ") + r.what(), "");
            generatorFault = true;
            return;
        }
        Outcome native = RunNative(o.cxx, NativeOptions(o, false), base + ".sc", base + ".exe", kSeconds);
        if (native.kind != Outcome::ran || native.out != expected) {
            std::string why = native.kind != Outcome::ran ? std::string(KindName(native.kind)) + ": " + native.message
                                                          : "the interpreter and g++ print differently\n" + FirstDifference(native.out, expected);
            Report(seed, "generator: " + why, "");
            generatorFault = true;
            if (o.reduce && native.kind == Outcome::ran) ShrinkGeneratorFault(seed, *p);
            return;
        }
        Outcome script = Script(o, base + ".sc", base, kSeconds);
        std::string failure = Failure(script, expected);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (failure.empty()) {
            std::printf("seed %llu: %d functions, ok (%.1f s)\n", (unsigned long long)seed, made, seconds);
            std::fflush(stdout);
            return;
        }
        std::string detail = script.kind == Outcome::ran ? FirstDifference(expected, script.out) : "";
        Report(seed, failure, detail);
        if (o.reduce) Shrink(seed, *p, script);
    }

    void Report(uint64_t seed, const std::string& what, const std::string& detail) {
        std::printf("seed %llu: FAILED: %s\n%s", (unsigned long long)seed, what.c_str(), detail.c_str());
        std::fflush(stdout);
        failures.push_back("seed " + std::to_string(seed) + ": " + what.substr(0, what.find('\n')));
    }

    // A step of a reduction: false when the interpreter refuses `q`; else `q`
    // is written to `path` and `test` is given what it prints.
    static bool Written(const Program& q, const std::string& path, const std::function<bool(const std::string&)>& test) {
        std::string expected;
        try {
            expected = Interp(q).RunMain(kInterpSteps);
        } catch (const Reject&) {
            return false;
        }
        WriteFile(path, ProgramText(q, ""));
        return test(expected);
    }

    void Shrink(uint64_t seed, Program& p, const Outcome& first) {
        std::string path = dir + "/r" + std::to_string(seed) + ".sc";
        int checks = 0;
        auto still = [&](const Program& q) {
            checks++;
            return Written(q, path, [&](const std::string& expected) {
                return SameFailure(first, Script(o, path, path, kReduceSeconds), expected);
            });
        };
        auto t0 = std::chrono::steady_clock::now();
        int kept = Reduce(p, still);
        std::string expected = Interp(p).RunMain(kInterpSteps);
        std::string text = ProgramText(p, Heading(seed, ", reduced: g++ and the script\n// compiler must print the same."));
        WriteFile(path, text);
        // The reduction trusted the interpreter; g++ has the last word.
        Outcome native = RunNative(o.cxx, NativeOptions(o, true), path, path + ".exe", kSeconds);
        Outcome script = Script(o, path, path, kSeconds);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (native.kind != Outcome::ran || native.out != expected) {
            std::printf("  reduced program does not build or run alike under g++ -O2 -Wall -Wextra -Werror: %s\n%s  kept in %s\n",
                        native.message.c_str(), FirstDifference(native.out, expected).c_str(), path.c_str());
            return;
        }
        std::string out = o.out + "/generated_" + std::to_string(seed) + ".sc";
        WriteFile(out, text);
        std::printf("  reduced in %d checks (%d edits, %.1f s) to %zu lines: %s\n", checks, kept, seconds, Lines(text).size(), out.c_str());
        std::printf("  expected (g++):\n%s", Indent(native.out).c_str());
        if (script.kind == Outcome::ran) std::printf("  the script printed:\n%s", Indent(script.out).c_str());
        else std::printf("  the script: %s: %s\n", KindName(script.kind), script.message.c_str());
        std::fflush(stdout);
    }

    // A program its interpreter reads otherwise than g++ does: a fault of the
    // generator, reduced into the work folder while g++ still prints otherwise.
    void ShrinkGeneratorFault(uint64_t seed, Program& p) {
        std::string path = dir + "/g" + std::to_string(seed) + ".sc";
        auto still = [&](const Program& q) {
            return Written(q, path, [&](const std::string& expected) {
                Outcome native = RunNative(o.cxx, NativeOptions(o, false), path, path + ".exe", kReduceSeconds);
                return native.kind == Outcome::ran && native.out != expected;
            });
        };
        Reduce(p, still);
        std::string expected = Interp(p).RunMain(kInterpSteps);
        WriteFile(path, ProgramText(p, Heading(seed, ", reduced: the generator's interpreter and g++\n// print differently.")));
        Outcome native = RunNative(o.cxx, NativeOptions(o, false), path, path + ".exe", kSeconds);
        std::printf("  reduced to %s\n  g++:\n%s  the interpreter:\n%s", path.c_str(), Indent(native.out).c_str(),
                    Indent(expected).c_str());
        std::fflush(stdout);
    }

    static std::string Indent(const std::string& text) {
        std::string s;
        int n = 0;
        for (const std::string& l : Lines(text)) {
            if (++n > 12) {
                s += "    ...\n";
                break;
            }
            s += "    " + l + "\n";
        }
        return s;
    }
};

// Builds and compares written programs (as the c_subset test does): the
// pending cases of faults, to see which pass now.
int Check(const Options& o, const std::string& dir) {
    int failed = 0;
    for (const std::string& path : o.check) {
        Outcome native = RunNative(o.cxx, NativeOptions(o, true), path, dir + "/check.exe", kSeconds);
        if (native.kind != Outcome::ran) {
            std::printf("%s: g++: %s: %s\n", path.c_str(), KindName(native.kind), native.message.c_str());
            failed++;
            continue;
        }
        Outcome script = Script(o, path, dir + "/check", kSeconds);
        std::string failure = Failure(script, native.out);
        if (failure.empty()) {
            std::printf("%s: passes\n", path.c_str());
            continue;
        }
        failed++;
        std::printf("%s: fails: %s\n%s", path.c_str(), failure.c_str(),
                    script.kind == Outcome::ran ? FirstDifference(native.out, script.out).c_str() : "");
    }
    return failed ? 1 : 0;
}

bool ParseRange(const char* s, uint64_t& a, uint64_t& b) {
    char* end;
    a = std::strtoull(s, &end, 10);
    if (*end == 0) {
        b = a;
        return end != s;
    }
    if (*end != '-') return false;
    b = std::strtoull(end + 1, &end, 10);
    return *end == 0 && b >= a;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    o.gen.functions = 60;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--seeds" || a == "--seed") {
            if (!(v = value()) || !ParseRange(v, o.first, o.last)) return Usage();
        } else if (a == "--functions") {
            if (!(v = value()) || (o.gen.functions = std::atoi(v)) < 1) return Usage();
        } else if (a == "--cxx") {
            if (!(v = value())) return Usage();
            o.cxx = v;
        } else if (a == "--work") {
            if (!(v = value())) return Usage();
            o.work = v;
        } else if (a == "--out") {
            if (!(v = value())) return Usage();
            o.out = v;
        } else if (a == "--without") {
            if (!(v = value())) return Usage();
            int k = 0;
            while (k < kFeatureCount && std::strcmp(kFeatureNames[k].name, v) != 0) k++;
            if (k == kFeatureCount) return Usage();
            o.gen.without |= kFeatureNames[k].feature;
        } else if (a == "--zedi") {
            if (!(v = value())) return Usage();
            o.zedi = v;
        } else if (a == "--check") {
            while (i + 1 < argc && argv[i + 1][0] != '-') o.check.push_back(argv[++i]);
        } else if (a == "--no-reduce") {
            o.reduce = false;
        } else if (a == "--no-ubsan") {
            o.ubsan = false;
        } else {
            return Usage();
        }
    }
    Run run(o);
    if (o.work.empty()) {
        char tmpl[] = "/tmp/zedi_cgen.XXXXXX";
        if (!mkdtemp(tmpl)) {
            std::perror("zedi_cgen: mkdtemp");
            return 1;
        }
        run.dir = tmpl;
    } else {
        mkdir(o.work.c_str(), 0777);
        run.dir = o.work;
    }
    if (!o.check.empty()) return Check(o, run.dir);
    // The programs include print.h and generated.h beside them.
    for (const char* header : {"/print.h", "/generated.h"})
        WriteFile(run.dir + header, ReadFile(std::string(ZCGEN_C_SUBSET) + header));
    for (uint64_t seed = o.first; seed <= o.last; seed++) run.Seed(seed);
    std::printf("%llu programs, %lld functions, %lld lines; %zu failed\n", (unsigned long long)(o.last - o.first + 1),
                run.functions, run.lines, run.failures.size());
    for (const std::string& f : run.failures) std::printf("  %s\n", f.c_str());
    if (run.generatorFault) return 3;
    return run.failures.empty() ? 0 : 1;
}
