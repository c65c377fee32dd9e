// Numeric helpers.
#include "Numbers.h"

#include <cmath>

namespace norrvik {

double SineOfDegrees(double degrees)
{
    return std::sin(degrees * 0.017453292519943295769);
}

double DSpacingFromTwoTheta(double wavelength, double twoTheta)
{
    return wavelength / (2.0 * SineOfDegrees(twoTheta / 2.0));
}

double RoundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

} // namespace norrvik
