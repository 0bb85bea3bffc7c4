// Built-in headers and the host functions of the standard classes.
//
// A `string` object is one word, the script address of its text (0 for none); texts
// live in the script address space, allocated and freed through its heap. A `vector`
// is three doubles. Every member takes the object's script address first (they are
// imported through dispatcher 1); a `vector` result is written through a result
// address passed before the object, a `string` result is its text's address, which
// the dispatcher stores into the caller's temporary.
#include "Builtins.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Compiler.h"
#include "HostCall.h"
#include "Instance.h"
#include "VmSpace.h"

namespace zedi {
namespace {

const char kInstancesHeader[] =
    "#ifndef ZedI_Internal_Instances\n"
    "#define scstatus_FREE 0\n"
    "#define scstatus_RUNNING 1\n"
    "#define scstatus_PAUSED 2\n"
    "import void scKill_My_Forked_Instances();\n"
    "import void scKill_Forked(int);\n"
    "import int scGet_Forked_Status(int);\n"
    "import int scGet_Actual_Priority();\n"
    "#define ZedI_Internal_Instances\n"
    "#endif\n";

const char kStdlibHeader[] =
    "#ifndef ZedI_Internal_StdLib\n"
    "#include Instances\n"
    "class string {\n"
    "public:\n"
    "  char *cstr;\n"
    "  c_import string();\n"
    "  c_import(string_SZ) string(char *x);\n"
    "  c_import(string_I) string(int x);\n"
    "  c_import(stringCC) string(string& f);\n"
    "  c_import ~string();\n"
    "  c_import int length();\n"
    "  c_import(operator=(int)) string& operator=(int x);\n"
    "  c_import string& operator=(string& s);\n"
    "  c_import(operator=(char*)) string& operator=(char *s);\n"
    "  c_import string operator+(string& x);\n"
    "  c_import(operator+(char*)) string operator+(char *s);\n"
    "  c_import string sub(int start,int len);\n"
    "  c_import string operator()(int start,int len);\n"
    "  c_import int cmp(string& x);\n"
    "  c_import bool operator==(string& x);\n"
    "  c_import bool operator!=(string& x);\n"
    "  c_import bool operator>(string& x);\n"
    "  c_import bool operator<(string& x);\n"
    "  c_import bool operator>=(string& x);\n"
    "  c_import bool operator<=(string& x);\n"
    "  c_import(operator==(char*)) bool operator==(char *x);\n"
    "  c_import void operator+=(string& x);\n"
    "  c_import(operator+=(char*)) void operator+=(char *x);\n"
    "  c_import void del(int start,int len);\n"
    "  c_import void insert(int start,string& x);\n"
    "  c_import int find(string& x);\n"
    "  c_import int replace(string& what,string& with,bool global=false);\n"
    "  c_import int toInt();\n"
    "  c_import int operator(int)();\n"
    "  c_import char& operator[](int idx);\n"
    "  c_import void reconstruct();\n"
    "};\n"
    "class hashInt {\n"
    "public:\n"
    "  void *table;\n"
    "  c_import hashInt();\n"
    "  c_import ~hashInt();\n"
    "  c_import void** operator[](int key);\n"
    "  c_import void add(int key,void *value);\n"
    "  c_import bool exists(int key);\n"
    "  c_import void remove(int key);\n"
    "  c_import void* get(int key);\n"
    "  c_import void empty();\n"
    "  c_import int first();\n"
    "  c_import int next();\n"
    "};\n"
    "class hashStr {\n"
    "public:\n"
    "  void *table;\n"
    "  c_import hashStr();\n"
    "  c_import ~hashStr();\n"
    "  c_import void** operator[](char *key);\n"
    "  c_import void add(char *key,void *value);\n"
    "  c_import bool exists(char *key);\n"
    "  c_import void remove(char *key);\n"
    "  c_import void* get(char *key);\n"
    "  c_import void empty();\n"
    "  c_import char* first();\n"
    "  c_import char* next();\n"
    "};\n"
    "struct vector {\n"
    "  double x,y,z;\n"
    "  c_import(vectorVOID) vector();\n"
    "  c_import vector(double x,double y,double z);\n"
    "  c_import(vectorCC) vector(vector& v);\n"
    "  c_import vector& operator=(vector& v);\n"
    "  c_import ~vector();\n"
    "  c_import vector operator+(vector& v);\n"
    "  c_import vector operator-(vector& v);\n"
    "  c_import vector operator*(vector& v);\n"
    "  c_import void operator+=(vector& v);\n"
    "  c_import void operator-=(vector& v);\n"
    "  c_import void operator*=(vector& v);\n"
    "  c_import bool operator==(vector& v);\n"
    "  c_import bool operator!=(vector& v);\n"
    "  c_import bool operator<(vector& v);\n"
    "  c_import bool operator>(vector& v);\n"
    "  c_import bool operator<=(vector& v);\n"
    "  c_import bool operator>=(vector& v);\n"
    "  c_import void normalize();\n"
    "  c_import double length();\n"
    "};\n"
    "#define ZedI_Internal_StdLib\n"
    "#endif\n";

const char kKernelHeader[] =
    "#ifndef ZedI_Internal_Kernel\n"
    "#include Instances\n"
    "#define scrights_KERNEL 256 // can call all imported kernel API function\n"
    "#define scrights_USER 0\n"
    "// when no instance is being run:\n"
    "#define scrights_TOP MAXINT\n"
    "typedef void scInstance;\n"
    "typedef void* scScript;\n"
    "import scInstance* scCreate_Instance(scScript image,char *text,...);\n"
    "import scInstance* scFork_Instance(scInstance* instance);\n"
    "import void scFree_Instance(scInstance* instance);\n"
    "import scScript scCompile_File(char *fileName);\n"
    "import scScript scCompile_Text(char *text);\n"
    "import scScript scLoad_Script(char *fileName);\n"
    "import scInstance* scGet_This();\n"
    "import scInstance* scGet_Forked(scInstance* instance,int id);\n"
    "import scInstance* scGet_Actual_Forked(int id);\n"
    "import void scPause_Instance(scInstance* instance,int pause);\n"
    "import void scKill_Instance(scInstance* instance);\n"
    "import void scKill_Forked_Instances(scInstance* instance);\n"
    "import int scGet_Script_Size(scScript image);\n"
    "import int scCall_Instance(scInstance* instance,int address,...);\n"
    "import int scVCall_Instance(scInstance* instance,int address,int bytes,int *params);\n"
    "import int scStart_Instance(scInstance* instance,...);\n"
    "import int scGet_Symbol(scInstance* instance,char *name);\n"
    "import int scLaunch_Instance(scInstance* instance,int spd,int address,...);\n"
    "import void scSet_Priority(scInstance* instance,int priority_level);\n"
    "import int scGet_Priority(scInstance* instance);\n"
    "#define ZedI_Internal_Kernel\n"
    "#endif\n";

[[noreturn]] void Fail(const char* what) { throw std::runtime_error(what); }

VmSpace& Vm() { return VmSpace::Get(); }

uint8_t* At(uint32_t addr, uint32_t bytes) {
    uint8_t* p = Vm().Check(addr, bytes);
    if (!p) Fail("Access violation");
    return p;
}

// ---- string ----

uint32_t TextOf(uint32_t object) { return LoadWord(At(object, 4)); }

// The text at a script address; a NULL text reads as "".
std::string Read(uint32_t text) {
    if (!text) return {};
    int32_t n = Vm().TextLength(text);
    if (n < 0) Fail("bad text");
    return std::string(reinterpret_cast<const char*>(Vm().Ptr(text)), size_t(n));
}
std::string TextString(uint32_t object) { return Read(TextOf(object)); }

uint32_t NewText(const std::string& s) {
    uint32_t a = scScript_Alloc(uint32_t(s.size() + 1));
    if (!a) Fail("out of script memory");
    std::memcpy(Vm().Ptr(a), s.data(), s.size());
    Vm().Ptr(a)[s.size()] = 0;
    return a;
}

// Frees the object's text when the heap handed it out; a text the string does not
// own (a literal put into `cstr` by the script) is left alone.
void DropText(uint32_t object) {
    uint32_t t = TextOf(object);
    if (t && Vm().BlockSize(t)) scScript_Free(t);
    StoreWord(At(object, 4), 0);
}

void SetText(uint32_t object, uint32_t text) { StoreWord(At(object, 4), text); }

// Replaces the object's text by a copy of `s` (no text when `none`).
void Assign(uint32_t object, const std::string& s, bool none) {
    uint32_t fresh = none ? 0 : NewText(s);
    DropText(object);
    SetText(object, fresh);
}

std::string Decimal(int x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", x);
    return buf;
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

void StrInit(scVmAddr self) { SetText(self.value, 0); }
void StrInitSz(scVmAddr self, scVmAddr x) { SetText(self.value, x.value ? NewText(Read(x.value)) : 0); }
void StrInitI(scVmAddr self, int x) { SetText(self.value, NewText(Decimal(x))); }
void StrInitCopy(scVmAddr self, scVmAddr f) {
    uint32_t t = TextOf(f.value);
    SetText(self.value, t ? NewText(Read(t)) : 0);
}
void StrDone(scVmAddr self) { DropText(self.value); }
int StrLength(scVmAddr self) { return int(TextString(self.value).size()); }
scVmAddr StrSetI(scVmAddr self, int x) { Assign(self.value, Decimal(x), false); return self; }
scVmAddr StrSet(scVmAddr self, scVmAddr s) {
    uint32_t t = TextOf(s.value);
    Assign(self.value, Read(t), t == 0);
    return self;
}
scVmAddr StrSetSz(scVmAddr self, scVmAddr s) {
    Assign(self.value, Read(s.value), s.value == 0);
    return self;
}
scVmAddr StrPlus(scVmAddr self, scVmAddr x) { return {NewText(TextString(self.value) + TextString(x.value))}; }
scVmAddr StrPlusSz(scVmAddr self, scVmAddr s) { return {NewText(TextString(self.value) + Read(s.value))}; }

scVmAddr StrSub(scVmAddr self, int start, int len) {
    std::string s = TextString(self.value);
    int n = int(s.size());
    start = Clamp(start, 0, n);
    len = Clamp(len, 0, n - start);
    return {NewText(s.substr(size_t(start), size_t(len)))};
}

int StrCmp(scVmAddr self, scVmAddr x) {
    int c = std::strcmp(TextString(self.value).c_str(), TextString(x.value).c_str());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}
bool StrEq(scVmAddr a, scVmAddr b) { return StrCmp(a, b) == 0; }
bool StrNe(scVmAddr a, scVmAddr b) { return StrCmp(a, b) != 0; }
bool StrGt(scVmAddr a, scVmAddr b) { return StrCmp(a, b) > 0; }
bool StrLt(scVmAddr a, scVmAddr b) { return StrCmp(a, b) < 0; }
bool StrGe(scVmAddr a, scVmAddr b) { return StrCmp(a, b) >= 0; }
bool StrLe(scVmAddr a, scVmAddr b) { return StrCmp(a, b) <= 0; }
bool StrEqSz(scVmAddr a, scVmAddr s) { return TextString(a.value) == Read(s.value); }

// Length of the text at a script address; a NULL text has length 0.
uint32_t TextSize(uint32_t text) {
    if (!text) return 0;
    int32_t n = Vm().TextLength(text);
    if (n < 0) Fail("bad text");
    return uint32_t(n);
}

// Appends the text at `add` (none when `none`). A text the string owns grows in
// place while its block has room; otherwise it moves to a block with room for
// as much again, so a string built by appends is copied a few times in all,
// not once per append.
void Append(uint32_t object, uint32_t add, bool none) {
    if (none) return;
    uint32_t addLen = TextSize(add);
    uint32_t t = TextOf(object);
    uint32_t len = TextSize(t);
    uint32_t room = t ? Vm().BlockSize(t) : 0;  // 0 for a text the string does not own
    uint64_t need = uint64_t(len) + addLen + 1;
    if (need > room) {
        if (need > VmSpace::kRegionSize / 2) Fail("out of script memory");
        uint32_t fresh = scScript_Alloc(uint32_t(need < 32 ? 32 : need * 2));
        if (!fresh) Fail("out of script memory");
        std::memcpy(Vm().Ptr(fresh), Vm().Ptr(t), len);
        // The addition may be the old text itself: copy it before the free.
        std::memcpy(Vm().Ptr(fresh) + len, Vm().Ptr(add), addLen);
        Vm().Ptr(fresh)[len + addLen] = 0;
        if (room) scScript_Free(t);
        SetText(object, fresh);
        return;
    }
    std::memmove(Vm().Ptr(t) + len, Vm().Ptr(add), addLen);
    Vm().Ptr(t)[len + addLen] = 0;
}
void StrAdd(scVmAddr self, scVmAddr x) {
    uint32_t t = TextOf(x.value);
    Append(self.value, t, t == 0);
}
void StrAddSz(scVmAddr self, scVmAddr x) { Append(self.value, x.value, x.value == 0); }

void StrDel(scVmAddr self, int start, int len) {
    uint32_t t = TextOf(self.value);
    if (!t) return;
    std::string s = Read(t);
    int n = int(s.size());
    start = Clamp(start, 0, n);
    len = Clamp(len, 0, n - start);
    if (len == 0) return;
    s.erase(size_t(start), size_t(len));
    Assign(self.value, s, false);
}

void StrInsert(scVmAddr self, int start, scVmAddr x) {
    std::string s = TextString(self.value);
    std::string add = TextString(x.value);
    if (add.empty()) return;
    start = Clamp(start, 0, int(s.size()));
    s.insert(size_t(start), add);
    Assign(self.value, s, false);
}

int StrFind(scVmAddr self, scVmAddr x) {
    size_t p = TextString(self.value).find(TextString(x.value));
    return p == std::string::npos ? -1 : int(p);
}

int StrReplace(scVmAddr self, scVmAddr what, scVmAddr with, bool global) {
    // Nothing to do when a string has no text (an empty `with' still deletes).
    if (!TextOf(self.value) || !TextOf(what.value) || !TextOf(with.value)) return 0;
    std::string s = TextString(self.value);
    std::string w = TextString(what.value), by = TextString(with.value);
    if (w.empty()) return 0;
    // Built piece by piece: replacing in place would move the tail once per match.
    int count = 0;
    size_t pos = 0;
    std::string out;
    for (;;) {
        size_t at = s.find(w, pos);
        if (at == std::string::npos) break;
        out.append(s, pos, at - pos);
        out += by;
        pos = at + w.size();
        ++count;
        if (!global) break;
    }
    out.append(s, pos, std::string::npos);
    if (count) Assign(self.value, out, false);
    return count;
}

int StrToInt(scVmAddr self) {
    std::string s = TextString(self.value);
    long v = std::strtol(s.c_str(), nullptr, 0);
    // A script's long is 32 bits: out-of-range values saturate as there.
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return int(v);
}

scVmAddr StrAt(scVmAddr self, int idx) {
    uint32_t t = TextOf(self.value);
    if (!t) Fail("index into a string without text");
    int n = int(Read(t).size());
    if (idx < 0) Fail("string index out of range");
    return {t + uint32_t(idx > n ? n : idx)};  // past the end: the terminating NUL
}

void StrReconstruct(scVmAddr) {}

// ---- vector ----

struct Vec {
    double x, y, z;
};

Vec Load(uint32_t a) {
    Vec v;
    std::memcpy(&v, At(a, 24), 24);
    return v;
}
void Store(uint32_t a, const Vec& v) { std::memcpy(At(a, 24), &v, 24); }
Vec Cross(const Vec& a, const Vec& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

void VecInitVoid(scVmAddr self) { Store(self.value, {0, 0, 0}); }
void VecInit(scVmAddr self, double x, double y, double z) { Store(self.value, {x, y, z}); }
void VecCopy(scVmAddr self, scVmAddr v) { Store(self.value, Load(v.value)); }
scVmAddr VecSet(scVmAddr self, scVmAddr v) { Store(self.value, Load(v.value)); return self; }
void VecDone(scVmAddr) {}
void VecPlus(scVmAddr r, scVmAddr a, scVmAddr b) {
    Vec p = Load(a.value), q = Load(b.value);
    Store(r.value, {p.x + q.x, p.y + q.y, p.z + q.z});
}
void VecMinus(scVmAddr r, scVmAddr a, scVmAddr b) {
    Vec p = Load(a.value), q = Load(b.value);
    Store(r.value, {p.x - q.x, p.y - q.y, p.z - q.z});
}
void VecTimes(scVmAddr r, scVmAddr a, scVmAddr b) { Store(r.value, Cross(Load(a.value), Load(b.value))); }
void VecAdd(scVmAddr a, scVmAddr b) { VecPlus(a, a, b); }
void VecSub(scVmAddr a, scVmAddr b) { VecMinus(a, a, b); }
void VecMul(scVmAddr a, scVmAddr b) { VecTimes(a, a, b); }
bool VecEq(scVmAddr a, scVmAddr b) {
    Vec p = Load(a.value), q = Load(b.value);
    return p.x == q.x && p.y == q.y && p.z == q.z;
}
bool VecNe(scVmAddr a, scVmAddr b) { return !VecEq(a, b); }
template <class Rel>
bool All(scVmAddr a, scVmAddr b, Rel rel) {
    Vec p = Load(a.value), q = Load(b.value);
    return rel(p.x, q.x) && rel(p.y, q.y) && rel(p.z, q.z);
}
bool VecLt(scVmAddr a, scVmAddr b) { return All(a, b, [](double u, double v) { return u < v; }); }
bool VecGt(scVmAddr a, scVmAddr b) { return All(a, b, [](double u, double v) { return u > v; }); }
bool VecLe(scVmAddr a, scVmAddr b) { return All(a, b, [](double u, double v) { return u <= v; }); }
bool VecGe(scVmAddr a, scVmAddr b) { return All(a, b, [](double u, double v) { return u >= v; }); }
double VecLength(scVmAddr a) {
    Vec v = Load(a.value);
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}
// A zero vector has no direction and stays as it is.
void VecNormalize(scVmAddr a) {
    double l = VecLength(a);
    if (l == 0) return;
    Vec v = Load(a.value);
    double k = 1 / l;
    Store(a.value, {v.x * k, v.y * k, v.z * k});
}

// ---- the instance API for scripts ----

// The image of a handle; NULL for 0, which the functions taking it answer.
scScript ImageOf(uint32_t handle) {
    if (!handle) return nullptr;
    scScript s = scScript_From_Handle(handle);
    if (!s) Fail("invalid script handle");
    return s;
}

// Host texts handed to scripts, one copy per distinct text.
uint32_t SharedText(const char* text) {
    static std::map<std::string, char*> texts;
    if (!text) return 0;
    char*& t = texts[text];
    if (!t) t = scNew_Text(text);
    return VmSpace::Get().AddrOf(t);
}

const char* HostText(scHostCall& c) {
    uint32_t a = DecodeArg<scVmAddr>(c).value;
    if (!a) return nullptr;
    if (Vm().TextLength(a) < 0) Fail("bad text argument");
    return reinterpret_cast<const char*>(Vm().Ptr(a));
}

scInstance* InstanceArg(scHostCall& c) {
    scInstance* i = DecodeArg<scInstance*>(c);
    if (!c.error.empty()) Fail(c.error.c_str());
    return i;
}

// The rest of the call's words as a parameter block.
std::vector<int> Rest(scHostCall& c) {
    std::vector<int> w(c.words + c.pos, c.words + c.count);
    c.pos = c.count;
    return w;
}

}  // namespace

void RegisterBuiltins() {
    scRegister_Builtin_Header("Instances", kInstancesHeader);
    scRegister_Builtin_Header("stdlib", kStdlibHeader);
    scRegister_Host_Symbol("scKill_My_Forked_Instances", scKill_My_Forked_Instances);
    scRegister_Host_Symbol("scKill_Forked", scKill_Forked);
    scRegister_Host_Symbol("scGet_Forked_Status", scGet_Forked_Status);
    scRegister_Host_Symbol("scGet_Actual_Priority", scGet_Actual_Priority);

#define ZEDI_HOST(name, fn) scRegister_Host_Symbol(name, fn)
    ZEDI_HOST("string.string", StrInit);
    ZEDI_HOST("string.string_SZ", StrInitSz);
    ZEDI_HOST("string.string_I", StrInitI);
    ZEDI_HOST("string.stringCC", StrInitCopy);
    ZEDI_HOST("string.~string", StrDone);
    ZEDI_HOST("string.length", StrLength);
    ZEDI_HOST("string.operator=(int)", StrSetI);
    ZEDI_HOST("string.operator=", StrSet);
    ZEDI_HOST("string.operator=(char*)", StrSetSz);
    ZEDI_HOST("string.operator+", StrPlus);
    ZEDI_HOST("string.operator+(char*)", StrPlusSz);
    ZEDI_HOST("string.sub", StrSub);
    ZEDI_HOST("string.operator()", StrSub);
    ZEDI_HOST("string.cmp", StrCmp);
    ZEDI_HOST("string.operator==", StrEq);
    ZEDI_HOST("string.operator!=", StrNe);
    ZEDI_HOST("string.operator>", StrGt);
    ZEDI_HOST("string.operator<", StrLt);
    ZEDI_HOST("string.operator>=", StrGe);
    ZEDI_HOST("string.operator<=", StrLe);
    ZEDI_HOST("string.operator==(char*)", StrEqSz);
    ZEDI_HOST("string.operator+=", StrAdd);
    ZEDI_HOST("string.operator+=(char*)", StrAddSz);
    ZEDI_HOST("string.del", StrDel);
    ZEDI_HOST("string.insert", StrInsert);
    ZEDI_HOST("string.find", StrFind);
    ZEDI_HOST("string.replace", StrReplace);
    ZEDI_HOST("string.toInt", StrToInt);
    ZEDI_HOST("string.operator(int)", StrToInt);
    ZEDI_HOST("string.operator[]", StrAt);
    ZEDI_HOST("string.reconstruct", StrReconstruct);

    ZEDI_HOST("vector.vectorVOID", VecInitVoid);
    ZEDI_HOST("vector.vector", VecInit);
    ZEDI_HOST("vector.vectorCC", VecCopy);
    ZEDI_HOST("vector.operator=", VecSet);
    ZEDI_HOST("vector.~vector", VecDone);
    ZEDI_HOST("vector.operator+", VecPlus);
    ZEDI_HOST("vector.operator-", VecMinus);
    ZEDI_HOST("vector.operator*", VecTimes);
    ZEDI_HOST("vector.operator+=", VecAdd);
    ZEDI_HOST("vector.operator-=", VecSub);
    ZEDI_HOST("vector.operator*=", VecMul);
    ZEDI_HOST("vector.operator==", VecEq);
    ZEDI_HOST("vector.operator!=", VecNe);
    ZEDI_HOST("vector.operator<", VecLt);
    ZEDI_HOST("vector.operator>", VecGt);
    ZEDI_HOST("vector.operator<=", VecLe);
    ZEDI_HOST("vector.operator>=", VecGe);
    ZEDI_HOST("vector.normalize", VecNormalize);
    ZEDI_HOST("vector.length", VecLength);
#undef ZEDI_HOST
}

}  // namespace zedi

using namespace zedi;

void scRegister_Kernel_Header() {
    scEngine_Init();
    scRegister_Builtin_Header("Kernel", kKernelHeader);
    scRegister_Host_Raw("scCreate_Instance", [](scHostCall& c) {
        scScript image = ImageOf(DecodeArg<uint32_t>(c));
        c.pos = c.count;  // the text and the rest are not used
        StoreResult(c, KeepScriptInstance(scCreate_Instance(image)));
    });
    scRegister_Host_Symbol("scFork_Instance", scFork_Instance);
    scRegister_Host_Symbol("scFree_Instance", scFree_Instance);
    scRegister_Host_Raw("scCompile_File", [](scHostCall& c) { c.bits = KeepScriptImage(scCompile_File(HostText(c))); });
    scRegister_Host_Raw("scCompile_Text", [](scHostCall& c) {
        const char* t = HostText(c);
        c.bits = t ? KeepScriptImage(scCompile_Text(t)) : 0;
    });
    scRegister_Host_Raw("scLoad_Script", [](scHostCall& c) { c.bits = KeepScriptImage(scLoad_Script(HostText(c))); });
    scRegister_Host_Symbol("scGet_This", scGet_This);
    scRegister_Host_Symbol("scGet_Forked", scGet_Forked);
    scRegister_Host_Symbol("scGet_Actual_Forked", scGet_Actual_Forked);
    scRegister_Host_Symbol("scPause_Instance", scPause_Instance);
    scRegister_Host_Symbol("scKill_Instance", scKill_Instance);
    scRegister_Host_Symbol("scKill_Forked_Instances", scKill_Forked_Instances);
    scRegister_Host_Raw("scGet_Script_Size", [](scHostCall& c) {
        c.bits = uint32_t(scGet_Script_Size(ImageOf(DecodeArg<uint32_t>(c))));
    });
    scRegister_Host_Raw("scCall_Instance", [](scHostCall& c) {
        scInstance* i = InstanceArg(c);
        int address = DecodeArg<int>(c);
        std::vector<int> w = Rest(c);
        StoreResult(c, scVCall_Instance(i, address, int(w.size() * 4), w.data()));
    });
    scRegister_Host_Raw("scVCall_Instance", [](scHostCall& c) {
        scInstance* i = InstanceArg(c);
        int address = DecodeArg<int>(c);
        int bytes = DecodeArg<int>(c);
        uint32_t params = DecodeArg<scVmAddr>(c).value;
        // A negative count: the function's declared parameter bytes, if known.
        if (bytes < 0 && (bytes = DeclaredParamBytes(i, address)) < 0) {
            StoreResult(c, scVCall_Instance(i, address, -1, nullptr));
            return;
        }
        if (bytes % 4) Fail("bad parameter size");
        std::vector<int> w(size_t(bytes) / 4);
        if (bytes) std::memcpy(w.data(), At(params, uint32_t(bytes)), size_t(bytes));
        StoreResult(c, scVCall_Instance(i, address, bytes, w.data()));
    });
    scRegister_Host_Raw("scStart_Instance", [](scHostCall& c) {
        scInstance* i = InstanceArg(c);
        std::vector<int> w = Rest(c);
        StoreResult(c, scVCall_Instance(i, scGet_Symbol(i, "main"), int(w.size() * 4), w.data()));
    });
    scRegister_Host_Raw("scGet_Symbol", [](scHostCall& c) {
        scInstance* i = InstanceArg(c);
        const char* name = HostText(c);
        StoreResult(c, name ? scGet_Symbol(i, name) : -1);
    });
    scRegister_Host_Raw("scLaunch_Instance", [](scHostCall& c) {
        scInstance* i = InstanceArg(c);
        int spd = DecodeArg<int>(c);
        int address = DecodeArg<int>(c);
        std::vector<int> w = Rest(c);
        StoreResult(c, scLaunch_With_Params(i, spd, address, int(w.size() * 4), w.data()));
    });
    scRegister_Host_Symbol("scSet_Priority", scSet_Priority);
    scRegister_Host_Symbol("scGet_Priority", scGet_Priority);
    scRegister_Host_Raw("scGet_Title", [](scHostCall& c) {
        c.bits = SharedText(scGet_Title(ImageOf(DecodeArg<uint32_t>(c))));
    });
    scRegister_Host_Raw("scGet_Author", [](scHostCall& c) {
        c.bits = SharedText(scGet_Author(ImageOf(DecodeArg<uint32_t>(c))));
    });
    scRegister_Host_Raw("scGet_Instance_Title", [](scHostCall& c) {
        c.bits = SharedText(scGet_Instance_Title(InstanceArg(c)));
    });
}
