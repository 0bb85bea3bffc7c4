// Compiles and runs a few classic programs as scripts and times them against the
// same programs run by the Lua 5.4 interpreter (lua5.4 on the PATH), in one run.
// Prints compile time, run time, Lua's time and the ratio. Not a test.
//
//   build/tests/zedi_vs_lua [repeats]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
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

const Program kPrograms[] = {
    {"fib(27)",
     "int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\n"
     "int run() { return fib(27); }\nexport run;\n",
     "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
     "local t = os.clock() local r = fib(27) print(r) print(os.clock() - t)\n"},
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
    {"string building 5000",
     "#include stdlib\n"
     "int run() {\n"
     "  string s = \"\";\n"
     "  int i;\n"
     "  for (i = 0; i < 5000; i++) { string n = i; s += n; s += \",\"; }\n"
     "  return s.length();\n"
     "}\nexport run;\n",
     "local t = os.clock() local s = \"\"\n"
     "for i = 0, 4999 do s = s .. tostring(i) s = s .. \",\" end\n"
     "print(#s) print(os.clock() - t)\n"},
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs the Lua text; false when lua5.4 is missing or fails.
bool RunLua(const char* text, long& result, double& seconds) {
    std::string path = "/tmp/zedi_vs_lua_" + std::to_string(getpid()) + ".lua";
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fputs(text, f);
    std::fclose(f);
    FILE* p = popen(("lua5.4 " + path + " 2>/dev/null").c_str(), "r");
    bool ok = p && std::fscanf(p, "%ld %lf", &result, &seconds) == 2;
    if (p) pclose(p);
    std::remove(path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("%-22s %12s %12s %12s %8s\n", "program", "compile ms", "run ms", "lua ms", "ratio");
    for (const Program& p : kPrograms) {
        double compile = 1e9, run = 1e9, lua = 1e9;
        long result = 0, luaResult = 0;
        for (int r = 0; r < repeats; r++) {
            auto t0 = std::chrono::steady_clock::now();
            scScript image = scCompile_Text(p.script);
            auto t1 = std::chrono::steady_clock::now();
            if (!image) {
                std::fprintf(stderr, "%s: %s\n", p.name, scLast_Error_Text);
                return 1;
            }
            compile = std::min(compile, Seconds(t1 - t0));
            scInstance* inst = scCreate_Instance(image);
            if (!inst) {
                std::fprintf(stderr, "%s: %s\n", p.name, scLast_Error_Text);
                std::free(image);
                return 1;
            }
            auto t2 = std::chrono::steady_clock::now();
            result = scVCall_Instance(inst, scGet_Symbol(inst, "run"), 0, nullptr);
            auto t3 = std::chrono::steady_clock::now();
            run = std::min(run, Seconds(t3 - t2));
            scFree_Instance(inst);
            std::free(image);
            double s;
            if (RunLua(p.lua, luaResult, s)) lua = std::min(lua, s);
        }
        if (lua >= 1e9) {
            std::printf("%-22s %12.3f %12.3f %12s %8s   (lua5.4 not found)\n", p.name, compile * 1e3, run * 1e3, "-", "-");
            continue;
        }
        std::printf("%-22s %12.3f %12.3f %12.3f %8.2f%s\n", p.name, compile * 1e3, run * 1e3, lua * 1e3, run / lua,
                    result == luaResult ? "" : "   (results differ!)");
    }
    return 0;
}
