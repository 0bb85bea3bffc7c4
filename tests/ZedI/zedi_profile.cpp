// Which VCPU instruction sequences compiled scripts run most: runs the test
// corpus and a few scripts written like the computer players' (a board search on
// a 24x25 map, card tables) the long way with a trace, and prints the most
// frequent instruction forms and runs of 2, 3 and 4 of them, by the number of
// times each ran. Not a test.
//
//   build/tests/zedi_profile [top]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Compiler.h"
#include "HostCall.h"
#include "Instance.h"
#include "Vcpu.h"
#include "VcpuOps.h"
#include "VmSpace.h"

namespace {

// The computer players search the board and look up card tables.
const char kBoardSearch[] =
    "#define W 24\n#define H 25\n"
    "char wall[600]; int dist[600]; int queue[600];\n"
    "int bfs(int from) {\n"
    "  int head = 0, tail = 0, i, at, x, y, next, d;\n"
    "  for (i = 0; i < W * H; i++) dist[i] = -1;\n"
    "  dist[from] = 0; queue[tail++] = from;\n"
    "  while (head < tail) {\n"
    "    at = queue[head++]; x = at % W; y = at / W; d = dist[at] + 1;\n"
    "    if (x > 0) { next = at - 1; if (!wall[next] && dist[next] < 0) { dist[next] = d; queue[tail++] = next; } }\n"
    "    if (x < W - 1) { next = at + 1; if (!wall[next] && dist[next] < 0) { dist[next] = d; queue[tail++] = next; } }\n"
    "    if (y > 0) { next = at - W; if (!wall[next] && dist[next] < 0) { dist[next] = d; queue[tail++] = next; } }\n"
    "    if (y < H - 1) { next = at + W; if (!wall[next] && dist[next] < 0) { dist[next] = d; queue[tail++] = next; } }\n"
    "  }\n"
    "  return tail;\n"
    "}\n"
    "int best(int from) {\n"
    "  int i, b = -1, bd = 100000;\n"
    "  bfs(from);\n"
    "  for (i = 0; i < W * H; i++) if (dist[i] > 0 && (i % 7) == 3 && dist[i] < bd) { bd = dist[i]; b = i; }\n"
    "  return b;\n"
    "}\n"
    "int run() {\n"
    "  int i, s = 0;\n"
    "  for (i = 0; i < W * H; i++) wall[i] = (i * 37 % 11) == 0;\n"
    "  for (i = 0; i < 40; i++) s += best((i * 13) % (W * H));\n"
    "  return s;\n"
    "}\nexport run;\n";

const char kCardTables[] =
    "struct Card { int suit; int rank; };\n"
    "Card deck[52]; int hand[4][13]; int score[4]; int seed = 7;\n"
    "int weight[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 20};\n"
    "int rnd(int n) { seed = seed * 1103515245 + 12345; return ((seed >> 8) & 32767) % n; }\n"
    "void shuffle() {\n"
    "  int i, j; Card t;\n"
    "  for (i = 0; i < 52; i++) { deck[i].suit = i / 13; deck[i].rank = i % 13; }\n"
    "  for (i = 51; i > 0; i--) { j = rnd(i + 1); t = deck[i]; deck[i] = deck[j]; deck[j] = t; }\n"
    "}\n"
    "int value(int card) { return weight[deck[card].rank] * (deck[card].suit == 2 ? 2 : 1); }\n"
    "void sortHand(int p) {\n"
    "  int i, j, v;\n"
    "  for (i = 1; i < 13; i++) { v = hand[p][i]; j = i - 1;\n"
    "    while (j >= 0 && value(hand[p][j]) > value(v)) { hand[p][j + 1] = hand[p][j]; j--; }\n"
    "    hand[p][j + 1] = v; }\n"
    "}\n"
    "int run() {\n"
    "  int round, p, i, total = 0;\n"
    "  for (round = 0; round < 300; round++) {\n"
    "    shuffle();\n"
    "    for (p = 0; p < 4; p++) { score[p] = 0; for (i = 0; i < 13; i++) hand[p][i] = p * 13 + i; sortHand(p); }\n"
    "    for (p = 0; p < 4; p++) for (i = 0; i < 13; i++) score[p] += value(hand[p][i]) * (i + 1);\n"
    "    for (p = 0; p < 4; p++) total += score[p] % 101;\n"
    "  }\n"
    "  return total;\n"
    "}\nexport run;\n";

void Check(int, int) {}
int Total(int n, scVarArgs) { return n; }
int Twice(int v) { return v * 2; }
double Halve(double v) { return v / 2; }
int Print(const char*, scVarArgs) { return 0; }

std::string Shape(const scInstance* inst, uint32_t ip) {
    const auto& L = inst->img->layout;
    const uint8_t* code = inst->img->bytes.data() + L.code;
    if (ip + 4 > L.codeSize) return "?";
    uint32_t w = zedi::LoadWord(code + ip);
    if (w == scMarkerWord) return "MARKER";
    int op = w & 63;
    if (op >= scFirstNoOperand) {
        std::string s;
        for (int i = 0; i < 4; i++) {
            int b = (w >> (8 * i)) & 0xFF;
            if (b == opNOP && i > 0) continue;
            if (!s.empty()) s += ' ';
            s += b < opCOUNT ? scOpcodes[b].name : "?";
            if (b == opRET) break;
        }
        return s;
    }
    scOperandBits a, b;
    scDecodeOperands(w, op, a, b);
    auto form = [](const scOperandBits& o) -> std::string {
        if (!o.mem) {
            if (!o.reg) return "imm";
            return o.regNo >= regCODE ? "r" + std::to_string(o.regNo) : "r";
        }
        static const char* kBase[] = {"", "pool", "data", "frame"};
        if (o.reg) return o.base ? std::string("[") + kBase[o.base] + "+r]" : "[r]";
        return o.base ? std::string(kBase[o.base]) + "[imm]" : "import";
    };
    std::string s = scOpcodes[op].name;
    s += " " + form(a);
    if (op >= scFirstTwoOperand) s += ", " + form(b);
    return s;
}

std::map<std::string, long> g_counts[4];
std::vector<std::string> g_last;
long g_total = 0;

void Trace(const scInstance* inst, uint32_t ip) {
    std::string s = Shape(inst, ip);
    g_last.push_back(s);
    if (g_last.size() > 4) g_last.erase(g_last.begin());
    ++g_total;
    std::string run;
    for (size_t n = 1; n <= g_last.size(); ++n) {
        run = g_last[g_last.size() - n] + (n > 1 ? " ; " + run : "");
        ++g_counts[n - 1][run];
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool RunScript(const char* name, const std::string& text) {
    scScript image = scCompile_Text(text.c_str());
    if (!image) {
        std::fprintf(stderr, "%s: %s\n", name, scLast_Error_Text);
        return false;
    }
    scInstance* inst = scCreate_Instance(image);
    if (!inst) {
        std::fprintf(stderr, "%s: %s\n", name, scLast_Error_Text);
        std::free(image);
        return false;
    }
    g_last.clear();
    scVCall_Instance(inst, scGet_Symbol(inst, "run"), 0, nullptr);
    if (scLast_Error) std::fprintf(stderr, "%s: %s\n", name, scLast_Error_Text);
    scFree_Instance(inst);
    std::free(image);
    return true;
}

void PrintTop(const char* title, std::map<std::string, long>& counts, int top) {
    std::vector<std::pair<long, std::string>> v;
    for (auto& [k, n] : counts) v.push_back({n, k});
    std::sort(v.rbegin(), v.rend());
    std::printf("\n%s\n", title);
    for (int i = 0; i < top && i < int(v.size()); ++i)
        std::printf("%6.2f%%  %s\n", 100.0 * double(v[size_t(i)].first) / double(g_total), v[size_t(i)].second.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    int top = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
    scRegister_Host_Symbol("check", Check);
    scRegister_Host_Symbol("total", Total);
    scRegister_Host_Symbol("twice", Twice);
    scRegister_Host_Symbol("halve", Halve);
    scRegister_Host_Symbol("print", Print);
    scRegister_Host_Variable<int>("host_counter");
    zedi::SetVcpuTrace(Trace);
    for (const char* f : {"arith.sc", "pointers.sc", "control.sc", "functions.sc", "hostcalls.sc", "expressions.sc"})
        RunScript(f, ReadFile(std::string(ZEDI_SCRIPTS) + "/" + f));
    RunScript("board search", kBoardSearch);
    RunScript("card tables", kCardTables);
    zedi::SetVcpuTrace(nullptr);
    std::printf("%ld instructions run\n", g_total);
    PrintTop("instruction forms", g_counts[0], top);
    PrintTop("runs of two", g_counts[1], top);
    PrintTop("runs of three", g_counts[2], top);
    PrintTop("runs of four", g_counts[3], top);
    return 0;
}
