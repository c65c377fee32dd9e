// Numeric helpers: the sine of an angle in degrees, d-spacings from 2-theta,
// rounding halves to even, and conversions into integer fields that clamp
// instead of overflowing (an out-of-range conversion is never undefined).
#pragma once

#include <cstdint>
#include <limits>

namespace norrvik {

// sin(angle * 0.017453292519943295769), the angle in degrees.
double SineOfDegrees(double degrees);

// d = lambda / (2 sin(2theta / 2)), lambda in Angstrom and 2theta in degrees.
double DSpacingFromTwoTheta(double wavelength, double twoTheta);

// Rounds to the nearest integer value, halves to the even neighbour
// (12.5 -> 12, 13.5 -> 14, -2.5 -> -2).
double RoundHalfEven(double value);

// Converts to T with rounding halves to even, clamping into T's range; NaN gives 0.
template <typename T>
T RoundHalfEvenClamped(double value)
{
    if (value != value)
        return 0;
    const double rounded = RoundHalfEven(value);
    if (rounded <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (rounded >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(rounded);
}

// Truncates toward zero into T, clamping into T's range; NaN gives 0.
template <typename T>
T TruncateClamped(double value)
{
    if (value != value)
        return 0;
    if (value <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (value >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

} // namespace norrvik
