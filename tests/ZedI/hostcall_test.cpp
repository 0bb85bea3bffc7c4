#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "Fixture.h"
#include "Format.h"
#include "VmSpace.h"

using namespace zasm;
using ztest::Script;
using ztest::WithFunction;

namespace {

int HNone() { return 7; }
int HSub3(int a, int b, int c) { return a - b - c; }
double HMul(double a, double b) { return a * b; }
double HHalf(int a) { return a / 2.0; }
int g_seen = 0;
void HVoid(int a) { g_seen = a; }
int64_t HBig() { return 0x123456789LL; }
int HLen(const char* s) { return int(std::strlen(s)); }
float HFloat(float f) { return f * 2; }
unsigned HUnsigned(unsigned short s, char c) { return s + unsigned(c); }
int64_t HAdd64(int64_t a, int b) { return a + b; }
int HThrows() { throw std::runtime_error("host failure"); }
int HBuffer(char* out, int n) {
    if (size_t(n) >= scScript_Room(out)) throw std::runtime_error("buffer too small");
    for (int i = 0; i < n; ++i) out[i] = char('a' + i);
    out[n] = 0;
    return n;
}
char* g_text = nullptr;
char* HText() { return g_text; }
char g_outside[4] = "no";
char* HOutside() { return g_outside; }
int HFormat(char* out, const char* format, scVarArgs args) {
    std::string error;
    int n = scFormat(out, scScript_Room(out), format, args, &error);
    if (n < 0) throw std::runtime_error(error);
    return n;
}
int HInstance(scInstance* inst) { return inst == scGet_This() ? 1 : 0; }

struct Counter {
    int n;
    int Add(int k) { return n += k; }
    int Get() const { return n; }
};
int CounterAddPlain(Counter* c, int k) { return c->n += k; }

void RegisterAll() {
    scRegister_Host_Symbol("h_none", HNone);
    scRegister_Host_Symbol("h_sub3", HSub3);
    scRegister_Host_Symbol("h_mul", HMul);
    scRegister_Host_Symbol("h_half", HHalf);
    scRegister_Host_Symbol("h_void", HVoid);
    scRegister_Host_Symbol("h_big", HBig);
    scRegister_Host_Symbol("h_len", HLen);
    scRegister_Host_Symbol("h_float", HFloat);
    scRegister_Host_Symbol("h_unsigned", HUnsigned);
    scRegister_Host_Symbol("h_add64", HAdd64);
    scRegister_Host_Symbol("h_throws", HThrows);
    scRegister_Host_Symbol("h_buffer", HBuffer);
    scRegister_Host_Symbol("h_text", HText);
    scRegister_Host_Symbol("h_outside", HOutside);
    scRegister_Host_Symbol("h_format", HFormat);
    scRegister_Host_Symbol("h_instance", HInstance);
    scRegister_Host_Symbol("Counter.Add", &Counter::Add);
    scRegister_Host_Symbol("Counter.Get", &Counter::Get);
    scRegister_Host_Symbol("Counter.AddPlain", CounterAddPlain);
}

// Data layout of the calling script: 0..15 scratch (results, a Counter at 16),
// pool texts.
struct HostCase {
    const char* name;
    const char* import;
    std::function<void(ImageBuilder&)> push;  // pushes the parameters, last first
    int bytes;
    uint32_t flags;                            // descriptor bits besides the count
    std::function<void(Script&)> check;
    const char* error = nullptr;
};

void PrintTo(const HostCase& c, std::ostream* os) { *os << c.name; }

void PushDouble(ImageBuilder& b, double d) {
    b.a.Op2(opDMOV, R(10), D(d));
    b.a.Op1(opDPUSH, R(10));
}

double R01(Script& s) {
    uint64_t bits = uint64_t(s.Reg(1)) << 32 | s.Reg(0);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

const uint32_t kDispatcher1 = 1u << scdescDISPATCHER_SHIFT;

const HostCase kHostCases[] = {
    {"no arguments", "h_none", [](ImageBuilder&) {}, 0, 0, [](Script& s) { EXPECT_EQ(s.Reg(0), 7u); }},
    {"several ints in order", "h_sub3",
     [](ImageBuilder& b) { b.a.Op1(opPUSH, I(3)); b.a.Op1(opPUSH, I(2)); b.a.Op1(opPUSH, I(10)); }, 12, 0,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 5u); }},
    {"doubles in and out", "h_mul",
     [](ImageBuilder& b) { PushDouble(b, 4.0); PushDouble(b, 1.5); }, 16, scdescDOUBLE,
     [](Script& s) { EXPECT_EQ(R01(s), 6.0); }},
    {"int in double out", "h_half", [](ImageBuilder& b) { b.a.Op1(opPUSH, I(5)); }, 4, scdescDOUBLE,
     [](Script& s) { EXPECT_EQ(R01(s), 2.5); }},
    {"dropped result keeps registers", "h_half", [](ImageBuilder& b) { b.a.Op1(opPUSH, I(5)); }, 4,
     scdescDOUBLE | scdescDROP_RESULT,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 0x1111u); EXPECT_EQ(s.Reg(1), 0x2222u); }},
    {"void function", "h_void", [](ImageBuilder& b) { b.a.Op1(opPUSH, I(99)); }, 4, scdescDROP_RESULT,
     [](Script&) { EXPECT_EQ(g_seen, 99); }},
    {"64-bit result kind 5", "h_big",
     [](ImageBuilder& b) { b.a.Op1(opPUSHADR, Data(0)); }, 4, 5u << scdescKIND_SHIFT,
     [](Script& s) { EXPECT_EQ(uint32_t(s.Global(0)), 0x23456789u); EXPECT_EQ(s.Global(4), 1); EXPECT_EQ(s.Reg(0), 0x1111u); }},
    {"result address kind 2", "h_none",
     [](ImageBuilder& b) { b.a.Op1(opPUSHADR, Data(8)); }, 4, 2u << scdescKIND_SHIFT,
     [](Script& s) { EXPECT_EQ(s.Global(8), 7); }},
    {"64-bit argument", "h_add64",
     [](ImageBuilder& b) { b.a.Op1(opPUSH, I(1)); b.a.Op1(opPUSH, I(1)); b.a.Op1(opPUSH, I(-1)); }, 12, 0,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 0u); }},
    {"text argument", "h_len", [](ImageBuilder& b) { b.a.Op1(opPUSHADR, Pool(0)); }, 4, 0,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 5u); }},
    {"float argument and result", "h_float",
     [](ImageBuilder& b) { b.a.Op2(opMOV, R(10), I(0x3FC00000)); b.a.Op1(opPUSH, R(10)); }, 4, 0,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 0x40400000u); }},
    {"float result as double", "h_float",
     [](ImageBuilder& b) { b.a.Op2(opMOV, R(10), I(0x3FC00000)); b.a.Op1(opPUSH, R(10)); }, 4, scdescDOUBLE,
     [](Script& s) { EXPECT_EQ(R01(s), 3.0); }},
    {"narrow unsigned parameters", "h_unsigned",
     [](ImageBuilder& b) { b.a.Op1(opPUSH, I(0x141)); b.a.Op1(opPUSH, I(0x10005)); }, 8, 0,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 0x46u); }},
    {"member call with the object first", "Counter.Add",
     [](ImageBuilder& b) { b.a.Op1(opPUSH, I(5)); b.a.Op1(opPUSHADR, Data(16)); }, 8, scdescMEMBER,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 105u); EXPECT_EQ(s.Global(16), 105); }},
    {"const member", "Counter.Get", [](ImageBuilder& b) { b.a.Op1(opPUSHADR, Data(16)); }, 4, scdescMEMBER,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 100u); }},
    {"dispatcher 1 passes the object as first argument", "Counter.AddPlain",
     [](ImageBuilder& b) { b.a.Op1(opPUSH, I(1)); b.a.Op1(opPUSHADR, Data(16)); }, 8, scdescMEMBER | kDispatcher1,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 101u); }},
    {"buffer too small", "h_buffer",
     [](ImageBuilder& b) { b.a.Op1(opPUSH, I(100000)); b.a.Op1(opPUSHADR, Data(32)); }, 8, 0, nullptr, "buffer too small"},
    {"buffer argument", "h_buffer",
     [](ImageBuilder& b) { b.a.Op1(opPUSH, I(3)); b.a.Op1(opPUSHADR, Data(32)); }, 8, 0,
     [](Script& s) { EXPECT_STREQ(static_cast<char*>(scGet_Global(s.inst, 32, 4)), "abc"); }},
    {"text result in script memory", "h_text", [](ImageBuilder&) {}, 0, 0,
     [](Script& s) { EXPECT_EQ(s.Reg(0), zedi::VmSpace::Get().AddrOf(g_text)); }},
    {"instance handle", "h_instance",
     [](ImageBuilder& b) { b.a.Op1(opPUSH, MI(baseDATA, 48)); }, 4, 0,
     [](Script& s) { EXPECT_EQ(s.Reg(0), 1u); }},
    {"formatter", "h_format",
     [](ImageBuilder& b) {
         PushDouble(b, 2.5);
         b.a.Op1(opPUSHADR, Pool(0));
         b.a.Op1(opPUSH, I(-42));
         b.a.Op1(opPUSHADR, Pool(6));
         b.a.Op1(opPUSHADR, Data(32));
     }, 24, 0,
     [](Script& s) { EXPECT_STREQ(static_cast<char*>(scGet_Global(s.inst, 32, 4)), "[ -42|hello|2.50]"); }},
    {"too few words", "h_sub3", [](ImageBuilder& b) { b.a.Op1(opPUSH, I(1)); }, 4, 0, nullptr, "too few arguments"},
    {"bad pointer", "h_len", [](ImageBuilder& b) { b.a.Op1(opPUSH, I(12)); }, 4, 0, nullptr, "bad text argument"},
    {"bad instance handle", "h_instance", [](ImageBuilder& b) { b.a.Op1(opPUSH, I(0x7777777)); }, 4, 0, nullptr,
     "invalid instance handle"},
    {"host exception", "h_throws", [](ImageBuilder&) {}, 0, 0, nullptr, "host failure in host function `h_throws'"},
    {"result outside script memory", "h_outside", [](ImageBuilder&) {}, 0, 0, nullptr, "outside script memory"},
    {"formatter refuses %n", "h_format",
     [](ImageBuilder& b) { b.a.Op1(opPUSHADR, Pool(20)); b.a.Op1(opPUSHADR, Data(32)); }, 8, 0, nullptr,
     "%n is not allowed"},
};

