#include "Instance.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "DICT.h"
#include "HostCall.h"
#include "Support.h"
#include "Vcpu.h"
#include "VcpuOps.h"
#include "VmSpace.h"

using zedi::VmSpace;

namespace zedi {

bool g_hostFault = false;

namespace {

scInstance* g_current = nullptr;
scInstance* g_launched = nullptr;   // newest first

// Handles of instances that scripts may hold.
std::unordered_map<uint32_t, scInstance*> g_handles;
std::unordered_set<const scInstance*> g_live;  // every instance not yet freed

bool IsLive(const scInstance* inst) { return inst && g_live.count(inst); }
uint32_t g_nextHandle = 1;

// Host symbols: the dictionary maps a name to its newest binding.
scDictionary g_hostSymbols = nullptr;
std::vector<HostBinding> g_bindings;
scDictionary g_headers = nullptr;

scInstance* TopOf(scInstance* i) { return i->parent ? i->parent : i; }

void Unlink(scInstance* inst) {
    if (!inst->launched) return;
    for (scInstance** link = &g_launched; *link; link = &(*link)->nextLaunched) {
        if (*link == inst) {
            *link = inst->nextLaunched;
            break;
        }
    }
    inst->nextLaunched = nullptr;
    inst->launched = false;
}

void LinkAtHead(scInstance* inst) {
    inst->nextLaunched = g_launched;
    g_launched = inst;
    inst->launched = true;
}

uint32_t NewHandle(scInstance* inst) {
    uint32_t h = g_nextHandle++;
    if (g_nextHandle >= 0x7FFFFFFF) g_nextHandle = 1;
    g_handles[h] = inst;
    g_live.insert(inst);
    return h;
}

const char* TitleOf(scInstance* inst) { return inst->img->title.c_str(); }

bool IsRunning(scInstance* inst) { return inst->launched || inst->busy > 0; }

// The function export entry at `symbol`, null if there is none.
const ImageExport* ExportAt(scInstance* inst, int symbol) {
    for (auto& e : inst->img->layout.exportList)
        if (int(e.entry) == symbol) return &e;
    return nullptr;
}

// Images that scripts compiled or loaded, each with the handle of the instance
// that asked for it: an image is freed once that instance is gone and no
// instance made from the image remains.
struct KeptImage {
    scScript image;
    uint32_t owner;
};
// The images still kept when the program ends are freed with the list.
struct KeptImages : std::vector<KeptImage> {
    KeptImages() = default;
    KeptImages(const KeptImages&) = delete;
    KeptImages& operator=(const KeptImages&) = delete;
    ~KeptImages() {
        for (const KeptImage& e : *this) std::free(e.image);
    }
};
KeptImages g_kept;

void FreeUnusedImages() {
    for (size_t k = 0; k < g_kept.size();) {
        const KeptImage& e = g_kept[k];
        bool used = g_handles.count(e.owner) != 0;
        for (auto i = g_live.begin(); !used && i != g_live.end(); ++i) used = (*i)->image == e.image;
        if (used) {
            ++k;
            continue;
        }
        scScript_Forget(e.image);
        std::free(e.image);
        g_kept.erase(g_kept.begin() + std::ptrdiff_t(k));
    }
}

void ReleaseRecord(scInstance* inst) {
    VmSpace::Get().Free(inst->block);
    g_handles.erase(inst->handle);
    g_live.erase(inst);
    delete inst;
    if (!g_kept.empty()) FreeUnusedImages();
}

void KillNow(scInstance* inst) {
    Unlink(inst);
    inst->Regs()[regRETURN_MARK] = 0;
}

void FreeNow(scInstance* inst);
RunResult RunToEnd(scInstance* inst, uint32_t address, int bytes, const void* params);

// A call or launch needs a live instance that is not running.
bool Callable(scInstance* inst) {
    if (!IsLive(inst)) {
        scRuntime_Error("Invalid instance!");
        return false;
    }
    if (IsRunning(inst)) {
        scRuntime_Error("Instance already running!");
        return false;
    }
    return true;
}

void FreeChildren(scInstance* top) {
    while (top->firstChild) FreeNow(top->firstChild);
    top->forkId = 0;
}

// Instructions of an initialisation or clean-up routine (-1: no limit).
long long g_routineBudget = -1;

// Frees the instances that the script of `owner` made and left.
void FreeOwned(uint32_t owner) {
    for (;;) {
        scInstance* made = nullptr;
        for (const auto& [handle, i] : g_handles)
            if (i->owner == owner) made = i;
        if (!made) return;
        made->owner = 0;
        scKill_Instance(made);
        scFree_Instance(made);
    }
}

void FreeNow(scInstance* inst) {
    if (inst->freeing) return;
    if (inst->parent) {
        Unlink(inst);
        for (scInstance** link = &inst->parent->firstChild; *link; link = &(*link)->nextSibling) {
            if (*link == inst) {
                *link = inst->nextSibling;
                break;
            }
        }
        ReleaseRecord(inst);
        return;
    }
    inst->freeing = true;
    FreeChildren(inst);
    Unlink(inst);
    inst->paused = 0;
    inst->timeSlice = -1;
    inst->freePending = inst->killPending = false;
    // The clean-up routine runs the destructors of the global objects, with
    // instructions of its own: one that runs past them is abandoned (its
    // runtime error stays) and the instance is freed all the same.
    inst->instructionBudget = g_routineBudget;
    RunToEnd(inst, inst->img->layout.cleanup, 0, nullptr);
    FreeChildren(inst);  // forks made by the clean-up routine
    Unlink(inst);
    FreeOwned(inst->handle);
    ReleaseRecord(inst);
}

// Applies kills and frees requested while `inst` (or a relative) was running.
void ApplyPending(scInstance* inst) {
    scInstance* top = TopOf(inst);
    if (inst->busy == 0 && inst->killPending) {
        inst->killPending = false;
        KillNow(inst);
    }
    if (inst != top && inst->busy == 0 && inst->freePending && top->treeBusy == 0 && !top->freePending) {
        FreeNow(inst);
        return;
    }
    if (top->treeBusy == 0 && !top->freeing) {
        // Children whose free waited for the tree to stop.
        for (scInstance* c = top->firstChild; c;) {
            scInstance* next = c->nextSibling;
            if (c->freePending) FreeNow(c);
            c = next;
        }
        if (top->freePending) FreeNow(top);
    }
}

// Empties the stack and copies a parameter block onto it, above a return slot
// that nothing reads, so the callee's parameters lie 8 bytes above its frame.
bool PlaceParams(scInstance* inst, int bytes, const void* params) {
    uint32_t* R = inst->Regs();
    uint32_t ss = inst->stackSize;
    if (bytes > 0 && uint32_t(bytes) + 4 > ss) {
        scRuntime_Error("Stack overflow");
        return false;
    }
    R[regSP] = ss;
    if (bytes > 0) {
        R[regSP] = ss - uint32_t(bytes) - 4;
        uint8_t* to = VmSpace::Get().Ptr(R[regSTACK] + R[regSP] + 4);
        if (params)
            std::memcpy(to, params, size_t(bytes));
        else
            std::memset(to, 0, size_t(bytes));
    }
    return true;
}

// Runs code to completion from an empty stack.
RunResult RunToEnd(scInstance* inst, uint32_t address, int bytes, const void* params) {
    if (!PlaceParams(inst, bytes, params)) return RunResult{-1, 0, 0};
    uint32_t* R = inst->Regs();
    R[regIP] = address;
    R[regRETURN_MARK] = R[regSP];
    uint32_t handle = inst->handle;
    RunResult r = RunCpu(inst, -1, false);
    if (IsLive(inst) && inst->handle == handle) inst->Regs()[regRETURN_MARK] = 0;
    return r;
}

}  // namespace

LoadedImage::~LoadedImage() {
    if (vm) VmSpace::Get().Free(vm);
}

void SetCurrent(scInstance* instance) { g_current = instance; }

RunResult RunCpu(scInstance* inst, int steps, bool endsLaunch) {
    scInstance* top = TopOf(inst);
    ++inst->busy;
    ++top->treeBusy;
    RunResult r{};
    r.status = scvcpuExecute(inst, steps);
    uint32_t* R = inst->Regs();
    r.r0 = R[regRESULT];
    r.r1 = R[regRESULT_HIGH];
    --inst->busy;
    --top->treeBusy;
    if (endsLaunch && r.status != 0) KillNow(inst);
    ApplyPending(inst);
    return r;
}

uint32_t ArgWords::AddressOf(const void* p) {
    if (!p) return 0;
    uint32_t a = VmSpace::Get().AddrOf(p);
    if (!a) {
        ok_ = false;
        scRuntime_Error("Argument outside script memory");
    }
    return a;
}

uint32_t RegisterBinding(HostBinding binding) {
    if (!g_hostSymbols) {
        g_hostSymbols = scdicNew();
        scmUntrack(g_hostSymbols);
    }
    uint32_t index = uint32_t(g_bindings.size());
    std::string name = binding.name;
    g_bindings.push_back(std::move(binding));
    scSymbol* old = scdicFind(g_hostSymbols->first, name.c_str());
    if (old) {
        scdicRemove(g_hostSymbols, name.c_str());
        std::free(old->name);
        std::free(old);
    }
    scSymbol* s = static_cast<scSymbol*>(std::calloc(1, sizeof(scSymbol)));
    s->name = strdup(name.c_str());
    s->address = int32_t(index);
    scdicPush(g_hostSymbols, s);
    return index;
}

const HostBinding* FindBinding(const char* name, uint32_t* index) {
    if (!g_hostSymbols) return nullptr;
    scSymbol* s = scdicFind(g_hostSymbols->first, name);
    if (!s) return nullptr;
    if (index) *index = uint32_t(s->address);
    return &g_bindings[size_t(s->address)];
}

const HostBinding* FunctionBinding(uint32_t ref) {
    if (!(ref & kBindingTag)) return nullptr;
    uint32_t index = ref & ~kBindingTag;
    if (index >= g_bindings.size() || !g_bindings[index].isFunction) return nullptr;
    return &g_bindings[index];
}

namespace {

int Dispatch(uint32_t result, uint32_t callee, uint32_t params, int bytes, uint32_t descriptor) {
    VmSpace& vm = VmSpace::Get();
    const HostBinding* b = FunctionBinding(callee);
    if (!b) {
        g_hostFault = true;
        scRuntime_Error("Call through an import that is not a host function");
        return 0;
    }
    int kind = int((descriptor & scdescKIND) >> scdescKIND_SHIFT);
    uint8_t* block = bytes > 0 ? vm.Check(params, uint32_t(bytes)) : vm.Ptr(0);
    if (!block) {
        g_hostFault = true;
        scRuntime_Error("Access violation");
        return kind;
    }
    std::vector<uint32_t> words(size_t(bytes) / 4);
    if (!words.empty()) std::memcpy(words.data(), block, words.size() * 4);
    const uint32_t* w = words.data();
    size_t count = words.size();
    if (kind >= 2 && kind <= 5) {
        if (count == 0) {
            g_hostFault = true;
            scRuntime_Error("Missing result address for `%s'", b->name.c_str());
            return kind;
        }
        result = w[0];
        ++w;
        --count;
    }
    scHostCall call;
    call.name = b->name.c_str();
    call.words = w;
    call.count = count;
    try {
        b->invoke(call);
    } catch (const std::exception& e) {
        call.Fail(e.what());
    } catch (...) {
        call.Fail("host function failed");
    }
    if (!call.error.empty()) {
        g_hostFault = true;
        scRuntime_Error("%s in host function `%s'", call.error.c_str(), b->name.c_str());
        return kind;
    }
    bool wide = (descriptor & scdescDOUBLE) || kind == 5;
    uint8_t* out = vm.Check(result, wide ? 8 : 4);
    if (!out) {
        g_hostFault = true;
        scRuntime_Error("Access violation");
        return kind;
    }
    if (descriptor & scdescDOUBLE) {
        double d = call.isReal ? call.real : double(int64_t(call.bits));
        std::memcpy(out, &d, 8);
    } else {
        uint32_t lo;
        if (call.isReal) {
            float f = float(call.real);
            std::memcpy(&lo, &f, 4);
        } else {
            lo = uint32_t(call.bits);
        }
        StoreWord(out, lo);
        if (kind == 5) StoreWord(out + 4, uint32_t(call.bits >> 32));
    }
    return kind;
}

}  // namespace

int PlainDispatcher(uint32_t result, uint32_t callee, uint32_t params, int bytes, uint32_t descriptor) {
    return Dispatch(result, callee, params, bytes, descriptor);
}

int MemberAsPlainDispatcher(uint32_t result, uint32_t callee, uint32_t params, int bytes,
                            uint32_t descriptor) {
    return Dispatch(result, callee, params, bytes, descriptor & ~scdescMEMBER);
}

uint32_t KeepScriptImage(scScript image) {
    if (!image) return 0;
    g_kept.push_back({image, g_current ? TopOf(g_current)->handle : 0});
    return scScript_Handle(image);
}

scInstance* KeepScriptInstance(scInstance* instance) {
    if (IsLive(instance) && g_current) instance->owner = TopOf(g_current)->handle;
    return instance;
}

int DeclaredParamBytes(scInstance* inst, int symbol) {
    const ImageExport* e = IsLive(inst) && symbol != -1 ? ExportAt(inst, symbol) : nullptr;
    return e ? e->kind : -1;
}

int VCall(scInstance* inst, int symbol, int bytes, const int* params, RunResult* result) {
    scEngine_Init();
    if (result) *result = RunResult{};
    if (!Callable(inst)) return 0;
    const ImageExport* e = symbol == -1 ? nullptr : ExportAt(inst, symbol);
    if (!e) {
        scRuntime_Error("Function not found in `%s'!", TitleOf(inst));
        return 0;
    }
    ClearError();
    if (bytes < 0 && e->kind < 0) return -1;
    if (bytes < 0) bytes = e->kind;
    inst->paused = 0;
    inst->timeSlice = -1;
    RunResult r = RunToEnd(inst, uint32_t(e->value), bytes, params);
    if (result) *result = r;
    return int32_t(r.r0);
}

}  // namespace zedi

