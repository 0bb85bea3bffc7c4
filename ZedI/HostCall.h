// Host symbols and typed host-call adapters.
//
// A host function is registered as an ordinary C++ function; a template decodes the
// script's parameter words by the function's signature and encodes its result.
// Import slots of functions hold a reference into the table of bindings; a name
// registered again gets a new binding, so instances created before keep the old.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>

#include "Engine.h"
#include "Instance.h"
#include "VmSpace.h"

// A script address passed or returned as it is.
struct scVmAddr {
    uint32_t value;
};

// The words of a variable argument list (the rest of the parameter block).
class scVarArgs {
public:
    scVarArgs() = default;
    scVarArgs(const uint32_t* words, size_t count) : w_(words), n_(count) {}
    bool Word(uint32_t& v) {
        if (pos_ >= n_) return false;
        v = w_[pos_++];
        return true;
    }
    bool Long(uint64_t& v) {
        uint32_t lo = 0, hi = 0;
        if (pos_ + 2 > n_) return false;
        Word(lo);
        Word(hi);
        v = uint64_t(hi) << 32 | lo;
        return true;
    }
    bool Double(double& d) {
        uint64_t bits;
        if (!Long(bits)) return false;
        std::memcpy(&d, &bits, 8);
        return true;
    }
    size_t Left() const { return n_ - pos_; }

private:
    const uint32_t* w_ = nullptr;
    size_t n_ = 0, pos_ = 0;
};

// One call of a host function as its adapter sees it.
struct scHostCall {
    const char* name = "";
    const uint32_t* words = nullptr;
    size_t count = 0;
    size_t pos = 0;
    std::string error;      // set when the call must fail
    uint64_t bits = 0;      // integer result (two words for 64-bit results)
    double real = 0;        // floating result
    bool isReal = false;

    bool Fail(std::string message) {
        if (error.empty()) error = std::move(message);
        return false;
    }
    bool Take(size_t n) {
        if (!error.empty()) return false;
        if (pos + n > count) return Fail("too few arguments");
        return true;
    }
};

namespace zedi {

// Reference kept in a function import slot: the binding's index with the top bit
// set (script addresses are below 2 GiB, so it is never a variable's address).
constexpr uint32_t kBindingTag = 0x80000000u;

struct HostBinding {
    std::string name;
    bool isFunction = false;
    std::function<void(scHostCall&)> invoke;
    uint32_t vmAddr = 0;   // a variable's address
    uint32_t size = 0;     // a variable's size
};

// Adds a binding and makes it the one the name resolves to. Returns its index.
uint32_t RegisterBinding(HostBinding binding);
// The binding a name resolves to now, null if none.
const HostBinding* FindBinding(const char* name, uint32_t* index = nullptr);
// The binding of a slot value, null if it is not a function binding reference.
const HostBinding* FunctionBinding(uint32_t ref);

template <class T>
struct ArgCodec;

template <class T>
T DecodeArg(scHostCall& c) {
    return ArgCodec<std::remove_cv_t<T>>::Decode(c);
}

template <class T>
struct ArgCodec {
    static T Decode(scHostCall& c) {
        if constexpr (std::is_same_v<T, float>) {
            if (!c.Take(1)) return 0;
            float f;
            std::memcpy(&f, &c.words[c.pos++], 4);
            return f;
        } else if constexpr (std::is_floating_point_v<T>) {
            if (!c.Take(2)) return 0;
            uint64_t bits = uint64_t(c.words[c.pos + 1]) << 32 | c.words[c.pos];
            c.pos += 2;
            double d;
            std::memcpy(&d, &bits, 8);
            return T(d);
        } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
            if constexpr (sizeof(T) > 4) {
                if (!c.Take(2)) return T{};
                uint64_t v = uint64_t(c.words[c.pos + 1]) << 32 | c.words[c.pos];
                c.pos += 2;
                return T(v);
            } else {
                if (!c.Take(1)) return T{};
                uint32_t w = c.words[c.pos++];
                if constexpr (std::is_same_v<T, bool>)
                    return w != 0;
                else if constexpr (std::is_enum_v<T> || std::is_signed_v<T>)
                    return T(int32_t(w));
                else
                    return T(w);
            }
        } else if constexpr (std::is_pointer_v<T>) {
            using P = std::remove_cv_t<std::remove_pointer_t<T>>;
            if (!c.Take(1)) return nullptr;
            uint32_t a = c.words[c.pos++];
            if constexpr (std::is_same_v<P, scInstance>) {
                if (a == 0) return nullptr;
                scInstance* inst = scInstance_From_Handle(a);
                if (!inst) c.Fail("invalid instance handle");
                return inst;
            } else {
                if (a == 0) return nullptr;
                VmSpace& vm = VmSpace::Get();
                if constexpr (std::is_same_v<T, const char*>) {
                    if (vm.TextLength(a) < 0) {
                        c.Fail("bad text argument");
                        return nullptr;
                    }
                    return reinterpret_cast<T>(vm.Ptr(a));
                } else {
                    constexpr uint32_t need = std::is_void_v<P> ? 1 : uint32_t(sizeof(P));
                    uint8_t* p = vm.Check(a, need);
                    if (!p) c.Fail("bad pointer argument");
                    return reinterpret_cast<T>(p);
                }
            }
        } else {
            static_assert(sizeof(T) == 0, "unsupported host function parameter type");
        }
    }
};

template <>
struct ArgCodec<scVmAddr> {
    static scVmAddr Decode(scHostCall& c) {
        if (!c.Take(1)) return {0};
        return {c.words[c.pos++]};
    }
};

template <>
struct ArgCodec<scVarArgs> {
    static scVarArgs Decode(scHostCall& c) {
        scVarArgs v(c.words + c.pos, c.count - c.pos);
        c.pos = c.count;
        return v;
    }
};