class HostCalls : public ::testing::TestWithParam<HostCase> {
protected:
    static void SetUpTestSuite() {
        RegisterAll();
        if (!g_text) g_text = scNew_Text("from the host");
    }
};

TEST_P(HostCalls, Call) {
    const HostCase& c = GetParam();
    auto b = WithFunction([&](ImageBuilder& ib) {
        uint32_t slot = ib.Import(c.import, c.bytes);
        ib.a.Op0({opENTER});
        ib.a.Op2(opMOV, Data(16), I(100));  // the Counter
        ib.a.Op2(opMOV, R(0), I(0x1111));
        ib.a.Op2(opMOV, R(1), I(0x2222));
        c.push(ib);
        ib.a.Op2(opMOV, R(20), R(regSP));
        ib.a.Op2(opCALLEX, I(int32_t(slot)), I(int32_t(uint32_t(c.bytes) | c.flags)));
        ib.a.Op2(opSUB, R(20), R(regSP));  // the stack pointer moved past the block
        ib.a.Op2(opMOV, Data(60), R(20));
        ib.a.Op0({opLEAVE, opRET});
    }, 0, 128);
    b.PoolText("hello");             // 0
    b.PoolText("[%4d|%s|%.2f]");     // 6
    b.PoolText("%n");
    Script s(b);
    ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
    *static_cast<uint32_t*>(scGet_Global(s.inst, 48, 4)) = scInstance_Handle(s.inst);
    scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"));
    if (c.error) {
        EXPECT_EQ(scLast_Error, scerr_RUNTIME);
        EXPECT_TRUE(ztest::Contains(scLast_Error_Text, c.error)) << scLast_Error_Text;
        return;
    }
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    EXPECT_EQ(s.Global(60), -c.bytes);
    c.check(s);
}