using namespace zedi;

uint32_t* scInstance::Regs() const {
    return reinterpret_cast<uint32_t*>(VmSpace::Get().Ptr(block));
}

// ---- images ----

scScript scLoad_Script(const char* fileName) {
    scEngine_Init();
    std::vector<uint8_t> data;
    ImageFile read = ReadImageFile(fileName, data);
    if (read == ImageFile::cannotOpen) {
        scRuntime_Error("Cannot open `%s'", fileName ? fileName : "");
        return nullptr;
    }
    if (read != ImageFile::ok || data.size() < kHeaderSize) {
        scRuntime_Error("Cannot read a script image from `%s'", fileName);
        return nullptr;
    }
    ImageLayout layout;
    std::string why;
    if (ImageWord(data.data(), hdrSize) != data.size()) {
        scRuntime_Error("Bad script image `%s': its length does not match its size word", fileName);
        return nullptr;
    }
    if (!CheckImage(data.data(), uint32_t(data.size()), layout, why)) {
        scRuntime_Error("Bad script image `%s': %s", fileName, why.c_str());
        return nullptr;
    }
    void* block = std::malloc(data.size());
    if (!block) return nullptr;
    std::memcpy(block, data.data(), data.size());
    return block;
}

int scGet_Script_Size(scScript image) {
    auto* p = static_cast<const uint8_t*>(image);
    if (!p || ImageWord(p, hdrMagic) != kMagicZedI) return 0;
    return int(ImageWord(p, hdrSize));
}

