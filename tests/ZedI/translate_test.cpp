// The CPU's translated code against the long way: random instruction streams,
// random compiled programs and the corpus scripts each run both ways from the
// same instance state, and must leave the same result, error and memory (the
// registers, the data area and the stack, byte for byte).
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Compiler.h"
#include "Fixture.h"
#include "HostCall.h"
#include "Vcpu.h"
#include "VmSpace.h"

using namespace zasm;

namespace {

using zedi::VmSpace;

struct Gen {
    std::mt19937 r;
    explicit Gen(uint32_t seed) : r(seed) {}
    uint32_t operator()(uint32_t n) { return n ? r() % n : 0; }
    bool Chance(int percent) { return (*this)(100) < uint32_t(percent); }
    template <class T, size_t N>
    const T& Pick(const T (&a)[N]) { return a[(*this)(N)]; }
};

// What a run leaves behind.
struct Outcome {
    int result = 0;
    int error = 0;
    std::string text;
    std::vector<uint8_t> block;  // registers, data area, stack
};

// Runs `call` on the instance from the same starting block both ways, the
// translated way twice (the second finds the code already translated).
class BothWays {
public:
    explicit BothWays(scInstance* inst) : inst_(inst) {
        uint32_t size = VmSpace::Get().BlockSize(inst->block);
        const uint8_t* p = VmSpace::Get().Ptr(inst->block);
        start_.assign(p, p + size);
    }
    ~BothWays() { zedi::SetVcpuLongWay(false); }

    Outcome Run(bool longWay, const std::function<int()>& call) {
        std::memcpy(VmSpace::Get().Ptr(inst_->block), start_.data(), start_.size());
        zedi::SetVcpuLongWay(longWay);
        zedi::ClearError();
        Outcome o;
        o.result = call();
        zedi::SetVcpuLongWay(false);
        o.error = scLast_Error;
        o.text = scLast_Error != 0 ? scLast_Error_Text : "";
        const uint8_t* p = VmSpace::Get().Ptr(inst_->block);
        o.block.assign(p, p + start_.size());
        return o;
    }

