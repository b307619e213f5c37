#include "tests/support/ImageCompare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ostrovel::test {

int maxChannelDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return kSizesDiffer;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            worst = std::max({worst, std::abs(qRed(p[col]) - qRed(q[col])),
                              std::abs(qGreen(p[col]) - qGreen(q[col])), std::abs(qBlue(p[col]) - qBlue(q[col])),
                              std::abs(qAlpha(p[col]) - qAlpha(q[col]))});
    }
    return worst;
}

double psnr(const QImage& a, const QImage& b, QRect area)
{
    if (a.size() != b.size() || area.isEmpty() || !a.rect().contains(area))
        return 0.0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = area.top(); row <= area.bottom(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = area.left(); col <= area.right(); ++col) {
            const int d[3] = {qRed(p[col]) - qRed(q[col]), qGreen(p[col]) - qGreen(q[col]),
                              qBlue(p[col]) - qBlue(q[col])};
            sum += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        }
    }
    const double mse = sum / (3.0 * double(area.width()) * double(area.height()));
    return mse == 0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace ostrovel::test