namespace {
char* ChunkText(scScript image, const char* tag) {
    auto* p = static_cast<uint8_t*>(image);
    uint32_t at = FindInfoChunk(p, tag);
    if (!at) return nullptr;
    uint32_t len = ImageWord(p, at - 4);
    if (!std::memchr(p + at, 0, len)) return nullptr;
    return reinterpret_cast<char*>(p + at);
}
}  // namespace

char* scGet_Title(scScript image) { return ChunkText(image, "TITL"); }
char* scGet_Author(scScript image) { return ChunkText(image, "AUTH"); }

const char* scGet_Instance_Title(scInstance* instance) {
    return IsLive(instance) ? TitleOf(instance) : nullptr;
}

// ---- instances ----

scInstance* scCreate_Instance(scScript image, const char*, ...) {
    scEngine_Init();
    auto* p = static_cast<const uint8_t*>(image);
    if (!p || !HasMagics(p)) {
        scRuntime_Error("Not a script image");
        return nullptr;
    }
    auto img = std::make_shared<LoadedImage>();
    std::string why;
    uint32_t size = ImageWord(p, hdrSize);
    if (!CheckImage(p, size, img->layout, why)) {
        scRuntime_Error("Bad script image: %s", why.c_str());
        return nullptr;
    }
    const ImageLayout& L = img->layout;
    img->bytes.assign(p, p + size);
    if (const char* t = scGet_Title(image)) img->title = t;

    VmSpace& vm = VmSpace::Get();
    img->vm = vm.Alloc(size);
    uint32_t blockSize = scRegisterBlockSize + L.dataSize + L.stackSize;
    uint32_t block = img->vm ? vm.Alloc(blockSize) : 0;
    if (!block) {
        scRuntime_Error("Out of script memory");
        return nullptr;
    }
    std::memcpy(vm.Ptr(img->vm), p, size);

    auto* inst = new scInstance;
    inst->image = image;
    inst->img = img;
    inst->block = block;
    inst->stackSize = L.stackSize;
    inst->handle = NewHandle(inst);
    uint32_t* R = inst->Regs();
    R[regCODE] = L.code;
    R[regDATA] = block + scRegisterBlockSize;
    R[regPOOL] = img->vm + L.pool;
    R[regSTACK] = R[regDATA] + L.dataSize;
    R[regSP] = L.stackSize;
    R[regFRAME] = R[regSTACK] + L.stackSize;

    // Bind the imports in the instance's copy of the image.
    std::vector<const HostBinding*> slotBindings;
    for (auto& imp : L.importList) {
        uint32_t index;
        const HostBinding* b = FindBinding(imp.name.c_str(), &index);
        if (!b) {
            scRuntime_Error("Unresolved reference to `%s'", imp.name.c_str());
            ReleaseRecord(inst);
            return nullptr;
        }
        StoreWord(vm.Ptr(img->vm + L.imports + imp.slot), b->isFunction ? (index | kBindingTag) : b->vmAddr);
        slotBindings.push_back(b);
    }

    // Initialise the data area.
    uint8_t* data = vm.Ptr(R[regDATA]);
    for (auto& rec : L.recordList) {
        uint8_t* to = data + uint32_t(rec.target);
        switch (rec.kind) {
        case recDataAddress: StoreWord(to, R[regDATA] + rec.c); break;
        case recPoolAddress: StoreWord(to, R[regPOOL] + rec.c); break;
        case recDataCopy: std::memmove(to, data + rec.c, rec.n); break;
        case recHostVariable: {
            const HostBinding* b = nullptr;
            for (size_t i = 0; i < L.importList.size(); ++i)
                if (L.importList[i].slot == rec.c) b = slotBindings[i];
            if (!b || b->isFunction || rec.n > b->size) {
                scRuntime_Error("Host variable `%s' does not fit its data record",
                                b ? b->name.c_str() : "");
                ReleaseRecord(inst);
                return nullptr;
            }
            std::memcpy(to, vm.Ptr(b->vmAddr), rec.n);
            break;
        }
        default: std::memcpy(to, img->bytes.data() + rec.c, rec.n); break;
        }
    }

    // Run the top-level code, with instructions of its own. A runtime error
    // there, or running past them, fails the creation with that error.
    inst->instructionBudget = g_routineBudget;
    const uint32_t handle = inst->handle;
    RunResult init = RunToEnd(inst, L.init, 0, nullptr);
    if (scInstance_From_Handle(handle) != inst) {
        scRuntime_Error("Instance freed by its own initialisation");
        return nullptr;
    }
    if (init.status < 0) {
        inst->freeing = true;
        FreeChildren(inst);  // forks the routine made
        Unlink(inst);
        FreeOwned(handle);
        ReleaseRecord(inst);
        return nullptr;
    }
    inst->instructionBudget = -1;
    return inst;
}

