// Portable sine and cosine: the argument is reduced to [-pi/4, pi/4] by a
// three-part pi/2 (the first two parts have their low bits zero, so k times
// them is exact and the reduction loses nothing for the arguments used
// here), then Taylor series to the 19th and 20th degree, whose dropped
// terms lie far below the last bit. Plain double operations in a fixed
// order; with contraction off every compiler gives the same bits.
#include "spotter/trig.h"

#include <cmath>
#include <cstdint>

namespace {

const double kTwoOverPi = 0.6366197723675814;
const double kPiOver2Part1 = 0x1.921fb54400000p+0;
const double kPiOver2Part2 = 0x1.0b4611a600000p-34;
const double kPiOver2Part3 = 0x1.3198a2e037073p-69;

// Beyond this the quadrant count no longer multiplies the first two parts
// exactly; such arguments (never used by the spotter) are first brought
// down by an exact fmod, which keeps the result the same everywhere.
const double kLargest = 1.0e5;
const double kTwoPi = 6.283185307179586;

double SinKernel(double r) {
    const double z = r * r;
    double p = -8.22063524662433e-18;
    p = p * z + 2.8114572543455206e-15;
    p = p * z - 7.647163731819816e-13;
    p = p * z + 1.6059043836821613e-10;
    p = p * z - 2.505210838544172e-08;
    p = p * z + 2.7557319223985893e-06;
    p = p * z - 0.0001984126984126984;
    p = p * z + 0.008333333333333333;
    p = p * z - 0.16666666666666666;
    return r + r * z * p;
}

double CosKernel(double r) {
    const double z = r * r;
    double p = 4.110317623312165e-19;
    p = p * z - 1.5619206968586225e-16;
    p = p * z + 4.779477332387385e-14;
    p = p * z - 1.1470745597729725e-11;
    p = p * z + 2.08767569878681e-09;
    p = p * z - 2.755731922398589e-07;
    p = p * z + 2.48015873015873e-05;
    p = p * z - 0.001388888888888889;
    p = p * z + 0.041666666666666664;
    // 1 - z/2 + z^2 p, with the large terms last.
    return 1.0 - (0.5 * z - z * z * p);
}

// x = k * pi/2 + r with |r| <= pi/4 (a little more at the rounding of k).
double Reduce(double x, int64_t* quadrant) {
    const double k = std::nearbyint(x * kTwoOverPi);
    *quadrant = static_cast<int64_t>(k);
    return ((x - k * kPiOver2Part1) - k * kPiOver2Part2) - k * kPiOver2Part3;
}

// sin(x + q * pi/2) from the reduced argument.
double Quadrant(double r, int64_t q) {
    switch (q & 3) {
        case 0: return SinKernel(r);
        case 1: return CosKernel(r);
        case 2: return -SinKernel(r);
        default: return -CosKernel(r);
    }
}

}  // namespace

double PortableSin(double x) {
    if (!std::isfinite(x)) return NAN;
    if (std::fabs(x) >= kLargest) x = std::fmod(x, kTwoPi);
    int64_t q = 0;
    const double r = Reduce(x, &q);
    return Quadrant(r, q);
}

double PortableCos(double x) {
    if (!std::isfinite(x)) return NAN;
    if (std::fabs(x) >= kLargest) x = std::fmod(x, kTwoPi);
    int64_t q = 0;
    const double r = Reduce(x, &q);
    return Quadrant(r, q + 1);
}
