// Declarations: type specifiers, declarators and parameter lists.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Compiler.h"
#include "Image.h"
#include "VARS.h"

namespace zedi {
// The 35 reserved words of the language.
const char* const kReservedWords[] = {
    "int", "long", "char", "fixed", "float", "double", "short", "register", "void",
    "unsigned", "signed", "static", "const", "struct", "class", "script", "union", "enum",
    "typedef", "import", "export", "return", "if", "else", "switch", "case", "default",
    "break", "for", "while", "do", "fork", "secured", "sizeof", "typeof",
};
const int kReservedWordCount = int(sizeof kReservedWords / sizeof kReservedWords[0]);
bool IsReservedWord(const char* word) {
    if (int marks = zc::LexemeMarks(word); marks >= 0) return marks & zc::markRESERVED;
    // The words by their first byte.
    static const struct ByFirst {
        std::vector<const char*> of[256];
        ByFirst() {
            for (const char* w : kReservedWords) of[uint8_t(w[0])].push_back(w);
        }
    } byFirst;
    for (const char* w : byFirst.of[uint8_t(word[0])])
        if (!std::strcmp(w + 1, word + 1)) return true;
    return false;
}
}  // namespace zedi

namespace zc {

static const char* const kPredefinedNames[] = {"int", "long", "char", "fixed", "float", "double", "short", "register", "void"};

bool IsValidIdentifier(const char* name) {
    // (No reserved word begins with "operator".)
    if (int marks = LexemeMarks(name); marks >= 0) return marks == markWORD;
    if (name[0] == 'o' && !std::strncmp(name, "operator", 8)) return true;
    if (!name[0] || (name[0] >= '0' && name[0] <= '9')) return false;
    for (const char* p = name; *p; p++)
        if (!IsWordChar((unsigned char)*p)) return false;
    return !zedi::IsReservedWord(name);
}

static scSymbol* NewSymbol() {
    auto* s = static_cast<scSymbol*>(scmAlloc(sizeof(scSymbol)));
    s->address = -1;
    return s;
}

scSymbol* ParamAt(const char* p, const char** end, int* defaultIndex) {
    char* e;
    unsigned long i = std::strtoul(p, &e, 16);
    if (defaultIndex) *defaultIndex = -1;
    if (*e == '=') {
        unsigned long d = std::strtoul(e + 1, &e, 16);
        if (defaultIndex) *defaultIndex = int(d);
    }
    if (end) *end = e;
    if (i >= paramTable.size()) INTERNAL_ERROR("function params");
    return paramTable[i];
}

static void ReadStruct(bool isScript, Type& t);
static scSymbol* g_currentStruct = nullptr;  // the structure whose body is being read
static scSymbol* g_lastBodyRead = nullptr;   // the structure whose body was read last

// The structure or script a type is declared in, none at the top level (a
// structure of a script, at any depth, names the script).
static scSymbol* OwnerOf(const scSymbol* ty) {
    return (ty->flags & 0x40) ? static_cast<scSymbol*>(ty->extra) : nullptr;
}

static bool OfAScript(const scSymbol* st) { return st->typeKind == 8 || (st->flags & 0x80); }

// The type `name` declared directly in `outer` (none: at the top level).
static scSymbol* TypeIn(const scSymbol* outer, const char* name) {
    for (scSymbol* ty = scdicLookup(types, name); ty; ty = scdicLookupNext(types, ty))
        if (OwnerOf(ty) == outer) return ty;
    return nullptr;
}

scSymbol* FindTypeOfSeveral(scSymbol* newest, const char* name) {
    if (!scdicLookupNext(types, newest)) return newest;
    for (const scSymbol* outer = g_currentStruct; outer && !OfAScript(outer); outer = OwnerOf(outer))
        if (scSymbol* ty = TypeIn(outer, name)) return ty;
    if (scSymbol* ty = TypeIn(nullptr, name)) return ty;
    return newest;
}

// The structure named `name' declared inside the structure `outer', if any.
static scSymbol* NestedType(const scSymbol* outer, const std::string& name) {
    scSymbol* ty = name.empty() ? nullptr : TypeIn(outer, name.c_str());
    return ty && (ty->flags & 0x40) && !(ty->flags & 0x80) ? ty : nullptr;
}

// Whether the current lexeme qualifies a structure's name.
[[gnu::always_inline]] static inline bool IsQualifier() { return Is("::") || Is("."); }

// Reads a type specifier into a new symbol's type; none when no type is here.
scSymbol* ReadTypeSpec() {
    // The record is made only once a type is found.
    auto made = [](const Type& type) {
        scSymbol* s = NewSymbol();
        SetSymType(s, type);
        return s;
    };
    Type t;
    Next();
    if (IsPunct((unsigned char)Lex()[0])) return nullptr;
    bool uns = false, sig = false, any = false;
    // The words tested first are all reserved: a name that is not passes them.
    bool reserved = LexemeMarks(Lex()) != markWORD;
    for (; reserved;) {
        if (Is("struct") || Is("class") || Is("script")) {
            ReadStruct(Is("script"), t);
            return made(t);
        }
        if (Is("union")) Error(scerr_DECLARATION, "Sorry.Unions not implemented yet");
        if (Is("enum")) Error(scerr_DECLARATION, "Sorry.Enums not implemented yet");
        if (Is("static")) t.stat = true;
        else if (Is("const")) t.cnst = true;
        else if (Is("unsigned")) {
            if (sig) Error(scerr_DECLARATION, "Declare both signed and unsigned?");
            uns = true;
        } else if (Is("signed")) {
            if (uns) Error(scerr_DECLARATION, "Declare both signed and unsigned?");
            sig = true;
        } else if (Is("register")) {
            // register as a modifier: no effect on placement here
        } else
            break;
        any = true;
        Next();
    }
    for (int i = 0; reserved && i < 9; i++) {
        if (Is(kPredefinedNames[i])) {
            if (i == tLONG)
                Error(scerr_DECLARATION, "Type long is a 64bit long, yet not supported. \n(if you need 32-bit long, use int instead)");
            if (uns && i != tINT && i != tCHAR && i != tSHORT)
                Error(scerr_DECLARATION, "Only char,short and int can be unsigned");
            t.base = i;
            t.uns = uns;
            return made(t);
        }
    }
    if (uns || sig) {
        Back();
        t.base = tINT;
        t.uns = uns;
        return made(t);
    }
    if (g_currentStruct && Is(g_currentStruct->name) && src->currentLine <= src->lastLine &&
        src->lines[src->currentLine][src->position] == '(') {
        // The structure's own name directly followed by "(": a constructor.
        Back();
        t = Type();
        t.base = tVOID;
        return made(t);
    }
    scSymbol* ty = FindType(Lex());
    // Outer::Inner (or Outer.Inner) names a structure declared inside another,
    // as often as it is qualified.
    while (ty && (ty->flags & 0x40)) {
        const scSavedPosition beforeName = src->saved;
        if (!TryNext()) break;
        if (!IsQualifier()) {
            Back();
            break;
        }
        Next();
        if (scSymbol* inner = NestedType(ty, Lex())) {
            ty = inner;
            continue;
        }
        // Class::Class(...) and Class::~Class(): no result type; the declarator
        // reads the qualified name.
        scsSetPosition(src, beforeName.line, beforeName.position);
        t = Type();
        t.base = tVOID;
        return made(t);
    }
    if (ty) {
        Type tt = SymType(ty);
        if (ty->flags & 0x40) {  // a structure's own record
            tt = Type();
            tt.base = vSTRUCT;
            tt.st = ty;
        }
        tt.stat = t.stat;
        tt.cnst = t.cnst || tt.cnst;
        return made(tt);
    }
    if (any) {
        Back();
        return made(t);
    }
    return nullptr;
}

static bool ReadParameterList(int& count, std::string& out);

// After `operator': the name of the operator function.
static std::string ReadOperatorName() {
    static const char* const one[] = {"!", "%", "&", "*", "+", "-", "/", "<", "=", ">", "^", "|", "~"};
    static const char* const two[] = {"==", "<=", ">=", "+=", "-=", "/=", "*=", "%=", "++", "--", "!=",
                                      "<<", ">>", "[]", "^=", "&=", "|=", "<<=", ">>="};
    Next();
    for (const char* o : one)
        if (Is(o)) return std::string("operator") + o;
    for (const char* o : two)
        if (Is(o)) return std::string("operator") + o;
    if (Is("(")) {
        Next();
        if (Is(")")) return "operator()";
        std::string inner = Lex();
        if (inner == "char") {
            Next();
            Expect("*", "invalid operator function", scerr_DECLARATION);
            inner += "*";
        }
        Next();
        if (!Is(")") || (inner != "int" && inner != "double" && inner != "char*"))
            Error(scerr_DECLARATION, "invalid operator function");
        return "operator(" + inner + ")";
    }
    if (Is("[")) {
        Next();
        if (Is("]")) return "operator[]";
    }
    Error(scerr_DECLARATION, "invalid operator function");
}

std::string ReadMemberName() {
    std::string member = Lex();
    if (Is("~")) {
        Next();
        member += Lex();
    } else if (Is("operator")) {
        member = ReadOperatorName();
    }
    return member;
}

// After "(": whether a parameter list follows (a type or ")"), not arguments.
// Looks at the characters ahead without reading a lexeme.
static bool StartsParameters() {
    if (src->currentLine > src->lastLine) return true;
    const char* p = src->lines[src->currentLine] + src->position;
    while (*p == ' ' || *p == '\t') p++;
    if (!*p || *p == ')' || *p == '.') return true;
    std::string word;
    while (IsWordChar((unsigned char)*p)) word += *p++;
    if (word.empty()) return false;
    for (const char* n : {"const", "unsigned", "signed", "struct", "class", "static"})
        if (word == n) return true;
    for (const char* n : kPredefinedNames)
        if (word == n) return true;
    return scdicLookup(types, word.c_str()) != nullptr;
}

// Reads one declarator into the symbol (name and declarator text) over the base.
static int g_declaratorDepth = 0;

void ReadDeclarator(scSymbol* s, const Type& base) {
    Nesting guard(g_declaratorDepth, 100, "Declarator");
    std::string prefix, suffix, inner;
    bool haveName = false;
    for (;;) {
        Next();
        if (Is("*") || Is("&")) {
            prefix = std::string(Lex()) + prefix;
            continue;
        }
        break;
    }
    if (Is("(")) {
        // A parenthesised inner declarator.
        scSymbol tmp{};
        Type none;
        ReadDeclarator(&tmp, none);
        Next();
        if (!Is(")")) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, "`)'");
        inner = tmp.typeString ? tmp.typeString : "";
        s->name = tmp.name;
        haveName = true;
        Next();
    } else if (Is("operator")) {
        s->name = scmStrdup(ReadOperatorName().c_str());
        haveName = true;
        Next();
    } else if (!IsPunct((unsigned char)Lex()[0])) {
        s->name = scmStrdup(Lex());
        haveName = true;
        Next();
        if (IsQualifier()) {
            // Class::member or Class.member: a member function defined outside
            // its class; a structure declared in the class is qualified again.
            scSymbol* st = FindType(s->name);
            for (;;) {
                if (!st) Error(scerr_DECLARATION, "Structure `%s' does not exist", s->name);
                if (!(st->flags & 0x40) || st->typeKind != 2) Error(scerr_DECLARATION, "`%s' is not a structure", s->name);
                Next();
                s->name = scmStrdup(ReadMemberName().c_str());
                if (scSymbol* inner = NestedType(st, s->name)) {
                    Next();
                    if (IsQualifier()) {
                        st = inner;
                        continue;
                    }
                    Back();
                }
                if (!st->members) Error(scerr_DECLARATION, "Structure `%s' was not fully specified", st->name);
                if (!scdicFind(st->members, s->name))
                    Error(scerr_DECLARATION, "`%s' is not a member of %s", s->name, st->name);
                declaredClass = st;
                Next();
                break;
            }
        }
    }
    (void)haveName;
    for (;;) {
        if (Is("[")) {
            Val v;
            Next();
            if (Is("]")) Error(scerr_SYNTAX, "[] is illegal in ZedI. Sorry :-(");
            int before = codePos;
            if (!SubExp(1, v, true) || !v.imm || codePos != before || ValKind(v.t) != tINT || v.off < 0)
                Error(scerr_DECLARATION, "Constant integer array size expected");
            Expect("]", "`]' expected instead of `%s'", scerr_DECLARATION);
            suffix += "[" + std::to_string(v.off) + "]";
            Next();
            continue;
        }
        if (Is("[]")) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        if (Is("(")) {
            // Inside a function `T x(...)` of a class with constructors constructs x;
            // so does `T x(arguments)` of any class (a class without constructors
            // then gets the message of the failed constructor call).
            if (!g_currentStruct && prefix.empty() && suffix.empty() && inner.empty() && base.base == vSTRUCT &&
                base.decl.empty() && base.st && base.st->typeKind == 2 &&
                ((HasMember(base, base.st->name) && currentFunction) || !StartsParameters()))
                break;
            // Without a first parameter the parenthesis belongs to what follows.
            const scSavedPosition open = src->saved;
            int count = 0;
            std::string list;
            if (!ReadParameterList(count, list)) {
                scsSetPosition(src, open.line, open.position);
                Next();
                break;
            }
            suffix += list;
            continue;
        }
        break;
    }
    Back();
    std::string decl = inner + suffix + prefix;
    // A reference only as the first element (not to a function) or as a
    // function's result: every other "&" is a reference to a reference, a
    // pointer to one or an array of them.
    for (size_t at = decl.find('&'); at != std::string::npos; at = decl.find('&', at + 1)) {
        if (at != 0 && decl[at - 1] != ')') Error(scerr_DECLARATION, "invalid reference");
        if (at == 0 && decl.find('(') != std::string::npos) Error(scerr_DECLARATION, "invalid reference");
    }
    Type t = base;
    t.decl = decl + base.decl;
    if (!IsFunction(t) && SizeOf(t) > int(zedi::kMaxDataSize)) Error(scerr_DECLARATION, "Object too large");
    SetSymType(s, t);
}