void scFree_Instance(scInstance* instance) {
    scEngine_Init();
    if (!IsLive(instance) || instance->freeing) return;
    scInstance* top = TopOf(instance);
    if (instance->busy > 0 || (instance == top && top->treeBusy > 0)) {
        instance->freePending = true;
        return;
    }
    FreeNow(instance);
}

int scGet_Symbol(scInstance* instance, const char* name) {
    if (!IsLive(instance) || !name) return -1;
    for (auto& e : instance->img->layout.exportList) {
        if (e.name == name) return e.kind == -1 ? e.value : int(e.entry);
    }
    return -1;
}

int scVCall_Instance(scInstance* instance, int symbol, int bytes, const int* params) {
    return VCall(instance, symbol, bytes, params, nullptr);
}

int scRun_To_End(scInstance* inst, int address, int bytes, const void* params) {
    scEngine_Init();
    if (!Callable(inst)) return 0;
    return int32_t(RunToEnd(inst, uint32_t(address), bytes, params).r0);
}

int scLaunch_With_Params(scInstance* inst, int spd, int symbol, int bytes, const void* params) {
    scEngine_Init();
    if (!Callable(inst)) return 0;
    const ImageExport* e = symbol == -1 ? nullptr : ExportAt(inst, symbol);
    if (!e) {
        scRuntime_Error("Function not found in `%s'!", TitleOf(inst));
        return 0;
    }
    if (e->kind < 0 && bytes < 0) {
        scRuntime_Error("Unknown number of paramters to function in `%s'", TitleOf(inst));
        return 0;
    }
    if (bytes < 0) bytes = e->kind;
    if (!PlaceParams(inst, bytes, params)) return 0;
    LinkAtHead(inst);
    inst->timeSlice = spd;
    inst->paused = 0;
    ClearError();
    uint32_t* R = inst->Regs();
    R[regIP] = uint32_t(e->value);
    R[regRETURN_MARK] = R[regSP];
    return 1;
}

