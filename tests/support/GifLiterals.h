#pragma once
// The image data of hand-made GIF files.

#include <QByteArray>
#include <QList>

namespace ostrovel::test {

/// The LZW code size byte, then data sub-blocks and the empty block ending
/// them, coding `indices` as literal codes only: a clear code comes often
/// enough that the code width stays at minCodeSize + 1 bits.
QByteArray gifLzwLiterals(const QList<int>& indices, int minCodeSize);

} // namespace ostrovel::test
