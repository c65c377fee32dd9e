// Numeric helpers.
#include "Numbers.h"

#include <bit>
#include <cmath>
#include <cstdint>

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
    // The fraction is as often below a half as above it: whether it is
    // above comes from the sign of half minus it, without a branch.
    const auto above = std::bit_cast<std::uint64_t>(0.5 - diff) >> 63;
    if (diff == 0.5)
        return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
    return floor + static_cast<double>(above); // a NaN or infinite value gives itself
}

} // namespace norrvik
