// A bounded first-in-first-out queue of points, kept as a singly linked list of heap nodes.
// The vehicles and the camera autopilot use it as a ring of targets: read the front, and once
// it is reached pop it and append it again.
#pragma once

#include <cstdint>

#include "math/types.h"

struct WaypointNode {
    Vector3 point;
    WaypointNode* next;  // null at the tail
};

class WaypointList {
public:
    // Empty with limit 0: nothing is accepted until SetLimit.
    WaypointList() = default;
    ~WaypointList();
    WaypointList(const WaypointList&) = delete;
    WaypointList& operator=(const WaypointList&) = delete;

    int SetLimit(std::int32_t n);
    std::int32_t Count() const { return count; }
    bool IsEmpty() const { return count == 0; }
    // The head node's point, or null when empty; valid until that node is popped.
    const Vector3* Front() const;
    // Appends a copy of the point: -1 when the list is full (count at or above the limit)
    // or a node cannot be allocated, the list unchanged. A null point empties the list and
    // succeeds.
    int Append(const Vector3* point);
    // -1 when empty; otherwise releases the head node.
    int PopFront();
    int Clear();

private:
    // Invariant: head and tail are null exactly when count is 0.
    std::int32_t count = 0;
    std::int32_t limit = 0;
    WaypointNode* head = nullptr;
    WaypointNode* tail = nullptr;
};
