// Which resources the application may lock, and unlocks without a lock. What the platform
// keeps from the application refuses with D3DERR_INVALIDCALL and a zeroed structure.
#include <cstring>
#include <functional>

#include "device_fixture.h"

namespace {

class LockRuleTest : public DeviceTest {
protected:
    // A structure full of a pattern, so that a refusal is seen to zero it.
    template <class T>
    static T Filled() {
        T value;
        std::memset(&value, 0xAB, sizeof value);
        return value;
    }

    // Locks the whole surface; on failure checks the structure came back zeroed.
    static HRESULT TryLock(IDirect3DSurface8* surface) {
        auto locked = Filled<D3DLOCKED_RECT>();
        HRESULT result = surface->LockRect(&locked, nullptr, 0);
        if (SUCCEEDED(result)) {
            EXPECT_NE(locked.pBits, nullptr);
            surface->UnlockRect();
        } else {
            EXPECT_EQ(locked.pBits, nullptr);
            EXPECT_EQ(locked.Pitch, 0);
        }
        return result;
    }

    HRESULT TryLockBackBuffer() {
        IDirect3DSurface8* back = nullptr;
        EXPECT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        HRESULT result = TryLock(back);
        back->Release();
        return result;
    }
};

TEST_F(LockRuleTest, DefaultPoolTexturesLockOnlyWhenDynamic) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    for (DWORD usage : {DWORD{0}, DWORD{D3DUSAGE_DYNAMIC}}) {
        SCOPED_TRACE(usage);
        const HRESULT expected = usage == 0 ? D3DERR_INVALIDCALL : D3D_OK;
        IDirect3DTexture8* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(8, 8, 2, usage, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), D3D_OK);
        auto locked = Filled<D3DLOCKED_RECT>();
        EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), expected);
        if (expected == D3D_OK) {
            EXPECT_EQ(texture->UnlockRect(1), D3D_OK);
        } else {
            EXPECT_EQ(locked.pBits, nullptr);
        }
        IDirect3DSurface8* level = nullptr;  // the level itself answers the same
        ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
        EXPECT_EQ(TryLock(level), expected);
        level->Release();
        texture->Release();

        IDirect3DCubeTexture8* cube = nullptr;
        ASSERT_EQ(device_->CreateCubeTexture(8, 1, usage, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube), D3D_OK);
        locked = Filled<D3DLOCKED_RECT>();
        EXPECT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &locked, nullptr, 0), expected);
        if (expected == D3D_OK) {
            EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0), D3D_OK);
        } else {
            EXPECT_EQ(locked.pBits, nullptr);
        }
        cube->Release();

        IDirect3DVolumeTexture8* volume = nullptr;
        ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, usage, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &volume), D3D_OK);
        auto box = Filled<D3DLOCKED_BOX>();
        EXPECT_EQ(volume->LockBox(0, &box, nullptr, 0), expected);
        if (expected == D3D_OK) {
            EXPECT_EQ(volume->UnlockBox(0), D3D_OK);
        } else {
            EXPECT_EQ(box.pBits, nullptr);
            EXPECT_EQ(box.RowPitch, 0);
            EXPECT_EQ(box.SlicePitch, 0);
        }
        volume->Release();
    }
    // The other pools lock: their textures stay in memory the application reaches.
    for (D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM, D3DPOOL_SCRATCH}) {
        IDirect3DTexture8* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, pool, &texture), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK) << pool;
        texture->UnlockRect(0);
        texture->Release();
    }
}

// Unlike textures, vertex and index buffers lock in the default pool, written to or read.
TEST_F(LockRuleTest, DefaultPoolBuffersLock) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    IDirect3DVertexBuffer8* vertices = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vertices), D3D_OK);
    BYTE* data = nullptr;
    EXPECT_EQ(vertices->Lock(0, 0, &data, 0), D3D_OK);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(vertices->Unlock(), D3D_OK);
    vertices->Release();
    IDirect3DIndexBuffer8* indices = nullptr;
    ASSERT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &indices), D3D_OK);
    EXPECT_EQ(indices->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(indices->Unlock(), D3D_OK);
    indices->Release();
}

TEST_F(LockRuleTest, RenderTargetsLockOnlyWhenMadeLockable) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    IDirect3DSurface8* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &target), D3D_OK);
    EXPECT_EQ(TryLock(target), D3DERR_INVALIDCALL);
    target->Release();
    ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, &target), D3D_OK);
    EXPECT_EQ(TryLock(target), D3D_OK);
    target->Release();
    // A render-target texture is a default-pool texture: its levels never lock.
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture),
              D3D_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &target), D3D_OK);
    EXPECT_EQ(TryLock(target), D3DERR_INVALIDCALL);
    target->Release();
    texture->Release();
}