// "(" has been read: the parameters, each written as its index in the table of
// parameter symbols; false when no declaration stands where the first is due.
static bool ReadParameterList(int& count, std::string& out) {
    out = "(";
    std::vector<std::string> names;
    for (;;) {
        Next();
        if (Is(")")) {
            out += ")";
            Next();
            return true;
        }
        if (Is("...")) {
            out += "...";
            Next();
            Expect(")");
            Back();
            continue;
        }
        Back();
        scSymbol* p = ReadTypeSpec();
        if (!p) {
            if (out == "(") return false;  // the first parameter
            Error(scerr_DECLARATION, "Parameter declaration expected at %s", Lex());
        }
        Type pt = SymType(p);
        ReadDeclarator(p, pt);
        // An array parameter is a pointer to its element, as in C: the argument
        // decays to one.
        if (p->typeString && p->typeString[0] == '[') {
            Type at = SymType(p);
            at.decl = "*" + Deeper(at).decl;
            SetSymType(p, at);
        }
        if (p->name) {
            for (size_t i = 0; i < names.size(); i++)
                if (names[i] == p->name)
                    Error(scerr_DECLARATION, "Parameters %d and %d has the same name '%s'", int(i) + 1,
                          int(names.size()) + 1, p->name);
        }
        names.push_back(p->name ? p->name : "");
        char buf[32];
        std::snprintf(buf, sizeof buf, "%x", unsigned(paramTable.size()));
        paramTable.push_back(p);
        out += buf;
        count++;
        Next();
        if (Is("=")) {
            Val v;
            Next();
            int before = codePos;
            if (!SubExp(1, v, true) || codePos != before || !v.imm)
                Error(scerr_DECLARATION, "Invalid default initializer");
            auto* def = NewSymbol();
            def->address = v.off;
            Type dt = v.t;
            SetSymType(def, dt);
            def->extra = scmAlloc(sizeof(double));
            std::memcpy(def->extra, &v.d, sizeof(double));
            std::snprintf(buf, sizeof buf, "=%x", unsigned(paramTable.size()));
            paramTable.push_back(def);
            out += buf;
        }
        if (Is(",")) {
            out += ",";
            continue;
        }
        if (Is(")")) {
            Back();
            continue;
        }
        Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    }
}

