#include "Engine.h"

#include "Builtins.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Image.h"
#include "HostCall.h"
#include "Instance.h"

int scLast_Error = 0;
char scLast_Error_Text[1025];
char scLast_Error_Line[256] = "<unknown line>";

const char* const scErrorFormats[5] = {
    scMSG_PARSE_ERROR_AT, scMSG_INVALID_OPERAND, scMSG_ILLEGAL_CAST, scMSG_INTERNAL, scMSG_ILLEGAL_CONVERSION,
};

namespace {

struct EngineState {
    bool initialised = false;
    scDispatcher dispatchers[scDispatcher_Slots] = {};
    scProgressCallback progress = nullptr;
    bool preemption = false;
    int stackSize = 4000;
};
EngineState g;

// Appends to the error text, cutting what does not fit.
void AppendV(const char* format, va_list ap) {
    size_t len = std::strlen(scLast_Error_Text);
    size_t room = sizeof scLast_Error_Text - len;
    if (room <= 1) return;
    std::vsnprintf(scLast_Error_Text + len, room, format, ap);
}

void Append(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Append(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    AppendV(format, ap);
    va_end(ap);
}

// A pending error keeps its text and the new one follows after ",\n".
void StartMessage() {
    if (scLast_Error != 0)
        Append(",\n");
    else
        scLast_Error_Text[0] = 0;
}

}  // namespace

void scEngine_Init() {
    if (g.initialised) return;
    g.initialised = true;
    for (auto& d : g.dispatchers) d = nullptr;
    g.dispatchers[0] = zedi::PlainDispatcher;
    g.dispatchers[1] = zedi::MemberAsPlainDispatcher;
    g.preemption = false;
    g.stackSize = 4000;
    zedi::RegisterBuiltins();
}

int scEngine_Get_Setting(int setting, int index) {
    switch (setting) {
    case scset_VERSION: return scEngine_Version;
    case scset_1: return 1;
    case scset_2:
    case scset_3:
    case scset_HOOK_1001:
    case scset_HOOK_1002:
    case scset_HOOK_1003: return 0;
    case scset_DISPATCHER:
        return index >= 0 && index < scDispatcher_Slots && g.dispatchers[index] ? 1 : 0;
    case scset_PROGRESS: return g.progress ? 1 : 0;
    case scset_PREEMPTION: return g.preemption ? 1 : 0;
    case scset_STACK_SIZE: return g.stackSize;
    default: return 0;
    }
}

int scEngine_Set_Setting(int setting, int a, int b) {
    switch (setting) {
    case scset_HOOK_1001:
    case scset_HOOK_1002:
    case scset_HOOK_1003: return 1;
    case scset_DISPATCHER:
        if (a < 0 || a >= scDispatcher_Slots || b != 0) return 0;
        g.dispatchers[a] = nullptr;
        return 1;
    case scset_PROGRESS:
        if (a != 0) return 0;
        g.progress = nullptr;
        return 1;
    case scset_PREEMPTION: g.preemption = a != 0; return 1;
    case scset_STACK_SIZE:
        // Only what the loader accepts, so that every compiled image loads.
        if (a < 8 || uint32_t(a) > zedi::kMaxStackSize || a % 4) {
            scRuntime_Error("Invalid stack size %d", a);
            return 0;
        }
        g.stackSize = a;
        return 1;
    default: return 0;
    }
}

scDispatcher scEngine_Get_Dispatcher(int index) {
    return index >= 0 && index < scDispatcher_Slots ? g.dispatchers[index] : nullptr;
}

int scEngine_Set_Dispatcher(int index, scDispatcher dispatcher) {
    if (index < 0 || index >= scDispatcher_Slots) return 0;
    g.dispatchers[index] = dispatcher;
    return 1;
}

scProgressCallback scEngine_Get_Progress() { return g.progress; }
void scEngine_Set_Progress(scProgressCallback callback) { g.progress = callback; }

void scRuntime_Error(const char* format, ...) {
    StartMessage();
    Append("Runtime error ");
    scInstance* cur = scGet_This();
    if (!cur)
        Append(" in :");
    else if (cur->parent)
        Append(" in `%s'(%d):", scGet_Instance_Title(cur), cur->forkId);
    else
        Append(" in `%s':", scGet_Instance_Title(cur));
    if (scLast_Error != scerr_PRIORITY) scLast_Error = scerr_RUNTIME;
    va_list ap;
    va_start(ap, format);
    AppendV(format, ap);
    va_end(ap);
}

void scCompile_Error_At(const char* file, int line, const char* lineText, int number,
                        const char* format, ...) {
    StartMessage();
    Append("%s(%3d) Error :", file ? file : "", line);
    va_list ap;
    va_start(ap, format);
    AppendV(format, ap);
    va_end(ap);
    scLast_Error = number;
    if (lineText)
        std::snprintf(scLast_Error_Line, sizeof scLast_Error_Line, "%s", lineText);
    else
        std::snprintf(scLast_Error_Line, sizeof scLast_Error_Line, "<unknown line>");
}

int scFind_Info_Chunk(scScript image, const char* tag) {
    return int(zedi::FindInfoChunk(static_cast<const uint8_t*>(image), tag));
}

namespace zedi {
void ClearError() {
    scLast_Error = 0;
}
}  // namespace zedi
