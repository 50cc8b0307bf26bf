// Photographs for the DXT tests, decoded with libjpeg (tests/support), and PSNR.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/image_files.h"

namespace testutil {

using Picture = support::Picture;  // A8R8G8B8, alpha 255

// A photograph of the image corpus (a path below it); a file that cannot be read fails
// with its path.
inline ::testing::AssertionResult LoadCorpusJpeg(const std::string& relative, Picture& out) {
    const std::string path = std::string(TOLVANE_CORPUS_DIR) + "/" + relative;
    if (support::LoadJpeg(path, out)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cannot read the corpus photograph " << path;
}

// PSNR over the chosen channels (bit masks of bytes: 0x00FFFFFF colour, 0xFF000000 alpha).
inline double Psnr(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b, std::uint32_t channels) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int c = 0; c < 4; ++c) {
            if (((channels >> (8 * c)) & 0xFF) == 0) continue;
            const double d = double((a[i] >> (8 * c)) & 0xFF) - double((b[i] >> (8 * c)) & 0xFF);
            sum += d * d;
            ++n;
        }
    const double mse = sum / double(n);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace testutil
