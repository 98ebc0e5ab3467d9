// The object model of the media layer: interface identifiers, reference-counted interfaces
// with QueryInterface, a smart pointer for them, and the small variant that carries a start
// position or an event value. The playback engine is written against interfaces in the
// shape of a component object model, so objects that several threads hand around (samples,
// events, the presenter) live exactly as long as someone holds a reference.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/base/WinTypes.h"

namespace orv {

using BYTE = std::uint8_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT32 = std::uint32_t;
using UINT64 = std::uint64_t;
using LONGLONG = std::int64_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using MFTIME = std::int64_t;  // 100-ns units

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
};

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

using IID = GUID;
inline constexpr GUID GUID_NULL{};

namespace guid_detail {
constexpr std::uint32_t Hex(char c) {
    return c >= '0' && c <= '9' ? std::uint32_t(c - '0')
         : c >= 'a' && c <= 'f' ? std::uint32_t(c - 'a' + 10)
         : c >= 'A' && c <= 'F' ? std::uint32_t(c - 'A' + 10)
                                : throw "not a hex digit";
}
constexpr std::uint32_t Field(const char* s, int digits) {
    std::uint32_t v = 0;
    for (int i = 0; i < digits; ++i) v = (v << 4) | Hex(s[i]);
    return v;
}
}  // namespace guid_detail

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", checked at compile time.
constexpr GUID MakeGuid(const char (&s)[37]) {
    using guid_detail::Field;
    if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') throw "malformed GUID";
    GUID g;
    g.Data1 = Field(s, 8);
    g.Data2 = std::uint16_t(Field(s + 9, 4));
    g.Data3 = std::uint16_t(Field(s + 14, 4));
    g.Data4[0] = std::uint8_t(Field(s + 19, 2));
    g.Data4[1] = std::uint8_t(Field(s + 21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = std::uint8_t(Field(s + 24 + 2 * i, 2));
    return g;
}

// Every interface derives from IUnknown. An object deletes itself when its last reference
// is released; nobody deletes it through an interface pointer.
struct IUnknown {
    static constexpr IID kIid = MakeGuid("42717654-1567-4070-80c9-925e194ac98f");
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
inline constexpr IID IID_IUnknown = IUnknown::kIid;

// A counted reference. Constructing from a raw pointer adds a reference; Attach adopts one.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    // From a pointer to a class that implements T.
    template <class U>
    ComPtr(ComPtr<U> o) : p_(o.Detach()) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& o) {
        if (o.p_) o.p_->AddRef();
        Reset();
        p_ = o.p_;
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For out-parameters that hand over a reference.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &p_;
    }
    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    void Reset() {
        if (T* p = p_) {
            p_ = nullptr;
            p->Release();
        }
    }
    HRESULT CopyTo(T** out) const {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }
    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (!out) return E_POINTER;
        if (!p_) return E_POINTER;
        return p_->QueryInterface(U::kIid, reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
    }

private:
    T* p_ = nullptr;
};

// Adopts the reference of a freshly made object.
template <class T>
ComPtr<T> AdoptRef(T* p) {
    ComPtr<T> c;
    c.Attach(p);
    return c;
}

// Reference counting for a class that implements the listed interfaces. The count starts at
// 1: the creator owns the first reference.
template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG n = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (n == 0) delete this;
        return n;
    }

protected:
    ComObject() = default;
    ~ComObject() override = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    std::atomic<ULONG> refs_{1};
};

// QueryInterface over a list of interfaces: IUnknown is answered through the first one.
template <class First, class... Rest, class Object>
HRESULT QueryInterfaceOf(Object* self, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    void* found = nullptr;
    if (iid == IUnknown::kIid)
        found = static_cast<IUnknown*>(static_cast<First*>(self));
    else if (iid == First::kIid)
        found = static_cast<First*>(self);
    else
        ((iid == Rest::kIid && !found ? (found = static_cast<Rest*>(self), true) : false), ...);
    *out = found;
    if (!found) return E_NOINTERFACE;
    self->AddRef();
    return S_OK;
}

// The value of an event or a start position.
using VARTYPE = std::uint16_t;
enum : VARTYPE {
    VT_EMPTY = 0,
    VT_R8 = 5,
    VT_UNKNOWN = 13,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_LPSTR = 30,  // UTF-8, as the layer keeps its strings
    VT_BLOB = 65,
    VT_CLSID = 72,
};

struct BLOB {
    UINT32 cbSize;
    BYTE* pBlobData;
};

// The pointers of VT_LPSTR, VT_BLOB and VT_CLSID own CoTaskMemAlloc memory, and VT_UNKNOWN a
// counted reference: PropVariantClear frees them, PropVariantCopy copies them.
struct PROPVARIANT {
    VARTYPE vt = VT_EMPTY;
    union {
        LONGLONG hVal = 0;
        UINT64 uhVal;
        UINT32 ulVal;
        double dblVal;
        IUnknown* punkVal;
        char* pszVal;
        BLOB blob;
        GUID* puuid;
    };
};

void PropVariantInit(PROPVARIANT* v);
// Releases an object held by the variant and empties it.
HRESULT PropVariantClear(PROPVARIANT* v);
HRESULT PropVariantCopy(PROPVARIANT* dst, const PROPVARIANT* src);

// Memory handed to a caller who frees it (a frame grab).
void* CoTaskMemAlloc(std::size_t bytes);
void CoTaskMemFree(void* p);

}  // namespace orv
