// Position prediction: every car of a set moved ahead along its direction
// of motion by the distance it covers in the configured prediction time,
// and the two numeric helpers that prediction and side detection share.
#pragma once

#include <cstdint>

// Degrees from a raw 16-bit angle: 360 - raw * (1/182 as a float), in
// double. Raw 0 is 360; 65536 units span slightly more than a full turn.
inline double AngleDegrees(uint16_t raw) {
    return static_cast<double>(360.0f) - static_cast<double>(raw) * static_cast<double>(0.0054945056f);
}

// Truncates toward zero through a 64-bit integer and keeps its low 32 bits.
// Callers pass finite values well inside the 64-bit range.
inline int32_t TruncLow32(double v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(v))));
}

// Two's-complement 32-bit sum, without signed overflow.
inline int32_t WrapAdd32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Moves x and y of slots 0..carCount-1 (at most the table's 32) forward by
// Settings.prediction ms at each car's speed. carCount 0 or less moves
// nothing.
void PredictPositions(int32_t carCount);
