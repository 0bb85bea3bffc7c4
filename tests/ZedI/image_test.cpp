#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Fixture.h"
#include "Image.h"

using namespace zasm;
using ztest::Script;

namespace {

std::vector<uint8_t> Minimal() {
    ImageBuilder b;
    b.a.Op0({opRET});
    b.cleanup = 0;
    return b.Build();
}

uint32_t Word(const std::vector<uint8_t>& v, uint32_t off) { return zedi::ImageWord(v.data(), off); }
void SetWord(std::vector<uint8_t>& v, uint32_t off, uint32_t w) { std::memcpy(v.data() + off, &w, 4); }

TEST(Image, DefaultChunksAndLayout) {
    auto img = Minimal();
    ScriptBlock s(img);
    EXPECT_STREQ(scGet_Title(s), "Untitled");
    EXPECT_STREQ(scGet_Author(s), "Anonymous");
    int t = scFind_Info_Chunk(s, "TITL");
    ASSERT_GT(t, 0);
    EXPECT_EQ(Word(img, uint32_t(t) - 4), 12u);
    EXPECT_EQ(Word(img, uint32_t(scFind_Info_Chunk(s, "AUTH")) - 4), 12u);
    EXPECT_EQ(scFind_Info_Chunk(s, "TIT"), 0);
    EXPECT_EQ(scFind_Info_Chunk(s, "NONE"), 0);
    // No exports: one zero byte padded to four. No imports: one zero byte, so the
    // code starts at 1 modulo 4.
    EXPECT_EQ(Word(img, zedi::hdrImports) - Word(img, zedi::hdrExports), 4u);
    EXPECT_EQ(Word(img, zedi::hdrCode) % 4, 1u);
    EXPECT_EQ(scGet_Script_Size(s), int(img.size()));
    EXPECT_EQ(scGet_Script_Size(nullptr), 0);

    zedi::ImageLayout L;
    std::string why;
    EXPECT_TRUE(zedi::CheckImage(img.data(), uint32_t(img.size()), L, why)) << why;
}

TEST(Image, ZeroDataSizeGetsTheStack) {
    ImageBuilder b;
    b.dataSize = 0;
    b.stackSize = 64;
    b.a.Op0({opENTER});
    b.a.Op1(opPUSH, I(5));
    b.a.Op1(opPOP, R(0));
    b.a.Op0({opLEAVE, opRET});
    Script s(b);
    ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
    EXPECT_EQ(s.Reg(regSTACK), s.Reg(regDATA));
    EXPECT_EQ(s.Reg(0), 5u);
}

TEST(Image, TitleAndExportsFromTheImage) {
    ImageBuilder b;
    b.title = "Detective";
    b.author = "A. Writer";
    b.dataSize = 16;
    b.a.Op0({opRET});
    b.Export("count", 8, -1);
    b.Export("f", 0, 4);
    Script s(b);
    ASSERT_NE(s.inst, nullptr);
    EXPECT_STREQ(scGet_Title(*s.block), "Detective");
    EXPECT_STREQ(scGet_Author(*s.block), "A. Writer");
    EXPECT_STREQ(scGet_Instance_Title(s.inst), "Detective");
    EXPECT_EQ(scGet_Instance_Title(nullptr), nullptr);
    EXPECT_EQ(scGet_Symbol(s.inst, "count"), 8);
    int f = scGet_Symbol(s.inst, "f");
    EXPECT_GT(f, 72);
    EXPECT_EQ(Word(b.Build(), uint32_t(f)), 0u);
    EXPECT_EQ(scGet_Symbol(s.inst, "F"), -1);
    EXPECT_EQ(scGet_Symbol(s.inst, "missing"), -1);
    EXPECT_EQ(scCall_Instance(s.inst, -1), 0);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Function not found in `Detective'!"));
}

TEST(Image, DataRecords) {
    ImageBuilder b;
    b.dataSize = 32;
    uint32_t text = b.PoolText("hello");
    b.RecordBytes(0, {1, 2, 3});               // unpadded bytes
    b.RecordWord(4, zedi::recDataAddress, 16);
    b.RecordWord(8, zedi::recPoolAddress, text);
    b.RecordCopy(12, zedi::recDataCopy, 0, 3);
    uint32_t slot = b.Import("image_hostvar", -1);
    b.RecordCopy(20, zedi::recHostVariable, slot, 4);
    b.a.Op0({opRET});
    auto* hv = static_cast<int32_t*>(scRegister_Host_Variable("image_hostvar", 4));
    *hv = 0x5151;
    Script s(b);
    ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
    auto* data = static_cast<uint8_t*>(scGet_Global(s.inst, 0, 32));
    EXPECT_EQ(data[0] + data[1] + data[2], 6);
    EXPECT_EQ(uint32_t(s.Global(4)), s.Reg(regDATA) + 16);
    EXPECT_STREQ(reinterpret_cast<const char*>(zedi::VmSpace::Get().Ptr(uint32_t(s.Global(8)))), "hello");
    EXPECT_EQ(data[12] + data[13] + data[14], 6);
    EXPECT_EQ(s.Global(20), 0x5151);
    EXPECT_EQ(s.Global(24), 0);  // zero-filled
    EXPECT_EQ(scGet_Global(s.inst, 30, 4), nullptr);
    EXPECT_EQ(scGet_Global(s.inst, -1, 4), nullptr);
}

TEST(Image, HostVariableSmallerThanItsRecordIsRefused) {
    ImageBuilder b;
    b.dataSize = 32;
    uint32_t slot = b.Import("image_small", -1);
    b.RecordCopy(0, zedi::recHostVariable, slot, 8);
    b.a.Op0({opRET});
    scRegister_Host_Variable("image_small", 4);
    Script s(b);
    EXPECT_EQ(s.inst, nullptr);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "image_small"));
}

TEST(Image, MissingImportGivesNull) {
    ImageBuilder b;
    b.Import("nobody_registered_this", 0);
    b.a.Op0({opRET});
    Script s(b);
    EXPECT_EQ(s.inst, nullptr);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Unresolved reference to `nobody_registered_this'"));
}

// Each corruption must be refused by the checker and by instance creation.
struct Corruption {
    const char* name;
    void (*apply)(std::vector<uint8_t>&);
};

void PrintTo(const Corruption& c, std::ostream* os) { *os << c.name; }

const Corruption kCorruptions[] = {
    {"magic", [](std::vector<uint8_t>& v) { v[0] = 'X'; }},
    {"second magic", [](std::vector<uint8_t>& v) { v[4] = 'X'; }},
    {"version", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrVersion, 93); }},
    {"end of header", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrEOH, 0); }},
    {"info offset", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrInfo, 8); }},
    {"export offset", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrExports, 0xFFFFFF00); }},
    {"import offset", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrImports, Word(v, zedi::hdrImports) + 4); }},
    {"code offset", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrCode, uint32_t(v.size()) + 4); }},
    {"code size", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrCodeSize, 0x7FFFFFFF); }},
    {"pool offset", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrPool, uint32_t(v.size()) + 1); }},
    {"pool size", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrPoolSize, 1000); }},
    {"records offset", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrRecords, 80); }},
    {"data size", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrDataSize, 0xF0000000); }},
    {"stack size zero", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrStackSize, 0); }},
    {"stack size huge", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrStackSize, 0x7FFFFFF0); }},
    {"clean-up address", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrCleanup, 4000); }},
    {"data offset", [](std::vector<uint8_t>& v) { SetWord(v, zedi::hdrDataOffset, 4); }},
    {"chunk length", [](std::vector<uint8_t>& v) { SetWord(v, 76, 0x7FFFFFFF); }},
    {"unterminated export name",
     [](std::vector<uint8_t>& v) {
         uint32_t e = Word(v, zedi::hdrExports), i = Word(v, zedi::hdrImports);
         for (uint32_t p = e; p < i; ++p) v[p] = 'x';
     }},
    {"record range",
     [](std::vector<uint8_t>& v) { SetWord(v, Word(v, zedi::hdrRecords), 30); }},
    {"record kind",
     [](std::vector<uint8_t>& v) { SetWord(v, Word(v, zedi::hdrRecords) + 4, uint32_t(-9)); }},
    {"record terminator",
     [](std::vector<uint8_t>& v) {
         // Records that run into the pool without their end pair.
         SetWord(v, zedi::hdrPool, Word(v, zedi::hdrRecords) + 4);
     }},
};

