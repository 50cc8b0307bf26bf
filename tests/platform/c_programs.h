// The C parts of the platform tests (c_frame.c, c_vtables.c), callable from C++.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Draws a lit, textured triangle into a width x height back buffer of a new device
// through the C interface and copies the back buffer into pixels (X8R8G8B8, packed);
// the window layer must be headless. Returns the first failure's HRESULT, or 0.
long TolvaneCFrame(unsigned* pixels, int width, int height);

typedef struct TolvaneCSlot {
    const char* iface;
    const char* method;
    size_t slot;  // for the sizes: the number of slots of the interface's table
} TolvaneCSlot;

const TolvaneCSlot* TolvaneCVtableSlots(size_t* count);
const TolvaneCSlot* TolvaneCVtableSizes(size_t* count);

#ifdef __cplusplus
}
#endif
