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
    // Independent of the floating-point environment's rounding mode.
    const double rounded = std::round(value); // halves away from zero
    if (std::fabs(rounded - value) == 0.5)
        return 2.0 * std::round(value / 2.0);
    return rounded;
}

Integer CInt(double value)
{
    const double rounded = Round_Half_Even(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) // NaN fails too
        Raise_Overflow();
    return Integer(rounded);
}

Integer Add(Integer a, Integer b)
{
    return CInt(double(a) + double(b));
}

Integer Sub(Integer a, Integer b)
{
    return CInt(double(a) - double(b));
}
