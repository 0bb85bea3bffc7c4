// Runs a few classic programs as scripts and the same programs in Lua 5.4
// (lua5.4) and in the LuaJIT interpreter with its compiler off (luajit -joff),
// all in one run. Not a test.
//
// Two measurements per program, each the median of the repeats, in processor
// time (user and system), which a machine busy with other work disturbs less
// than the time on the clock:
//   inside   the script's call (scVCall_Instance) against the Lua program's own
//            os.clock() around its work;
//   process  whole processes: `zedi run` of the script file (compile included)
//            against the interpreter on the Lua file, with each one's peak RSS.
//
//   build/tests/zedi_vs_lua [repeats]
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Compiler.h"
#include "Instance.h"

namespace {

struct Program {
    const char* name;
    const char* script;  // exports run()
    const char* lua;     // prints the result, then the seconds its work took
};

// The Lua texts use only what both interpreters understand.
const Program kPrograms[] = {
    {"fib(32)",
     "int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\n"
     "int run() { return fib(32); }\nexport run;\n",
     "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
     "local t = os.clock() local r = fib(32) print(r) print(os.clock() - t)\n"},
    {"sieve 200000 x5",
     "char flags[200001];\n"
     "int run() {\n"
     "  int count, i, k, round;\n"
     "  for (round = 0; round < 5; round++) {\n"
     "    count = 0;\n"
     "    for (i = 2; i <= 200000; i++) flags[i] = 1;\n"
     "    for (i = 2; i <= 200000; i++)\n"
     "      if (flags[i]) { count++; for (k = i + i; k <= 200000; k += i) flags[k] = 0; }\n"
     "  }\n"
     "  return count;\n"
     "}\nexport run;\n",
     "local t = os.clock() local flags = {} local count\n"
     "for round = 1, 5 do count = 0\n"
     "  for i = 2, 200000 do flags[i] = true end\n"
     "  for i = 2, 200000 do if flags[i] then count = count + 1\n"
     "    for k = i + i, 200000, i do flags[k] = false end end end end\n"
     "print(count) print(os.clock() - t)\n"},
    {"matrix 60x60 x5",
     "int a[3600]; int b[3600]; int c[3600];\n"
     "int run() {\n"
     "  int i, j, k, s, r, n = 60;\n"
     "  for (i = 0; i < 3600; i++) { a[i] = i % 7; b[i] = i % 5; }\n"
     "  for (r = 0; r < 5; r++)\n"
     "    for (i = 0; i < n; i++)\n"
     "      for (j = 0; j < n; j++) {\n"
     "        s = 0;\n"
     "        for (k = 0; k < n; k++) s += a[i * n + k] * b[k * n + j];\n"
     "        c[i * n + j] = s;\n"
     "      }\n"
     "  s = 0;\n"
     "  for (i = 0; i < 3600; i++) s += c[i];\n"
     "  return s;\n"
     "}\nexport run;\n",
     "local t = os.clock() local a, b, c, n = {}, {}, {}, 60\n"
     "for i = 0, 3599 do a[i] = i % 7 b[i] = i % 5 end\n"
     "for r = 1, 5 do for i = 0, n - 1 do for j = 0, n - 1 do local s = 0\n"
     "  for k = 0, n - 1 do s = s + a[i * n + k] * b[k * n + j] end c[i * n + j] = s end end end\n"
     "local s = 0 for i = 0, 3599 do s = s + c[i] end print(s) print(os.clock() - t)\n"},
    {"nested loop 3000x3000",
     "int run() {\n"
     "  int i, j, s = 0;\n"
     "  for (i = 0; i < 3000; i++)\n"
     "    for (j = 0; j < 3000; j++) s += i - j + 1;\n"
     "  return s;\n"
     "}\nexport run;\n",
     "local t = os.clock() local s = 0\n"
     "for i = 0, 2999 do for j = 0, 2999 do s = s + i - j + 1 end end\n"
     "print(s) print(os.clock() - t)\n"},
    {"string building 10000",
     "#include stdlib\n"
     "int run() {\n"
     "  string s = \"\";\n"
     "  int i;\n"
     "  for (i = 0; i < 10000; i++) { string n = i; s += n; s += \",\"; }\n"
     "  return s.length();\n"
     "}\nexport run;\n",
     "local t = os.clock() local s = \"\"\n"
     "for i = 0, 9999 do s = s .. tostring(i) s = s .. \",\" end\n"
     "print(#s) print(os.clock() - t)\n"},
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time of this process so far, in seconds.
double CpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Child {
    bool ok = false;
    std::string out;   // standard output
    double seconds = 0;  // processor time of the whole process
    long rssKb = 0;      // its peak resident set
};

// Runs a program to its end, its standard output captured.
Child Spawn(const std::vector<std::string>& args) {
    Child c;
    int fds[2];
    if (pipe(fds) != 0) return c;
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) return c;
    if (pid == 0) {
        dup2(fds[1], 1);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) c.out.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    (void)t0;
    c.seconds = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    c.rssKb = ru.ru_maxrss;
    c.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return c;
}

std::string WriteTemp(const char* stem, const char* text) {
    std::string path = "/tmp/zedi_vs_lua_" + std::to_string(getpid()) + "_" + stem;
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return {};
    std::fputs(text, f);
    std::fclose(f);
    return path;
}

// The measurements of one interpreter on one program.
struct Runs {
    bool ok = true;
    long result = 0;
    std::vector<double> inside, process;
    long rssKb = 0;

