// Numbers of the written model files, formatted by our own code with
// std::to_chars, so the bytes are the same on every system (the C runtimes'
// printf differ, e.g. in the digits of an exponent: 1e-05 on glibc, 1e-005 on
// Windows' older runtime).
#pragma once

#include <string>

// As printf's "%g" (and an output stream's default form) writes it: six
// significant digits, trailing zeros dropped, an exponent of at least two
// digits below 1e-4 and from 1e6; "inf", "-inf", "nan", "-nan".
void appendGeneralNumber(std::string& out, double value);

// As printf's "%f" writes it: six decimals; "inf", "-inf", "nan", "-nan".
void appendFixedNumber(std::string& out, double value);
