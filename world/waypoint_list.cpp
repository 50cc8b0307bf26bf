#include "world/waypoint_list.h"

#include <new>

WaypointList::~WaypointList() { Clear(); }

int WaypointList::SetLimit(std::int32_t n) {
    limit = n;
    return 0;
}

const Vector3* WaypointList::Front() const { return head ? &head->point : nullptr; }

int WaypointList::Append(const Vector3* point) {
    if (!point) return Clear();
    // At or above: a limit lowered below the count refuses too, rather than growing on.
    if (count >= limit) return -1;
    auto* node = new (std::nothrow) WaypointNode{*point, nullptr};
    if (!node) return -1;
    if (tail)
        tail->next = node;
    else
        head = node;
    tail = node;
    ++count;
    return 0;
}

int WaypointList::PopFront() {
    if (!head) return -1;
    WaypointNode* node = head;
    head = node->next;
    if (!head) tail = nullptr;
    delete node;
    --count;
    return 0;
}

int WaypointList::Clear() {
    while (PopFront() == 0) {
    }
    return 0;
}