int scLaunch_At(scInstance* inst, int spd, int address) {
    scEngine_Init();
    if (!Callable(inst)) return 0;
    if (address == -1) {
        scRuntime_Error("Function not found in `%s'!", TitleOf(inst));
        return 0;
    }
    LinkAtHead(inst);
    inst->timeSlice = spd;
    inst->paused = 0;
    ClearError();
    uint32_t* R = inst->Regs();
    R[regSP] = inst->stackSize;
    R[regRETURN_MARK] = inst->stackSize;
    R[regIP] = uint32_t(address);
    return 1;
}

int scRun_Time_Slice() {
    scEngine_Init();
    if (!g_launched) return 0;
    ClearError();
    // Instances launched during the pass go to the head and wait for the next;
    // instances killed or freed during the pass are skipped.
    std::vector<uint32_t> order;
    for (scInstance* p = g_launched; p; p = p->nextLaunched) order.push_back(p->handle);
    int count = 0;
    for (uint32_t h : order) {
        auto it = g_handles.find(h);
        if (it == g_handles.end()) continue;
        scInstance* inst = it->second;
        if (!inst->launched) continue;
        ++count;
        if (!inst->paused) RunCpu(inst, inst->timeSlice, true);
        if (scLast_Error != 0) return -1;
    }
    return count;
}

