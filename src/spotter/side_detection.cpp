// Side detection: the own frame and the per-car tests. Arithmetic is in
// double with the float roundings the results depend on at the limits:
// own speed, the four unit-vector factors, the along and lateral offsets,
// and the other car's x in metres.
#include "spotter/side_detection.h"

#include <cmath>

#include "config/settings.h"
#include "spotter/prediction.h"
#include "spotter/trig.h"

namespace {

const double kDegToRad = 0.0174532925;

double Metres(int32_t coord) {
    return static_cast<double>(coord) / 65536.0;
}

}  // namespace

double SpeedKmh(uint16_t raw) {
    return static_cast<double>(raw) * 0.0030517578125 * static_cast<double>(3.6f);
}

float ModelLength(int32_t model) {
    if (model < 0 || model >= kCarModelRows - 1) model = 0;
    return CarModelTable[model].length;
}

OwnFrame MakeOwnFrame(const PlayerSlot& own) {
    OwnFrame f;
    f.x = Metres(own.car.x);
    f.y = Metres(own.car.y);
    f.angle = AngleDegrees(own.car.heading);
    const double theta = f.angle * kDegToRad;
    f.s1 = static_cast<float>(PortableSin(theta));
    f.c1 = static_cast<float>(PortableCos(theta));
    // The right-hand vector from its own angle, not derived from s1 and c1.
    const double theta2 = (f.angle + 90.0) * kDegToRad;
    f.s2 = static_cast<float>(PortableSin(theta2));
    f.c2 = static_cast<float>(PortableCos(theta2));
    f.speedKmh = static_cast<float>(SpeedKmh(own.car.speed));
    f.length = ModelLength(own.model);
    return f;
}

Verdict ClassifyCar(const OwnFrame& own, const PlayerSlot& other) {
    const double otherX = static_cast<double>(static_cast<float>(Metres(other.car.x)));
    const double dx = own.x - otherX;
    const double dy = own.y - Metres(other.car.y);
    const float along = static_cast<float>(static_cast<double>(own.s1) * dx + static_cast<double>(own.c1) * dy);
    const float lateral = static_cast<float>(static_cast<double>(own.s2) * dx + static_cast<double>(own.c2) * dy);
    const double a = along;
    const double b = lateral;

    // Headings either side of 0/360 are brought together, for this car only.
    double ownAngle = own.angle;
    double otherAngle = AngleDegrees(other.car.heading);
    if (ownAngle < 90.0 && otherAngle > 270.0) otherAngle -= 360.0;
    if (otherAngle < 90.0 && ownAngle > 270.0) ownAngle -= 360.0;
    const int64_t angleDiff = TruncLow32(ownAngle - otherAngle);
    const int64_t angleGap = angleDiff < 0 ? -angleDiff : angleDiff;
    if (angleGap > Settings.maxAngleDiff) return kFailHeading;

    const double speedDiff = static_cast<double>(own.speedKmh) - SpeedKmh(other.car.speed);
    if (speedDiff > static_cast<double>(Settings.maxSpeedDiffSlower)) return kFailSpeed;
    if (speedDiff < -static_cast<double>(Settings.maxSpeedDiffFaster)) return kFailSpeed;

    const double limit =
        (static_cast<double>(own.length) + static_cast<double>(ModelLength(other.model))) * 0.5 * 0.5;
    if (!(-limit < a && a < limit)) return kFailOverlap;

    const double window = static_cast<double>(Settings.maxXDistance);
    if (!(-window < b && b < window)) return kFailLateral;

    const double inner = static_cast<double>(1.3f);
    if (!(b > inner || b < -inner)) return kFailInner;

    return b < 0.0 ? kAlongsideRight : kAlongsideLeft;
}

const char* VerdictName(Verdict v) {
    switch (v) {
        case kAlongsideLeft: return "left";
        case kAlongsideRight: return "right";
        case kFailHeading: return "heading";
        case kFailSpeed: return "speed";
        case kFailOverlap: return "overlap";
        case kFailLateral: return "lateral";
        case kFailInner: return "inner";
    }
    return "?";
}
