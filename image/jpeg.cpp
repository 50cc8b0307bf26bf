// JPEG through libjpeg (the libjpeg-turbo build of its classic interface): a memory
// source over the caller's block, error hooks that jump back here instead of printing or
// exiting, and rows packed into L8 or X8R8G8B8.
//
// Choices beyond the library's defaults, all for hostile input:
// - The header's size is checked against the decoder limits before decompression
//   starts, so nothing is allocated for an absurd size.
// - libjpeg's working memory is capped at what this picture needs (WorkingMemoryFor): a
//   progressive file keeps every coefficient (2 bytes per sample), so the cap grows with
//   the size, which the decoder limits bound.
// - The source hands the library the whole block once. When the library asks for more,
//   the data has run out and it gets an end-of-image marker. A scan whose coded data
//   ends before its last block (the library would fill the rest of the picture with
//   grey) refuses the file, and so does a multi-scan file whose data runs out before
//   its scans are all read. A sequential file that lacks only its final marker, after
//   every row was complete, is accepted.
// - The skip hook never moves past the end of the block.
#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "image/decode_common.h"

namespace {

using namespace image_detail;

// Room in libjpeg's working memory beyond the coefficients (WorkingMemoryFor).
constexpr std::uint64_t kWorkingMemorySlack = 64u << 20;

struct ErrorManager {
    jpeg_error_mgr pub;  // first: the library sees only this part
    std::jmp_buf jump;
    bool headerRead;
    bool scanEndedEarly;
};

struct MemorySource {
    jpeg_source_mgr pub;  // first: the library sees only this part
    const JOCTET* data;
    std::size_t size;
    bool handedOut;
    bool ranDry;  // the end-of-image marker was handed out in place of data
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

ErrorManager* Errors(j_common_ptr info) { return reinterpret_cast<ErrorManager*>(info->err); }

// No library message is ever shown: while the header is read messages are dropped,
// afterwards they are formatted (the library's own check of its message table) and
// dropped.
void OutputMessage(j_common_ptr info) {
    if (!Errors(info)->headerRead) {
        return;
    }
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
}

void ErrorExit(j_common_ptr info) {
    (*info->err->output_message)(info);
    std::longjmp(Errors(info)->jump, 1);
}

// Warnings (level -1) are counted as the library does; the one that means a scan's coded
// data ended before its last block is remembered.
void EmitMessage(j_common_ptr info, int level) {
    if (level >= 0) {
        return;
    }
    int code = info->err->msg_code;
    if (code == JWRN_HIT_MARKER) {
        Errors(info)->scanEndedEarly = true;
    }
    if (info->err->num_warnings == 0) {
        (*info->err->output_message)(info);
    }
    info->err->num_warnings++;
}

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info) {
    auto* source = reinterpret_cast<MemorySource*>(info->src);
    if (!source->handedOut) {
        source->handedOut = true;
        source->pub.next_input_byte = source->data;
        source->pub.bytes_in_buffer = source->size;
        return TRUE;
    }
    source->ranDry = true;
    source->pub.next_input_byte = kEndOfImage;
    source->pub.bytes_in_buffer = sizeof(kEndOfImage);
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
    if (count <= 0) {
        return;
    }
    auto* source = reinterpret_cast<MemorySource*>(info->src);
    while (static_cast<unsigned long>(count) > source->pub.bytes_in_buffer) {
        count -= static_cast<long>(source->pub.bytes_in_buffer);
        source->pub.next_input_byte += source->pub.bytes_in_buffer;
        source->pub.bytes_in_buffer = 0;
        // Nothing more to skip over once the block is used up: the next read gets the
        // end-of-image marker.
        if (source->handedOut) {
            return;
        }
        FillInputBuffer(info);
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Copies blue, green, red, X pixels with the X byte (the fourth byte in memory) set to 0.
// On a little-endian host that is the top byte of each 32-bit word: one mask per pixel.
void CopyClearingUnusedBytes(const std::uint8_t* in, std::uint8_t* out, JDIMENSION width) {
    if constexpr (std::endian::native == std::endian::little) {
        // Both rows start at multiples of 4 bytes of malloc'ed blocks.
        const auto* __restrict from = reinterpret_cast<const std::uint32_t*>(in);
        auto* __restrict to = reinterpret_cast<std::uint32_t*>(out);
        for (JDIMENSION x = 0; x < width; ++x) {
            to[x] = from[x] & 0x00FFFFFFu;
        }
    } else {
        for (JDIMENSION x = 0; x < width; ++x) {
            out[4 * x + 0] = in[4 * x + 0];
            out[4 * x + 1] = in[4 * x + 1];
            out[4 * x + 2] = in[4 * x + 2];
            out[4 * x + 3] = 0;
        }
    }
}

void PackRgbRow(const JSAMPLE* in, std::uint8_t* out, JDIMENSION width) {
    // X8R8G8B8 in memory is blue, green, red, then the unused byte, which stays 0.
    for (JDIMENSION x = 0; x < width; ++x) {
        out[4 * x + 0] = in[3 * x + 2];
        out[4 * x + 1] = in[3 * x + 1];
        out[4 * x + 2] = in[3 * x + 0];
        out[4 * x + 3] = 0;
    }
}

// Memory for libjpeg's whole-image buffers of this picture: every coefficient of every
// component in whole MCUs (what a progressive or buffered file keeps, 2 bytes each), plus
// room for the row buffers and tables. The picture's size is already within the decoder
// limits and it has one or three components, so the largest cap (2^28 pixels at 4:4:4)
// stays near 1.6 GiB.
long WorkingMemoryFor(const jpeg_decompress_struct& cinfo) {
    int maxH = 1;
    int maxV = 1;
    for (int c = 0; c < cinfo.num_components; ++c) {
        maxH = std::max(maxH, cinfo.comp_info[c].h_samp_factor);
        maxV = std::max(maxV, cinfo.comp_info[c].v_samp_factor);
    }
    std::uint64_t coefficients = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const std::uint64_t h = static_cast<std::uint64_t>(std::max(cinfo.comp_info[c].h_samp_factor, 1));
        const std::uint64_t v = static_cast<std::uint64_t>(std::max(cinfo.comp_info[c].v_samp_factor, 1));
        const std::uint64_t blocksWide = (std::uint64_t{cinfo.image_width} * h + maxH * DCTSIZE - 1) / (maxH * DCTSIZE);
        const std::uint64_t blocksHigh = (std::uint64_t{cinfo.image_height} * v + maxV * DCTSIZE - 1) / (maxV * DCTSIZE);
        coefficients += ((blocksWide + h - 1) / h * h) * ((blocksHigh + v - 1) / v * v) * DCTSIZE2;
    }
    return static_cast<long>(coefficients * sizeof(JCOEF) + kWorkingMemorySlack);
}

// The memory source over the caller's block, from the library's permanent pool.
void InstallSource(jpeg_decompress_struct* cinfo, const JOCTET* data, std::size_t size) {
    auto* source = static_cast<MemorySource*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(MemorySource)));
    source->pub.init_source = InitSource;
    source->pub.fill_input_buffer = FillInputBuffer;
    source->pub.skip_input_data = SkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = TermSource;
    source->pub.next_input_byte = nullptr;
    source->pub.bytes_in_buffer = 0;
    source->data = data;
    source->size = size;
    source->handedOut = false;
    source->ranDry = false;
    cinfo->src = &source->pub;
}

