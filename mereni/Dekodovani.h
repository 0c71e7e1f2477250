#pragma once
// Turning a module's four data bytes into a channel's reading.

#include <cstdint>
#include <string>

#include "Dekl.h"

// r0 + 2^8 r1 + 2^16 r2 + 2^24 r3: the first data byte is the least significant.
uint32_t SestavU32(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3);

// The modules' own decimal number: a 23-bit magnitude in r0, r1 and the low
// seven bits of r2, the sign in bit 7 of r2, the number of decimal places in
// the low seven bits of r3; the value is divided by 10.0 that many times.
double SestavF32(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3);

// A double to its 32-bit integer reading: the nearest integer (ties to the
// even neighbour), low 32 bits.  NaN and infinities give 0.
int32_t ZaokrouhliNa32(double v);

// Stores a successful read of `data` into the channel's reading fields and
// sets Chyba to 0.  An unknown format changes nothing but Chyba.  Returns the
// value read (scaled; the plain word of a "bool32" channel), NaN for an
// unknown format.
double UlozPrecteno(TKanal& k, const uint8_t data[4], char oddelovac);

// Stores a failed read with status `status`: with chybovaHodnota 0 the value
// is cleared by the channel's format, otherwise it keeps what it held.
void UlozChybu(TKanal& k, uint8_t status, int32_t chybovaHodnota, char oddelovac);
