// File mapping, resources and name conversion of the platform layer, and the image
// layer's MappedFile and ResourceBlock over them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "image/image_file.h"
#include "platform/win32/host.h"

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() /
                ("tolvane-files-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string Write(const std::string& name, const std::string& contents) const {
        fs::path file = path_ / fs::u8path(name);
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << contents;
        return file.string();
    }
    std::string Path(const std::string& name) const { return (path_ / fs::u8path(name)).string(); }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

TEST(Win32Files, MissingFilesReportThePlatformsErrorNumbers) {
    TempDir dir;
    const std::string plain = dir.Write("plain.txt", "x");
    struct Case {
        std::string name;
        DWORD error;
    } cases[] = {
        {dir.Path("missing.jpg"), ERROR_FILE_NOT_FOUND},
        {dir.Path("no-such-dir/missing.jpg"), ERROR_FILE_NOT_FOUND},
        {plain + "/inside", ERROR_PATH_NOT_FOUND},
        {dir.Path(""), ERROR_ACCESS_DENIED},  // a directory
        {"", ERROR_PATH_NOT_FOUND},
        {dir.Path(std::string(5000, 'a')), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(CreateFileA(c.name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE)
            << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
}

TEST(Win32Files, NamedPipeIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    const std::string pipe = dir.Path("pipe.jpg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    SetLastError(0);
    EXPECT_EQ(CreateFileA(pipe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Win32Files, MappedViewHoldsTheFileAndOutlivesTheFileHandle) {
    TempDir dir;
    dir.Write("Textures/a.bin", "hello, mapping");
    // Backslashes in names are path separators.
    const std::string name = dir.Path("Textures") + "\\a.bin";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_RANDOM_ACCESS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 123;
    EXPECT_EQ(GetFileSize(file, &high), 14u);
    EXPECT_EQ(high, 0u);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_TRUE(CloseHandle(file));
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(view), 14), "hello, mapping");
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_EQ(std::string(static_cast<const char*>(view), 5), "hello");
    EXPECT_TRUE(UnmapViewOfFile(view));
    SetLastError(0);
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
}

TEST(Win32Files, EmptyFileCannotBeMapped) {
    TempDir dir;
    const std::string name = dir.Write("empty.jpg", "");
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
    EXPECT_TRUE(CloseHandle(file));

    MappedFile mapped;
    EXPECT_EQ(mapped.Open(name.c_str(), false), HRESULT_FROM_WIN32(ERROR_FILE_INVALID));
    mapped.Close();
    EXPECT_EQ(mapped.File, INVALID_HANDLE_VALUE);
    EXPECT_EQ(mapped.Mapping, INVALID_HANDLE_VALUE);
}

TEST(Win32Files, BadHandlesFailWithInvalidHandle) {
    int notAHandle = 0;
    for (HANDLE handle : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), static_cast<HANDLE>(&notAHandle)}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_EQ(GetFileSize(handle, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
        EXPECT_EQ(MapViewOfFile(handle, FILE_MAP_READ, 0, 0, 0), nullptr);
    }
    TempDir dir;
    const std::string name = dir.Write("x", "x");
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // A file handle is not a mapping.
    EXPECT_EQ(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
}

TEST(Win32Text, WideToUtf8MeasuresFirstAndRefusesShortBuffers) {
    const WCHAR name[] = u"Bild-\u00e4\u20ac\U0001F600.jpg";
    const int needed = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
    const std::string expected = "Bild-\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80.jpg";
    ASSERT_EQ(needed, static_cast<int>(expected.size()) + 1);
    std::string out(static_cast<std::size_t>(needed), '\0');
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, name, -1, out.data(), needed, nullptr, nullptr), needed);
    EXPECT_EQ(out.c_str(), expected);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, name, -1, out.data(), needed - 1, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    WCHAR back[32] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, expected.c_str(), -1, nullptr, 0), 14);  // the emoji takes two units
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, expected.c_str(), -1, back, 32), 14);
    EXPECT_EQ(std::u16string(back), std::u16string(name));
}

TEST(Win32Text, IllFormedTextBecomesReplacementCharacters) {
    const WCHAR lone[] = {u'a', 0xD800, u'b', 0};
    char out[16] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, out, 16, nullptr, nullptr), 6);
    EXPECT_STREQ(out, "a\xef\xbf\xbd" "b");
    WCHAR wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "x\xc3", 2, wide, 8), 2);
    EXPECT_EQ(wide[1], 0xFFFD);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xe0\x80\x80", 3, wide, 8), 3);  // overlong
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, lone, -1, out, 16, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Win32Text, VersionIsTheNtPlatform) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    info.dwOSVersionInfoSize = 20;
    EXPECT_FALSE(GetVersionExA(&info));
}

