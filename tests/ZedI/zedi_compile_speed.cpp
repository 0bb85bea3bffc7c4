// Compiler speed on generated programs of about 50,000 lines split into 100,
// 1,000 and 10,000 functions, in lines per second of processor time (median of
// the repeats, so that other work on the machine counts little), and the first
// compile of each size beside it: a process that compiles again reuses memory
// that the first had to map. The time per line should not grow with the number
// of functions. Then chains of structure types, each holding the one before it
// (`struct A2 { A1 a; };`), of 250 to 8,000 types: the time per type should not
// grow with the chain either. Not a test.
//
//   build/tests/zedi_compile_speed [repeats [functions...]]
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Compiler.h"
#include "Instance.h"

namespace {

constexpr int kLines = 50000;
constexpr int kGlobals = 200;

// A program of `functions` functions, each calling the one before it, reading
// and writing globals, with locals, loops, conditions and arithmetic.
std::string Generate(int functions, int& lines) {
    std::string s;
    lines = 0;
    auto line = [&](const std::string& t) {
        s += t;
        s += '\n';
        ++lines;
    };
    for (int g = 0; g < kGlobals; ++g) line("int g" + std::to_string(g) + " = " + std::to_string(g) + ";");
    line("int table[64];");
    const int fixed = 7;  // lines of a function besides its statements
    int perFunction = std::max(1, (kLines - kGlobals) / functions - fixed);
    for (int f = 0; f < functions; ++f) {
        std::string n = std::to_string(f);
        std::string g = "g" + std::to_string(f % kGlobals);
        line("int f" + n + "(int a, int b) {");
        line("  int x = a + b, i;");
        line("  int y = " + g + " * 3 - a;");
        line(f ? "  x = x + f" + std::to_string(f - 1) + "(y, b & 7);" : "  x = x + 1;");
        for (int k = 0; k < perFunction; ++k) {
            switch (k % 4) {
            case 0: line("  for (i = 0; i < b; i++) table[i & 63] += x ^ i;"); break;
            case 1: line("  if (x > " + std::to_string(k * 7) + ") y = y - " + g + "; else y = y + x / 3;"); break;
            case 2: line("  " + g + " = (x << 2) + y % 11 - table[(a + " + std::to_string(k) + ") & 63];"); break;
            default: line("  while (y > 1000) y = y / 2 + (x & 255);"); break;
            }
        }
        line("  return x + y;");
        line("}");
        line("");
    }
    line("int run() { return f" + std::to_string(functions - 1) + "(1, 2); }");
    line("export run;");
    return s;
}

// `types` structure types, each the member of the next, and a global of the last.
std::string StructChain(int types) {
    std::string s = "struct A1 { int x; };\n";
    for (int i = 2; i <= types; ++i)
        s += "struct A" + std::to_string(i) + " { A" + std::to_string(i - 1) + " a; };\n";
    return s + "A" + std::to_string(types) + " last;\n";
}

double ProcessorSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("%-10s %8s %10s %14s %10s %14s %16s\n", "functions", "lines", "ms", "lines/s", "first ms",
                "first lines/s", "time/line vs 100");
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty()) counts = {100, 1000, 10000};
    // The processor time of each repeat, empty when the text did not compile.
    auto compileTimes = [repeats](const std::string& text) {
        std::vector<double> times;
        for (int r = 0; r < repeats; ++r) {
            double t0 = ProcessorSeconds();
            scScript image = scCompile_Text(text.c_str());
            double t1 = ProcessorSeconds();
            if (!image) return std::vector<double>();
            std::free(image);
            times.push_back(t1 - t0);
        }
        return times;
    };
    double first = 0;
    for (int functions : counts) {
        int lines = 0;
        std::string text = Generate(functions, lines);
        std::vector<double> times = compileTimes(text);
        if (times.empty()) {
            std::fprintf(stderr, "%d functions: %s\n", functions, scLast_Error_Text);
            return 1;
        }
        double t = Median(times);
        double perLine = t / lines;
        if (!first) first = perLine;
        std::printf("%-10d %8d %10.1f %14.0f %10.1f %14.0f %16.2f\n", functions, lines, t * 1e3, lines / t,
                    times[0] * 1e3, lines / times[0], perLine / first);
    }
    std::printf("\n%-10s %10s %14s %16s\n", "struct chain", "ms", "types/s", "time/type vs 250");
    double firstType = 0;
    for (int types : {250, 1000, 2000, 8000}) {
        std::vector<double> times = compileTimes(StructChain(types));
        if (times.empty()) {
            std::fprintf(stderr, "a chain of %d structure types: %s\n", types, scLast_Error_Text);
            return 1;
        }
        double t = Median(times);
        if (!firstType) firstType = t / types;
        std::printf("%-12d %10.2f %14.0f %16.2f\n", types, t * 1e3, types / t, t / types / firstType);
    }
    return 0;
}
