// Script instances, multitasking, fork, host symbols and the engine API.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "Engine.h"
#include "Image.h"

enum { scstatus_FREE = 0, scstatus_RUNNING = 1, scstatus_PAUSED = 2 };
inline constexpr int MAXINT = 0x7FFFFFFF;

namespace zedi {
struct DecodedCode;
void FreeDecodedCode(DecodedCode* code);
struct DecodedCodeDeleter {
    void operator()(DecodedCode* code) const { FreeDecodedCode(code); }
};

// An image as an instance uses it: a checked host-side copy (the CPU fetches code
// from it; nothing writes it after loading) and a copy in the script address
// space (pool, import slots).
struct LoadedImage {
    std::vector<uint8_t> bytes;
    ImageLayout layout;
    std::string title;
    uint32_t vm = 0;  // script address of the copy
    // The CPU's decoded instructions, made on the first run (Vcpu.cpp).
    std::unique_ptr<DecodedCode, DecodedCodeDeleter> decoded;
    ~LoadedImage();
};
}  // namespace zedi

struct scInstance {
    scScript image = nullptr;   // the host's image (not owned)
    uint32_t block = 0;         // script address: registers, data, stack
    int priority = 0;
    int forkId = 0;
    int timeSlice = -1;
    int paused = 0;
    scInstance* firstChild = nullptr;
    scInstance* nextSibling = nullptr;
    scInstance* parent = nullptr;
    scInstance* nextLaunched = nullptr;

    // Engine-private state.
    std::shared_ptr<zedi::LoadedImage> img;
    uint32_t handle = 0;        // the value scripts hold for this instance
    uint32_t stackSize = 0;
    bool launched = false;      // in the launched list
    int busy = 0;               // CPU runs of this instance under way
    int treeBusy = 0;           // for a top instance: runs of it and its children
    bool killPending = false;   // deferred until the running CPU returns
    bool freePending = false;
    bool freeing = false;
    // Instructions the instance may still execute, counted over all its runs
    // until the host sets it again; -1 for no limit. A run that uses the last
    // one up fails with a runtime error and leaves 0 here.
    long long instructionBudget = -1;
    int lastRun = 0;            // the last CPU run: 1 finished, 0 yielded or paused, -1 failed
    // The top instance whose script made this one through the Kernel header
    // (its handle; 0 for the host's): freed with it.
    uint32_t owner = 0;

    uint32_t* Regs() const;     // the register block (host pointer)
};

// ---- images ----
scScript scLoad_Script(const char* fileName);
int scGet_Script_Size(scScript image);
char* scGet_Title(scScript image);
char* scGet_Author(scScript image);
const char* scGet_Instance_Title(scInstance* instance);

// ---- instances ----
// The text and further arguments are not used.
scInstance* scCreate_Instance(scScript image, const char* text = "", ...);
void scFree_Instance(scInstance* instance);
int scGet_Symbol(scInstance* instance, const char* name);
int scVCall_Instance(scInstance* instance, int symbol, int bytes, const int* params);
int scLaunch_With_Params(scInstance* instance, int spd, int symbol, int bytes, const void* params);
int scLaunch_At(scInstance* instance, int spd, int address);
int scRun_To_End(scInstance* instance, int address, int bytes, const void* params);
int scRun_Time_Slice();
int scGet_Instance_Status(scInstance* instance);
void scPause_Instance(scInstance* instance, int pause);
// Instructions the instance may execute from now on, over all its runs; -1
// for no limit. Running out is a runtime error ("Instruction budget used up").
void scSet_Instruction_Budget(scInstance* instance, long long instructions);
long long scGet_Instruction_Budget(scInstance* instance);
// Instructions that each initialisation routine (run by scCreate_Instance) and
// each clean-up routine (run by scFree_Instance) may execute; -1, the default,
// for no limit. An initialisation routine that fails, or runs past the limit,
// fails the creation with its runtime error; a clean-up routine past it is
// abandoned with its runtime error and the instance is freed all the same.
void scSet_Routine_Budget(long long instructions);
long long scGet_Routine_Budget();
void scKill_Instance(scInstance* instance);
scInstance* scGet_This();
scInstance* scFork_Instance(scInstance* instance);
scInstance* scGet_Forked(scInstance* instance, int id);
scInstance* scGet_Actual_Forked(int id);
void scKill_Forked_Instances(scInstance* instance);
void scKill_My_Forked_Instances();
void scKill_Forked(int id);
int scGet_Forked_Status(int id);
void scSet_Priority(scInstance* instance, int priority_level);
int scGet_Priority(scInstance* instance);
int scGet_Actual_Priority();

