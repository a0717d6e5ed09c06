// Sine and cosine computed by the program itself, so that the spotter's
// results are bit-identical on every platform and compiler: the C
// libraries' sin and cos differ from each other in their last bits.
#pragma once

// Within one unit in the last place of the true value for |x| < 10^5
// radians (the spotter uses 0 to 8); NaN for infinities and NaN.
double PortableSin(double x);
double PortableCos(double x);
