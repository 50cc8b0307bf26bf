// GameApp in this process on the headless display: what the scene set-up creates, the
// states a frame leaves behind, the refill of the vehicle buffers and the release.
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "game/game_app.h"
#include "platform/win32/host.h"
#include "world/vehicle.h"

namespace {

class OpenGame : public GameApp {
public:
    using GameApp::m_bBlend;
    using GameApp::m_pCorridorIB;
    using GameApp::m_pCorridorShineTex;
    using GameApp::m_pCorridorTex;
    using GameApp::m_pCorridorVB;
    using GameApp::m_pVehicleAVB;
    using GameApp::m_pVehicleBVB;
    using GameApp::m_pVehicleIB;
    using GameApp::m_pVehicleShineTex;
    using GameApp::m_pVehicleTex;
    using GameApp::m_vehicleA;
    using AppFrame::m_fFarDistance;
    using AppFrame::m_hWnd;
    using AppFrame::m_pDevice;
};

class GameAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previousDirectory = cwd;
        // The game reads "Textures\..." from the working directory.
        ASSERT_EQ(chdir(TOLVANE_SOURCE_DIR), 0);
        host::SetHeadless(true);
        host::ClearMessageBoxLog();
        game = std::make_unique<OpenGame>();
    }
    void TearDown() override {
        if (game && game->m_hWnd && IsWindow(game->m_hWnd))
            DestroyWindow(game->m_hWnd);
        UnregisterClassA("CN", GetModuleHandleA(nullptr));
        MSG leftover{};
        while (PeekMessageA(&leftover, nullptr, 0, 0, PM_REMOVE)) {
        }
        host::Shutdown();
        game.reset();
        g_pApp = nullptr;
        ASSERT_EQ(chdir(previousDirectory.c_str()), 0);
    }

    // The program's entry steps, with `inspect` called after each of `passes` passes.
    int RunGame(int passes, std::function<void(int pass)> inspect) {
        PassHooks hooks;
        hooks.after = [passes, inspect](int pass, bool) {
            inspect(pass);
            return pass + 1 < passes;
        };
        game->SetPassHooks(hooks);
        return RunApplication(*game, GetModuleHandleA(nullptr));
    }

    DWORD State(D3DRENDERSTATETYPE state) {
        DWORD value = 0xDEADBEEFu;
        game->m_pDevice->GetRenderState(state, &value);
        return value;
    }

    std::string previousDirectory;
    std::unique_ptr<OpenGame> game;
};

UINT VertexBytes(IDirect3DVertexBuffer8* buffer) {
    D3DVERTEXBUFFER_DESC desc{};
    buffer->GetDesc(&desc);
    return desc.Size;
}

UINT IndexBytes(IDirect3DIndexBuffer8* buffer) {
    D3DINDEXBUFFER_DESC desc{};
    buffer->GetDesc(&desc);
    return desc.Size;
}

}  // namespace

