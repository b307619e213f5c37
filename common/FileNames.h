#pragma once
// File names as the system has them (bytes) and as the program holds them
// (QString), without loss: names that are not valid UTF-8 survive the trip.

#include <QByteArray>
#include <QString>

namespace ostrovel {

/// The name's bytes as UTF-8 text; each byte that is not part of valid UTF-8
/// becomes a lone surrogate U+DC80..U+DCFF, so no two names decode alike.
QString DecodeFileName(const QByteArray& bytes);

/// The inverse of DecodeFileName: UTF-8, with each lone surrogate
/// U+DC80..U+DCFF turned back into its byte.
QByteArray EncodeFileName(const QString& name);

} // namespace ostrovel
