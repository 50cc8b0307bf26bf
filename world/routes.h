// The camera autopilot's route through the corridor, in list order. Three values are given
// by their float bits: -2222.14f = 0xC50AE23D, 23444.3f = 0x46B7289A (23444.30078125),
// 21074.6f = 0x46A4A533 (21074.599609375).
#pragma once

#include "math/types.h"

inline constexpr int kAutoPilotRouteLength = 12;
inline constexpr int kAutoPilotRouteLimit = 20;

inline constexpr Vector3 kAutoPilotRoute[kAutoPilotRouteLength] = {
    {250.0f, 250.0f, 0.0f},
    {250.0f, 250.0f, 5000.0f},
    {-800.0f, -750.0f, 7500.0f},
    {-750.0f, -750.0f, 10500.0f},
    {-250.0f, 2250.0f, 14500.0f},
    {-250.0f, -2222.14f, 23444.3f},
    {8300.0f, -2350.0f, 28938.5f},
    {14950.0f, -1000.0f, 21074.6f},
    {17000.0f, -1350.0f, 15000.0f},
    {11000.0f, -500.0f, 7500.0f},
    {5350.0f, 250.0f, 0.0f},
    {3000.0f, 250.0f, -2500.0f},
};