TEST_F(GameAppTest, TheSceneSetUpCreatesTheNineResources) {
    const int result = RunGame(1, [&](int) {
        ASSERT_NE(game->m_pCorridorVB, nullptr);
        ASSERT_NE(game->m_pVehicleAVB, nullptr);
        ASSERT_NE(game->m_pVehicleBVB, nullptr);
        ASSERT_NE(game->m_pCorridorIB, nullptr);
        ASSERT_NE(game->m_pVehicleIB, nullptr);
        EXPECT_EQ(VertexBytes(game->m_pCorridorVB), 2304u);
        EXPECT_EQ(VertexBytes(game->m_pVehicleAVB), 1024u);
        EXPECT_EQ(VertexBytes(game->m_pVehicleBVB), 1024u);
        EXPECT_EQ(IndexBytes(game->m_pCorridorIB), 792u);
        EXPECT_EQ(IndexBytes(game->m_pVehicleIB), 216u);
        IDirect3DTexture8* textures[4] = {game->m_pCorridorTex, game->m_pCorridorShineTex, game->m_pVehicleTex,
                                          game->m_pVehicleShineTex};
        for (IDirect3DTexture8* texture : textures) {
            ASSERT_NE(texture, nullptr);
            D3DSURFACE_DESC desc{};
            texture->GetLevelDesc(0, &desc);
            EXPECT_EQ(desc.Width, 256u);
            EXPECT_EQ(desc.Height, 256u);
            EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
            EXPECT_EQ(texture->GetLevelCount(), 9u);
        }
        EXPECT_EQ(game->GetMoveSpeed(), 5.0f);
        EXPECT_EQ(game->m_fFarDistance, 50000.0f);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(host::MessageBoxLog().empty());
    // ReleaseScene emptied every slot.
    EXPECT_EQ(game->m_pCorridorVB, nullptr);
    EXPECT_EQ(game->m_pVehicleIB, nullptr);
    EXPECT_EQ(game->m_pCorridorTex, nullptr);
    EXPECT_EQ(game->m_pVehicleShineTex, nullptr);
}

TEST_F(GameAppTest, AFrameEndsWithBlendingOffAndTheVehicleBuffersRefilledInPlace) {
    game->m_bBlend = true;
    IDirect3DVertexBuffer8* firstA = nullptr;
    RunGame(3, [&](int pass) {
        // Blending is on only around the corridor's draws.
        EXPECT_EQ(State(D3DRS_ALPHABLENDENABLE), 0u);
        EXPECT_EQ(State(D3DRS_SRCBLEND), D3DBLEND_ONE);
        EXPECT_EQ(State(D3DRS_DESTBLEND), D3DBLEND_ZERO);
        EXPECT_EQ(State(D3DRS_ZFUNC), D3DCMP_LESSEQUAL);
        DWORD op = 0, index = 99;
        game->m_pDevice->GetTextureStageState(1, D3DTSS_COLOROP, &op);
        game->m_pDevice->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX, &index);
        EXPECT_EQ(op, D3DTOP_MODULATE);
        EXPECT_EQ(index, 0u);
        // The last pass drew the vehicles' bodies: black and untextured.
        D3DMATERIAL8 material{};
        game->m_pDevice->GetMaterial(&material);
        EXPECT_EQ(material.Emissive.r, 0.0f);
        IDirect3DBaseTexture8* bound = nullptr;
        game->m_pDevice->GetTexture(0, &bound);
        EXPECT_EQ(bound, nullptr);
        if (bound)
            bound->Release();

        if (pass == 0)
            firstA = game->m_pVehicleAVB;
        EXPECT_EQ(game->m_pVehicleAVB, firstA);
        // The buffer holds the vehicle's vertices after this frame's step.
        BYTE* data = nullptr;
        ASSERT_EQ(game->m_pVehicleAVB->Lock(0, kVehicleVertexBytes, &data, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(std::memcmp(data, game->m_vehicleA.GetVertices(), kVehicleVertexBytes), 0);
        game->m_pVehicleAVB->Unlock();
        EXPECT_EQ(game->m_vehicleA.GetPosition().z, 5.0f * (pass + 1));
    });
}

// Without the Textures folder every load fails (0x80070002): the slots stay empty, the
// game runs on untextured, and the release frees only what exists.
TEST_F(GameAppTest, MissingTexturesLeaveTheirSlotsEmpty) {
    ASSERT_EQ(chdir("/"), 0);
    HRESULT load = 0;
    const int result = RunGame(2, [&](int pass) {
        EXPECT_EQ(game->m_pCorridorTex, nullptr);
        EXPECT_EQ(game->m_pCorridorShineTex, nullptr);
        EXPECT_EQ(game->m_pVehicleTex, nullptr);
        EXPECT_EQ(game->m_pVehicleShineTex, nullptr);
        EXPECT_NE(game->m_pCorridorVB, nullptr);
        if (pass == 1) {
            IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(0x1);
            load = game->LoadTexture("Textures\\corridor1.jpg", &texture);
            EXPECT_EQ(texture, reinterpret_cast<IDirect3DTexture8*>(0x1));
        }
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(static_cast<DWORD>(load), 0x80070002u);
    EXPECT_TRUE(host::MessageBoxLog().empty());
}

// With a data directory the game's relative names ("Textures\...", unchanged) are read from
// it, whatever the working directory; GameDataDirectory finds the repository's from the
// build tree. An absolute name is not redirected.
TEST_F(GameAppTest, DataDirectoryHoldsTheTexturesFromAnyWorkingDirectory) {
    const std::string data = GameDataDirectory();
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(access((data + "/Textures/corridor1.jpg").c_str(), R_OK), 0) << data;
    ASSERT_EQ(chdir("/"), 0);
    ASSERT_EQ(game->SetDataDirectory(data.c_str()), 0);
    HRESULT absolute = 0;
    const int result = RunGame(1, [&](int) {
        EXPECT_NE(game->m_pCorridorTex, nullptr);
        EXPECT_NE(game->m_pCorridorShineTex, nullptr);
        EXPECT_NE(game->m_pVehicleTex, nullptr);
        EXPECT_NE(game->m_pVehicleShineTex, nullptr);
        IDirect3DTexture8* texture = nullptr;
        absolute = game->LoadTexture("/Textures/corridor1.jpg", &texture);
        EXPECT_EQ(texture, nullptr);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(static_cast<DWORD>(absolute), 0x80070002u);
}