    // Runs all three and reports where they differ. Returns whether the run
    // ended without an error.
    bool Expect(const std::function<int()>& call, const std::string& what) {
        if (std::getenv("ZEDI_TRACE_CASES")) std::fprintf(stderr, "%s\n", what.c_str());
        Outcome slow = Run(true, call);
        for (int pass = 0; pass < 2; ++pass) {
            Outcome fast = Run(false, call);
            EXPECT_EQ(fast.result, slow.result) << what;
            EXPECT_EQ(fast.error, slow.error) << what;
            EXPECT_EQ(fast.text, slow.text) << what;
            EXPECT_EQ(fast.block.size(), slow.block.size());
            if (fast.block.size() != slow.block.size()) return false;
            for (size_t i = 0; i < fast.block.size(); ++i) {
                if (fast.block[i] != slow.block[i]) {
                    ADD_FAILURE() << what << ": byte " << i << " of the block differs"
                                  << (i < scRegisterBlockSize ? " (register " + std::to_string(i / 4) + ")" : "")
                                  << ": " << int(fast.block[i]) << " translated, " << int(slow.block[i])
                                  << " the long way (" << slow.text << ")";
                    break;
                }
            }
        }
        return slow.error == 0;
    }

private:
    scInstance* inst_;
    std::vector<uint8_t> start_;
};

// ---- Random instruction streams --------------------------------------------
//
// Built from the forms the compiler emits and the runs the CPU fuses, with the
// special registers, bad addresses, division by zero, the unsigned flag and
// accesses to the register block mixed in. Jumps go forward only and the one
// loop counts to a bound, so every run ends.

const int kGeneral[] = {0, 2, 3, 4};
const int kSpecialSources[] = {regDATA, regSTACK, regFRAME, regSP, regIP, regOPTIONS, regCOUNT};
const int kSpecialDests[] = {regCOUNT, regOPTIONS, regSP};
const int kThroughMemory[] = {regIP, regSP, regFRAME, regDATA, regOPTIONS, regCOUNT};
const uint8_t kUnary[] = {opNEG, opNOT};
const char* const kVars[] = {"a", "b", "i", "j", "k", "x", "y"};
const char* const kAssigned[] = {"a", "b", "x", "y", "k"};
const char* const kAssignOps[] = {"=", "+=", "-=", "=", "^="};
const int32_t kImms[] = {0, 1, -1, 2, 3, 4, 7, -8, 31, 33, 100000, INT32_MIN, INT32_MAX};

Opnd Source(Gen& g) {
    switch (g(10)) {
    case 0: case 1: case 2: return R(g.Pick(kGeneral));
    case 3: return R(g.Pick(kSpecialSources));
    case 4: case 5: return I(g.Pick(kImms));
    case 6: case 7: return Frame(-4 * int32_t(1 + g(6)));
    case 8: return Data(g.Chance(90) ? 4 * int32_t(g(8)) : (g.Chance(50) ? 1 << 20 : -1024 + 4 * int32_t(g(256))));
    default: return MR(baseNONE, g.Pick(kGeneral));
    }
}

Opnd Dest(Gen& g) {
    switch (g(6)) {
    case 0: case 1: case 2: return R(g.Pick(kGeneral));
    case 3: return Frame(-4 * int32_t(1 + g(6)));
    case 4: return Data(g.Chance(95) ? 4 * int32_t(g(8)) : 1 << 20);
    default: return g.Chance(10) ? R(g.Pick(kSpecialDests)) : Data(4 * int32_t(g(8)));
    }
}

const uint8_t kIntOps[] = {opMOV, opADD, opSUB, opMUL, opDIV, opMOD, opAND, opOR, opXOR, opSHL, opSHR,
                           opCMPE, opCMPG, opCMPL, opCMPNG, opCMPNL, opANDL, opORL, opCMOV};
const uint8_t kCmps[] = {opCMPE, opCMPG, opCMPL, opCMPNG, opCMPNL};
const uint8_t kTailOps[] = {opADD, opSUB, opMUL, opAND, opOR, opXOR, opSHL};

// A word of memory at a base plus an immediate, now and then outside the block.
Opnd Word(Gen& g) {
    if (g.Chance(8)) return Data(1 << 20);
    return g.Chance(50) ? Frame(-4 * int32_t(1 + g(6))) : Data(4 * int32_t(g(8)));
}

// One item of the stream. Forward jumps are patched to the start of a later
// item (or the end) by the caller through `pending`.
void Item(Gen& g, Asm& a, std::vector<std::pair<uint32_t, int>>& pending, int index, uint32_t sub,
          uint32_t sub2) {
    int r = g.Pick(kGeneral);
    switch (g(16)) {
    case 0: case 1: case 2:
        a.Op2(g.Pick(kIntOps), Dest(g), Source(g));
        break;
    case 3: case 4:  // a local or global into a register, an operation on it, its use
        a.Op2(opMOV, R(r), g.Chance(50) ? Frame(-4 * int32_t(1 + g(6))) : Data(4 * int32_t(g(8))));
        a.Op2(g.Pick(kIntOps), R(r), Source(g));
        switch (g(7)) {
        case 0: a.Op2(opMOV, g.Chance(85) ? Frame(-4 * int32_t(1 + g(6))) : Data(1 << 20), R(r)); break;
        case 1: a.Op2(opADD, R(r), I(g.Pick(kImms))); break;
        case 2: a.Op2(opADD, R(r), g.Chance(85) ? Data(4 * int32_t(g(8))) : Data(-4096)); break;
        case 3: a.Op1(opPUSH, R(r)); a.Op1(opPOP, R(g.Pick(kGeneral))); break;
        case 4: a.Op2(opADD, g.Chance(85) ? Frame(-4 * int32_t(1 + g(6))) : Data(1 << 20), R(r)); break;
        case 5:  // an immediate added, then the result added to memory
            a.Op2(opADD, R(r), I(1 + int32_t(g(5))));
            a.Op2(opADD, g.Chance(30) ? Data(1 << 20) : Word(g), R(r));
            break;
        default: break;
        }
        break;
    case 5: case 6: {  // compare and a forward jump
        if (g.Chance(60)) a.Op2(opMOV, R(r), Source(g));
        if (g.Chance(15)) a.Op1(opOPTIONS, I(1));
        a.Op2(g.Pick(kCmps), R(r), Source(g));
        uint32_t j = a.JCond(g.Chance(50) ? opJFALSE : opJTRUE, R(r), 0);
        pending.push_back({j, index + 1 + int(g(4))});
        break;
    }
    case 7: case 8: {  // an array element: address, then an access
        int i = g.Chance(50) ? 2 : g.Pick(kGeneral), at = i == 3 ? 4 : 3;
        if (g.Chance(25)) {  // a row times a width plus a column, scaled
            a.Op2(opMOV, R(i), Word(g));
            a.Op2(opMUL, R(i), Word(g));
            a.Op2(opADD, R(i), Word(g));
            a.Op2(opMUL, R(i), I(g.Chance(80) ? 4 : 1));
        } else if (g.Chance(70)) {
            if (g.Chance(80)) a.Op2(opMOV, R(i), g.Chance(70) ? Frame(-4 * int32_t(1 + g(6))) : I(int32_t(g(6))));
            a.Op2(opMUL, R(i), I(g.Chance(80) ? 4 : 1));
        } else {
            a.Op2(opAND, R(i), I(7));
        }
        // Relative to the frame only below the locals: the saved frame and the
        // return address stay intact, so every run ends.
        bool data = g.Chance(90);
        int32_t offset = data && g.Chance(90) ? 4 * int32_t(g(4)) : -1024 + 4 * int32_t(g(240));
        a.Op2(opMOV, R(at), I(offset));
        a.Op2(opADD, R(at), R(data ? regDATA : regFRAME));
        a.Op2(opADD, R(at), R(i));
        switch (g(6)) {
        case 0: a.Op2(opMOV, R(g.Pick(kGeneral)), MR(baseNONE, at)); break;
        case 1: a.Op2(opCMOV, R(g.Pick(kGeneral)), MR(baseNONE, at)); break;
        case 2: a.Op2(opMOV, MR(baseNONE, at), R(g.Pick(kGeneral))); break;
        case 3: a.Op2(opMOV, MR(baseNONE, at), I(g.Pick(kImms))); break;
        case 4: a.Op2(opCMOV, MR(baseNONE, at), g.Chance(50) ? R(g.Pick(kGeneral)) : I(g.Pick(kImms))); break;
        default: break;
        }
        break;
    }
    case 9: {  // a counted loop: step, jump back, compare and leave; the step
               // jumping back may add to another word than the one tested
        bool other = g.Chance(30);
        a.Op2(opMOV, Frame(-28), I(0));
        uint32_t top = a.Label();
        a.Op2(opMOV, R(5), Frame(-28));
        a.Op2(opCMPL, R(5), I(1 + int32_t(g(4))));
        uint32_t out = a.JCond(opJFALSE, R(5), 0);
        a.Op2(g.Pick(kIntOps), R(r), Source(g));
        a.Op2(opADD, Data(4 * int32_t(g(8))), R(r));
        if (other) a.Op2(opADD, Frame(-28), I(1));
        a.Op2(opADD, other ? (g.Chance(50) ? Frame(-32) : Data(4 * int32_t(g(8)))) : Frame(-28),
              g.Chance(80) ? I(1) : R(5));  // r5 is 1 here
        a.Jmp(top);
        a.PatchJCond(out, a.Here());
        break;
    }
    case 10:  // a value kept on the stack, then used
        a.Op1(opPUSH, g.Chance(50) ? Source(g) : R(r));
        a.Op1(opPOP, R(r));
        if (g.Chance(60)) a.Op2(g.Pick(kIntOps), R(r), Source(g));
        break;
    case 11:  // a call with an argument (maybe computed), its result taken and passed on
        if (g.Chance(40)) {
            a.Op2(opMOV, R(r), Source(g));
            a.Op2(g.Pick(kIntOps), R(r), Source(g));
            a.Op1(opPUSH, R(r));
        } else {
            a.Op1(opPUSH, Source(g));
        }
        if (g.Chance(20)) {  // combined with a value saved before the call
            a.Op1(opPUSH, Source(g));  // saved
            a.Op1(opPUSH, Source(g));  // the argument
            a.Op1(opCALL, I(int32_t(g.Chance(50) ? sub : sub2)));
            a.Op2(opADD, R(regSP), I(g.Chance(95) ? 4 : 1 << 16));
            a.Op2(opMOV, R(r), R(0));
            int p = g.Pick(kGeneral);
            a.Op1(opPOP, R(p));
            a.Op2(g.Pick(kTailOps), R(p), R(g.Chance(80) ? r : g.Pick(kGeneral)));
            break;
        }
        a.Op1(opCALL, I(int32_t(sub)));
        a.Op2(opADD, R(regSP), I(4));
        a.Op2(opMOV, R(r), R(0));
        if (g.Chance(50)) {
            a.Op1(opPUSH, R(r));
            a.Op1(opPOP, R(g.Pick(kGeneral)));
        }
        break;
    case 12: {  // a register through memory
        int reg = g.Chance(50) ? g.Pick(kGeneral) : g.Pick(kThroughMemory);
        a.Op2(opMOV, R(3), R(regDATA));
        a.Op2(opSUB, R(3), I(int32_t(1024 - 4 * reg)));
        // Writes leave IP, SP and the frame alone (they would send control
        // anywhere, also into endless loops); other tests cover those.
        if (g.Chance(60) || reg == regIP || reg == regSP || reg == regFRAME)
            a.Op2(opMOV, R(g.Pick(kGeneral)), MR(baseNONE, 3));
        else if (reg == regDATA)
            a.Op2(opADD, MR(baseNONE, 3), I(4));
        else
            a.Op2(g.Chance(50) ? opADD : opMOV, MR(baseNONE, 3), I(g.Pick(kImms)));
        break;
    }
    case 13:
        if (g.Chance(50)) {
            a.Op1(g.Pick(kUnary), Dest(g));
        } else {  // the frame moved and back, by register and through memory
            int32_t by = 4 * int32_t(1 + g(4));
            a.Op2(opSUB, R(regFRAME), I(by));
            a.Op2(opMOV, R(g.Pick(kGeneral)), Frame(-4 * int32_t(g(6))));
            a.Op2(opMOV, R(3), R(regDATA));
            a.Op2(opSUB, R(3), I(1024 - 4 * regFRAME));
            a.Op2(opADD, MR(baseNONE, 3), I(by));
            a.Op2(opADD, Frame(-4 * int32_t(1 + g(6))), R(g.Pick(kGeneral)));
        }
        break;
    case 14:
        a.Word(scMarkerWord);
        break;
    default:
        a.Op2(opMOV, Dest(g), Source(g));
        break;
    }
}

ImageBuilder RandomProgram(Gen& g) {
    ImageBuilder b;
    b.dataSize = 64;
    // Globals start with small distinct values, so that a wrong operand shows.
    std::vector<uint8_t> globals;
    for (uint32_t k = 0; k < 16; ++k)
        for (int byte = 0; byte < 4; ++byte) globals.push_back(uint8_t(((2 * k + 3) * (g.Chance(80) ? 1 : 0x1010101)) >> (8 * byte)));
    b.RecordBytes(0, globals);
    b.a.Op0({opRET});
    b.a.Align();
    // A subroutine: adds one to register 0.
    uint32_t sub = b.a.Label();
    b.a.Op0({opENTER});
    b.a.Op2(opADD, R(0), I(1));
    b.a.Op0({opLEAVE, opRET});
    b.a.Align();
    // Another: returns what the first gives for its argument combined with a
    // value saved on the stack before the call.
    uint32_t sub2 = b.a.Label();
    b.a.Op0({opENTER});
    b.a.Op1(opPUSH, I(g.Pick(kImms)));
    b.a.Op1(opPUSH, Frame(8));
    b.a.Op1(opCALL, I(int32_t(sub)));
    b.a.Op2(opADD, R(regSP), I(4));
    b.a.Op2(opMOV, R(3), R(0));
    b.a.Op1(opPOP, R(2));
    b.a.Op2(g.Pick(kTailOps), R(2), R(3));
    b.a.Op2(opMOV, R(0), R(2));
    b.a.Op0({opLEAVE, opRET});
    b.a.Align();
    b.Export("f", int32_t(b.a.Here()), 0);
    b.a.Op0({opENTER});
    b.a.Op2(opSUB, R(regSP), I(32));
    int items = 4 + int(g(24));
    std::vector<std::pair<uint32_t, int>> pending;
    std::vector<uint32_t> starts;
    for (int i = 0; i < items; ++i) {
        starts.push_back(b.a.Label());
        Item(g, b.a, pending, i, sub, sub2);
    }
    starts.push_back(b.a.Label());
    b.a.Op0({opLEAVE, opRET});
    for (auto& [at, to] : pending) {
        uint32_t target = starts[size_t(std::min(to, items))];
        bool condReg = b.a.code[at + 1] & scOp1Register;
        uint32_t immAt = at + 4 + (condReg ? 0 : 4);
        b.a.Put(immAt, target - (immAt + 4));
    }
    b.a.Align();
    b.cleanup = b.a.Here();
    b.a.Op0({opRET});
    return b;
}

TEST(Translated, RandomInstructionStreamsAgreeWithTheLongWay) {
    Gen g(20261210);
    int ended = 0;
    for (int i = 0; i < 400; ++i) {
        ImageBuilder b = RandomProgram(g);
        ztest::Script s(b);
        ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
        int f = scGet_Symbol(s.inst, "f");
        BothWays both(s.inst);
        ended += both.Expect([&] { return scCall_Instance(s.inst, f); }, "stream " + std::to_string(i));
        if (::testing::Test::HasFailure()) {
            std::vector<uint8_t> bytes = b.Build();
            std::ofstream("translate_case.so", std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            FAIL() << "stream " << i << " written to translate_case.so";
        }
    }
    std::printf("random streams: %d of 400 ended without an error\n", ended);
}

// The same streams launched with a small step budget: the runs yield at the
// markers, and each slice must leave the same state both ways.
TEST(Translated, TimeSlicesAgreeWithTheLongWay) {
    Gen g(7);
    for (int i = 0; i < 100; ++i) {
        ImageBuilder b = RandomProgram(g);
        ztest::Script s(b);
        ASSERT_NE(s.inst, nullptr);
        int f = scGet_Symbol(s.inst, "f");
        BothWays both(s.inst);
        both.Expect([&] {
            scLaunch_Instance(s.inst, 1, f);
            int slices = 0;
            while (scGet_Instance_Status(s.inst) != scstatus_FREE && slices < 20) {
                scRun_Time_Slice();
                ++slices;
            }
            scKill_Instance(s.inst);
            return slices;
        }, "sliced stream " + std::to_string(i));
        if (::testing::Test::HasFailure()) FAIL() << "sliced stream " << i;
    }
}

// ---- Random compiled programs -----------------------------------------------

struct SourceGen {
    Gen& g;
    int depth = 0;

    std::string Var() { return g.Pick(kVars); }
    std::string Index(int mask) {
        std::string e = Expr(1);
        return g.Chance(97) ? "(" + e + ") & " + std::to_string(mask) : e;
    }
    std::string Expr(int d) {
        if (d <= 0 || g.Chance(30)) {
            switch (g(8)) {
            case 0: return std::to_string(int64_t(g.Pick(kImms)) == INT32_MIN ? -5 : g.Pick(kImms));
            case 1: return "g[" + Index(15) + "]";
            case 2: return "c[" + Index(15) + "]";
            case 3: return "t[" + Index(7) + "]";
            default: return Var();
            }
        }
        static const char* const kOps[] = {"+", "-", "*", "/", "%", "&", "|", "^", "<<", ">>",
                                           "==", "!=", "<", "<=", ">", ">=", "&&", "||"};
        switch (g(10)) {
        case 0: return "-(" + Expr(d - 1) + ")";
        case 1: return "!(" + Expr(d - 1) + ")";
        default: return "(" + Expr(d - 1) + " " + g.Pick(kOps) + " " + Expr(d - 1) + ")";
        }
    }
    std::string Lvalue() {
        switch (g(5)) {
        case 0: return "g[" + Index(15) + "]";
        case 1: return "c[" + Index(15) + "]";
        case 2: return "t[" + Index(7) + "]";
        default: return g.Pick(kAssigned);
        }
    }
    std::string Statement(int d) {
        switch (d > 0 ? g(8) : 0) {
        case 1:
            return "if (" + Expr(2) + ") { " + Block(d - 1) + "} else { " + Block(d - 1) + "}";
        case 2: {
            std::string v = depth++ ? "j" : "i";
            std::string s = "for (" + v + " = 0; " + v + " < " + std::to_string(1 + g(5)) + "; " + v + "++) { " +
                            Block(d - 1) + "}";
            --depth;
            return s;
        }
        default:
            return Lvalue() + " " + g.Pick(kAssignOps) + " " + Expr(3) + ";";
        }
    }
    std::string Block(int d) {
        std::string s;
        for (int n = 1 + int(g(3)); n > 0; --n) s += Statement(d) + " ";
        return s;
    }
    std::string Program() {
        depth = 0;
        return "int g[16]; char c[16]; int x = 3, y = -2;\n"
               "int f(int a, int b) {\n  int i, j, k = 1, t[8];\n  for (i = 0; i < 8; i++) t[i] = i * a;\n  " +
               Block(2) + "\n  return " + Expr(2) + ";\n}\n"
               "int run() { return f(3, 5) + f(-7, 2) * 3; }\nexport run;\n";
    }
};

TEST(Translated, RandomCompiledProgramsAgreeWithTheLongWay) {
    Gen g(94);
    SourceGen src{g};
    int compiled = 0;
    for (int i = 0; i < 300; ++i) {
        std::string text = src.Program();
        scScript image = scCompile_Text(text.c_str());
        if (!image) continue;
        ++compiled;
        scInstance* inst = scCreate_Instance(image);
        ASSERT_NE(inst, nullptr) << scLast_Error_Text;
        int run = scGet_Symbol(inst, "run");
        {
            BothWays both(inst);
            both.Expect([&] { return scVCall_Instance(inst, run, 0, nullptr); }, text);
        }
        scFree_Instance(inst);
        std::free(image);
        if (::testing::Test::HasFailure()) FAIL() << "program " << i << ":\n" << text;
    }
    EXPECT_GT(compiled, 0);
}

// ---- The corpus ---------------------------------------------------------------

std::vector<int> g_failed;
void Check(int id, int ok) {
    if (!ok) g_failed.push_back(id);
}
int Total(int n, scVarArgs args) {
    int sum = 0;
    uint32_t w;
    for (int i = 0; i < n && args.Word(w); i++) sum += int32_t(w);
    return sum;
}
int Twice(int v) { return v * 2; }
double Halve(double v) { return v / 2; }

TEST(Translated, CorpusAgreesWithTheLongWay) {
    static int* counter = [] {
        scRegister_Host_Symbol("check", Check);
        scRegister_Host_Symbol("total", Total);
        scRegister_Host_Symbol("twice", Twice);
        scRegister_Host_Symbol("halve", Halve);
        return scRegister_Host_Variable<int>("host_counter");
    }();
    for (const char* name : {"arith.sc", "pointers.sc", "control.sc", "functions.sc", "hostcalls.sc", "expressions.sc"}) {
        scScript image = scCompile_File((std::string(ZEDI_SCRIPTS) + "/" + name).c_str());
        ASSERT_NE(image, nullptr) << name << ": " << scLast_Error_Text;
        scInstance* inst = scCreate_Instance(image);
        ASSERT_NE(inst, nullptr) << name << ": " << scLast_Error_Text;
        int run = scGet_Symbol(inst, "run");
        std::vector<int> failed[2];
        {
            BothWays both(inst);
            both.Expect([&] {
                g_failed.clear();
                *counter = 7;  // a host variable: outside the instance's block
                int r = scVCall_Instance(inst, run, 0, nullptr);
                failed[zedi::VcpuLongWay()] = g_failed;
                return r;
            }, name);
        }
        EXPECT_EQ(failed[0], failed[1]) << name;
        EXPECT_EQ(failed[0], std::vector<int>{}) << name;
        scFree_Instance(inst);
        std::free(image);
    }
}

}  // namespace
