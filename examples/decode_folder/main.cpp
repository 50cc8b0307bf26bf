// decode_folder: decodes every file of a folder with the image library and prints a table
// of their sizes and formats, or why a file could not be decoded.
//
//   decode_folder FOLDER
//
// Exit code 0 when at least one file decoded, 1 when none did, 2 for a bad argument.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <tolvane/image/image_file.h>
#include <tolvane/image/result_name.h>

namespace {

std::string FormatText(D3DFORMAT format) {
    struct Row {
        D3DFORMAT format;
        const char* name;
    };
    static constexpr Row kNames[] = {
        {D3DFMT_R8G8B8, "R8G8B8"},     {D3DFMT_A8R8G8B8, "A8R8G8B8"}, {D3DFMT_X8R8G8B8, "X8R8G8B8"},
        {D3DFMT_R5G6B5, "R5G6B5"},     {D3DFMT_X1R5G5B5, "X1R5G5B5"}, {D3DFMT_A1R5G5B5, "A1R5G5B5"},
        {D3DFMT_A4R4G4B4, "A4R4G4B4"}, {D3DFMT_X4R4G4B4, "X4R4G4B4"}, {D3DFMT_P8, "P8"},
        {D3DFMT_L8, "L8"},             {D3DFMT_A8L8, "A8L8"},         {D3DFMT_A8, "A8"},
        {D3DFMT_DXT1, "DXT1"},         {D3DFMT_DXT2, "DXT2"},         {D3DFMT_DXT3, "DXT3"},
        {D3DFMT_DXT4, "DXT4"},         {D3DFMT_DXT5, "DXT5"},
    };
    for (const Row& row : kNames)
        if (row.format == format) return row.name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(format));
    return text;
}

int Faces(const DecodedImage& image) {
    int faces = 0;
    for (const DecodedImage* face = &image; face; face = face->NextFace) ++faces;
    return faces;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: decode_folder FOLDER\n");
        return 2;
    }
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], error))
        if (entry.is_regular_file()) files.push_back(entry.path());
    if (error) {
        std::fprintf(stderr, "decode_folder: %s: %s\n", argv[1], error.message().c_str());
        return 2;
    }
    std::sort(files.begin(), files.end());

    std::printf("%-32s %9s %9s %6s %5s %-10s %s\n", "file", "width", "height", "levels", "faces", "format",
                "result");
    int decoded = 0;
    for (const std::filesystem::path& path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        DecodedImage image;
        ImageInfo info = {};
        const HRESULT hr = DecodeImage(&image, bytes.data(), static_cast<UINT>(bytes.size()), &info);
        const std::string name = path.filename().string();
        if (FAILED(hr)) {
            std::printf("%-32s %9s %9s %6s %5s %-10s %s (%s)\n", name.c_str(), "-", "-", "-", "-", "-",
                        ResultName(hr), ResultDescription(hr));
            continue;
        }
        ++decoded;
        std::printf("%-32s %9u %9u %6u %5d %-10s %s\n", name.c_str(), info.Width, info.Height, info.MipLevels,
                    Faces(image), FormatText(info.Format).c_str(), ResultName(hr));
    }
    std::printf("%d of %zu files decoded\n", decoded, files.size());
    return decoded > 0 ? 0 : 1;
}
