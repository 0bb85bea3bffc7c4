// Helpers shared by the engine's tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Assembler.h"
#include "HostCall.h"
#include "Instance.h"
#include "RunInChild.h"

namespace ztest {

// An instance of a hand-built image, freed with its image.
struct Script {
    std::unique_ptr<zasm::ScriptBlock> block;
    scInstance* inst = nullptr;

    explicit Script(const zasm::ImageBuilder& b) {
        block = std::make_unique<zasm::ScriptBlock>(b.Build());
        inst = scCreate_Instance(*block, "");
    }
    ~Script() {
        if (inst) {
            scKill_Instance(inst);
            scFree_Instance(inst);
        }
    }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;
    uint32_t Reg(int r) const { return inst->Regs()[r]; }
    int32_t Global(int offset) const {
        int32_t v;
        std::memcpy(&v, scGet_Global(inst, offset, 4), 4);
        return v;
    }
};

// An image whose initialisation routine only returns, with `body` emitted as the
// exported function "f" (parameter bytes `kind`) after it.
inline zasm::ImageBuilder WithFunction(const std::function<void(zasm::ImageBuilder&)>& body,
                                       int32_t kind = 0, uint32_t dataSize = 64) {
    zasm::ImageBuilder b;
    b.dataSize = dataSize;
    b.a.Op0({opRET});
    b.a.Align();
    b.Export("f", int32_t(b.a.Here()), kind);
    body(b);
    b.a.Align();
    b.cleanup = b.a.Here();
    b.a.Op0({opRET});
    return b;
}

// A test name made of a case's name.
struct CaseName {
    template <class P>
    std::string operator()(const ::testing::TestParamInfo<P>& info) const {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    }
};

// Calls a registered host function with the given words as a script would.
// Returns the result bits; `error` receives the failure text (empty on success).
inline uint64_t InvokeHost(const char* name, std::vector<uint32_t> words, std::string& error) {
    scEngine_Init();
    const zedi::HostBinding* b = zedi::FindBinding(name);
    if (!b) throw std::runtime_error(std::string("no binding ") + name);
    scHostCall c;
    c.name = name;
    c.words = words.data();
    c.count = words.size();
    try {
        b->invoke(c);
    } catch (const std::exception& e) {
        c.Fail(e.what());
    }
    error = c.error;
    return c.bits;
}

using testutil::RunInChild;

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace ztest
