// The method order of every interface: the C declarations' lpVtbl slots and the C++ virtual
// call slots both follow the platform's order (d3d8_method_order.h, from the reference).
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "c_programs.h"
#include "platform/d3d8/d3d8.h"

namespace {

// The vtable slot a pointer to a virtual member function calls through (Itanium C++ ABI;
// the ARM variant, which WebAssembly follows too, keeps the virtual mark in the adjustment).
template <class Member>
long VirtualSlot(Member member) {
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } rep;
    static_assert(sizeof(member) == sizeof(rep));
    std::memcpy(&rep, &member, sizeof rep);
#if defined(__arm__) || defined(__aarch64__) || defined(__wasm__)
    if ((rep.adj & 1) == 0) return -1;
    return static_cast<long>(rep.ptr / sizeof(void*));
#else
    if ((rep.ptr & 1) == 0) return -1;
    return static_cast<long>((rep.ptr - 1) / sizeof(void*));
#endif
}

struct Slot {
    std::string iface, method;
    long slot;
};

std::vector<Slot> CppSlots() {
    std::vector<Slot> slots;
#define D3D8_INTERFACE(iface, count)
#define D3D8_METHOD(iface, method) slots.push_back({#iface, #method, VirtualSlot(&iface::method)});
#include "d3d8_method_order.h"
#undef D3D8_METHOD
#undef D3D8_INTERFACE
    return slots;
}

std::map<std::string, long> Counts() {
    std::map<std::string, long> counts;
#define D3D8_INTERFACE(iface, count) counts[#iface] = count;
#define D3D8_METHOD(iface, method)
#include "d3d8_method_order.h"
#undef D3D8_METHOD
#undef D3D8_INTERFACE
    return counts;
}

TEST(MethodOrder, CAndCppReachEachMethodThroughThePlatformsSlot) {
    std::size_t count = 0;
    const TolvaneCSlot* c = TolvaneCVtableSlots(&count);
    const std::vector<Slot> cpp = CppSlots();
    ASSERT_EQ(count, cpp.size());
    std::map<std::string, long> position;  // per interface: the list's index
    for (std::size_t i = 0; i < count; ++i) {
        const long expected = position[cpp[i].iface]++;
        EXPECT_EQ(static_cast<long>(c[i].slot), expected) << "C: " << c[i].iface << "::" << c[i].method;
        EXPECT_EQ(cpp[i].slot, expected) << "C++: " << cpp[i].iface << "::" << cpp[i].method;
    }
    // Every table has exactly the listed methods.
    const std::map<std::string, long> counts = Counts();
    std::size_t tables = 0;
    const TolvaneCSlot* sizes = TolvaneCVtableSizes(&tables);
    ASSERT_EQ(tables, 12u);
    for (std::size_t i = 0; i < tables; ++i) {
        EXPECT_EQ(static_cast<long>(sizes[i].slot), counts.at(sizes[i].iface)) << sizes[i].iface;
        EXPECT_EQ(position[sizes[i].iface], counts.at(sizes[i].iface)) << sizes[i].iface;
    }
    EXPECT_EQ(counts.at("IDirect3DDevice8"), 97);
    EXPECT_EQ(VirtualSlot(&IDirect3DDevice8::TestCooperativeLevel), 3);
    EXPECT_EQ(VirtualSlot(&IDirect3DDevice8::DeletePatch), 96);
}

}  // namespace
