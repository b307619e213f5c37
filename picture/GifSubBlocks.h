#pragma once
// A GIF's data sub-blocks read as one stream of bytes in place: never joined
// into a copy, so a file of tiny sub-blocks costs no memory beyond itself.

#include <QByteArray>

namespace ostrovel {

/// The bytes of the run of data sub-blocks at `at` in `d`, one at a time.
class GifSubBlocks {
public:
    GifSubBlocks(const QByteArray& d, qsizetype at) : m_d(d), m_at(at) {}
    /// The next byte, or -1 at the terminator or the end of `d`.
    int next()
    {
        while (m_left == 0) {
            if (m_at >= m_d.size() || m_d.at(m_at) == 0)
                return -1;
            m_left = quint8(m_d.at(m_at++));
        }
        if (m_at >= m_d.size())
            return -1;
        --m_left;
        return quint8(m_d.at(m_at++));
    }

private:
    const QByteArray& m_d;
    qsizetype m_at;
    int m_left = 0;
};

} // namespace ostrovel