template <class R>
void StoreResult(scHostCall& c, R r) {
    using T = std::remove_cv_t<R>;
    if constexpr (std::is_floating_point_v<T>) {
        c.isReal = true;
        c.real = double(r);
    } else if constexpr (std::is_same_v<T, scVmAddr>) {
        c.bits = r.value;
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        if constexpr (sizeof(T) > 4)
            c.bits = uint64_t(r);
        else if constexpr (std::is_signed_v<T> || std::is_enum_v<T>)
            c.bits = uint64_t(int64_t(r));  // the high word is the sign
        else
            c.bits = uint64_t(r);
    } else if constexpr (std::is_pointer_v<T>) {
        using P = std::remove_cv_t<std::remove_pointer_t<T>>;
        if constexpr (std::is_same_v<P, scInstance>) {
            c.bits = scInstance_Handle(const_cast<scInstance*>(r));
        } else {
            if (!r) return;
            uint32_t a = VmSpace::Get().AddrOf(r);
            if (!a) c.Fail("result points outside script memory");
            c.bits = a;
        }
    } else {
        static_assert(sizeof(T) == 0, "unsupported host function result type");
    }
}

template <class R, class... A, size_t... I>
void CallDecoded(scHostCall& c, R (*f)(A...), std::index_sequence<I...>) {
    std::tuple<std::remove_cv_t<std::remove_reference_t<A>>...> args{
        DecodeArg<std::remove_cv_t<std::remove_reference_t<A>>>(c)...};
    if (!c.error.empty()) return;
    if constexpr (std::is_void_v<R>)
        f(std::get<I>(args)...);
    else
        StoreResult(c, f(std::get<I>(args)...));
}

template <class R, class... A>
HostBinding MakeBinding(R (*f)(A...)) {
    HostBinding b;
    b.isFunction = true;
    b.invoke = [f](scHostCall& c) { CallDecoded(c, f, std::index_sequence_for<A...>{}); };
    return b;
}

// A member function: the first word is the object, a script address.
template <class C, class R, class... A, class M>
HostBinding MakeMemberBinding(M f) {
    HostBinding b;
    b.isFunction = true;
    b.invoke = [f](scHostCall& c) {
        C* obj = DecodeArg<C*>(c);
        if (!c.error.empty()) return;
        if (!obj) {
            c.Fail("null object");
            return;
        }
        auto call = [&](auto... args) -> R { return (obj->*f)(args...); };
        std::tuple<std::remove_cv_t<std::remove_reference_t<A>>...> args{
            DecodeArg<std::remove_cv_t<std::remove_reference_t<A>>>(c)...};
        if (!c.error.empty()) return;
        if constexpr (std::is_void_v<R>)
            std::apply(call, args);
        else
            StoreResult(c, std::apply(call, args));
    };
    return b;
}

}  // namespace zedi

// Registers a host function under the name scripts import it by.
template <class R, class... A>
void scRegister_Host_Symbol(const char* name, R (*function)(A...)) {
    scEngine_Init();
    auto b = zedi::MakeBinding(function);
    b.name = name;
    zedi::RegisterBinding(std::move(b));
}

template <class C, class R, class... A>
void scRegister_Host_Symbol(const char* name, R (C::*function)(A...)) {
    scEngine_Init();
    auto b = zedi::MakeMemberBinding<C, R, A...>(function);
    b.name = name;
    zedi::RegisterBinding(std::move(b));
}

template <class C, class R, class... A>
void scRegister_Host_Symbol(const char* name, R (C::*function)(A...) const) {
    scEngine_Init();
    auto b = zedi::MakeMemberBinding<const C, R, A...>(function);
    b.name = name;
    zedi::RegisterBinding(std::move(b));
}

// Registers a host function that decodes its words itself.
void scRegister_Host_Raw(const char* name, std::function<void(scHostCall&)> function);

// Registers a host variable of `size` bytes, zero-filled, in the script address
// space; returns its host pointer. Scripts importing the name see that memory.
void* scRegister_Host_Variable(const char* name, uint32_t size);

template <class T>
T* scRegister_Host_Variable(const char* name) {
    static_assert(std::is_trivially_copyable_v<T>);
    return static_cast<T*>(scRegister_Host_Variable(name, sizeof(T)));
}

// Blocks of the script address space for what scripts allocate. Freeing
// something that is not the start of an allocated block, or freeing twice, is a
// runtime error (false); freeing 0 does nothing. Host functions that free for a
// script fail the call when this fails (throw or report through scHostCall).
uint32_t scScript_Alloc(uint32_t size);
bool scScript_Free(uint32_t addr);

// Bytes a host function may write at `p` (a pointer argument it was given): up
// to the end of its block of the script address space; 0 for a pointer outside it.
inline size_t scScript_Room(const void* p) {
    zedi::VmSpace& vm = zedi::VmSpace::Get();
    return vm.Room(vm.AddrOf(p));
}

// Copies a text into the script address space so that scripts can read it; the
// block lives until scFree_Text.
char* scNew_Text(const char* text);
void scFree_Text(char* text);

// Registers a header text for #include of a name without quotes.
void scRegister_Builtin_Header(const char* name, const char* text);
// The text of a registered header, null if none.
const char* scFind_Builtin_Header(const char* name);

namespace zedi {
int PlainDispatcher(uint32_t result, uint32_t callee, uint32_t params, int bytes, uint32_t descriptor);
int MemberAsPlainDispatcher(uint32_t result, uint32_t callee, uint32_t params, int bytes,
                            uint32_t descriptor);
// Set when a host call failed (bad argument, exception); the CPU then ends the run
// with -1. Cleared by the CPU before each call.
extern bool g_hostFault;
}  // namespace zedi
