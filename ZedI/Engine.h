// Engine core: one-time initialisation, settings, and the last error as a number
// and a text.
#pragma once

#include <cstdint>

// A compiled script image: one plain block owned by the host.
typedef void* scScript;
struct scInstance;

// Error numbers.
enum {
    scerr_NONE = 0,
    scerr_SYNTAX = 1,
    scerr_DECLARATION = 2,
    scerr_CODEGEN = 3,
    scerr_OPERAND = 4,
    scerr_CONVERSION = 5,
    scerr_RUNTIME = 101,
    scerr_PRIORITY = 102,
    scerr_INTERNAL = 255,
};

// Settings of scEngine_Get_Setting / scEngine_Set_Setting.
enum {
    scset_VERSION = 0,
    scset_1 = 1,
    scset_2 = 2,
    scset_3 = 3,
    scset_HOOK_1001 = 1001,
    scset_HOOK_1002 = 1002,
    scset_HOOK_1003 = 1003,
    scset_DISPATCHER = 1004,
    scset_PROGRESS = 1005,
    scset_PREEMPTION = 1100,
    scset_STACK_SIZE = 1101,
};

constexpr int scEngine_Version = 94;
constexpr int scDispatcher_Slots = 16;

// A dispatcher calls the host function `callee` (for dispatchers 0 and 1 a binding
// reference) with the parameter block of `bytes` bytes at script address `params`
// and stores its result at script address `result`. All addresses are script
// addresses. The return value is not used by the CPU.
using scDispatcher = int (*)(uint32_t result, uint32_t callee, uint32_t params, int bytes,
                             uint32_t descriptor);
// Called by the compiler with the percentage of source lines compiled.
using scProgressCallback = void (*)(int percent);

extern int scLast_Error;
extern char scLast_Error_Text[1025];
extern char scLast_Error_Line[256];

void scEngine_Init();
int scEngine_Get_Setting(int setting, int index = 0);
// Settings 1004 takes (slot index, value); the others take (value). Returns 1 on
// success, 0 for an unknown or read-only setting or a slot outside 0-15. Through
// this integer call setting 1004 can only empty a slot (value 0) and setting 1005
// only remove the callback; the typed calls below store functions.
int scEngine_Set_Setting(int setting, int a, int b = 0);
scDispatcher scEngine_Get_Dispatcher(int index);
int scEngine_Set_Dispatcher(int index, scDispatcher dispatcher);
scProgressCallback scEngine_Get_Progress();
void scEngine_Set_Progress(scProgressCallback callback);

// Appends a runtime error ("Runtime error  in `title':message") to the error text
// and sets the error number to 101 (102 is left in place).
void scRuntime_Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends a compile error "file(line) Error :message" and sets the error number to
// `number`; `lineText` (may be null) becomes scLast_Error_Line.
void scCompile_Error_At(const char* file, int line, const char* lineText, int number,
                        const char* format, ...) __attribute__((format(printf, 5, 6)));

// The compiler's shared message formats, each written once here: the compiler
// raises them by these names and scErrorFormats lists them for the host.
#define scMSG_PARSE_ERROR_AT "Parse error at %s"
#define scMSG_INVALID_OPERAND "Invalid operand%s to %s"
#define scMSG_ILLEGAL_CAST "Illegal cast %s"
#define scMSG_INTERNAL "Internal compiler error%s (%d)"
#define scMSG_ILLEGAL_CONVERSION "Illegal type conversion %s"
enum {
    scmsg_PARSE_ERROR_AT,
    scmsg_INVALID_OPERAND,
    scmsg_ILLEGAL_CAST,
    scmsg_INTERNAL,
    scmsg_ILLEGAL_CONVERSION,
};
extern const char* const scErrorFormats[5];

// Offset of the data of the information chunk `tag` in the image, 0 if absent.
int scFind_Info_Chunk(scScript image, const char* tag);

namespace zedi {
// Thrown after a compile error has been formatted; caught at the compile entry
// points, which release every block the compile allocated.
struct CompileAbort {};

// Clears the error number (the start of a call, launch or pass); the next
// message then starts a fresh text.
void ClearError();
}