int scGet_Instance_Status(scInstance* instance) {
    if (!IsLive(instance) || !instance->launched) return scstatus_FREE;
    return instance->paused ? scstatus_PAUSED : scstatus_RUNNING;
}

void scSet_Instruction_Budget(scInstance* instance, long long instructions) {
    if (IsLive(instance)) instance->instructionBudget = instructions < 0 ? -1 : instructions;
}

long long scGet_Instruction_Budget(scInstance* instance) {
    return IsLive(instance) ? instance->instructionBudget : -1;
}

void scSet_Routine_Budget(long long instructions) { g_routineBudget = instructions < 0 ? -1 : instructions; }

long long scGet_Routine_Budget() { return g_routineBudget; }

void scPause_Instance(scInstance* instance, int pause) {
    if (IsLive(instance) && instance->launched) instance->paused = pause;
}

void scKill_Instance(scInstance* instance) {
    if (!IsLive(instance)) return;
    if (instance->busy > 0) {
        instance->killPending = true;
        return;
    }
    KillNow(instance);
}

scInstance* scGet_This() { return g_current; }

scInstance* scFork_Instance(scInstance* instance) {
    if (!IsLive(instance)) return nullptr;
    scInstance* top = TopOf(instance);
    VmSpace& vm = VmSpace::Get();
    uint32_t ss = instance->stackSize;
    uint32_t block = vm.Alloc(scRegisterBlockSize + ss);
    if (!block) return nullptr;
    auto* child = new scInstance;
    child->image = instance->image;
    child->img = instance->img;
    child->block = block;
    child->stackSize = ss;
    child->priority = instance->priority;
    child->timeSlice = instance->timeSlice;
    child->paused = instance->paused;
    child->instructionBudget = instance->instructionBudget;
    top->forkId -= 1;
    child->forkId = -top->forkId;
    child->parent = top;
    child->nextSibling = top->firstChild;
    top->firstChild = child;
    child->handle = NewHandle(child);

    uint32_t* from = instance->Regs();
    uint32_t* R = child->Regs();
    std::memcpy(R, from, scRegisterBlockSize);
    uint8_t* oldStack = vm.Check(from[regSTACK], ss);
    uint32_t newStack = block + scRegisterBlockSize;
    if (oldStack) std::memcpy(vm.Ptr(newStack), oldStack, ss);
    R[regFRAME] = from[regFRAME] - from[regSTACK] + newStack;
    R[regSTACK] = newStack;
    R[regRETURN_MARK] = 0;
    return child;
}

