#include "Dump.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "Image.h"
#include "VcpuOps.h"

namespace zeditool {

namespace {

using zedi::ImageWord;

std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}

std::string RegName(int r) {
    switch (r) {
    case regCODE: return "CODE";
    case regDATA: return "DATA";
    case regPOOL: return "POOL";
    case regSTACK: return "STACK";
    case regIP: return "IP";
    case regSP: return "SP";
    case regFRAME: return "FP";
    case regCOUNT: return "COUNT";
    case regRETURN_MARK: return "MARK";
    case regCLI: return "CLI";
    case regOPTIONS: return "OPT";
    default: return "r" + std::to_string(r);
    }
}

const char* BaseName(int base) {
    static const char* names[] = {"", "pool", "data", "frame"};
    return names[base & 3];
}

struct Decoded : scOperandBits {
    uint32_t imm = 0, immHigh = 0;
    bool dbl = false;
};

std::string Operand(const Decoded& o) {
    std::string s;
    if (o.reg) {
        s = RegName(o.regNo);
    } else if (o.dbl) {
        uint64_t bits = uint64_t(o.immHigh) << 32 | o.imm;
        double d;
        std::memcpy(&d, &bits, 8);
        char b[40];
        std::snprintf(b, sizeof b, "%g", d);
        s = b;
    } else {
        s = std::to_string(int32_t(o.imm));
    }
    if (!o.mem) return s;
    if (!o.reg && o.base == baseNONE) return "import[" + s + "]";
    if (o.base == baseNONE) return "[" + s + "]";
    return std::string(BaseName(o.base)) + "[" + s + "]";
}

// One decoded instruction (or word of zero-operand opcodes, or marker).
struct Insn {
    uint32_t len = 4;
    std::string text;
    std::vector<uint32_t> next;  // code addresses execution may go on at
};

Insn DecodeAt(const uint8_t* code, uint32_t size, uint32_t at) {
    Insn d;
    uint32_t ip = at + 4;
    uint32_t w = ImageWord(code, at);
    if (w == scMarkerWord) {
        d.text = "MARKER";
        d.next = {ip};
        return d;
    }
    int op = w & 63;
    if (op >= scFirstNoOperand) {
        bool goesOn = true;
        for (int i = 0; i < 4; ++i) {
            int b = (w >> (8 * i)) & 0xFF;
            if (i) d.text += ' ';
            bool known = b >= scFirstNoOperand && b < opCOUNT;
            d.text += known ? scOpcodes[b].name : "?" + std::to_string(b);
            // RET leaves (the rest of its word is skipped); an unknown byte fails.
            if (goesOn && (!known || b == opRET)) goesOn = false;
        }
        if (goesOn) d.next = {ip};
        return d;
    }
    bool two = op >= scFirstTwoOperand;
    Decoded a, b;
    scDecodeOperands(w, op, a, b);
    bool truncated = false;
    auto imm = [&](uint32_t& v) {
        if (ip + 4 > size) {
            truncated = true;
            return;
        }
        v = ImageWord(code, ip);
        ip += 4;
    };
    if (!a.reg) imm(a.imm);
    Decoded& last = two ? b : a;
    if (two && !b.reg) imm(b.imm);
    if (!last.reg && !last.mem && scTakesDoubleImmediate(op)) {
        imm(last.immHigh);
        last.dbl = true;
    }
    d.len = ip - at;
    d.text = std::string(scOpcodes[op].name) + ' ' + Operand(a);
    if (two) d.text += ", " + (op == opCALLEX && !b.reg && !b.mem ? Hex(b.imm) : Operand(b));
    bool immA = !a.reg && !a.mem, immB = two && !b.reg && !b.mem;
    // Where relative jumps land.
    if (op == opJMP && immA) d.text += "    ; -> " + std::to_string(ip + a.imm);
    if ((op == opJTRUE || op == opJFALSE) && immB) d.text += "    ; -> " + std::to_string(ip + b.imm);
    if (op == opCALLEX && immB) {
        d.text += "    ; dispatcher " + std::to_string(b.imm >> scdescDISPATCHER_SHIFT) + ", " +
                  std::to_string(b.imm & scdescBYTES) + " bytes";
        if (b.imm & scdescDROP_RESULT) d.text += ", dropped";
        if (b.imm & scdescKIND) d.text += ", kind " + std::to_string((b.imm & scdescKIND) >> scdescKIND_SHIFT);
        if (b.imm & scdescSCRIPT_OBJECT) d.text += ", script object";
        if (b.imm & scdescDOUBLE) d.text += ", double";
        if (b.imm & scdescMEMBER) d.text += ", member";
    }
    if (truncated) {
        d.text += "    ; truncated";
        return d;
    }
    if (op == opNAO || op == opXCHG) return d;  // not executed: an error
    if (op == opJMP) {
        if (immA) d.next = {ip + a.imm};
        return d;
    }
    d.next = {ip};
    if (op == opCALL && immA) d.next.push_back(a.imm);
    if ((op == opJTRUE || op == opJFALSE) && immB) d.next.push_back(ip + b.imm);
    if (op == opFORK && immB) d.next.push_back(b.imm);  // where the parent goes on
    return d;
}

// Decodes from every entry (the routines of the header, the exported functions
// and every CALL, jump and FORK target reached from them) and lists the code in
// order; words that no entry reaches are shown as data.
void Disassemble(const uint8_t* code, uint32_t size, const std::vector<uint32_t>& entries, std::ostream& out) {
    enum : uint8_t { unreached, start, inside };
    std::vector<uint8_t> word(size / 4, unreached);
    std::vector<uint32_t> todo(entries);
    while (!todo.empty()) {
        uint32_t at = todo.back();
        todo.pop_back();
        if (at % 4 || at / 4 >= word.size() || word[at / 4] != unreached) continue;
        Insn d = DecodeAt(code, size, at);
        word[at / 4] = start;
        for (uint32_t k = at + 4; k < at + d.len; k += 4) word[k / 4] = inside;
        todo.insert(todo.end(), d.next.begin(), d.next.end());
    }
    char addr[16];
    for (uint32_t at = 0; at + 4 <= size;) {
        std::snprintf(addr, sizeof addr, "%6u  ", at);
        out << addr;
        if (word[at / 4] == start) {
            Insn d = DecodeAt(code, size, at);
            out << d.text << '\n';
            at += d.len;
        } else {
            char data[32];
            std::snprintf(data, sizeof data, "data 0x%08X\n", ImageWord(code, at));
            out << data;
            at += 4;
        }
    }
    if (size % 4) out << "        (" << size % 4 << " trailing bytes)\n";
}

}  // namespace

