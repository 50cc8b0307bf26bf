// Scope objects for the interfaces of d3d8.h: ComRef owns a reference and releases it,
// SurfaceLock and VolumeLock undo a lock, on every path out of a function. Texture
// creation, the tools and programs using the library hold their objects in them.
#pragma once

#include <utility>

#include "platform/d3d8/d3d8.h"

// Owns one reference to a platform object.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* object) : object_(object) {}
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : object_(other.Detach()) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }

    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // The slot to receive a new reference; the old one is released first.
    T** Out() {
        Reset();
        return &object_;
    }
    void Reset() {
        if (object_) object_->Release();
        object_ = nullptr;
    }
    // Takes over a reference the caller owned; the old one is released first.
    void Attach(T* object) {
        Reset();
        object_ = object;
    }
    // Gives the reference away.
    T* Detach() { return std::exchange(object_, nullptr); }

private:
    T* object_ = nullptr;
};

// A surface or volume lock held for a scope. Lock() returns the lock's result; the
// destructor unlocks only what was locked.
class SurfaceLock {
public:
    explicit SurfaceLock(IDirect3DSurface8* surface) : surface_(surface) {}
    ~SurfaceLock() {
        if (locked_) surface_->UnlockRect();
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;

    HRESULT Lock(const RECT* rect, DWORD flags) {
        HRESULT hr = surface_->LockRect(&bits_, rect, flags);
        locked_ = SUCCEEDED(hr);
        return hr;
    }
    const D3DLOCKED_RECT& Bits() const { return bits_; }

private:
    IDirect3DSurface8* surface_;
    D3DLOCKED_RECT bits_ = {};
    bool locked_ = false;
};

class VolumeLock {
public:
    explicit VolumeLock(IDirect3DVolume8* volume) : volume_(volume) {}
    ~VolumeLock() {
        if (locked_) volume_->UnlockBox();
    }
    VolumeLock(const VolumeLock&) = delete;
    VolumeLock& operator=(const VolumeLock&) = delete;

    HRESULT Lock(const D3DBOX* box, DWORD flags) {
        HRESULT hr = volume_->LockBox(&bits_, box, flags);
        locked_ = SUCCEEDED(hr);
        return hr;
    }
    const D3DLOCKED_BOX& Bits() const { return bits_; }

private:
    IDirect3DVolume8* volume_;
    D3DLOCKED_BOX bits_ = {};
    bool locked_ = false;
};