scInstance* scGet_Forked(scInstance* instance, int id) {
    if (!IsLive(instance)) return nullptr;
    for (scInstance* c = TopOf(instance)->firstChild; c; c = c->nextSibling)
        if (c->forkId == id && !c->freePending) return c;
    return nullptr;
}

scInstance* scGet_Actual_Forked(int id) { return scGet_Forked(g_current, id); }

void scKill_Forked_Instances(scInstance* instance) {
    // Only a top instance has children; asked of a child this does nothing.
    if (!IsLive(instance) || instance->parent) return;
    for (scInstance* c = instance->firstChild; c;) {
        scInstance* next = c->nextSibling;
        scKill_Instance(c);
        scFree_Instance(c);
        c = next;
    }
    instance->forkId = 0;
}

namespace {
// Runs `f` with the current instance's priority raised to MAXINT.
template <class F>
auto WithTopPriority(F f) {
    scInstance* cur = g_current;
    int saved = cur ? cur->priority : 0;
    if (cur) cur->priority = MAXINT;
    auto restore = [&] {
        if (IsLive(cur)) cur->priority = saved;
    };
    if constexpr (std::is_void_v<decltype(f())>) {
        f();
        restore();
    } else {
        auto r = f();
        restore();
        return r;
    }
}
}  // namespace

void scKill_My_Forked_Instances() {
    WithTopPriority([] { scKill_Forked_Instances(g_current); });
}

void scKill_Forked(int id) {
    WithTopPriority([id] {
        scInstance* c = scGet_Actual_Forked(id);
        if (c) {
            scKill_Instance(c);
            scFree_Instance(c);
        }
    });
}

int scGet_Forked_Status(int id) {
    return WithTopPriority([id] { return scGet_Instance_Status(scGet_Actual_Forked(id)); });
}

void scSet_Priority(scInstance* instance, int priority_level) {
    if (IsLive(instance)) instance->priority = priority_level;
}

int scGet_Priority(scInstance* instance) { return IsLive(instance) ? instance->priority : MAXINT; }

int scGet_Actual_Priority() { return scGet_Priority(g_current); }

void* scGet_Global(scInstance* instance, int offset, int bytes) {
    if (!IsLive(instance) || offset < 0 || bytes < 0) return nullptr;
    uint32_t dataSize = instance->img->layout.dataSize;
    if (uint32_t(offset) > dataSize || uint32_t(bytes) > dataSize - uint32_t(offset)) return nullptr;
    return VmSpace::Get().Ptr(TopOf(instance)->block + scRegisterBlockSize + uint32_t(offset));
}

uint32_t scInstance_Handle(scInstance* instance) { return IsLive(instance) ? instance->handle : 0; }

scInstance* scInstance_From_Handle(uint32_t handle) {
    auto it = g_handles.find(handle);
    return it == g_handles.end() ? nullptr : it->second;
}

namespace {
std::unordered_map<uint32_t, scScript> g_scriptByHandle;
std::unordered_map<scScript, uint32_t> g_handleOfScript;
uint32_t g_nextScriptHandle = 1;
}  // namespace

uint32_t scScript_Handle(scScript image) {
    if (!image) return 0;
    auto it = g_handleOfScript.find(image);
    if (it != g_handleOfScript.end()) return it->second;
    // Script handles have their top bit set, so they never equal an instance's.
    uint32_t h = 0x80000000u | g_nextScriptHandle++;
    g_scriptByHandle[h] = image;
    g_handleOfScript[image] = h;
    return h;
}

