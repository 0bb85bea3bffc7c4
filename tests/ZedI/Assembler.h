// Test-only assembler: builds script images by hand so that the runtime can be
// tested without the compiler.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Engine.h"
#include "Image.h"
#include "VcpuOps.h"

namespace zasm {

struct Opnd {
    bool mem = false, reg = false, dbl = false;
    uint8_t regNo = 0, base = 0;
    uint32_t imm = 0, immHigh = 0;
};

inline Opnd R(int r) { Opnd o; o.reg = true; o.regNo = uint8_t(r); return o; }
inline Opnd I(int32_t v) { Opnd o; o.imm = uint32_t(v); return o; }
inline Opnd D(double d) {
    Opnd o;
    uint64_t b;
    std::memcpy(&b, &d, 8);
    o.imm = uint32_t(b);
    o.immHigh = uint32_t(b >> 32);
    o.dbl = true;
    return o;
}
// Memory at register r + base.
inline Opnd MR(uint8_t base, int r) { Opnd o = R(r); o.mem = true; o.base = base; return o; }
// Memory at offset + base.
inline Opnd MI(uint8_t base, int32_t off) { Opnd o = I(off); o.mem = true; o.base = base; return o; }
inline Opnd Data(int32_t off) { return MI(baseDATA, off); }
inline Opnd Pool(int32_t off) { return MI(basePOOL, off); }
inline Opnd Frame(int32_t off) { return MI(baseFRAME, off); }
inline Opnd Slot(int32_t off) { return MI(baseNONE, off); }

class Asm {
public:
    std::vector<uint8_t> code;

    uint32_t Here() const { return uint32_t(code.size()); }
    // Aligns and gives the address of the next instruction.
    uint32_t Label() {
        Align();
        return Here();
    }
    void Word(uint32_t w) {
        Align();
        for (int i = 0; i < 4; ++i) code.push_back(uint8_t(w >> (8 * i)));
    }
    // Zero-operand opcodes, packed into words and padded with NOP.
    void Op0(std::initializer_list<uint8_t> ops) {
        for (uint8_t op : ops) code.push_back(op);
    }
    void Align() {
        while (code.size() % 4) code.push_back(opNOP);
    }
    uint32_t Op1(uint8_t op, Opnd a) {
        Align();
        uint32_t at = Here();
        uint8_t b1 = uint8_t((a.mem ? scOneMemory : 0) | (a.reg ? scOneRegister : 0) | (a.base << 2));
        code.insert(code.end(), {op, b1, a.regNo, 0});
        Imm(a, scTakesDoubleImmediate(op));
        return at;
    }
    uint32_t Op2(uint8_t op, Opnd a, Opnd b) {
        Align();
        uint32_t at = Here();
        uint8_t b0 = uint8_t(op | (a.mem ? scOp1Memory : 0) | (b.mem ? scOp2Memory : 0));
        uint8_t b1 = uint8_t((a.reg ? scOp1Register : 0) | (a.base << 1) |
                             (b.reg ? scOp2Register : 0) | (b.base << 5));
        code.insert(code.end(), {b0, b1, a.regNo, b.regNo});
        Imm(a, false);
        Imm(b, scTakesDoubleImmediate(op));
        return at;
    }
    // Relative jumps to an absolute code address.
    uint32_t Jmp(uint32_t target) {
        Align();
        return Op1(opJMP, I(int32_t(target - (Here() + 8))));
    }
    uint32_t JCond(uint8_t op, Opnd cond, uint32_t target) {
        Align();
        uint32_t end = Here() + 4 + (cond.reg ? 0 : 4) + 4;
        return Op2(op, cond, I(int32_t(target - end)));
    }
    // Re-targets a JMP at `at`.
    void PatchJmp(uint32_t at, uint32_t target) { Put(at + 4, target - (at + 8)); }
    void PatchJCond(uint32_t at, uint32_t target) {
        uint32_t end = Here();  // callers patch right after emitting the jump
        (void)end;
        bool condReg = code[at + 1] & scOp1Register;
        uint32_t immAt = at + 4 + (condReg ? 0 : 4);
        Put(immAt, target - (immAt + 4));
    }
    void Put(uint32_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) code[at + i] = uint8_t(v >> (8 * i));
    }

private:
    // A double immediate takes two words only where the CPU reads two.
    void Imm(const Opnd& o, bool doubleAllowed) {
        if (o.reg) return;
        for (int i = 0; i < 4; ++i) code.push_back(uint8_t(o.imm >> (8 * i)));
        if (o.dbl && doubleAllowed && !o.mem)
            for (int i = 0; i < 4; ++i) code.push_back(uint8_t(o.immHigh >> (8 * i)));
    }
};

