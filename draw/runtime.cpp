#include "runtime.h"

#include <cmath>

RuntimeError::RuntimeError(int number, const std::string &description)
    : std::runtime_error("Run-time error '" + std::to_string(number) + "': " + description),
      number_(number)
{
}

void Raise_Overflow()
{
    throw RuntimeError(Err_Overflow, "Overflow");
}

void Raise_Invalid_Property_Value()
{
    throw RuntimeError(Err_Invalid_Property_Value, "Invalid property value");
}

double Round_Half_Even(double value)
{
    // Independent of the floating-point environment's rounding mode: a
    // conversion to an integer truncates, and the fraction is exact. Plain
    // arithmetic, no library call, as every coordinate of a redraw passes here.
    const double magnitude = std::fabs(value);
    if (!(magnitude < 4503599627370496.0)) // 2^52: whole already, or not a number
        return value;
    const double below = double(static_cast<std::int64_t>(magnitude));
    const double fraction = magnitude - below;
    const bool up = fraction > 0.5 || (fraction == 0.5 && (static_cast<std::int64_t>(below) & 1) != 0);
    return std::copysign(up ? below + 1 : below, value);
}

Integer CInt(double value)
{
    const double rounded = Round_Half_Even(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) // NaN fails too
        Raise_Overflow();
    return Integer(rounded);
}

// Whole numbers add exactly: the test is the range alone.
Integer Add(Integer a, Integer b)
{
    const int sum = int(a) + int(b);
    if (sum < -32768 || sum > 32767)
        Raise_Overflow();
    return Integer(sum);
}

Integer Sub(Integer a, Integer b)
{
    const int difference = int(a) - int(b);
    if (difference < -32768 || difference > 32767)
        Raise_Overflow();
    return Integer(difference);
}
