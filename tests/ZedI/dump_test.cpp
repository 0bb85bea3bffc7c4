#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "Assembler.h"
#include "Compiler.h"
#include "Dump.h"
#include "Instance.h"

using namespace zasm;

namespace {

TEST(Dump, ListsEverySection) {
    ImageBuilder b;
    b.title = "Dumped";
    b.dataSize = 16;
    uint32_t text = b.PoolText("hi there");
    b.RecordWord(0, zedi::recPoolAddress, text);
    b.RecordBytes(4, {1, 2});
    uint32_t slot = b.Import("chat", -1 + 5);
    b.a.Op0({opENTER});
    b.a.Op1(opPUSH, Data(0));
    b.a.Op2(opCALLEX, I(int32_t(slot)), I(int32_t(4 | scdescDROP_RESULT)));
    uint32_t j = b.a.Jmp(0);
    b.Export("jumpedOver", int32_t(b.a.Here()), 0);  // an entry: decoded though the JMP skips it
    b.a.Op2(opDADD, R(2), D(1.5));
    b.a.PatchJmp(j, b.a.Label());
    b.a.Word(scMarkerWord);
    b.a.Op0({opLEAVE, opRET});
    b.a.Align();
    b.Export("main", int32_t(b.a.Here()), 0);
    b.Export("counter", 8, -1);
    b.cleanup = b.a.Here();
    b.a.Op0({opRET});
    std::ostringstream out;
    ASSERT_TRUE(zeditool::DumpImage(b.Build(), out));
    std::string s = out.str();
    for (const char* part : {"\"ZedI\"", "version            94", "TITL  length 8  \"Dumped\"",
                             "AUTH  length 12  \"Anonymous\"", "main  function at", "counter  variable at data 8",
                             "slot 8  chat  function, 4 parameter bytes", "data[0] := address of pool[0]",
                             "data[4] := 2 bytes 01 02", "\"hi there\"", "ENTER NOP NOP NOP", "PUSH data[0]",
                             "CALLEX 8, 0x200004    ; dispatcher 0, 4 bytes, dropped", "JMP 12    ; -> 44",
                             "DADD r2, 1.5", "MARKER", "LEAVE RET NOP NOP"}) {
        EXPECT_NE(s.find(part), std::string::npos) << part << "\n" << s;
    }
}

TEST(Dump, DecodesFromEveryEntryAndShowsTheRestAsData) {
    // The initialisation routine ends with LEAVE RET over the jump across the
    // bodies, whose offset word stays behind it: that word is data, and the first
    // function is decoded from its own start.
    scScript image = scCompile_Text(
        "int sq(int x) { return x * x; }\n"
        "int fib(int n) { if (n < 2) return n; return fib(n - 1) + sq(1) * fib(n - 2); }\nexport fib;\n");
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    const uint8_t* p = static_cast<const uint8_t*>(image);
    std::ostringstream out;
    ASSERT_TRUE(zeditool::DumpImage(std::vector<uint8_t>(p, p + scGet_Script_Size(image)), out));
    std::free(image);
    std::string s = out.str();
    for (const char* line : {"     0  ENTER NOP NOP NOP\n     4  LEAVE RET NOP NOP\n     8  data 0x",
                             "    12  ENTER NOP NOP NOP\n    16  MOV r2, frame[8]\n    24  MUL r2, frame[8]",
                             "  JFALSE r2, 12    ; -> ", "  CALL 12\n", "  ENTER LEAVE RET NOP\n"})
        EXPECT_NE(s.find(line), std::string::npos) << line << "\n" << s;
    for (const char* wrong : {"XCHG", "OPTIONS", "PUSHADR", "NAO"}) EXPECT_EQ(s.find(wrong), std::string::npos) << wrong << "\n" << s;
}

TEST(Dump, RefusesABrokenImage) {
    std::vector<uint8_t> junk(100, 0);
    std::ostringstream out;
    EXPECT_FALSE(zeditool::DumpImage(junk, out));
    EXPECT_NE(out.str().find("not a valid script image"), std::string::npos);
}

}  // namespace