// The header, checked against the decoder limits before anything is sized from it.
HRESULT ReadHeader(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
    jpeg_read_header(cinfo, TRUE);
    errors->headerRead = true;
    const HRESULT sizeCheck = CheckImageSize(cinfo->image_width, cinfo->image_height);
    if (FAILED(sizeCheck)) {
        return sizeCheck;
    }
    // Only one component (grey) or three (colour) come out as 1 or 3 output components;
    // any other count is refused here, before libjpeg sizes its buffers for it, so that
    // the cap below is never more than three components' worth.
    if (cinfo->num_components != 1 && cinfo->num_components != 3) {
        return E_FAIL;
    }
    cinfo->mem->max_memory_to_use = WorkingMemoryFor(*cinfo);
    return S_OK;
}

// Starts decompression into L8 or X8R8G8B8 rows. Colour comes out of the library as red,
// green, blue; libjpeg-turbo can write the X8R8G8B8 byte order (blue, green, red, X)
// itself, with X set to 0xFF, which is cleared to 0 as each row is copied out.
HRESULT Start(jpeg_decompress_struct* cinfo, const ErrorManager& errors, bool* libraryOrder) {
    *libraryOrder = false;
#ifdef JCS_EXTENSIONS
    if (cinfo->out_color_space == JCS_RGB && cinfo->num_components == 3) {
        cinfo->out_color_space = JCS_EXT_BGRX;
        *libraryOrder = true;
    }
#endif
    jpeg_start_decompress(cinfo);
    const int components = cinfo->output_components;
    const bool grey = components == 1;
    const bool colour = *libraryOrder ? components == 4 : components == 3;
    // A multi-scan file has read all of its data by now.
    const auto* source = reinterpret_cast<const MemorySource*>(cinfo->src);
    if ((!grey && !colour) || errors.scanEndedEarly || (jpeg_has_multiple_scans(cinfo) && source->ranDry)) {
        return E_FAIL;
    }
    return S_OK;
}

