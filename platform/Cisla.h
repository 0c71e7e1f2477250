#pragma once
// Locale-independent number texts.  Nothing here goes through the C locale:
// the decimal separator is always passed in by the caller.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Integer text as the program reads it everywhere: optional leading blanks,
// an optional sign, then decimal digits, or hexadecimal digits after "$" or
// "0x"/"0X".  Decimal must fit a signed 32-bit integer; hexadecimal may use
// all 32 bits (so $FFFFFFFF reads as -1).  Anything else does not convert.
std::optional<int32_t> TextNaCele(std::string_view text);

// Decimal text of an integer, "-" before a negative number.
std::string CeleNaText(int64_t hodnota);

// General form of a double with at most 15 significant digits, trailing
// zeros dropped, `oddelovac` as the decimal separator and no thousands
// separator.  2.5 -> "2,5", 1500 -> "1500", 0.001 -> "0,001",
// 0.00001 -> "1E-5", 1e20 -> "1E20", 0 -> "0".
std::string DoubleNaText(double hodnota, char oddelovac);

// Fixed notation: exactly `mista` digits after `oddelovac` (mista clamped to
// 0..18), the value first rounded to 16 significant digits, a leading minus
// for negative values, no thousands separator.  A value with more than 16
// digits before the separator comes out in the general form (16 digits).
// Rounding works on the decimal digits, half away from zero (2.675 -> 2,68);
// a negative value that rounds to zero shows no minus sign.  NaN and the
// infinities give "NAN", "INF" and "-INF" here and in DoubleNaText.
std::string FixniText(double hodnota, int mista, char oddelovac);

// Floating-point text written with `oddelovac` as the decimal separator:
// optional blanks around it, optional sign, digits with at most one
// separator, optional exponent (E or e, optional sign, digits).  No
// thousands separators; the other separator character does not convert.
std::optional<double> TextNaDouble(std::string_view text, char oddelovac);

// "1 kanál", "3 kanály", "5 kanálů": a count with the Czech plural form of
// its noun, given for one, for two to four, and for the rest (in the
// caller's encoding).
std::string PocetSlovem(int64_t n, std::string_view jeden, std::string_view dva,
                        std::string_view pet);
