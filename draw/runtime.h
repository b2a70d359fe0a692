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
    Err_Cancel = 32755,
    Err_Index_Out_Of_Bounds = 35600,
};

// A twip is a twentieth of a point: page units and window geometry.
constexpr int Twips_Per_Inch = 1440;

// 72 dots per inch as QImage keeps it, in dots per metre: on an image that
// says so, a font of N points is N pixels, as the canvas measures its texts.
constexpr int Dots_Per_Meter_72_Dpi = 2835;

// The largest probe for a text's ink, in pixels; the form's largest text
// takes some 0.5 million with the room around it.
constexpr double Probe_Limit = 1 << 21;

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