INSTANTIATE_TEST_SUITE_P(Table, HostCalls, ::testing::ValuesIn(kHostCases),
                         ztest::CaseName());

int Version1() { return 1; }
int Version2() { return 2; }

TEST(HostSymbols, ReRegistrationBindsLaterInstancesOnly) {
    auto build = [] {
        return WithFunction([](ImageBuilder& ib) {
            uint32_t slot = ib.Import("h_version", 0);
            ib.a.Op2(opCALLEX, I(int32_t(slot)), I(0));
            ib.a.Op0({opRET});
        });
    };
    scRegister_Host_Symbol("h_version", Version1);
    Script a(build());
    scRegister_Host_Symbol("h_version", Version2);
    Script b(build());
    EXPECT_EQ(scCall_Instance(a.inst, scGet_Symbol(a.inst, "f")), 1);
    EXPECT_EQ(scCall_Instance(b.inst, scGet_Symbol(b.inst, "f")), 2);
}

TEST(HostSymbols, BuiltinHeaders) {
    scRegister_Builtin_Header("hdr_test", "int x;");
    EXPECT_STREQ(scFind_Builtin_Header("hdr_test"), "int x;");
    scRegister_Builtin_Header("hdr_test", "int y;");
    EXPECT_STREQ(scFind_Builtin_Header("hdr_test"), "int y;");
    EXPECT_EQ(scFind_Builtin_Header("HDR_TEST"), nullptr);
}