TEST_F(LockRuleTest, DepthSurfacesLockOnlyInTheLockableFormat) {
    ASSERT_EQ(MakeDevice(true), D3D_OK);  // an automatic D16 buffer
    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    EXPECT_EQ(TryLock(depth), D3DERR_INVALIDCALL);
    depth->Release();
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24S8}) {
        ASSERT_EQ(device_->CreateDepthStencilSurface(8, 8, format, D3DMULTISAMPLE_NONE, &depth), D3D_OK);
        EXPECT_EQ(TryLock(depth), D3DERR_INVALIDCALL) << format;
        depth->Release();
    }

    // D16_LOCKABLE is a working depth buffer the application can read: a clear shows in it.
    ASSERT_EQ(device_->CreateDepthStencilSurface(kWidth, kHeight, D3DFMT_D16_LOCKABLE, D3DMULTISAMPLE_NONE, &depth),
              D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(nullptr, depth), D3D_OK);
    for (float z : {0.0f, 1.0f}) {
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, z, 0), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(depth->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        const auto* row = static_cast<const WORD*>(locked.pBits) + (kHeight - 1) * (locked.Pitch / 2);
        EXPECT_EQ(row[kWidth - 1], z == 0.0f ? 0x0000 : 0xFFFF);
        EXPECT_EQ(depth->UnlockRect(), D3D_OK);
    }
    depth->Release();

    // An automatic buffer of the lockable format locks as well.
    D3DPRESENT_PARAMETERS params = Params(true);
    params.AutoDepthStencilFormat = D3DFMT_D16_LOCKABLE;
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    EXPECT_EQ(TryLock(depth), D3D_OK);
    depth->Release();
}

TEST_F(LockRuleTest, BackBuffersLockOnlyWithTheLockableFlag) {
    D3DPRESENT_PARAMETERS params = Params(false);
    params.Flags = 0;
    ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &params, &device_),
              D3D_OK);
    EXPECT_EQ(TryLockBackBuffer(), D3DERR_INVALIDCALL);
    // Reset decides again, for the same surface object.
    params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(TryLockBackBuffer(), D3D_OK);
    params.Flags = 0;
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(TryLockBackBuffer(), D3DERR_INVALIDCALL);

    // An additional swap chain follows its own parameters.
    for (DWORD flags : {DWORD{0}, DWORD{D3DPRESENTFLAG_LOCKABLE_BACKBUFFER}}) {
        D3DPRESENT_PARAMETERS chainParams = Params(false);
        chainParams.Flags = flags;
        IDirect3DSwapChain8* chain = nullptr;
        ASSERT_EQ(device_->CreateAdditionalSwapChain(&chainParams, &chain), D3D_OK);
        IDirect3DSurface8* back = nullptr;
        ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        EXPECT_EQ(TryLock(back), flags != 0 ? D3D_OK : D3DERR_INVALIDCALL);
        back->Release();
        chain->Release();
    }
}

// Every kind of resource refuses an unlock without a lock: a second unlock, and an unlock
// of a resource that refused its lock.
TEST_F(LockRuleTest, UnlockWithoutALockFails) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    // Locks, unlocks, then unlocks once more.
    auto twice = [](const std::function<HRESULT()>& lock, const std::function<HRESULT()>& unlock) {
        ASSERT_EQ(lock(), D3D_OK);
        EXPECT_EQ(unlock(), D3D_OK);
        EXPECT_EQ(unlock(), D3DERR_INVALIDCALL);
    };
    D3DLOCKED_RECT rect{};
    D3DLOCKED_BOX box{};
    BYTE* data = nullptr;
    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(4, 4, D3DFMT_A8R8G8B8, &image), D3D_OK);
    twice([&] { return image->LockRect(&rect, nullptr, 0); }, [&] { return image->UnlockRect(); });
    image->Release();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    twice([&] { return texture->LockRect(0, &rect, nullptr, 0); }, [&] { return texture->UnlockRect(0); });
    texture->Release();
    IDirect3DCubeTexture8* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
    twice([&] { return cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0, &rect, nullptr, 0); },
          [&] { return cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0); });
    cube->Release();
    IDirect3DVolumeTexture8* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume), D3D_OK);
    twice([&] { return volume->LockBox(0, &box, nullptr, 0); }, [&] { return volume->UnlockBox(0); });
    IDirect3DVolume8* level = nullptr;
    ASSERT_EQ(volume->GetVolumeLevel(0, &level), D3D_OK);
    twice([&] { return level->LockBox(&box, nullptr, 0); }, [&] { return level->UnlockBox(); });
    level->Release();
    volume->Release();
    IDirect3DVertexBuffer8* vertices = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(16, 0, 0, D3DPOOL_MANAGED, &vertices), D3D_OK);
    twice([&] { return vertices->Lock(0, 0, &data, 0); }, [&] { return vertices->Unlock(); });
    vertices->Release();
    IDirect3DIndexBuffer8* indices = nullptr;
    ASSERT_EQ(device_->CreateIndexBuffer(16, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices), D3D_OK);
    twice([&] { return indices->Lock(0, 0, &data, 0); }, [&] { return indices->Unlock(); });
    indices->Release();

    IDirect3DSurface8* target = nullptr;  // refused its lock, so there is nothing to unlock
    ASSERT_EQ(device_->CreateRenderTarget(4, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &target), D3D_OK);
    EXPECT_EQ(target->LockRect(&rect, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(target->UnlockRect(), D3DERR_INVALIDCALL);
    target->Release();
}

}  // namespace
