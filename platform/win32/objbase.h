// The component object model's basics as the platform declares them: GUIDs and interface
// identifiers, IUnknown, and the macros that declare an interface once for both languages.
// In C++ an interface is a struct of pure virtual methods; in C it is a struct whose lpVtbl
// points to a table of function pointers taking the object first. A single inheritance
// chain of pure virtual methods without a virtual destructor lays its table out in
// declaration order, so both callers reach the same functions.
#pragma once

#include <string.h>

#include "platform/win32/windows.h"

#ifdef __cplusplus
extern "C" {
#endif
TOLVANE_API_BEGIN

typedef struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;

#ifdef __cplusplus
#define REFGUID const GUID&
#define REFIID const IID&
#define REFCLSID const CLSID&
#define IsEqualGUID(a, b) (memcmp(&(a), &(b), sizeof(GUID)) == 0)
#else
#define REFGUID const GUID*
#define REFIID const IID*
#define REFCLSID const CLSID*
#define IsEqualGUID(a, b) (memcmp((a), (b), sizeof(GUID)) == 0)
#endif
#define IsEqualIID(a, b) IsEqualGUID(a, b)

#define E_POINTER ((HRESULT)0x80004003u)

#define STDMETHODCALLTYPE
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE

#ifdef __cplusplus
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define PURE = 0
#define THIS_
#define THIS void
#define DECLARE_INTERFACE(iface) struct iface
#define DECLARE_INTERFACE_(iface, base) struct iface : public base
#else
#define STDMETHOD(method) HRESULT(STDMETHODCALLTYPE* method)
#define STDMETHOD_(type, method) type(STDMETHODCALLTYPE* method)
#define PURE
#define THIS_ INTERFACE* This,
#define THIS INTERFACE* This
// The interface's own typedef comes before it (C99 allows a typedef only once).
#define DECLARE_INTERFACE(iface)                \
    typedef struct iface##Vtbl iface##Vtbl;     \
    struct iface {                              \
        const iface##Vtbl* lpVtbl;              \
    };                                          \
    struct iface##Vtbl
#define DECLARE_INTERFACE_(iface, base) DECLARE_INTERFACE(iface)
#endif

extern const IID IID_IUnknown;

// Interfaces have no destructor: an object is freed by the Release that brings its count
// to 0. Classes that implement them (and are deleted through their own type) may say the
// same to the compiler with TOLVANE_INTERFACES_BEGIN / TOLVANE_INTERFACES_END.
#if defined(__cplusplus) && defined(__GNUC__)
#define TOLVANE_INTERFACES_BEGIN _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wnon-virtual-dtor\"")
#define TOLVANE_INTERFACES_END _Pragma("GCC diagnostic pop")
#else
#define TOLVANE_INTERFACES_BEGIN
#define TOLVANE_INTERFACES_END
#endif

#ifndef __cplusplus
typedef struct IUnknown IUnknown;
#endif

TOLVANE_INTERFACES_BEGIN
#undef INTERFACE
#define INTERFACE IUnknown
DECLARE_INTERFACE(IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
};
TOLVANE_INTERFACES_END
typedef IUnknown* LPUNKNOWN;

#if defined(COBJMACROS) && !defined(__cplusplus)
#define IUnknown_QueryInterface(p, a, b) (p)->lpVtbl->QueryInterface(p, a, b)
#define IUnknown_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IUnknown_Release(p) (p)->lpVtbl->Release(p)
#elif defined(COBJMACROS)
#define IUnknown_QueryInterface(p, a, b) (p)->QueryInterface(a, b)
#define IUnknown_AddRef(p) (p)->AddRef()
#define IUnknown_Release(p) (p)->Release()
#endif

TOLVANE_API_END
#ifdef __cplusplus
}

inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }
inline bool operator!=(const GUID& a, const GUID& b) { return !IsEqualGUID(a, b); }
#endif
