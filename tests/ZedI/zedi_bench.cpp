// VCPU speed on hand-assembled loops, in VCPU instructions per second.
#include <benchmark/benchmark.h>

#include "Assembler.h"
#include "HostCall.h"
#include "Instance.h"

using namespace zasm;

namespace {

constexpr int kRounds = 100000;

int Twice(int v) { return v * 2; }

// Builds "f": a loop of kRounds rounds around `body`; `perRound` is the number of
// instructions one round executes (body + the loop's SUB and JTRUE).
struct Loop {
    std::unique_ptr<ScriptBlock> block;
    scInstance* inst = nullptr;
    int symbol = -1;
    int64_t instructions = 0;

    Loop(const std::function<void(ImageBuilder&)>& body, int bodyInstructions,
         const std::function<void(ImageBuilder&)>& after = nullptr) {
        ImageBuilder b;
        b.dataSize = 64;
        b.a.Op0({opRET});
        b.a.Align();
        b.Export("f", int32_t(b.a.Here()), 0);
        b.a.Op0({opENTER});
        b.a.Op2(opSUB, R(regSP), I(16));
        b.a.Op2(opMOV, R(9), I(kRounds));
        uint32_t top = b.a.Label();
        body(b);
        b.a.Op2(opSUB, R(9), I(1));
        b.a.JCond(opJTRUE, R(9), top);
        b.a.Op0({opLEAVE, opRET});
        if (after) after(b);
        b.a.Align();
        b.cleanup = b.a.Here();
        b.a.Op0({opRET});
        block = std::make_unique<ScriptBlock>(b.Build());
        inst = scCreate_Instance(*block, "");
        symbol = scGet_Symbol(inst, "f");
        instructions = int64_t(kRounds) * (bodyInstructions + 2);
    }
    ~Loop() { scFree_Instance(inst); }

    void Run(benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(scCall_Instance(inst, symbol));
        state.SetItemsProcessed(state.iterations() * instructions);
        if (scLast_Error) state.SkipWithError(scLast_Error_Text);
    }
};

void BM_IntegerArithmetic(benchmark::State& state) {
    Loop loop([](ImageBuilder& b) {
        b.a.Op2(opADD, R(2), R(9));
        b.a.Op2(opMUL, R(3), I(3));
        b.a.Op2(opXOR, R(3), R(2));
        b.a.Op2(opSHR, R(3), I(1));
        b.a.Op2(opCMPL, R(4), R(3));
    }, 5);
    loop.Run(state);
}
BENCHMARK(BM_IntegerArithmetic);

void BM_MemoryOperands(benchmark::State& state) {
    Loop loop([](ImageBuilder& b) {
        b.a.Op2(opADD, Data(0), R(9));
        b.a.Op2(opMOV, Frame(-8), Data(0));
        b.a.Op2(opADD, Data(4), Frame(-8));
        b.a.Op2(opMOV, R(5), I(8));
        b.a.Op2(opMOV, MR(baseDATA, 5), Data(4));
    }, 5);
    loop.Run(state);
}
BENCHMARK(BM_MemoryOperands);

void BM_CallAndReturn(benchmark::State& state) {
    uint32_t call = 0;
    Loop loop([&](ImageBuilder& b) { call = b.a.Op1(opCALL, I(0)); },
              1 + 3,  // CALL, then ENTER, LEAVE and RET of the callee (one word, counted as three)
              [&](ImageBuilder& b) {
                  uint32_t sub = b.a.Label();
                  b.a.Op0({opENTER, opLEAVE, opRET});
                  b.a.Put(call + 4, sub);
              });
    loop.Run(state);
}
BENCHMARK(BM_CallAndReturn);

void BM_HostCall(benchmark::State& state) {
    scRegister_Host_Symbol("bench_twice", Twice);
    Loop loop([](ImageBuilder& b) {
        uint32_t slot = b.Import("bench_twice", 4);
        b.a.Op1(opPUSH, R(9));
        b.a.Op2(opCALLEX, I(int32_t(slot)), I(4));
    }, 2);
    loop.Run(state);
}
BENCHMARK(BM_HostCall);

}  // namespace

BENCHMARK_MAIN();
