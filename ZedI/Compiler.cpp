// Compile driver and image writer, statements, definitions, functions and scopes.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Compiler.h"
#include "Image.h"
#include "VARS.h"

namespace zc {

scDictionary types, symbols, exportList;
int nextData = 4;
int localOffset = 0;
scSymbol* scopeMark = nullptr;
scSymbol* currentClass = nullptr;
scSymbol* declaredClass = nullptr;
scSymbol* currentFunction = nullptr;
int stackSize = 4000;
int discard = 0;
int forkFrameBase = INT_MIN;
bool forkOwnFrame = false;
int staticInit = 0;

namespace {

int bodyJumpPos = 0, lastBodyEnd = 0;
int dataSequence = 0;  // numbers the globals and static locals in the order they are built
int lastProgress = -1;
bool bodyJumped = false;
scSymbol* firstLocalMark = nullptr;

void BodyJump(int close) {
    if (close == 0) {
        PadCode();
        if (codePos != lastBodyEnd || !bodyJumped) {
            bodyJumpPos = codePos;
            Val z = Imm(0);
            Emit(opJMP, &z);
            bodyJumped = true;
        }
        return;
    }
    if (bodyJumped) {
        PadCode();  // the jump lands on a whole instruction word
        lastBodyEnd = codePos;
        Val t = Imm(lastBodyEnd);
        EmitAt(bodyJumpPos, opJMP, &t);
        codePos = lastBodyEnd;
        code.length = lastBodyEnd;
    }
    PadCode();
}

// The size a local takes, counted at scope end.
int CountScope(scSymbol* mark) {
    int count = 0;
    while (symbols->first && symbols->first != mark) {
        scSymbol* s = scdicPop(symbols);
        if ((s->flags & 7) == 3 && !(s->typeKind & 0x40)) count += Align4(SizeOf(SymType(s)));
    }
    return count;
}

// Ends a scope: its locals leave the dictionary and their stack space is freed.
void ReleaseScope(scSymbol* mark) {
    DestroyLocals(mark, false);
    if (int count = CountScope(mark)) {
        Val sp = Reg(regSP), n = Imm(count);
        Emit(opADD, &sp, &n);
        localOffset += count;
    }
}


void LineMark() {
    // "#" "!" n "name"
    Next();
    if (!Is("!")) INTERNAL_ERROR("line mark");
    int markLine = src->currentLine;
    Next();
    int n = std::atoi(Lex());
    Next();
    std::string name = Lex();
    if (name.size() >= 2 && name[0] == '"') name = name.substr(1, name.size() - 2);
    std::snprintf(src->name, sizeof src->name, "%s", name == "!!_internal_Script" ? title : name.c_str());
    src->lineOffset = markLine - n + 1;
}

// Temporaries made by a condition end before it is tested, so that a loop's
// condition leaves the stack as it found it; the value moves to a register first.
Val EndConditionTemporaries(Val v) {
    if (!symbols->first || !symbols->first->name || std::strcmp(symbols->first->name, "%TEMP")) return v;
    if (v.mode) {
        Val r = Load(v);
        r.t = v.t;
        v = r;
    }
    EndTemporaries();
    return v;
}

Val CondInt() {
    Val v;
    ClearRegisters();
    Next();
    if (!ReadExpr(v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    // An int in memory is tested where it stands.
    v = ToInt(Decay(v));
    return EndConditionTemporaries(v);
}

void ReadSwitch(scSymbol* mark);

// "(" condition ")" after the keyword, converted to int.
Val ParenCondition(const char* keyword) {
    Next();
    if (!Is("(")) Error(scerr_SYNTAX, "`%s' instead of `(' required after %s", Lex(), keyword);
    Val c = CondInt();
    Expect(")", "`)' missing");
    return c;
}

// Emits a jump with a placeholder target and returns where it stands.
int ForwardJump(int op, Val* cond) {
    PadCode();
    int at = codePos;
    Val zero = Imm(0);
    if (cond)
        Emit(op, cond, &zero);
    else
        Emit(op, &zero);
    return at;
}

// Re-emits the jump at `at` with the current (padded) position as its target.
void LandJump(int at, int op, Val* cond) {
    PadCode();
    Val t = Imm(codePos);
    if (cond)
        EmitAt(at, op, cond, &t);
    else
        EmitAt(at, op, &t);
}

}  // namespace

// The specifier after `import`: parenthesised groups (as many as given, so that
// `c_import(name)` = `import(1)(name)` works) holding a dispatcher number and/or an
// import name. On return the current lexeme is the first one after them.
void ReadImportSpec(int& dispatcher, std::string& importName) {
    dispatcher = 0;
    bool haveNumber = false;
    Next();
    while (Is("(")) {
        Next();
        while (!Is(")")) {
            if (Lex()[0] >= '0' && Lex()[0] <= '9') {
                if (haveNumber) Error(scerr_DECLARATION, "Dispatcher descriptor repeated more than once");
                Val v;
                if (!SubExp(2, v, true) || !v.imm) Error(scerr_DECLARATION, "Constant integer expected instead of %s", Lex());
                if (v.off > 15) Error(scerr_DECLARATION, "The number %d exceeded the maximum number (%d) of dispatchers", v.off, 15);
                dispatcher = v.off;
                haveNumber = true;
                if (Is(",")) Next();
                continue;
            }
            if (!importName.empty()) Error(scerr_DECLARATION, "Function already has an import name '%s'", importName.c_str());
            int depth = 0;
            bool firstTok = true;
            while (depth > 0 || !Is(")")) {
                if (Is(";") || Is("{")) Error(scerr_DECLARATION, "`)' expected instead of `%s'", Lex());
                if (!firstTok && src->blanksBefore > 0)
                    Error(scerr_DECLARATION, "Import name cannot contain spaces nor new-line characters (possibly thou hast ')' omited)");
                if (Is("(")) depth++;
                if (Is(")")) depth--;
                importName += Lex();
                firstTok = false;
                Next();
            }
        }
        Next();
    }
}

namespace {

// One reader per statement, each entered with its first lexeme current and
// given the enclosing block's mark and whether it stands in a body.

void ImportStatement(scSymbol*, bool) {
    if (currentFunction) Error(scerr_DECLARATION, "Illegal import declaration inside a function");
    int dispatcher = 0;
    std::string importName;
    ReadImportSpec(dispatcher, importName);
    Back();
    scSymbol* s = ReadTypeSpec();
    if (!s) Error(scerr_DECLARATION, "Invalid import declaration at `%s'", Lex());
    ReadDeclarator(s, SymType(s));
    Next();
    Expect(";", "`;' expected after import declaration", scerr_DECLARATION);
    if (!s->name) Error(scerr_DECLARATION, "Declaration of anonymous variable");
    if (!IsValidIdentifier(s->name)) Error(scerr_DECLARATION, "Invalid identifier `%s' in declaration", s->name);
    if (!importName.empty()) s->importName = scmStrdup(importName.c_str());
    s->flags = 0x20 | 4;
    s->dispatcher = dispatcher;
    s->paramBytes = 0;
    if (IsFunction(SymType(s))) s->paramBytes = ParamBytes(s);
    if (scSymbol* old = scdicLookup(symbols, s->name)) {
        if (old->flags & 0x20) Error(scerr_SYNTAX, "Function `%s' previously declared as imported", s->name);
        if (old->address != -1) Error(scerr_SYNTAX, "Symbol `%s' already defined", s->name);
        scdicRemove(symbols, s->name);
    }
    s->address = -1;
    scdicPush(symbols, s);
}

void ExportStatement(scSymbol*, bool) {
    Next();
    if (!IsValidIdentifier(Lex())) Error(scerr_DECLARATION, "Invalid identifier `%s' in declaration", Lex());
    std::string name = Lex();
    Next();
    while (Is(".") || Is("::")) {
        Next();
        if (!IsValidIdentifier(Lex())) Error(scerr_DECLARATION, "Invalid identifier `%s' in declaration", Lex());
        name += ".";
        name += Lex();
        Next();
    }
    Expect(";");
    if (!scdicLookup(exportList, name.c_str())) scdicAdd(exportList, name.c_str(), 0, 0, nullptr);
}

void TypedefStatement(scSymbol*, bool) {
    Next();
    const bool declaresStructure = Is("struct") || Is("class") || Is("script");
    Back();
    scSymbol* s = ReadTypeSpec();
    if (!s) Error(scerr_DECLARATION, "not a type in type definition");
    ReadDeclarator(s, SymType(s));
    Type t = SymType(s);
    // A structure declared here needs no name; any other type does.
    if (!s->name && !(declaresStructure && t.base == vSTRUCT && t.decl.empty()))
        Error(scerr_DECLARATION, "type name not specified in type definition");
    // Without a name, or typedef struct P { ... } P; naming the structure it
    // declared: nothing to add.
    bool named = s->name && !(t.base == vSTRUCT && t.decl.empty() && t.st && t.st->name && !std::strcmp(t.st->name, s->name));
    if (named) {
        if (!IsValidIdentifier(s->name)) Error(scerr_DECLARATION, "invalid identifier `%s' in declaration", s->name);
        if (scdicLookup(types, s->name)) Error(scerr_DECLARATION, "duplicate definition `%s'", s->name);
        scdicPush(types, s);
    }
    Next();
    Expect(";");
}

void ExpressionStatement() {
    Val v;
    if (!ReadExpr(v, false)) {
        if (IsValidIdentifier(Lex())) Error(scerr_OPERAND, "`%s' undeclared", Lex());
        Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    }
    Expect(";");
    EndTemporaries();
}

void BlockStatement(scSymbol*, bool inBody) {
    if (!inBody) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    scSymbol* m = symbols->first;
    scSymbol* outer = scopeMark;
    scopeMark = m;
    ReadBlock(m, true);
    scopeMark = outer;
    ReleaseScope(m);
}

// __vcpu(byte, ...): raw code bytes, padded to a word.
void VcpuStatement(scSymbol*, bool) {
    Next();
    Expect("(");
    Next();
    for (;;) {
        Val v;
        int before = codePos;
        if (!SubExp(2, v, true) || !v.imm || codePos != before) Error(scerr_SYNTAX, "__vcpu requires constants as parameters");
        EmitByte(v.off & 0xFF);
        if (!Is(",")) break;
        Next();
    }
    Expect(")");
    Next();
    Expect(";");
    PadCode();
}

void SecuredStatement(scSymbol* mark, bool inBody) {
    EmitByte(opCLI);
    ReadStatement(mark, inBody);
    EmitByte(opSTI);
}

// A fork body is a scope of its own: a declaration standing as the whole body
// ends with the child.
void ForkBody(scSymbol* mark, scSymbol* scope, bool inBody) {
    ReadStatement(mark, inBody);
    ReleaseScope(scope);
}

bool ForkBodyHasOwnRoom(scSymbol* mark, scSymbol* scope, bool inBody);

// fork [(int variable)] statement: the child runs the statement and ends; the
// parent goes on after it with the child's id in the variable.
void ForkStatement(scSymbol* mark, bool inBody) {
    Next();
    Val target = Reg(0);
    if (Is("(")) {
        Next();
        Val v;
        if (!ReadExpr(v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        if (v.mode == modeNONE || v.addr) Error(scerr_OPERAND, "Invalid lvalue in assignment");
        if (ValKind(v.t) != tINT) Error(scerr_OPERAND, "int variable required in fork");
        Expect(")");
        target = v;
    } else {
        Back();
        // The id goes to register 0, cleared first: a -1 left there by the code
        // before (a call's result) would make the FORK a child's end.
        Val zero = Imm(0);
        Emit(opMOV, &target, &zero);
    }
    PadCode();
    int p = codePos;
    Val zero = Imm(0);
    Emit(opFORK, &target, &zero);
    // The child starts with an empty stack over a copy of the parent's, its frame
    // moved along. When the body puts locals, temporaries or a call's pushes on
    // the stack (found by reading it once on trial), the child first places its stack
    // pointer below the parent's locals, where their frame offsets lie. A body
    // read while its code is discarded anyway (an enclosing trial) is read once:
    // what it addresses counts for the enclosing fork, whose child it copies.
    const int base = localOffset;
    scSymbol* bodyMark = symbols->first;
    if (!discard && ForkBodyHasOwnRoom(mark, bodyMark, inBody)) {
        // SP := FRAME - STACK + the parent's frame offset, through a register:
        // the stack pointer never holds an address.
        Val r = Reg(AllocReg()), sp = Reg(regSP), frame = Reg(regFRAME), stack = Reg(regSTACK), off = Imm(base);
        Emit(opMOV, &r, &frame);
        Emit(opSUB, &r, &stack);
        if (base) Emit(opADD, &r, &off);
        Emit(opMOV, &sp, &r);
        regUsed[r.r] = false;
    }
    ForkBody(mark, bodyMark, inBody);
    // The child ends here.
    Val m1 = Imm(-1);
    Emit(opFORK, &m1, &m1);
    PadCode();
    Val end = Imm(codePos);
    EmitAt(p, opFORK, &target, &end);
}

// The end of a return: the live objects' destructors (the result kept), then
// LEAVE and RET.
void LeaveFunction() {
    DestroyLocals(firstLocalMark, true);
    EmitByte(opLEAVE);
    EmitByte(opRET);
}

void ReturnStatement(scSymbol*, bool) {
    if (!currentFunction) Error(scerr_SYNTAX, "return in not a function");
    Type rt = ResultType(SymType(currentFunction));
    Next();
    if (ValKind(rt) == tVOID && rt.decl.empty()) {
        Expect(";");
        LeaveFunction();
        return;
    }
    Val v;
    if (!ReadExpr(v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    Expect(";");
    int k = ValKind(rt);
    if (k == vSTRUCT && rt.decl.empty()) {
        // Copy into the caller's temporary through the hidden result pointer.
        if (ValKind(v.t) != vSTRUCT || SizeOf(v.t) != SizeOf(rt) || v.mode == modeNONE)
            Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, " to struct");
        Val hp;
        hp.mode = modeFRAME;
        hp.off = 8;
        Val r = Load(hp);
        Val dst;
        dst.mode = modeABSOLUTE;
        dst.reg = true;
        dst.r = r.r;
        dst.t = rt;
        if (HasCopyConstructor(rt)) {
            // A class object is copy-constructed in the caller's temporary.
            std::vector<Val> from{v};
            CallMember(dst, rt.st->name, &from, "Constructor `%s' couldn't be found.%s", false);
        } else {
            if (HasDestructor(rt))
                Error(scerr_OPERAND, "`%s' has a destructor and no copy constructor: return it by reference", rt.st->name);
            Val cnt = Reg(regCOUNT), sz = Imm(SizeOf(rt));
            Emit(opMOV, &cnt, &sz);
            Emit(opCOPY, &dst, &v);
        }
        LeaveFunction();
        return;
    }
    if (!rt.decl.empty() && rt.decl[0] == '&') {
        // A reference result: the address of what it refers to.
        if (v.mode == modeNONE || v.addr) Error(scerr_OPERAND, "Invalid lvalue in assignment");
        Val a = AddressOf(v), r0 = Reg(0);
        Emit(opMOV, &r0, &a);
        LeaveFunction();
        return;
    }
    Val c = ConvertTo(v, rt);
    Val r0 = Reg(0);
    r0.t = rt;
    if (k == tFLOAT) {
        // A float result is returned as a double; one rounded into a register
        // (DFLT) is widened straight into register 0.
        r0.t.base = tDOUBLE;
        if (c.reg && c.mode == modeNONE && ValKind(c.t) == tFLOAT) {
            Emit(opFDBL, &r0, &c);
            FreeVal(c);
            c = r0;
        } else {
            c = ToDouble(c);
        }
    }
    if (!(c.reg && c.mode == modeNONE && c.r == 0)) {
        if (k == tDOUBLE || k == tFLOAT) {
            if (c.imm) c = DImm(c.d);
            Emit(opDMOV, &r0, &c);
        } else {
            c = Decay(c);
            Val rr = r0;
            rr.t = Type();
            if (c.mode && (ValKind(c.t) == tCHAR || ValKind(c.t) == tSHORT)) c = Load(c);
            Emit(opMOV, &rr, &c);
        }
    }
    LeaveFunction();
}

// The start of a statement: the progress report and its first lexeme after
// any line marks.
void StartStatement() {
    if (scProgressCallback cb = scEngine_Get_Progress()) {
        int pct = src->lastLine > 0 ? src->currentLine * 100 / (src->lastLine + 1) : 100;
        if (pct != lastProgress) cb(pct), lastProgress = pct;
    }
    Next();
    while (Is("#")) {
        LineMark();
        Next();
    }
}

// The end of a statement that began at `start': a preemption marker after code.
void EndStatement(int start) {
    if (codePos != start && scEngine_Get_Setting(scset_PREEMPTION)) Emit(int(scMarkerWord));
}

// An else-if chain is read arm after arm rather than one statement nesting
// deeper per arm; the code is what the nested reading gives: each `if' after
// an `else' ends as a statement of its own, innermost first, before the jump
// over it lands.
void IfStatement(scSymbol* mark, bool inBody) {
    struct Arm {
        int exit;   // the jump over the rest of the chain that precedes it
        int start;  // where its statement began
    };
    std::vector<Arm> arms;
    for (;;) {
        Val c = ParenCondition("if");
        int p1 = ForwardJump(opJFALSE, &c);
        ReadStatement(mark, inBody);
        Next();
        if (!Is("else")) {
            Back();
            LandJump(p1, opJFALSE, &c);
            break;
        }
        int p2 = ForwardJump(opJMP, nullptr);
        LandJump(p1, opJFALSE, &c);
        StartStatement();
        if (!Is("if")) {
            Back();
            ReadStatement(mark, inBody);
            LandJump(p2, opJMP, nullptr);
            break;
        }
        arms.push_back({p2, codePos});
        ClearRegisters();
    }
    for (auto arm = arms.rbegin(); arm != arms.rend(); ++arm) {
        EndStatement(arm->start);
        LandJump(arm->exit, opJMP, nullptr);
    }
}

void WhileStatement(scSymbol* mark, bool inBody) {
    PadCode();
    int top = codePos;
    Val c = ParenCondition("while");
    int p = ForwardJump(opJFALSE, &c);
    ReadStatement(mark, inBody);
    Val t = Imm(top);
    Emit(opJMP, &t);
    LandJump(p, opJFALSE, &c);
}

void DoStatement(scSymbol* mark, bool inBody) {
    PadCode();
    int top = codePos;
    ReadStatement(mark, inBody);
    Next();
    Expect("while", "while expected instead of '%s'");
    Val c = ParenCondition("while");
    Next();
    Expect(";");
    Val t = Imm(top);
    Emit(opJTRUE, &c, &t);
}

// for (first; condition; step) statement: the step is read once to find the
// ")" (its code thrown away), and compiled for real after the statement.
void ForStatement(scSymbol* mark, bool inBody) {
    Next();
    Expect("(", "`%s' instead of `(' required after for");
    Next();
    Val v;
    ClearRegisters();
    if (!Is(";")) {
        if (!ReadExpr(v, false)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        FreeVal(v);
    }
    Expect(";");
    PadCode();
    int top = codePos;
    Next();
    Val c;
    ClearRegisters();
    if (Is(";")) {
        c = Imm(1);
    } else {
        if (!ReadExpr(c, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        c = EndConditionTemporaries(ToInt(Decay(c)));
    }
    Expect(";");
    scSavedPosition third;
    scsSavePosition(src, &third);
    int here = codePos;
    discard++;
    Next();
    Val x;
    bool regsC[256];
    std::memcpy(regsC, regUsed, sizeof regsC);
    if (!Is(")")) ReadExpr(x, false);
    std::memcpy(regUsed, regsC, sizeof regsC);
    discard--;
    codePos = here;
    code.length = here;
    Expect(")", "`)' missing");
    PadCode();
    int p = codePos;
    Val zero = Imm(0);
    Emit(opJFALSE, &c, &zero);
    ReadStatement(mark, inBody);
    scSavedPosition after;
    scsSavePosition(src, &after);
    scsSetPosition(src, third.line, third.position);
    Next();
    ClearRegisters();
    if (!Is(")")) ReadExpr(x, false);
    EndTemporaries();
    scsSetPosition(src, after.line, after.position);
    Val t = Imm(top);
    Emit(opJMP, &t);
    Val e = Imm(codePos);
    EmitAt(p, opJFALSE, &c, &e);
}

void SwitchStatement(scSymbol* mark, bool) { ReadSwitch(mark); }

// A declaration when a type is here, else (in a body) an expression statement.
void DeclarationOrExpression(scSymbol*, bool inBody) {
    Back();
    scSymbol* s = ReadTypeSpec();
    if (s) {
        ReadDeclarator(s, SymType(s));
        ReadDefinition(s, inBody);
        if (inBody && currentFunction) EndTemporaries();
        return;
    }
    if (!inBody) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    Back();
    Next();
    ExpressionStatement();
}

struct StatementKeyword {
    const char* word;
    void (*read)(scSymbol* mark, bool inBody);
};

const StatementKeyword kStatements[] = {
    {"{", BlockStatement},          {"__vcpu", VcpuStatement}, {"secured", SecuredStatement},
    {"fork", ForkStatement},        {"import", ImportStatement}, {"export", ExportStatement},
    {"typedef", TypedefStatement},  {"return", ReturnStatement}, {"if", IfStatement},
    {"switch", SwitchStatement},    {"for", ForStatement},       {"while", WhileStatement},
    {"do", DoStatement},
};

}  // namespace

static int g_statementDepth = 0;

// Statements nest through the host's stack: as deep as any script goes, and
// far short of where the host's stack would run out.
constexpr int kMaxStatementDepth = 1024;

void ReadStatement(scSymbol* mark, bool inBody) {
    Nesting guard(g_statementDepth, kMaxStatementDepth, "Statements");
    StartStatement();
    int start = codePos;
    if (Is(";")) return;
    if (Is("}")) {
        if (!inBody) Error(scerr_SYNTAX, "parse:`}' without `{'");
        return;
    }
    ClearRegisters();
    const StatementKeyword* k = std::begin(kStatements);
    while (k != std::end(kStatements) && !Is(k->word)) ++k;
    if (k != std::end(kStatements)) {
        k->read(mark, inBody);
    } else if (IsPunct((unsigned char)Lex()[0]) && Lex()[0] != '_') {
        if (!inBody) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        ExpressionStatement();
    } else {
        DeclarationOrExpression(mark, inBody);
    }
    EndStatement(start);
}

void ReadBlock(scSymbol* mark, bool inBody) {
    for (;;) {
        if (!TryNext()) {
            if (inBody) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, " end of file");
            return;
        }
        if (Is("}")) {
            if (!inBody) Error(scerr_SYNTAX, "`}' without `{'");
            return;
        }
        Back();
        ReadStatement(mark, inBody);
    }
}

namespace {

constexpr int kMaxCases = 1000;

// Reads the statements of one case up to the next label; in the second pass a
// `break' jumps to the end (each one recorded for patching). The statements of
// a case form a scope of their own: a control transfer to a label never skips
// the push of a local that a later statement addresses, so its locals are
// released before a `break' and at the end of the case, ahead of the next
// label, where the jumps land.
void CaseStatements(scSymbol* mark, std::vector<int>* breaks) {
    scSymbol* caseMark = symbols->first;
    scSymbol* outer = scopeMark;
    scopeMark = caseMark;
    int caseOffset = localOffset;
    for (;;) {
        Next();
        if (Is("case") || Is("default") || Is("}")) {
            Back();
            break;
        }
        if (Is("break")) {
            Next();
            Expect(";", "`;' missing");
            if (breaks) {
                // The case's objects end before the jump out of it.
                DestroyLocals(caseMark, false);
                if (caseOffset != localOffset) {
                    Val sp = Reg(regSP), n = Imm(caseOffset - localOffset);
                    Emit(opADD, &sp, &n);
                }
                PadCode();
                breaks->push_back(codePos);
                Val z = Imm(0);
                Emit(opJMP, &z);
            }
            continue;
        }
        Back();
        ReadStatement(mark, true);
    }
    scopeMark = outer;
    ReleaseScope(caseMark);
}

// What declarations change: the symbols (locals in front, statics also
// appended at the tail), the frame and data placement and the data records.
struct DeclarationState {
    scSymbol* head;
    scSymbol* tail;
    int nextData, localOffset, recordsLength;
};

DeclarationState SaveDeclarations() {
    return {symbols->first, scdicLast(symbols), nextData, localOffset, records.length};
}

void RestoreDeclarations(const DeclarationState& saved) {
    scdicPopUntil(symbols, saved.head);
    if (saved.tail) scdicCutAfter(symbols, saved.tail);
    nextData = saved.nextData;
    localOffset = saved.localOffset;
    records.length = saved.recordsLength;
}

// Reads a fork body on trial and takes back all that reading did: whether the
// body's code addresses stack room of the child's own, below the frame offset
// reached so far, or pushes.
bool ForkBodyHasOwnRoom(scSymbol* mark, scSymbol* scope, bool inBody) {
    scSavedPosition at;
    scsSavePosition(src, &at);
    bool regs[256];
    std::memcpy(regs, regUsed, sizeof regs);
    DeclarationState declared = SaveDeclarations();
    const int start = codePos, poolLength = pool.length;
    const int outerBase = forkFrameBase;
    const bool outerOwn = forkOwnFrame;
    forkFrameBase = localOffset;
    forkOwnFrame = false;
    discard++;
    ForkBody(mark, scope, inBody);
    discard--;
    const bool own = forkOwnFrame;
    forkFrameBase = outerBase;
    forkOwnFrame = outerOwn;
    codePos = start;
    code.length = start;
    pool.length = poolLength;
    std::memcpy(regUsed, regs, sizeof regs);
    RestoreDeclarations(declared);
    scsSetPosition(src, at.line, at.position);
    return own;
}

void ReadSwitch(scSymbol* mark) {
    Next();
    Expect("(", "`%s' instead of `(' required after switch");
    ClearRegisters();
    Next();
    Val sw;
    if (!ReadExpr(sw, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    Expect(")", "`)' missing");
    MakeInt(sw);
    if (!sw.imm && !(sw.reg && sw.mode == modeNONE)) sw = Load(sw);
    Next();
    Expect("{", "`{' missing");
    scSavedPosition body;
    scsSavePosition(src, &body);
    bool regs[256];
    std::memcpy(regs, regUsed, sizeof regs);
    std::vector<int> slots;
    std::vector<Val> conds;
    // Pass 1: the dispatch code. Declarations among the case statements are
    // read again in pass 2, so what pass 1 declared is taken back afterwards.
    DeclarationState declared = SaveDeclarations();
    discard++;
    int d = codePos;
    bool sawDefault = false;
    for (;;) {
        Next();
        if (Is("}")) break;
        if (Is("case")) {
            if (sawDefault) Error(scerr_SYNTAX, "default expected to be last in switch");
            codePos = d;
            code.length = d;
            std::memcpy(regUsed, regs, sizeof regs);
            Next();
            Val c;
            if (!SubExp(2, c, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
            c = Load(ToInt(c));
            Val s = sw;
            Emit(opCMPE, &c, &s);
            PadCode();
            slots.push_back(codePos);
            conds.push_back(c);
            if (int(slots.size()) >= kMaxCases) Error(scerr_INTERNAL, "Too many cases in switch (max:%d)", kMaxCases);
            Val z = Imm(0);
            Emit(opJTRUE, &c, &z);
            d = codePos;
            Expect(":", "`:' missing");
            CaseStatements(mark, nullptr);
            continue;
        }
        if (Is("default")) {
            if (sawDefault) Error(scerr_SYNTAX, "default expected to be last in switch");
            sawDefault = true;
            Next();
            Expect(":", "`:' missing");
            CaseStatements(mark, nullptr);
            continue;
        }
        Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    }
    codePos = d;
    code.length = d;
    discard--;
    RestoreDeclarations(declared);
    int finalSlot = codePos;
    Val z = Imm(0);
    Emit(opJMP, &z);
    bool finalPatched = false;
    scsSetPosition(src, body.line, body.position);
    // Pass 2: the bodies.
    std::vector<int> breaks;
    size_t index = 0;
    for (;;) {
        Next();
        if (Is("}")) break;
        if (Is("case")) {
            PadCode();
            int b = codePos;
            Next();
            Val c;
            std::memcpy(regUsed, regs, sizeof regs);
            SubExp(2, c, true);
            codePos = b;
            code.length = b;
            Val t = Imm(b);
            EmitAt(slots[index], opJTRUE, &conds[index], &t);
            index++;
            CaseStatements(mark, &breaks);
            continue;
        }
        if (Is("default")) {
            Next();
            PadCode();
            Val t = Imm(codePos);
            EmitAt(finalSlot, opJMP, &t);
            finalPatched = true;
            CaseStatements(mark, &breaks);
            continue;
        }
        INTERNAL_ERROR("switch/default");
    }
    PadCode();
    Val end = Imm(codePos);
    if (!finalPatched) EmitAt(finalSlot, opJMP, &end);
    for (int b : breaks) EmitAt(b, opJMP, &end);
    FreeVal(sw);
}

void LayoutParams(scSymbol* f, bool define) {
    Type ft = SymType(f);
    int offset = 8;
    // A structure result by value: the hidden result pointer lies at +8.
    Type rt = ResultType(ft);
    if (ValKind(rt) == vSTRUCT && rt.decl.empty()) offset = 12;
    f->paramBytes = 0;
    if (currentClass) {
        // A member function: `this` follows, a pointer to the object.
        Type tt;
        tt.base = vSTRUCT;
        tt.st = currentClass;
        // GCC 12 with the sanitizers reports an overlap in this inlined string
        // assignment from a literal (-Wrestrict); there is none.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
        tt.decl = "*";
#pragma GCC diagnostic pop
        scSymbol* self = NewFrameSymbol("this", offset, tt);
        if (define) scdicPush(symbols, self);
        offset += 4;
        f->paramBytes = 4;
    }
    const char* p = ft.decl.c_str();
    if (*p != '(') INTERNAL_ERROR("parameter list");
    p++;
    int index = 0;
    while (*p && *p != ')') {
        if (!std::strncmp(p, "...", 3)) {
            p += 3;
        } else {
            scSymbol* ps = ParamAt(p, &p, nullptr);
            index++;
            Type pt = SymType(ps);
            int size = ValKind(pt) == tDOUBLE ? 8 : Align4(SizeOf(pt));
            if (size == 0) size = 4;
            f->paramBytes += size;
            ps->address = offset;
            ps->flags = 11;
            if (define) {
                if (!ps->name) Error(scerr_OPERAND, "Parameter %d to function '%s' is anonymous", index, f->name);
                ps->next = nullptr;
                // A fresh record each definition: the type string's records stay intact.
                auto* copy = static_cast<scSymbol*>(scmAlloc(sizeof(scSymbol)));
                *copy = *ps;
                scdicPush(symbols, copy);
            }
            offset += size;
        }
        if (*p == ',') p++;
    }
    if (*p != ')') INTERNAL_ERROR("parameter list");
}

void ReadFunctionBody(scSymbol* f, int previous) {
    if (!IsFunction(SymType(f))) Error(scerr_DECLARATION, "Invalid variable `%s' initialization!", f->name);
    if (currentFunction) Error(scerr_DECLARATION, "Function '%s'in function definition", f->name);
    BodyJump(0);
    PadCode();
    // Complete earlier calls.
    int link = previous;
    while (link < -1) {
        int at = -link;
        int32_t next;
        std::memcpy(&next, code.data + at + 4, 4);
        Val a = Imm(codePos);
        EmitAt(at, opCALL, &a);
        link = next;
    }
    f->address = codePos;
    scSymbol* localMark = symbols->first;
    // The function's static locals are appended behind the records there now.
    scSymbol* lastBefore = scdicLast(symbols);
    firstLocalMark = localMark;
    localOffset = 0;
    EmitByte(opENTER);
    LayoutParams(f, true);
    currentFunction = f;
    // The parameters are in the body's scope: a local of the body does not
    // redeclare one.
    scopeMark = localMark;
    ReadBlock(f, true);
    DestroyLocals(localMark, false);
    // Drop locals and parameters; statics were appended among the globals.
    scdicFreeUntil(symbols, localMark, [](scSymbol*) {});
    // Static locals are renamed so that they cannot clash with globals.
    for (scSymbol* s = lastBefore ? lastBefore->next : symbols->first; s; s = s->next) {
        if ((s->typeKind & 0x40) && s->name && s->name[0] != '%' && s->extra == f) {
            std::string n = std::string("%STATIC:") + f->name + "-" + s->name;
            scdicRename(symbols, s, scmStrdup(n.c_str()));
        }
    }
    currentFunction = nullptr;
    EmitByte(opLEAVE);
    EmitByte(opRET);
    BodyJump(1);
}

}  // namespace

// `T x = value` where the value needs a temporary object: x's room first, then
// the value stored into it like an assignment.
void InitialiseAfterRoom(scSymbol* s, const Type& t) {
    int k = ValKind(t);
    bool object = k == vSTRUCT && t.decl.empty();
    if (!object && (!(k < tREGISTER || k == vPOINTER) || (!t.decl.empty() && t.decl[0] != '*')))
        Error(scerr_CODEGEN, "Structure result cannot be used in the initializer of `%s'", s->name);
    ReserveLocalRoom(SizeOf(t));
    Next();
    Val v;
    if (!SubExp(1, v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    if (object) {
        // A structure without constructors is initialised by a copy, as by `=`.
        CopyInitialValue(s, v);
        return;
    }
    Val local;
    local.mode = modeFRAME;
    local.off = s->address;
    local.t = t;
    local.t.stat = false;
    Val c = ConvertTo(Decay(v), local.t, narrowBYSTORE);
    if (c.mode) {
        Val l = Load(c);
        c = l;
    }
    Emit(opMOV, &local, &c);
    FreeVal(c);
}

// Whether "{" follows the current "=" (a brace list); the reading position and
// the current lexeme are left as they were.
static bool BraceFollows() {
    scSavedPosition at;
    scsSavePosition(src, &at);
    std::string current = Lex();
    Next();
    bool brace = Is("{");
    scsSetPosition(src, at.line, at.position);
    std::snprintf(src->lexeme, sizeof src->lexeme, "%s", current.c_str());
    src->lex = src->lexeme;
    return brace;
}

// A static local object is constructed once, by the initialisation routine: the
// body jumps over the construction, which the routine runs on into between the
// functions around it. It runs in a frame of its own, where the function's
// locals do not exist.
static void ConstructStatic(scSymbol* s) {
    PadCode();
    int over = codePos;
    Val zero = Imm(0);
    Emit(opJMP, &zero);
    BodyJump(1);
    bool regs[256];
    std::memcpy(regs, regUsed, sizeof regs);
    ClearRegisters();
    int offset = localOffset;
    localOffset = 0;
    EmitByte(opENTER);
    staticInit++;
    struct Leave {
        ~Leave() { staticInit--; }
    } leave;
    ConstructLocal(s);
    EndTemporaries();
    EmitByte(opLEAVE);
    localOffset = offset;
    std::memcpy(regUsed, regs, sizeof regs);
    BodyJump(0);
    PadCode();
    Val to = Imm(codePos);
    EmitAt(over, opJMP, &to);
}

void ReadMemberBody(scSymbol* st, scSymbol* f) {
    scSymbol* outer = currentClass;
    currentClass = st;
    ReadFunctionBody(f, f->address);
    currentClass = outer;
}

// Places the declared symbols of one declaration list and reads their
// initialisers or the function body.
void ReadDefinition(scSymbol* s, bool inBody) {
    Type base = SymType(s);
    base.decl.clear();
    // The base declarator of the specifier is the symbol's declarator minus what
    // ReadDeclarator added; for further declarators we re-read from the base spec.
    scSymbol* specifier = s;
    Type specType = SymType(specifier);
    (void)specType;
    bool firstDecl = true;
    Type baseType = base;
    for (;;) {
        Type t = SymType(s);
        if (!s->name) {
            if (t.base == vSTRUCT) {
                Next();
                Expect(";");
                return;
            }
            Error(scerr_DECLARATION, "Declaration of anonymous variable");
        }
        if (!firstDecl && IsFunction(t)) Error(scerr_DECLARATION, "Forbidden function declaration");
        if (!declaredClass && !IsValidIdentifier(s->name)) Error(scerr_DECLARATION, "Invalid identifier `%s' in declaration", s->name);
        int previous = -1;
        bool isFunc = IsFunction(t);
        if (declaredClass) {
            // Class::member(...) { body }: a member function defined outside its class.
            scSymbol* st = declaredClass;
            declaredClass = nullptr;
            if (!isFunc || inBody) Error(scerr_DECLARATION, "Function %s is not a member of %s", s->name, st->name);
            scSymbol* m = nullptr;
            for (scSymbol* o = st->members; o; o = o->next)
                if (o->name && !std::strcmp(o->name, s->name) && IsFunction(SymType(o)) && SameParameters(SymType(o), t)) m = o;
            if (!m) Error(scerr_DECLARATION, "Function %s is not a member of %s", s->name, st->name);
            if (m->flags & 0x20) Error(scerr_DECLARATION, "What? You want to define function `%s'? It's already imported!", m->name);
            if (m->address >= 0 || TypeText(SymType(m), namingIDENTITY) != TypeText(t, namingIDENTITY)) Error(scerr_DECLARATION, "Symbol `%s' already defined", s->name);
            SetSymType(m, t);  // the definition's parameter names
            if (!TryNext()) Error(scerr_SYNTAX, "Parse error");
            Expect("{");
            ReadMemberBody(st, m);
            return;
        }
        if (isFunc) {
            // An earlier declaration of the same signature.
            for (scSymbol* o = scdicLookup(symbols, s->name); o; o = scdicLookupNext(symbols, o)) {
                if (!IsFunction(SymType(o))) continue;
                Type ot = SymType(o);
                // Same signature: the parameter types' texts pairwise. One that
                // returns another type is a second definition all the same.
                if (!SameParameters(ot, t)) continue;
                if (o->address >= 0 || TypeText(ot, namingIDENTITY) != TypeText(t, namingIDENTITY)) Error(scerr_DECLARATION, "Symbol `%s' already defined", s->name);
                if (o->flags & 0x20) Error(scerr_SYNTAX, "Function `%s' previously declared as imported", s->name);
                previous = o->address;
                // Calls already compiled refer to the old record: keep it as the one.
                s = o;
                break;
            }
            if (previous == -1 && s->flags != 13) {
                s->address = -1;
                s->flags = 13;
                s->paramBytes = ParamBytes(s);
                scdicPush(symbols, s);
            }
        } else {
            bool stat = t.stat;
            if (!inBody) {
                if (stat) Error(scerr_DECLARATION, "Global symbol `%s' declared as static", s->name);
                if (scSymbol* o = scdicLookup(symbols, s->name)) {
                    (void)o;
                    bool placedAmongGlobals = true;
                    if (placedAmongGlobals) Error(scerr_DECLARATION, "Symbol `%s' already defined", s->name);
                }
                nextData = Align4(nextData);
                s->address = nextData;
                nextData += SizeOf(t);
                if (nextData > int(zedi::kMaxDataSize)) Error(scerr_DECLARATION, "Global data too large");
                s->flags = 10;
                s->spare = ++dataSequence;
                scdicPush(symbols, s);
            } else if (stat) {
                s->address = nextData;
                nextData += SizeOf(t);
                if (nextData > int(zedi::kMaxDataSize)) Error(scerr_DECLARATION, "Global data too large");
                s->flags = 10;
                s->spare = ++dataSequence;
                s->extra = currentFunction;
                // Shadows a global of the same name inside its function, as in C.
                scdicPush(symbols, s);
                auto* g = static_cast<scSymbol*>(scmAlloc(sizeof(scSymbol)));
                *g = *s;
                scdicAppend(symbols, g);
                s->extra = nullptr;
                g->extra = currentFunction;
            } else {
                for (scSymbol* o = symbols->first; o && o != scopeMark; o = o->next)
                    if ((o->flags & 7) == 3 && o->name && o->name[0] == s->name[0] && !std::strcmp(o->name, s->name))
                        Error(scerr_DECLARATION, "Symbol `%s' already defined", s->name);
                localOffset -= Align4(SizeOf(t));
                if (localOffset < -int(zedi::kMaxDataSize)) Error(scerr_DECLARATION, "Local data too large");
                s->address = localOffset;
                s->flags = 11;
                scdicPush(symbols, s);
            }
        }
        if (!TryNext()) Error(scerr_SYNTAX, "Parse error");
        // A class object is built by a constructor: one that takes the arguments
        // in "(...)", the value after "=" (not a brace list), or none.
        bool object = !isFunc && ValKind(t) == vSTRUCT && t.decl.empty() && t.st && t.st->typeKind == 2;
        bool hasConstructor = object && HasMember(t, t.st->name);
        bool constructed = object && (Is("(") || (hasConstructor && (!Is("=") || !BraceFollows())));
        if (constructed && !inBody) {
            // A global object: constructed by the initialisation routine where it is declared.
            ClearRegisters();
            ConstructLocal(s);
        } else if (constructed && t.stat && !discard) {
            ConstructStatic(s);
        } else if (constructed) {
            ConstructLocal(s);
        } else if (Is("=")) {
            if (t.stat && inBody) {
                // A static local is initialised once, when the image is loaded.
                ReadInitialization(s, false);
            } else {
                if (inBody && !isFunc) {
                    NeedStackFor(SizeOf(t));
                }
                scSavedPosition at;
                scsSavePosition(src, &at);
                int codeStart = codePos, offsetBefore = localOffset;
                ReadInitialization(s, inBody);
                if (inBody && symbols->first != s) {
                    // The initialiser made a temporary object, which took the stack
                    // place of the variable: compile it again with the variable's
                    // room reserved first.
                    scdicPopUntil(symbols, s);
                    localOffset = offsetBefore;
                    code.length = codeStart;
                    codePos = codeStart;
                    ClearRegisters();
                    scsSetPosition(src, at.line, at.position);  // just after "="
                    InitialiseAfterRoom(s, t);
                }
            }
        } else if (Is("{")) {
            if (!isFunc) Error(scerr_DECLARATION, "Invalid variable `%s' initialization!", s->name);
            ReadFunctionBody(s, previous);
            return;
        } else {
            if (!t.decl.empty() && t.decl[0] == '&') Error(scerr_DECLARATION, "reference without initializer");
            if (inBody && !isFunc && !t.stat) ReserveLocalRoom(SizeOf(t));
            if (Is("(")) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        }
        if (Is(";")) return;
        if (Is("}")) {
            Back();
            return;
        }
        Expect(",");
        firstDecl = false;
        auto* n = static_cast<scSymbol*>(scmAlloc(sizeof(scSymbol)));
        n->address = -1;
        ReadDeclarator(n, baseType);
        s = n;
    }
}

}  // namespace zc

using namespace zc;

namespace {
// A large code buffer kept from one compile for the next, in a process that
// compiles again and again: the image is then a copy, and the buffer's memory,
// already written, costs no page faults the next time (fresh memory costs one
// at the first write of each page, far more than the copy). A process's first
// compile hands its buffer over as the image, copying nothing.
uint8_t* g_keptCode = nullptr;
int g_keptCodeBytes = 0;
int g_compiles = 0;
// A megabyte of code (a source of half a megabyte) up to eight: less is not
// worth a copy, more is not kept.
constexpr int kKeptCodeMin = 1 << 20, kKeptCodeMax = 8 << 20;
}  // namespace

scScript scCompileToImage(scSourceText* text) {
    int savedStack = scEngine_Get_Setting(scset_STACK_SIZE);
    phase = phasePREPROCESS;
    scsPreprocess(text);
    phase = phaseCOMPILE;
    src = text;
    types = scdicNewIndexed();
    symbols = scdicNewIndexed();
    exportList = scdicNewIndexed();
    nextData = 4;
    codePos = 0;
    bodyJumpPos = 0;
    lastBodyEnd = 0;
    bodyJumped = false;
    lastProgress = -1;
    discard = 0;
    forkFrameBase = INT_MIN;
    forkOwnFrame = false;
    staticInit = 0;
    dataSequence = 0;
    currentFunction = nullptr;
    currentClass = nullptr;  // a compile that failed inside a member body left it set
    declaredClass = nullptr;
    firstLocalMark = nullptr;
    scopeMark = nullptr;
    localOffset = 0;
    stackSize = savedStack;
    paramTable.clear();
    ClearRegisters();
    if (g_keptCode) {
        scmTrack(g_keptCode);  // the sweep frees it if this compile fails
        code.data = g_keptCode;
        code.capacity = g_keptCodeBytes;
        code.length = 0;
        g_keptCode = nullptr;
    } else {
        scbufInit(&code, 4090);
    }
    ++g_compiles;
    // Room for the code from the start, about twice the bytes of the source:
    // growing a large buffer step by step would copy it each time.
    long sourceBytes = 0;
    for (int i = 0; i <= text->lastLine; ++i) sourceBytes += long(std::strlen(text->lines[i])) + 1;
    scbufReserve(&code, int(std::min(sourceBytes * 2, 1L << 28)));
    scbufInit(&records, 1023);
    scbufInit(&pool, 1023);
    scbufInit(&imports, 4090);
    scByteBuffer image;
    scbufInit(&image, 4090);
    text->currentLine = 0;
    text->position = 0;
    text->lineOffset = 0;
    std::snprintf(text->name, sizeof text->name, "%s", title);

    EmitByte(opENTER);
    PadCode();
    ReadBlock(nullptr, false);
    // End of the initialisation routine.
    if (code.length == 4) {
        codePos = 0;
        code.length = 0;
        EmitByte(opRET);
        PadCode();
    } else if (bodyJumped && lastBodyEnd == code.length) {
        int end = code.length;
        codePos = bodyJumpPos;
        EmitByte(opLEAVE);
        EmitByte(opRET);
        PadCode();
        // The jump's offset word behind the RET stays as it was (never executed).
        codePos = end;
        code.length = end;
    } else {
        // Top-level code after the last body (or no body): the routine ends here.
        EmitByte(opLEAVE);
        EmitByte(opRET);
        PadCode();
    }
    int cleanup = code.length;
    codePos = cleanup;
    // Member functions of structures must be defined or imported.
    for (scSymbol* t = types->first; t; t = t->next)
        if (t->flags & 0x40)
            for (scSymbol* m = t->members; m; m = m->next)
                if (IsFunction(SymType(m)) && m->address < 0 && !(m->flags & 0x20))
                    Error(scerr_DECLARATION, "Function `%s.%s' declared and not defined!", t->name, m->name);

    // Header.
    const uint32_t header[18] = {zedi::kMagicZedI, zedi::kMagicVCPU, 94, 0, 72, 0, 0, 0, 0, 0, 0, 0, 0,
                                 uint32_t(stackSize), 0, 0, uint32_t(cleanup), zedi::kMagicEOH};
    scbufAppend(&image, 72, header);
    scEngine_Set_Setting(scset_STACK_SIZE, savedStack);
    auto chunk = [&](const char* tag, const char* value) {
        scbufAppend(&image, 4, tag);
        int len = (int(std::strlen(value)) + 1 + 3) & ~3;
        scbufAppendWord(&image, len);
        int at = image.length;
        scbufAppendString(&image, value);
        while (image.length < at + len) {
            uint8_t z = 0;
            scbufAppend(&image, 1, &z);
        }
    };
    chunk("TITL", title);
    chunk("AUTH", author);
    scbufAppend(&image, 4, "END!");
    for (scSymbol* s = symbols->first; s; s = s->next)
        if (IsFunction(SymType(s)) && s->address < 0 && !(s->flags & 0x20))
            Error(scerr_DECLARATION, "Function `%s' declared and not defined!", s->name);
    // Clean-up routine.
    EmitByte(opENTER);
    DestroyGlobals();
    int dataSize = 0;
    for (scSymbol* s = symbols->first; s; s = s->next)
        if ((s->flags & 7) == 2 && !(s->flags & 0x20)) {
            int end = s->address + SizeOf(SymType(s));
            if (end > dataSize) dataSize = end;
        }
    EmitByte(opLEAVE);
    EmitByte(opRET);
    PadCode();
    auto setWord = [&](int at, int value) { std::memcpy(image.data + at, &value, 4); };
    setWord(44, dataSize);
    // Exports.
    scbufPad4(&image);
    setWord(20, image.length);
    for (scSymbol* e = exportList->first; e; e = e->next) {
        scSymbol* s = scdicLookup(symbols, e->name);
        if (!s) {
            // STRUCT.MEMBER; with more dots, each further structure name is
            // looked up in the type dictionary from the one before it on.
            const char* dot = std::strchr(e->name, '.');
            if (!dot) Error(scerr_DECLARATION, "Unable to export %s!", e->name);
            scSymbol* st = types->first;
            const char* part = e->name;
            for (; dot; part = dot + 1, dot = std::strchr(part, '.')) {
                st = scdicFind(st, std::string(part, size_t(dot - part)).c_str());
                if (!st) Error(scerr_DECLARATION, "Structure %s does not exist!", std::string(e->name, size_t(dot - e->name)).c_str());
                if (!(st->flags & 0x40)) Error(scerr_DECLARATION, "%s is not a structure!", e->name);
            }
            s = scdicFind(st->members, part);
            if (!s) Error(scerr_DECLARATION, "Unable to export %s!", e->name);
        }
        scbufAppendString(&image, e->name);
        scbufPad4(&image);
        scbufAppendWord(&image, s->address);
        scbufAppendWord(&image, IsFunction(SymType(s)) ? s->paramBytes : -1);
    }
    uint8_t zero = 0;
    scbufAppend(&image, 1, &zero);
    // Imports.
    scbufAppend(&imports, 1, &zero);
    scbufPad4(&image);
    setWord(56, image.length);
    scbufAppend(&image, imports.length, imports.data);
    setWord(24, image.length);
    setWord(40, code.length);
    // The code, by far the largest part, stays in its buffer, the rest is
    // appended to it; what comes before it is copied in front of it: into the
    // image's own block when the buffer is kept, else moved up in the buffer.
    const int head = image.length;
    setWord(36, head + code.length);
    scbufAppend(&code, records.length, records.data);
    scbufAppendWord(&code, 0);
    scbufAppendWord(&code, 0);
    setWord(32, head + code.length);
    setWord(48, pool.length);
    scbufAppend(&code, pool.length, pool.data);
    setWord(12, head + code.length);
    void* block;
    if (g_compiles > 1 && code.capacity >= kKeptCodeMin && code.capacity <= kKeptCodeMax) {
        block = std::malloc(size_t(head + code.length));
        if (!block) throw std::bad_alloc();
        std::memcpy(block, image.data, size_t(head));
        std::memcpy(static_cast<uint8_t*>(block) + head, code.data, size_t(code.length));
        scmUntrack(code.data);
        g_keptCode = code.data;
        g_keptCodeBytes = code.capacity;
    } else {
        scbufPrepend(&code, head, image.data);
        block = scmDetach(code.data, code.length);
    }
    code = scByteBuffer{};
    image.data = nullptr;
    phase = phaseIDLE;
    return block;
}
