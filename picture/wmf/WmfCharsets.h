#pragma once
// The 8-bit text of metafiles as Unicode.

#include <QString>

namespace ostrovel::wmf {

/// Text in the Windows ANSI code page (1252): Latin-1 plus the printable
/// characters 1252 puts in 0x80..0x9F. Reads up to the first zero byte.
QString decodeAnsi(const char* text);

/// Text in the encoding of the "Symbol" font (Greek letters, mathematical
/// signs, pieces of large brackets), so that any Unicode font can draw it.
/// Reads up to the first zero byte.
QString decodeSymbol(const char* text);

} // namespace ostrovel::wmf
