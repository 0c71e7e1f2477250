#pragma once
// Windows-1250 text.  Every text the program keeps in its records and writes
// into files is a std::string of Windows-1250 bytes; conversion to Unicode
// happens only where a text meets a widget or a file-system path.

#include <string>
#include <string_view>

class QString;

// UTF-8 -> Windows-1250.  Characters the code page lacks become '?'.
// Used for the program's own Czech literals, which the sources hold in UTF-8.
std::string Cp1250(std::string_view utf8);

// Whether the bytes are well-formed UTF-8 (no broken or over-long sequence,
// no surrogate, nothing beyond U+10FFFF).  Pure ASCII is.
bool JePlatneUtf8(std::string_view text);

// Windows-1250 -> UTF-8.  The five bytes the code page leaves undefined
// (0x81 0x83 0x88 0x90 0x98) map to U+FFFD.
std::string Utf8(std::string_view cp1250);

// Widget boundary.
QString DoQString(std::string_view cp1250);
std::string ZQString(const QString& text);

// Case folding of one Windows-1250 byte (ASCII and the Czech and other
// Central European letters of the code page): the lower-case form.
unsigned char MalePismeno1250(unsigned char c);
