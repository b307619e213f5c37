#include "tests/support/WmfWriter.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>

namespace wmftest {
namespace {

QDataStream& writer(QDataStream& out)
{
    out.setByteOrder(QDataStream::LittleEndian);
    return out;
}

// COLORREF: red in the low byte.
std::uint32_t colorRef(QColor c)
{
    return std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8) | (std::uint32_t(c.blue()) << 16);
}

std::int16_t low(std::uint32_t v)
{
    return std::int16_t(v & 0xFFFF);
}

std::int16_t high(std::uint32_t v)
{
    return std::int16_t(v >> 16);
}

// A bottom-up 24-bit DIB: info header and rows, no palette.
QByteArray dib24(const QImage& image)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    writer(out) << quint32(40) << qint32(image.width()) << qint32(image.height()) << quint16(1) << quint16(24)
                << quint32(0) << quint32(0) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = image.height() - 1; y >= 0; --y) {
        int written = 0;
        for (int x = 0; x < image.width(); ++x, written += 3) {
            const QRgb p = image.pixel(x, y);
            out << quint8(qBlue(p)) << quint8(qGreen(p)) << quint8(qRed(p));
        }
        for (; written % 4; ++written)
            out << quint8(0);
    }
    return bytes;
}

} // namespace

WmfWriter& WmfWriter::placeable(QRect box, std::uint16_t unitsPerInch)
{
    const std::uint16_t words[10] = {0xCDD7, 0x9AC6, 0, std::uint16_t(box.left()), std::uint16_t(box.top()),
        std::uint16_t(box.left() + box.width()), std::uint16_t(box.top() + box.height()), unitsPerInch, 0, 0};
    std::uint16_t checksum = 0;
    m_placeable.clear();
    QDataStream out(&m_placeable, QIODevice::WriteOnly);
    writer(out);
    for (std::uint16_t w : words) {
        checksum ^= w;
        out << quint16(w);
    }
    out << quint16(checksum);
    return *this;
}

WmfWriter& WmfWriter::record(std::uint16_t function, std::initializer_list<std::int16_t> params)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    for (std::int16_t p : params)
        writer(out) << qint16(p);
    return rawRecord(function, bytes);
}

WmfWriter& WmfWriter::rawRecord(std::uint16_t function, const QByteArray& params)
{
    QByteArray padded = params;
    if (padded.size() % 2)
        padded.append('\0');
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    writer(out) << quint32(3 + padded.size() / 2) << quint16(function);
    bytes.append(padded);
    m_records.append(bytes);
    return *this;
}

WmfWriter& WmfWriter::window(QRect box)
{
    record(SetWindowOrg, {std::int16_t(box.top()), std::int16_t(box.left())});
    return record(SetWindowExt, {std::int16_t(box.height()), std::int16_t(box.width())});
}

WmfWriter& WmfWriter::pen(int style, int width, QColor colour)
{
    const std::uint32_t c = colorRef(colour);
    return record(CreatePenIndirect, {std::int16_t(style), std::int16_t(width), 0, low(c), high(c)});
}

WmfWriter& WmfWriter::brush(int style, QColor colour, int hatch)
{
    const std::uint32_t c = colorRef(colour);
    return record(CreateBrushIndirect, {std::int16_t(style), low(c), high(c), std::int16_t(hatch)});
}

WmfWriter& WmfWriter::select(int object)
{
    return record(SelectObject, {std::int16_t(object)});
}

WmfWriter& WmfWriter::rectangle(QRect b)
{
    return record(Rectangle, {std::int16_t(b.top() + b.height()), std::int16_t(b.left() + b.width()),
                                 std::int16_t(b.top()), std::int16_t(b.left())});
}

WmfWriter& WmfWriter::ellipse(QRect b)
{
    return record(Ellipse, {std::int16_t(b.top() + b.height()), std::int16_t(b.left() + b.width()),
                               std::int16_t(b.top()), std::int16_t(b.left())});
}

WmfWriter& WmfWriter::clip(QRect b)
{
    return record(IntersectClipRect, {std::int16_t(b.top() + b.height()), std::int16_t(b.left() + b.width()),
                                         std::int16_t(b.top()), std::int16_t(b.left())});
}

WmfWriter& WmfWriter::polygon(const QList<QPoint>& points)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    writer(out) << qint16(points.size());
    for (const QPoint& p : points)
        out << qint16(p.x()) << qint16(p.y());
    return rawRecord(Polygon, bytes);
}

WmfWriter& WmfWriter::polyPolygon(const QList<QList<QPoint>>& polygons)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    writer(out) << qint16(polygons.size());
    for (const QList<QPoint>& polygon : polygons)
        out << qint16(polygon.size());
    for (const QList<QPoint>& polygon : polygons)
        for (const QPoint& p : polygon)
            out << qint16(p.x()) << qint16(p.y());
    return rawRecord(PolyPolygon, bytes);
}

WmfWriter& WmfWriter::font(int height, int weight, const QByteArray& face)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    // height, width, escapement, orientation, weight, then eight flag bytes
    writer(out) << qint16(height) << qint16(0) << qint16(0) << qint16(0) << qint16(weight);
    for (int i = 0; i < 8; ++i)
        out << quint8(0);
    bytes.append(face).append('\0');
    return rawRecord(CreateFontIndirect, bytes);
}

WmfWriter& WmfWriter::textOut(QPoint at, const QByteArray& text)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    writer(out) << qint16(text.size());
    bytes.append(text);
    if (bytes.size() % 2)
        bytes.append('\0');
    QDataStream tail(&bytes, QIODevice::Append);
    writer(tail) << qint16(at.y()) << qint16(at.x());
    return rawRecord(TextOut, bytes);
}

WmfWriter& WmfWriter::bitmap(QRect t, const QImage& image)
{
    return dib(t, image.size(), dib24(image));
}

WmfWriter& WmfWriter::dib(QRect t, QSize size, const QByteArray& dib)
{
    constexpr std::uint32_t kSrcCopy = 0x00CC0020;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    // raster operation, colour usage, source h, w, y, x, target h, w, y, x
    writer(out) << qint16(low(kSrcCopy)) << qint16(high(kSrcCopy)) << qint16(0) << qint16(size.height())
                << qint16(size.width()) << qint16(0) << qint16(0) << qint16(t.height()) << qint16(t.width())
                << qint16(t.top()) << qint16(t.left());
    bytes.append(dib);
    return rawRecord(StretchDib, bytes);
}

QByteArray WmfWriter::bytes(int objects) const
{
    QByteArray body;
    qsizetype largest = 3;
    for (const QByteArray& r : m_records) {
        body.append(r);
        largest = std::max(largest, r.size() / 2);
    }
    const QByteArray end = QByteArray::fromHex("030000000000");
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    // disk metafile, 9-word header, version 3.0, size in words, objects,
    // largest record in words, no parameters
    writer(out) << quint16(1) << quint16(9) << quint16(0x0300) << quint32((18 + body.size() + end.size()) / 2)
                << quint16(objects) << quint32(largest) << quint16(0);
    return m_placeable + header + body + end;
}

} // namespace wmftest
