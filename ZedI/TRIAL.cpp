// Trial readings: one snapshot of the compile state and one restore of it.
#include <cstring>

#include "VARS.h"

namespace zc {

int trialFloor = 0;

namespace {
Trial* g_current = nullptr;  // the innermost trial
}  // namespace

// A record's fields as they were before the trial changed them (its name and
// its links in the dictionaries are the dictionaries' business).
struct Trial::KeptRecord {
    scSymbol* s;
    int32_t address, dispatcher, paramBytes, spare, typeKind;
    uint16_t flags;
    char *importName, *typeString;
    scSymbol* members;
    void* extra;
};

struct Trial::KeptCode {
    int at;
    std::vector<uint8_t> bytes;
};

Trial::Trial()
    : outer_(g_current),
      codeLength_(code.length),
      codePos_(codePos),
      symbolsHead_(symbols->first),
      symbolsTail_(scdicLast(symbols)),
      typesHead_(types->first),
      typesTail_(scdicLast(types)),
      exportsHead_(exportList->first),
      nextData_(nextData),
      dataSequence_(dataSequence),
      localOffset_(localOffset),
      recordsLength_(records.length),
      stackSize_(stackSize),
      bodyJump_(bodyJump) {
    std::memcpy(regs_, regUsed, sizeof regs_);
    g_current = this;
    trialFloor = code.length;
}

Trial::~Trial() {
    // A compile error leaves a trial unrestored: the whole compile is dropped.
    if (!restored_) {
        g_current = outer_;
        trialFloor = outer_ ? outer_->codeLength_ : 0;
    }
}

void Trial::Restore() {
    for (auto k = code_.rbegin(); k != code_.rend(); ++k) std::memcpy(code.data + k->at, k->bytes.data(), k->bytes.size());
    code.length = codeLength_;
    codePos = codePos_;
    for (auto k = records_.rbegin(); k != records_.rend(); ++k) {
        scSymbol* s = k->s;
        s->address = k->address;
        s->dispatcher = k->dispatcher;
        s->paramBytes = k->paramBytes;
        s->spare = k->spare;
        s->typeKind = k->typeKind;
        s->flags = k->flags;
        s->importName = k->importName;
        s->typeString = k->typeString;
        s->members = k->members;
        s->extra = k->extra;
    }
    // The records made since are left for the compile's sweep.
    scdicPopUntil(symbols, symbolsHead_);
    if (symbolsTail_) scdicCutAfter(symbols, symbolsTail_);
    scdicPopUntil(types, typesHead_);
    if (typesTail_) scdicCutAfter(types, typesTail_);
    scdicPopUntil(exportList, exportsHead_);
    nextData = nextData_;
    dataSequence = dataSequence_;
    localOffset = localOffset_;
    records.length = recordsLength_;
    stackSize = stackSize_;
    bodyJump = bodyJump_;
    std::memcpy(regUsed, regs_, sizeof regs_);
    restored_ = true;
    g_current = outer_;
    trialFloor = outer_ ? outer_->codeLength_ : 0;
}

bool InTrial() { return g_current != nullptr; }

void KeepForTrial(scSymbol* s) {
    // Given back newest first, so that the state before the trial is the last written.
    if (!g_current) return;
    g_current->records_.push_back({s, s->address, s->dispatcher, s->paramBytes, s->spare, s->typeKind, s->flags,
                                   s->importName, s->typeString, s->members, s->extra});
}

void KeepCodeForTrial(int at, int n) {
    if (!g_current || at >= trialFloor) return;
    if (at + n > trialFloor) n = trialFloor - at;
    g_current->code_.push_back({at, std::vector<uint8_t>(code.data + at, code.data + at + n)});
}

}  // namespace zc
