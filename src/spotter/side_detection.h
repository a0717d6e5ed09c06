// Side detection: the own car's frame and the tests that decide whether
// another car is alongside on the left, on the right, or neither.
#pragma once

#include <cstdint>

#include "spotter/player_table.h"

// What one run needs of the own car, formed once before the loop.
struct OwnFrame {
    double x;        // metres
    double y;        // metres
    double angle;    // degrees
    float s1, c1;    // forward unit vector (sin, cos)
    float s2, c2;    // right-hand unit vector, from angle + 90
    float speedKmh;
    float length;    // metres
};

// Outcome of ClassifyCar: alongside on a side, or the test that failed.
enum Verdict : int32_t {
    kAlongsideLeft = 0,
    kAlongsideRight = 1,
    kFailHeading = 2,
    kFailSpeed = 3,
    kFailOverlap = 4,
    kFailLateral = 5,
    kFailInner = 6,
};

// Speed in km/h, double: raw * 100/32768 * 3.6 (3.6 as a float).
double SpeedKmh(uint16_t raw);

// The car model's length; a row outside the table counts as "UNKNOWN".
float ModelLength(int32_t model);

OwnFrame MakeOwnFrame(const PlayerSlot& own);

// Applies the heading, speed, overlap, lateral-window and inner-limit tests
// in that order to `other`, reading the limits from Settings.
Verdict ClassifyCar(const OwnFrame& own, const PlayerSlot& other);

// Name of a verdict for the trace ("left", "heading", ...).
const char* VerdictName(Verdict v);
