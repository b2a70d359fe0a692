// The numeric model the drawing code is written against: 16-bit Integers that
// raise an overflow error instead of wrapping, Single (float) products, Long
// colours, and rounding of fractions to the nearest whole number, halves to
// the even neighbour.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

using Integer = std::int16_t;
using Long = std::int32_t;
using Single = float;

// A run-time error: a numbered failure that abandons the operation in
// progress and travels up to whoever started it.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string &description);
    int number() const { return number_; }

private:
    int number_;
};

enum ErrorNumber : int {
    Err_Invalid_Procedure_Call = 5,
    Err_Overflow = 6,
    Err_Object_Not_Set = 91,
    Err_Invalid_Property_Value = 380,
    Err_Read_Only = 383,
    Err_Not_Supported = 438,
    Err_Invalid_Picture = 481,
    Err_Printer = 482,
};

[[noreturn]] void Raise_Overflow();
[[noreturn]] void Raise_Invalid_Property_Value();

// Nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double Round_Half_Even(double value);

// Fraction to Integer: rounds halves to even, raises overflow outside
// -32768..32767 (32767.5 overflows, -32768.5 gives -32768).
Integer CInt(double value);

// Integer arithmetic with the overflow test.
Integer Add(Integer a, Integer b);
Integer Sub(Integer a, Integer b);

// Colour from its components, red in the low byte.
constexpr Long RGB(int red, int green, int blue)
{
    return Long(red & 0xFF) | (Long(green & 0xFF) << 8) | (Long(blue & 0xFF) << 16);
}