// The formatter on its own, with words as a script would push them.
struct FormatCase {
    const char* format;
    std::vector<uint32_t> words;
    const char* expected;
};

uint32_t Lo(double d) { uint64_t b; std::memcpy(&b, &d, 8); return uint32_t(b); }
uint32_t Hi(double d) { uint64_t b; std::memcpy(&b, &d, 8); return uint32_t(b >> 32); }

TEST(Formatter, Conversions) {
    static char* text = scNew_Text("abcdef");
    uint32_t t = zedi::VmSpace::Get().AddrOf(text);
    const FormatCase cases[] = {
        {"plain %% text", {}, "plain % text"},
        {"%d %i %u", {uint32_t(-5), 7, uint32_t(-1)}, "-5 7 4294967295"},
        {"%x %X %o %#x", {255, 255, 8, 255}, "ff FF 10 0xff"},
        {"%5d|%-5d|%05d|%+d", {42, 42, 42, 42}, "   42|42   |00042|+42"},
        {"%*d|%-*d", {4, 7, 3, 1}, "   7|1  "},
        {"%c%c", {'o', 0x16B}, "ok"},
        {"%s|%.3s|%8s|%-8s|", {t, t, t, t}, "abcdef|abc|  abcdef|abcdef  |"},
        {"%s", {0}, "(null)"},
        {"%ld %lld", {uint32_t(-1), 0, 1}, "-1 4294967296"},
        {"%f %.1e %g", {Lo(1.5), Hi(1.5), Lo(12345.0), Hi(12345.0), Lo(0.25), Hi(0.25)}, "1.500000 1.2e+04 0.25"},
        {"%p", {0x12345}, "00012345"},
        {"%hd %hhd", {3, 4}, "3 4"},
        {"100%", {}, "100%"},
    };
    for (auto& c : cases) {
        char out[128];
        scVarArgs args(c.words.data(), c.words.size());
        std::string error;
        int n = scFormat(out, sizeof out, c.format, args, &error);
        EXPECT_EQ(error, "") << c.format;
        EXPECT_STREQ(out, c.expected) << c.format;
        EXPECT_EQ(n, int(std::strlen(c.expected))) << c.format;
    }
}

TEST(Formatter, RefusalsAndBounds) {
    char out[8];
    std::string error;
    {
        scVarArgs none;
        EXPECT_EQ(scFormat(out, sizeof out, "%d", none, &error), -1);
        EXPECT_EQ(error, "too few arguments for the format");
    }
    {
        uint32_t w[] = {0};
        scVarArgs args(w, 1);
        EXPECT_EQ(scFormat(out, sizeof out, "%n", args, &error), -1);
    }
    {
        uint32_t w[] = {16};  // not a block of the script memory
        scVarArgs args(w, 1);
        EXPECT_EQ(scFormat(out, sizeof out, "%s", args, &error), -1);
    }
    {
        // Long output is cut and still terminated; the full length is returned.
        uint32_t w[] = {123456789};
        scVarArgs args(w, 1);
        EXPECT_EQ(scFormat(out, sizeof out, "x%dx", args, &error), 11);
        EXPECT_STREQ(out, "x123456");
    }
    {
        // A text without its NUL inside its block is refused.
        uint32_t a = zedi::VmSpace::Get().Alloc(16);
        std::memset(zedi::VmSpace::Get().Ptr(a), 'x', 16);
        uint32_t w[] = {a};
        scVarArgs args(w, 1);
        EXPECT_EQ(scFormat(out, sizeof out, "%s", args, &error), -1);
        zedi::VmSpace::Get().Free(a);
    }
}

}  // namespace