// Host pointer to `bytes` bytes of the instance's globals at `offset` (the value
// scGet_Symbol gives for a variable): block + 1024 + offset. Null when the range
// is not inside the data area.
void* scGet_Global(scInstance* instance, int offset, int bytes);
// The handle a script holds for an instance, and back (null for a bad handle).
uint32_t scInstance_Handle(scInstance* instance);
scInstance* scInstance_From_Handle(uint32_t handle);

// Handles for images that scripts hold: the same image always gets the same
// handle until it is forgotten (the host forgets an image before freeing it).
uint32_t scScript_Handle(scScript image);
scScript scScript_From_Handle(uint32_t handle);
void scScript_Forget(scScript image);

// Fills the script-object record at script address `record` for `instance` from a
// declaration text "script{f;g}". False for a missing record, text or instance or
// when the first word is not "script".
bool scBind_Script_Object(uint32_t record, scInstance* instance, const char* text);

namespace zedi {
// An image that the current script compiled or loaded, owned by the engine from
// now on: its handle. The image is freed once that script's top instance is
// gone and no instance made from the image remains.
uint32_t KeepScriptImage(scScript image);
// An instance that the current script made: freed with that script's top
// instance, unless the script frees it first.
scInstance* KeepScriptInstance(scInstance* instance);
// The declared parameter bytes of the function at `symbol`, -1 when unknown.
int DeclaredParamBytes(scInstance* inst, int symbol);

// Packs host arguments into script words: integers and pointers one word, doubles
// and 64-bit integers two (low first). Pointers must point into the script address
// space. False when one does not.
class ArgWords {
public:
    template <class... A>
    explicit ArgWords(A... args) { (Add(args), ...); }
    const std::vector<uint32_t>& Words() const { return words_; }
    int Bytes() const { return int(words_.size() * 4); }
    bool Ok() const { return ok_; }

private:
    template <class T>
    void Add(T v) {
        if constexpr (std::is_floating_point_v<T>) {
            double d = v;
            uint64_t bits;
            __builtin_memcpy(&bits, &d, 8);
            words_.push_back(uint32_t(bits));
            words_.push_back(uint32_t(bits >> 32));
        } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
            if constexpr (sizeof(T) > 4) {
                words_.push_back(uint32_t(uint64_t(v)));
                words_.push_back(uint32_t(uint64_t(v) >> 32));
            } else {
                words_.push_back(uint32_t(v));
            }
        } else if constexpr (std::is_null_pointer_v<T>) {
            words_.push_back(0);
        } else if constexpr (std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, scInstance>) {
            words_.push_back(scInstance_Handle(const_cast<scInstance*>(v)));
        } else {
            static_assert(std::is_pointer_v<T>, "unsupported argument type");
            words_.push_back(AddressOf(v));
        }
    }
    uint32_t AddressOf(const void* p);
    std::vector<uint32_t> words_;
    bool ok_ = true;
};

// Runs the CPU on an instance and applies kills and frees that were requested
// during the run. Results are taken before those are applied.
struct RunResult {
    int status;        // 1 finished, 0 yielded, -1 error
    uint32_t r0, r1;
};
RunResult RunCpu(scInstance* instance, int steps, bool endsLaunch);
// scVCall_Instance that also gives register 1 of the result.
int VCall(scInstance* instance, int symbol, int bytes, const int* params, RunResult* result);

void SetCurrent(scInstance* instance);
}  // namespace zedi

// Calls "main" synchronously; arguments become script words.
template <class... A>
int scStart_Instance(scInstance* instance, A... args) {
    zedi::ArgWords w(args...);
    if (!w.Ok()) return 0;
    return scVCall_Instance(instance, scGet_Symbol(instance, "main"), w.Bytes(),
                            reinterpret_cast<const int*>(w.Words().data()));
}

template <class... A>
int scCall_Instance(scInstance* instance, int address, A... args) {
    zedi::ArgWords w(args...);
    if (!w.Ok()) return 0;
    return scVCall_Instance(instance, address, w.Bytes(),
                            reinterpret_cast<const int*>(w.Words().data()));
}

template <class... A>
int scLaunch_Instance(scInstance* instance, int spd, int address, A... args) {
    zedi::ArgWords w(args...);
    if (!w.Ok()) return 0;
    return scLaunch_With_Params(instance, spd, address, w.Bytes(), w.Words().data());
}