static int g_structDepth = 0;

// struct NAME { members } : members placed at aligned offsets.
// struct, class or script NAME { members }. Members of a structure get aligned
// offsets; members of a script get the 4-byte slots from 12 on.
static void ReadStruct(bool isScript, Type& t) {
    // Bodies nest through the host's stack (a member's type, a member
    // function's body, a parameter list may declare a structure again).
    Nesting guard(g_structDepth, 256, "Structures");
    const char* what = isScript ? "script" : "struct";
    if (isScript && g_currentStruct) Error(scerr_DECLARATION, "script cannot be a member of script");
    Next();
    if (Is("{")) Error(scerr_DECLARATION, "Identifier required in %s declaration", what);
    if (!IsValidIdentifier(Lex())) Error(scerr_DECLARATION, "Invalid identifier `%s' in %s declaration", Lex(), what);
    std::string name = Lex();
    // Inside a structure's body, a structure of its own; at the top level, one
    // of the top level.
    scSymbol* st = g_currentStruct && OfAScript(g_currentStruct) ? scdicLookup(types, name.c_str())
                                                                  : TypeIn(g_currentStruct, name.c_str());
    if (st && (!(st->flags & 0x40) || (st->typeKind == 8) != isScript))
        Error(scerr_DECLARATION, "`%s' already defined as non-%s", name.c_str(), isScript ? "script" : "structure");
    if (!st) {
        st = NewSymbol();
        st->name = scmStrdup(name.c_str());
        st->flags = 0x40;
        st->typeKind = isScript ? 8 : 2;
        scdicPush(types, st);
    }
    // A structure declared inside a script (or inside a structure of one) belongs to it.
    if (g_currentStruct && (g_currentStruct->typeKind == 8 || (g_currentStruct->flags & 0x80))) {
        st->flags |= 0x80;
        st->extra = g_currentStruct->typeKind == 8 ? g_currentStruct : g_currentStruct->extra;  // the script
    } else if (g_currentStruct) {
        st->extra = g_currentStruct;  // the structure it is declared in, which qualifies its name
    }
    int slot = 12;
    t = Type();
    t.base = vSTRUCT;
    t.st = st;
    Next();
    if (Is(";")) {
        Back();
        return;
    }
    Expect("{");
    if (st->members) Error(scerr_DECLARATION, "duplicate definition of `%s'", name.c_str());
    scSymbol* last = nullptr;
    int size = 0;
    bool afterBody = false;  // a member function's body just read, which a ";" may follow
    for (;;) {
        Next();
        if (Is("}")) break;
        if (Is(";")) {
            if (!afterBody) Error(scerr_DECLARATION, "not a type in type definition");
            afterBody = false;
            continue;
        }
        afterBody = false;
        if (Is("public") || Is("private") || Is("protected")) {
            Next();
            Expect(":");
            continue;
        }
        bool imported = false;
        int dispatcher = 0;
        std::string importName;
        if (Is("import")) {
            // import [( dispatcher / name )] before a member function.
            imported = true;
            ReadImportSpec(dispatcher, importName);
        }
        bool destructor = false;
        if (Is("~")) {
            Next();
            Expect(name.c_str());
            destructor = true;
        }
        Back();
        g_lastBodyRead = nullptr;
        scSymbol* m;
        {
            // Restored also when a compile error leaves from inside.
            struct Current {
                scSymbol* outer = g_currentStruct;
                ~Current() { g_currentStruct = outer; }
            } restore;
            g_currentStruct = st;
            m = ReadTypeSpec();
        }
        scSymbol* declaredHere = g_lastBodyRead;
        if (!m) Error(scerr_DECLARATION, "not a type in type definition");
        Type base = SymType(m);
        // A structure declared inside a script takes one slot per member, here.
        if (isScript && declaredHere)
            for (scSymbol* x = declaredHere->members; x; x = x->next) slot += 4;
        for (bool first = true;; first = false) {
            ReadDeclarator(m, base);
            Type mt = SymType(m);
            if (!first && !isScript) {
                if (!m->name) Error(scerr_DECLARATION, "type name not specified in type definition");
                if (IsFunction(mt)) Error(scerr_DECLARATION, "function can be declared one at a time!");
            }
            if (destructor && m->name) m->name = scmStrdup(("~" + std::string(m->name)).c_str());
            if (isScript) {
                // Every member of a script takes the next slot.
                if (!m->name) {
                    if (!(mt.base == vSTRUCT && mt.decl.empty()))
                        Error(scerr_DECLARATION, "member name not specified in struct declaration");
                    // Only a structure declared or named: no member of its own.
                    Next();
                    Expect(";");
                    break;
                }
                if (mt.base == vSTRUCT && mt.st == st && mt.decl.empty())
                    Error(scerr_DECLARATION, "recursive declaration (script '%s' inside itself)", name.c_str());
                if (!IsValidIdentifier(m->name)) Error(scerr_DECLARATION, "Invalid identifier `%s' in declaration", m->name);
                if (scdicFind(st->members, m->name)) Error(scerr_DECLARATION, "member `%s' already in script", m->name);
                m->address = slot;
                m->flags = 0x80;
                slot += 4;
                Next();
                if (Is("{")) Error(scerr_DECLARATION, "What? You want to define function `%s'? It'll come in the script!", m->name);
                if (Is(",")) {
                    if (IsFunction(mt)) Error(scerr_DECLARATION, "function can be declared one at a time!");
                } else {
                    Expect(";");
                }
                if (last) last->next = m;
                else st->members = m;
                last = m;
                if (Is(",")) {
                    m = NewSymbol();
                    continue;
                }
                break;
            }
            if (IsFunction(mt)) {
                // A member function repeats a name only with other parameters.
                for (scSymbol* same = st->members; same && m->name; same = same->next)
                    if (same->name && !std::strcmp(same->name, m->name) && IsFunction(SymType(same)) &&
                        SameParameters(SymType(same), mt))
                        Error(scerr_DECLARATION, "member `%s' already in structure", m->name);
                if (imported) {
                    m->flags = 0x20 | 4;
                    m->dispatcher = dispatcher;
                    m->paramBytes = ParamBytes(m) + 4;  // the object pointer comes first
                    // Imported as the class name, a point and the import or member name.
                    std::string full = name + "." + (importName.empty() ? std::string(m->name ? m->name : "") : importName);
                    m->importName = scmStrdup(full.c_str());
                } else {
                    m->flags = 13;
                }
                m->address = -1;
                Next();
                if (Is("{")) {
                    if (imported) Error(scerr_DECLARATION, "What? You want to define function `%s'? It's already imported!", m->name);
                    // Defined in the class: compiled now, seeing the members declared so far.
                    if (last) last->next = m;
                    else st->members = m;
                    last = m;
                    ReadMemberBody(st, m);
                    afterBody = true;
                    break;
                }
                if (Is(",")) Error(scerr_DECLARATION, "function can be declared one at a time!");
                Expect(";");
                if (last) last->next = m;
                else st->members = m;
                last = m;
                break;
            }
            if (!m->name && mt.base == vSTRUCT && mt.decl.empty() && !imported) {
                // Only a structure declared or named: no member of its own.
                Next();
                Expect(";");
                break;
            }
            if (imported) Error(scerr_DECLARATION, "A member variable (%s) cannot be imported", m->name ? m->name : "");
            if (!m->name) Error(scerr_DECLARATION, "member name not specified in struct declaration");
            if (mt.base == vSTRUCT && mt.st == st && mt.decl.empty())
                Error(scerr_DECLARATION, "recursive declaration (struct '%s' inside itself)", name.c_str());
            if (mt.base == vSTRUCT && mt.decl.empty() && !mt.st->members)
                Error(scerr_DECLARATION, "struct '%s' not fully specified", mt.st->name);
            if (!IsValidIdentifier(m->name)) Error(scerr_DECLARATION, "Invalid identifier `%s' in declaration", m->name);
            if (scdicFind(st->members, m->name)) Error(scerr_DECLARATION, "member `%s' already in structure", m->name);
            int a = AlignOf(mt);
            if (a) size = (size + a - 1) / a * a;
            m->address = size;
            size += SizeOf(mt);
            if (last) last->next = m;
            else st->members = m;
            last = m;
            Next();
            if (Is(",")) {
                m = NewSymbol();
                continue;
            }
            Expect(";");
            break;
        }
    }
    KeepStructLayout(st);
    g_lastBodyRead = st;
    Next();
    Back();
}

}  // namespace zc
