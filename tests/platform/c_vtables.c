/* The slot of every method in the C declarations of the interfaces: its offset in the
   lpVtbl table, in pointers. test_method_order.cpp holds them against the platform's order
   and against the C++ virtual call slots. */
#include <stddef.h>

#include "platform/d3d8/d3d8.h"
#include "c_programs.h"

#define D3D8_INTERFACE(iface, count)
#define D3D8_METHOD(iface, method) {#iface, #method, offsetof(iface##Vtbl, method) / sizeof(void*)},
static const TolvaneCSlot kSlots[] = {
#include "d3d8_method_order.h"
};
#undef D3D8_METHOD
#undef D3D8_INTERFACE

const TolvaneCSlot* TolvaneCVtableSlots(size_t* count) {
    *count = sizeof kSlots / sizeof kSlots[0];
    return kSlots;
}

/* The size of each table, to find methods the list does not know of. */
#define D3D8_INTERFACE(iface, count) {#iface, "", sizeof(iface##Vtbl) / sizeof(void*)},
#define D3D8_METHOD(iface, method)
static const TolvaneCSlot kSizes[] = {
#include "d3d8_method_order.h"
};

const TolvaneCSlot* TolvaneCVtableSizes(size_t* count) {
    *count = sizeof kSizes / sizeof kSizes[0];
    return kSizes;
}