    void Add(const Child& c, bool reportsTime) {
        long r = 0;
        double s = 0;
        int got = std::sscanf(c.out.c_str(), "%ld %lf", &r, &s);
        if (!c.ok || got < (reportsTime ? 2 : 1)) {
            ok = false;
            return;
        }
        result = r;
        if (reportsTime) inside.push_back(s);
        process.push_back(c.seconds);
        rssKb = std::max(rssKb, c.rssKb);
    }
};

void PrintRatio(double x, double base) {
    if (x < 0 || base <= 0)
        std::printf(" %6s", "-");
    else
        std::printf(" %6.2f", x / base);
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("medians of %d runs of processor time; ratios are the script's time over the other's\n", repeats);
    std::printf("%-22s %9s | %9s %9s %9s %6s %6s | %9s %9s %9s %6s %6s | %8s %8s %8s\n", "program", "compile",
                "zedi", "lua", "luajit", "/lua", "/jit", "zedi run", "lua", "luajit", "/lua", "/jit", "zedi KB",
                "lua KB", "jit KB");
    std::printf("%-22s %9s | %-44s | %-44s | %s\n", "", "ms", "inside the process, ms", "whole process, ms",
                "peak RSS");
    bool allOk = true;
    for (const Program& p : kPrograms) {
        std::string scriptPath = WriteTemp("script.sc", p.script);
        std::string luaPath = WriteTemp("program.lua", p.lua);
        std::vector<double> compile, inside;
        long result = 0;
        Runs zedi, lua, jit;
        for (int r = 0; r < repeats; r++) {
            auto t0 = std::chrono::steady_clock::now();
            scScript image = scCompile_Text(p.script);
            auto t1 = std::chrono::steady_clock::now();
            if (!image) {
                std::fprintf(stderr, "%s: %s\n", p.name, scLast_Error_Text);
                return 1;
            }
            compile.push_back(Seconds(t1 - t0));
            scInstance* inst = scCreate_Instance(image);
            if (!inst) {
                std::fprintf(stderr, "%s: %s\n", p.name, scLast_Error_Text);
                std::free(image);
                return 1;
            }
            double t2 = CpuNow();
            result = scVCall_Instance(inst, scGet_Symbol(inst, "run"), 0, nullptr);
            inside.push_back(CpuNow() - t2);
            scFree_Instance(inst);
            std::free(image);
#ifdef ZEDI_TOOL
            zedi.Add(Spawn({ZEDI_TOOL, "run", scriptPath, "run"}), false);
#else
            zedi.ok = false;
#endif
            lua.Add(Spawn({"lua5.4", luaPath}), true);
            jit.Add(Spawn({"luajit", "-joff", luaPath}), true);
        }
        std::remove(scriptPath.c_str());
        std::remove(luaPath.c_str());

        double in = Median(inside), luaIn = lua.ok ? Median(lua.inside) : -1, jitIn = jit.ok ? Median(jit.inside) : -1;
        double proc = zedi.ok ? Median(zedi.process) : -1;
        double luaProc = lua.ok ? Median(lua.process) : -1, jitProc = jit.ok ? Median(jit.process) : -1;
        auto ms = [](double s) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.1f", s * 1e3);
            return s < 0 ? std::string("-") : std::string(buf);
        };
        std::printf("%-22s %9.3f | %9s %9s %9s", p.name, Median(compile) * 1e3, ms(in).c_str(), ms(luaIn).c_str(),
                    ms(jitIn).c_str());
        PrintRatio(in, luaIn);
        PrintRatio(in, jitIn);
        std::printf(" | %9s %9s %9s", ms(proc).c_str(), ms(luaProc).c_str(), ms(jitProc).c_str());
        PrintRatio(proc, luaProc);
        PrintRatio(proc, jitProc);
        std::printf(" | %8ld %8ld %8ld", zedi.ok ? zedi.rssKb : 0, lua.ok ? lua.rssKb : 0, jit.ok ? jit.rssKb : 0);
        std::string notes;
        if (!lua.ok) notes += " (lua5.4 missing or failed)";
        if (!jit.ok) notes += " (luajit missing or failed)";
        if (!zedi.ok) notes += " (zedi run missing or failed)";
        if ((lua.ok && lua.result != result) || (jit.ok && jit.result != result) || (zedi.ok && zedi.result != result)) {
            notes += " (results differ!)";
            allOk = false;
        }
        std::printf("%s\n", notes.c_str());
    }
    return allOk ? 0 : 1;
}
