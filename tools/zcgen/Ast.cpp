#include "Ast.h"

namespace zcgen {

bool IsInteger(const Type* t) {
    return t->kind == Kind::U8 || t->kind == Kind::U16 || t->kind == Kind::I32 || t->kind == Kind::U32;
}
bool IsScalar(const Type* t) { return IsInteger(t) || t->kind == Kind::F64; }
bool IsArith(const Type* t) { return IsScalar(t); }

namespace {
const Type kScalars[] = {{Kind::U8}, {Kind::U16}, {Kind::I32}, {Kind::U32}, {Kind::F64}};
const Type kVoid{Kind::Void, nullptr, nullptr, 0, 0};
}  // namespace

const Type* Types::U8() { return &kScalars[0]; }
const Type* Types::U16() { return &kScalars[1]; }
const Type* Types::I32() { return &kScalars[2]; }
const Type* Types::U32() { return &kScalars[3]; }
const Type* Types::F64() { return &kScalars[4]; }
const Type* Types::Void() { return &kVoid; }
const Type* Types::Scalar(Kind k) {
    switch (k) {
    case Kind::U8: return U8();
    case Kind::U16: return U16();
    case Kind::I32: return I32();
    case Kind::U32: return U32();
    case Kind::F64: return F64();
    default: return Void();
    }
}

const Type* Types::Array(const Type* elem, int count) {
    for (const Type& t : made_)
        if (t.kind == Kind::Array && t.elem == elem && t.count == count) return &t;
    made_.push_back({Kind::Array, nullptr, elem, count, elem->cells * count});
    return &made_.back();
}

const Type* Types::Struct(const StructDef* def) {
    for (const Type& t : made_)
        if (t.kind == Kind::Struct && t.def == def) return &t;
    int cells = 0;
    for (const Field& f : def->fields) cells += f.type->cells;
    made_.push_back({Kind::Struct, def, nullptr, 0, cells});
    return &made_.back();
}

}  // namespace zcgen