scScript scScript_From_Handle(uint32_t handle) {
    auto it = g_scriptByHandle.find(handle);
    return it == g_scriptByHandle.end() ? nullptr : it->second;
}

void scScript_Forget(scScript image) {
    auto it = g_handleOfScript.find(image);
    if (it == g_handleOfScript.end()) return;
    g_scriptByHandle.erase(it->second);
    g_handleOfScript.erase(it);
}

bool scBind_Script_Object(uint32_t record, scInstance* instance, const char* text) {
    VmSpace& vm = VmSpace::Get();
    if (!record || !text || !IsLive(instance) || !vm.Check(record, 12)) return false;
    std::vector<std::string> words;
    std::string cur;
    for (const char* p = text;; ++p) {
        if (!*p || std::strchr("{;}", *p)) {
            // Trim blanks around each word.
            size_t a = cur.find_first_not_of(" \t\r\n"), b = cur.find_last_not_of(" \t\r\n");
            if (a != std::string::npos) words.push_back(cur.substr(a, b - a + 1));
            cur.clear();
            if (!*p) break;
        } else {
            cur += *p;
        }
    }
    if (words.empty() || words[0] != "script") return false;
    uint8_t* rec = vm.Check(record, uint32_t(12 + 4 * (words.size() - 1)));
    if (!rec) return false;
    for (size_t i = 1; i < words.size(); ++i)
        StoreWord(rec + 12 + 4 * (i - 1), uint32_t(scGet_Symbol(instance, words[i].c_str())));
    StoreWord(rec, TopOf(instance)->block + scRegisterBlockSize);
    StoreWord(rec + 4, instance->handle);
    return true;
}

// ---- host symbols ----

void scRegister_Host_Raw(const char* name, std::function<void(scHostCall&)> function) {
    scEngine_Init();
    HostBinding b;
    b.name = name;
    b.isFunction = true;
    b.invoke = std::move(function);
    RegisterBinding(std::move(b));
}

void* scRegister_Host_Variable(const char* name, uint32_t size) {
    scEngine_Init();
    uint32_t addr = VmSpace::Get().Alloc(size);
    if (!addr) return nullptr;
    HostBinding b;
    b.name = name;
    b.vmAddr = addr;
    b.size = size;
    RegisterBinding(std::move(b));
    return VmSpace::Get().Ptr(addr);
}

uint32_t scScript_Alloc(uint32_t size) {
    uint32_t addr = VmSpace::Get().Alloc(size);
    if (!addr) scRuntime_Error("Out of script memory");
    return addr;
}

bool scScript_Free(uint32_t addr) {
    if (addr == 0) return true;
    if (VmSpace::Get().Free(addr)) return true;
    scRuntime_Error("Free of a block that is not allocated (%08X)", addr);
    return false;
}

char* scNew_Text(const char* text) {
    size_t n = std::strlen(text) + 1;
    uint32_t addr = VmSpace::Get().Alloc(uint32_t(n));
    if (!addr) return nullptr;
    char* p = reinterpret_cast<char*>(VmSpace::Get().Ptr(addr));
    std::memcpy(p, text, n);
    return p;
}

void scFree_Text(char* text) {
    if (text) VmSpace::Get().Free(VmSpace::Get().AddrOf(text));
}

void scRegister_Builtin_Header(const char* name, const char* text) {
    scEngine_Init();
    if (!g_headers) {
        g_headers = scdicNew();
        scmUntrack(g_headers);
    }
    if (scSymbol* old = scdicFind(g_headers->first, name)) {
        scdicRemove(g_headers, name);
        std::free(old->name);
        std::free(old);
    }
    scSymbol* s = static_cast<scSymbol*>(std::calloc(1, sizeof(scSymbol)));
    s->name = strdup(name);
    s->extra = const_cast<char*>(text);
    scdicPush(g_headers, s);
}

const char* scFind_Builtin_Header(const char* name) {
    if (!g_headers) return nullptr;
    scSymbol* s = scdicFind(g_headers->first, name);
    return s ? static_cast<const char*>(s->extra) : nullptr;
}