TEST(MappedFile, OpensNarrowAndWideNamesAndClosesToTheInvalidHandle) {
    TempDir dir;
    const std::string name = dir.Write("Textures/f\u00fcnf.jpg", "12345");
    for (bool wide : {false, true}) {
        MappedFile file;
        WCHAR wideName[512] = {};
        ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wideName, 512), 0);
        const void* arg = wide ? static_cast<const void*>(wideName) : static_cast<const void*>(name.c_str());
        ASSERT_EQ(file.Open(arg, wide), S_OK);
        EXPECT_EQ(file.Size, 5u);
        EXPECT_EQ(std::string(static_cast<const char*>(file.View), 5), "12345");
        file.Close();
        EXPECT_EQ(file.View, nullptr);
        EXPECT_EQ(file.File, INVALID_HANDLE_VALUE);
        EXPECT_EQ(file.Mapping, INVALID_HANDLE_VALUE);
        file.Close();  // closing a closed file does nothing
    }
}

TEST(MappedFile, FileOf4GiBOrMoreIsRefusedNotReadModulo2To32) {
    TempDir dir;
    const std::string name = dir.Write("huge.bmp", "BM");
    // Sparse: no data blocks are written.
    ASSERT_EQ(::truncate(name.c_str(), (std::int64_t{1} << 32) + 16), 0);
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(file, &high), 16u);
    EXPECT_EQ(high, 1u);
    CloseHandle(file);
    MappedFile mapped;
    EXPECT_EQ(mapped.Open(name.c_str(), false), HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(mapped.Size, 0u);
}

TEST(MappedFile, FailuresAreResultCodes) {
    MappedFile file;
    EXPECT_EQ(file.Open(nullptr, false), D3DERR_INVALIDCALL);
    EXPECT_EQ(file.Open("no/such/Textures\\file.jpg", false), static_cast<HRESULT>(0x80070002u));
    EXPECT_EQ(file.File, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.Open(u"no-such-file.jpg", true), static_cast<HRESULT>(0x80070002u));
}

class Resources : public ::testing::Test {
protected:
    void TearDown() override { host::ClearResources(); }
    HMODULE module = reinterpret_cast<HMODULE>(0x400000);
    const std::uint8_t bytes[44] = {40, 0, 0, 0, 1};
};

TEST_F(Resources, FoundByNameIdOrNumberText) {
    host::RegisterBitmapResource(module, "Corridor", bytes, sizeof(bytes));
    host::RegisterBitmapResource(module, MAKEINTRESOURCEA(7), bytes + 1, 3);
    ResourceBlock block;
    ASSERT_EQ(block.Load(module, "CORRIDOR", false), S_OK);
    EXPECT_EQ(block.Bytes, bytes);
    EXPECT_EQ(block.Size, sizeof(bytes));
    ASSERT_EQ(block.Load(module, u"corridor", true), S_OK);
    EXPECT_EQ(block.Bytes, bytes);
    ASSERT_EQ(block.Load(module, MAKEINTRESOURCEA(7), false), S_OK);
    EXPECT_EQ(block.Bytes, bytes + 1);
    EXPECT_EQ(block.Size, 3u);
    ASSERT_EQ(block.Load(module, "#7", false), S_OK);
    EXPECT_EQ(block.Size, 3u);
    ASSERT_EQ(block.Load(module, MAKEINTRESOURCEW(7), true), S_OK);
}

TEST_F(Resources, LookupFailuresSetTheResourceErrors) {
    host::RegisterBitmapResource(module, "Corridor", bytes, sizeof(bytes));
    SetLastError(0);
    EXPECT_EQ(FindResourceA(module, "Corridor", MAKEINTRESOURCEA(3)), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(FindResourceA(reinterpret_cast<HMODULE>(0x500000), "Corridor", RT_BITMAP), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    ResourceBlock block;
    EXPECT_EQ(block.Load(module, "Vehicle", false), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(block.Load(module, nullptr, false), D3DERR_INVALIDCALL);
}

TEST_F(Resources, EmptyResourceFailsAndStaleHandlesAreRefused) {
    host::RegisterBitmapResource(module, "Empty", bytes, 0);
    ResourceBlock block;
    EXPECT_LT(block.Load(module, "Empty", false), 0);
    host::RegisterBitmapResource(module, "Full", bytes, 4);
    HRSRC found = FindResourceA(module, "Full", RT_BITMAP);
    ASSERT_NE(found, nullptr);
    HGLOBAL loaded = LoadResource(module, found);
    ASSERT_NE(loaded, nullptr);
    host::ClearResources();
    SetLastError(0);
    EXPECT_EQ(SizeofResource(module, found), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(LockResource(loaded), nullptr);
}

}  // namespace