struct ExportEntry {
    std::string name;
    int32_t value, kind;
};

class ImageBuilder {
public:
    std::string title, author;  // empty: the defaults
    std::vector<ExportEntry> exports;
    Asm a;
    std::vector<uint8_t> records, pool;
    uint32_t dataSize = 0, stackSize = 4000, cleanup = 0;

    uint32_t Import(const std::string& name, int32_t kind) {
        uint32_t pos = importBytes_;
        pos = (pos + uint32_t(name.size()) + 1 + 3) & ~3u;
        imports_.push_back({name, kind});
        importBytes_ = pos + 8;
        return pos;
    }
    void Export(const std::string& name, int32_t value, int32_t kind) { exports.push_back({name, value, kind}); }
    uint32_t PoolText(const std::string& s) {
        uint32_t at = uint32_t(pool.size());
        pool.insert(pool.end(), s.begin(), s.end());
        pool.push_back(0);
        return at;
    }
    void RecordBytes(int32_t target, const std::vector<uint8_t>& bytes) {
        W(records, uint32_t(target));
        W(records, uint32_t(bytes.size()));
        records.insert(records.end(), bytes.begin(), bytes.end());
    }
    void RecordWord(int32_t target, int32_t kind, uint32_t c) {
        W(records, uint32_t(target));
        W(records, uint32_t(kind));
        W(records, c);
    }
    void RecordCopy(int32_t target, int32_t kind, uint32_t c, uint32_t n) {
        RecordWord(target, kind, c);
        W(records, n);
    }

    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> img(zedi::kHeaderSize, 0);
        auto chunk = [&](const char* tag, const std::string& text) {
            img.insert(img.end(), tag, tag + 4);
            uint32_t len = (uint32_t(text.size()) + 1 + 3) & ~3u;
            W(img, len);
            std::vector<uint8_t> data(len, 0);
            std::memcpy(data.data(), text.data(), text.size());
            img.insert(img.end(), data.begin(), data.end());
        };
        chunk("TITL", title.empty() ? "Untitled" : title);
        chunk("AUTH", author.empty() ? "Anonymous" : author);
        img.insert(img.end(), {'E', 'N', 'D', '!'});
        uint32_t exportsAt = uint32_t(img.size());
        for (auto& e : exports) {
            Name(img, e.name);
            W(img, uint32_t(e.value));
            W(img, uint32_t(e.kind));
        }
        img.push_back(0);
        Pad(img);
        uint32_t importsAt = uint32_t(img.size());
        for (auto& i : imports_) {
            Name(img, i.first);
            W(img, 0);
            W(img, uint32_t(i.second));
        }
        img.push_back(0);
        uint32_t codeAt = uint32_t(img.size());
        std::vector<uint8_t> code = a.code;
        while (code.size() % 4) code.push_back(opNOP);
        img.insert(img.end(), code.begin(), code.end());
        uint32_t recordsAt = uint32_t(img.size());
        img.insert(img.end(), records.begin(), records.end());
        W(img, 0);
        W(img, 0);
        uint32_t poolAt = uint32_t(img.size());
        img.insert(img.end(), pool.begin(), pool.end());
        uint32_t words[18] = {zedi::kMagicZedI, zedi::kMagicVCPU, 94, uint32_t(img.size()), 72,
                              exportsAt, codeAt, 0, poolAt, recordsAt, uint32_t(code.size()), dataSize,
                              uint32_t(pool.size()), stackSize, importsAt, 0, cleanup, zedi::kMagicEOH};
        std::memcpy(img.data(), words, sizeof words);
        return img;
    }

    static void W(std::vector<uint8_t>& v, uint32_t w) {
        for (int i = 0; i < 4; ++i) v.push_back(uint8_t(w >> (8 * i)));
    }

private:
    static void Pad(std::vector<uint8_t>& v) {
        while (v.size() % 4) v.push_back(0);
    }
    static void Name(std::vector<uint8_t>& v, const std::string& s) {
        v.insert(v.end(), s.begin(), s.end());
        v.push_back(0);
        Pad(v);
    }
    std::vector<std::pair<std::string, int32_t>> imports_;
    uint32_t importBytes_ = 0;
};

// An image as the host holds it: one malloc block.
struct ScriptBlock {
    scScript p = nullptr;
    explicit ScriptBlock(const std::vector<uint8_t>& bytes) {
        p = std::malloc(bytes.size());
        std::memcpy(p, bytes.data(), bytes.size());
    }
    ~ScriptBlock() { std::free(p); }
    ScriptBlock(const ScriptBlock&) = delete;
    ScriptBlock& operator=(const ScriptBlock&) = delete;
    operator scScript() const { return p; }
};

}  // namespace zasm
