#ifndef ASCIIFILTER_H
#define ASCIIFILTER_H

#include <string>

// Reduces a reply to 7-bit characters. Bytes below 128 pass unchanged.
// Each well-formed UTF-8 sequence of two to four bytes (no overlong forms,
// no surrogates, nothing above U+10FFFF) becomes one '?', so a character
// reads as one replacement, not as several; every other byte above 127
// (Latin-1 and other 8-bit text, stray or truncated sequences) becomes
// one '?' of its own.
// Works in place: the reply is never held twice.
std::string asciiFiltered(std::string bytes);

#endif // ASCIIFILTER_H