// Where the rows go: the target's rows when it offers them, else a buffer of the image.
HRESULT PlaceRows(DecodedImage* image, const jpeg_decompress_struct& cinfo, ImageTarget* target) {
    const bool grey = cinfo.output_components == 1;
    const D3DFORMAT format = grey ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
    UINT pitch = 0;
    BYTE* rows = target != nullptr ? target->Rows(format, cinfo.output_width, cinfo.output_height, &pitch) : nullptr;
    if (rows != nullptr) {
        image->Pixels = rows;
        image->OwnsPixels = FALSE;
    } else {
        pitch = cinfo.output_width * (grey ? 1u : 4u);
        image->Pixels = AllocatePixels(std::uint64_t{pitch} * cinfo.output_height);
        if (image->Pixels == nullptr) {
            return E_OUTOFMEMORY;
        }
        image->OwnsPixels = TRUE;
    }
    image->Format = format;
    image->Pitch = pitch;
    SetSize(image, cinfo.output_width, cinfo.output_height);
    return S_OK;
}

// Greyscale rows go straight into the image. Colour rows go through one row buffer that
// stays in the first-level cache, and from it into the image with the X byte cleared (or
// packed from red, green, blue without the extension): the image is written once, as
// when the library writes it itself.
HRESULT ReadRows(DecodedImage* image, jpeg_decompress_struct* cinfo, const ErrorManager& errors,
                 bool libraryOrder) {
    const bool grey = cinfo->output_components == 1;
    const JDIMENSION width = cinfo->output_width;
    JSAMPARRAY buffer = nullptr;
    if (!grey) {
        buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                             width * static_cast<JDIMENSION>(cinfo->output_components), 1);
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        std::uint8_t* out = image->Pixels + std::size_t{image->Pitch} * cinfo->output_scanline;
        JSAMPROW target = grey ? out : buffer[0];
        const JDIMENSION read = jpeg_read_scanlines(cinfo, &target, 1);
        if (errors.scanEndedEarly || read != 1) {
            return E_FAIL;
        }
        if (libraryOrder) {
            CopyClearingUnusedBytes(buffer[0], out, width);
        } else if (!grey) {
            PackRgbRow(buffer[0], out, width);
        }
    }
    jpeg_finish_decompress(cinfo);
    return S_OK;
}

HRESULT DecodeSteps(DecodedImage* image, jpeg_decompress_struct* cinfo, ErrorManager* errors, const JOCTET* data,
                    std::size_t size, ImageTarget* target) {
    jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    InstallSource(cinfo, data, size);
    HRESULT hr = ReadHeader(cinfo, errors);
    bool libraryOrder = false;
    if (SUCCEEDED(hr)) hr = Start(cinfo, *errors, &libraryOrder);
    if (SUCCEEDED(hr)) hr = PlaceRows(image, *cinfo, target);
    if (SUCCEEDED(hr)) hr = ReadRows(image, cinfo, *errors, libraryOrder);
    return hr;
}

// The one place a library error comes back to, and the one cleanup: only trivially
// destructible state lives in the steps, and what they change and is read after a jump
// lives in memory (image, cinfo, errors).
HRESULT Decode(DecodedImage* image, jpeg_decompress_struct* cinfo, ErrorManager* errors, const JOCTET* data,
               std::size_t size, ImageTarget* target) {
    HRESULT hr;
    if (setjmp(errors->jump)) {
        hr = E_FAIL;
    } else {
        hr = DecodeSteps(image, cinfo, errors, data, size, target);
    }
    jpeg_destroy_decompress(cinfo);
    if (FAILED(hr)) {
        image->Free();
    }
    return hr;
}

}  // namespace

HRESULT DecodeJpeg(DecodedImage* image, const void* data, UINT size) { return DecodeJpeg(image, data, size, nullptr); }

HRESULT DecodeJpeg(DecodedImage* image, const void* data, UINT size, ImageTarget* target) {
    const auto* bytes = static_cast<const JOCTET*>(data);
    // Every JPEG starts with the start-of-image marker; the library refuses anything else,
    // so other data is turned away without creating a decompressor.
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return E_FAIL;
    }
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.output_message = OutputMessage;
    errors.pub.emit_message = EmitMessage;
    errors.headerRead = false;
    errors.scanEndedEarly = false;
    return Decode(image, &cinfo, &errors, bytes, size, target);
}