bool DumpImage(const std::vector<uint8_t>& image, std::ostream& out) {
    zedi::ImageLayout L;
    std::string why;
    if (!zedi::CheckImage(image.data(), uint32_t(image.size()), L, why)) {
        out << "not a valid script image: " << why << '\n';
        return false;
    }
    const uint8_t* p = image.data();
    static const char* headerNames[18] = {
        "magic", "magic", "version", "size", "info chunks", "exports", "code", "data offset", "pool",
        "data records", "code size", "data size", "pool size", "stack size", "imports", "init routine",
        "clean-up routine", "end of header"};
    out << "Header\n";
    for (uint32_t i = 0; i < 18; ++i) {
        char line[80];
        uint32_t v = ImageWord(p, 4 * i);
        if (i == 0 || i == 1 || i == 17)
            std::snprintf(line, sizeof line, "  %2u  %-18s \"%.4s\"\n", 4 * i, headerNames[i],
                          reinterpret_cast<const char*>(p + 4 * i));
        else
            std::snprintf(line, sizeof line, "  %2u  %-18s %u\n", 4 * i, headerNames[i], v);
        out << line;
    }
    out << "\nInformation chunks\n";
    for (uint32_t pos = (L.info + 3) & ~3u; std::memcmp(p + pos, "END!", 4) != 0;) {
        uint32_t len = ImageWord(p, pos + 4);
        std::string text(reinterpret_cast<const char*>(p + pos + 8), len);
        text = text.c_str();
        out << "  " << std::string(reinterpret_cast<const char*>(p + pos), 4) << "  length " << len << "  \""
            << text << "\"\n";
        pos += 8 + len;
    }
    out << "\nExports (" << L.exportList.size() << ")\n";
    for (auto& e : L.exportList) {
        out << "  " << e.name << "  ";
        if (e.kind == -1)
            out << "variable at data " << e.value;
        else
            out << "function at " << e.value << ", " << e.kind << " parameter bytes";
        out << "  (symbol " << e.entry << ")\n";
    }
    out << "\nImports (" << L.importList.size() << ")\n";
    for (auto& i : L.importList) {
        out << "  slot " << i.slot << "  " << i.name << "  ";
        if (i.kind == -1)
            out << "variable\n";
        else
            out << "function, " << i.kind << " parameter bytes\n";
    }
    out << "\nData records (" << L.recordList.size() << ")\n";
    for (auto& r : L.recordList) {
        out << "  data[" << r.target << "] ";
        switch (r.kind) {
        case zedi::recDataAddress: out << ":= address of data[" << r.c << "]\n"; break;
        case zedi::recPoolAddress: out << ":= address of pool[" << r.c << "]\n"; break;
        case zedi::recDataCopy: out << ":= " << r.n << " bytes of data[" << r.c << "]\n"; break;
        case zedi::recHostVariable: out << ":= " << r.n << " bytes of import slot " << r.c << "\n"; break;
        default: {
            out << ":= " << r.n << " bytes";
            for (uint32_t k = 0; k < r.n && k < 16; ++k) {
                char b[4];
                std::snprintf(b, sizeof b, " %02X", p[r.c + k]);
                out << b;
            }
            out << (r.n > 16 ? " ...\n" : "\n");
        }
        }
    }
    out << "\nPool (" << L.poolSize << " bytes)\n";
    for (uint32_t pos = 0; pos < L.poolSize;) {
        const char* s = reinterpret_cast<const char*>(p + L.pool + pos);
        size_t n = strnlen(s, L.poolSize - pos);
        out << "  " << pos << "  \"" << std::string(s, n) << "\"\n";
        pos += uint32_t(n) + 1;
    }
    out << "\nCode (" << L.codeSize << " bytes at " << Hex(L.code) << ")\n";
    std::vector<uint32_t> entries = {L.init, L.cleanup};
    for (auto& e : L.exportList)
        if (e.kind != -1) entries.push_back(uint32_t(e.value));
    Disassemble(p + L.code, L.codeSize, entries, out);
    return true;
}

}  // namespace zeditool
