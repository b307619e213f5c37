#pragma once
// Little-endian values in hand-made files (BMP, GIF, metafiles, Exif):
// appended while a file is built, or written over bytes to damage one.

#include <QByteArray>

#include <cstdint>

namespace ostrovel::test {

/// Appends the low 16 bits of `value`, low byte first.
inline void appendLe16(QByteArray& out, std::uint32_t value)
{
    out += char(value & 0xFF);
    out += char((value >> 8) & 0xFF);
}

/// Appends `value`, low byte first.
inline void appendLe32(QByteArray& out, std::uint32_t value)
{
    appendLe16(out, value & 0xFFFF);
    appendLe16(out, value >> 16);
}

/// Overwrites the two bytes at `at` with the low 16 bits of `value`.
inline void setLe16(QByteArray& bytes, qsizetype at, std::uint32_t value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}

/// Overwrites the four bytes at `at` with `value`.
inline void setLe32(QByteArray& bytes, qsizetype at, std::uint32_t value)
{
    setLe16(bytes, at, value & 0xFFFF);
    setLe16(bytes, at + 2, value >> 16);
}

} // namespace ostrovel::test