std::vector<uint8_t> WithRecordAndExport() {
    ImageBuilder b;
    b.dataSize = 32;
    b.Export("f", 0, 0);
    b.RecordBytes(0, {1, 2, 3, 4});
    b.PoolText("pool");
    b.a.Op0({opRET});
    return b.Build();
}

class ImageCorruption : public ::testing::TestWithParam<Corruption> {};

TEST_P(ImageCorruption, IsRefused) {
    auto img = WithRecordAndExport();
    GetParam().apply(img);
    zedi::ImageLayout L;
    std::string why;
    EXPECT_FALSE(zedi::CheckImage(img.data(), uint32_t(img.size()), L, why));
    ScriptBlock s(img);
    zedi::ClearError();
    EXPECT_EQ(scCreate_Instance(s, ""), nullptr);
    EXPECT_NE(scLast_Error, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ImageCorruption, ::testing::ValuesIn(kCorruptions),
                         ztest::CaseName());

class ImageFile : public ::testing::Test {
protected:
    std::string path = ::testing::TempDir() + "zedi_image_test_" + std::to_string(::getpid()) + ".so";
    void Write(const std::vector<uint8_t>& v) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(v.data()), std::streamsize(v.size()));
    }
    void TearDown() override { std::remove(path.c_str()); }
};

TEST_F(ImageFile, LoadsWholeAndRefusesCutOrExtendedFiles) {
    auto img = WithRecordAndExport();
    Write(img);
    scScript s = scLoad_Script(path.c_str());
    ASSERT_NE(s, nullptr) << scLast_Error_Text;
    EXPECT_EQ(std::memcmp(s, img.data(), img.size()), 0);
    std::free(s);

    auto cut = img;
    cut.pop_back();
    Write(cut);
    EXPECT_EQ(scLoad_Script(path.c_str()), nullptr);
    auto longer = img;
    longer.push_back(0);
    Write(longer);
    EXPECT_EQ(scLoad_Script(path.c_str()), nullptr);
    Write(std::vector<uint8_t>(img.begin(), img.begin() + 40));
    EXPECT_EQ(scLoad_Script(path.c_str()), nullptr);
    auto bad = img;
    bad[0] = 'z';
    Write(bad);
    EXPECT_EQ(scLoad_Script(path.c_str()), nullptr);
    EXPECT_EQ(scLoad_Script((path + ".missing").c_str()), nullptr);
}

}  // namespace
