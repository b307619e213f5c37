#include "common/SystemReason.h"

#include <cstring>

namespace ostrovel {

QString SystemReason(int errnum)
{
    // strerror and strerror_r translate through the locale's message catalogue;
    // strerrordesc_np gives the untranslated text.
    const char* words = strerrordesc_np(errnum);
    return words ? QString::fromUtf8(words) : QStringLiteral("error %1").arg(errnum);
}

} // namespace ostrovel
