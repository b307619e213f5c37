#pragma once
// Writes small Windows metafiles for the tests: an optional placeable
// header (with its checksum), the metafile header, the records, the end
// record.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <initializer_list>

namespace wmftest {

// Record functions, as Windows numbers them.
enum Function : std::uint16_t {
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetPolyFillMode = 0x0106,
    SetTextAlign = 0x012E,
    SelectObject = 0x012D,
    DeleteObject = 0x01F0,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportExt = 0x020E,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    Rectangle = 0x041B,
    Pie = 0x081A,
    Polygon = 0x0324,
    PolyPolygon = 0x0538,
    TextOut = 0x0521,
    ExtTextOut = 0x0A32,
    StretchDib = 0x0F43,
};

class WmfWriter {
public:
    /// Starts with a placeable header: the box in logical units and the
    /// logical units per inch.
    WmfWriter& placeable(QRect box, std::uint16_t unitsPerInch);
    /// Appends a record with 16-bit parameters in file order.
    WmfWriter& record(std::uint16_t function, std::initializer_list<std::int16_t> params);
    /// Appends a record whose parameters are the given bytes (padded to words).
    WmfWriter& rawRecord(std::uint16_t function, const QByteArray& params);

    WmfWriter& window(QRect box);
    WmfWriter& pen(int style, int width, QColor colour);
    WmfWriter& brush(int style, QColor colour, int hatch = 0);
    WmfWriter& select(int object);
    WmfWriter& rectangle(QRect box);
    WmfWriter& ellipse(QRect box);
    WmfWriter& polygon(const QList<QPoint>& points);
    WmfWriter& polyPolygon(const QList<QList<QPoint>>& polygons);
    WmfWriter& clip(QRect box);
    WmfWriter& font(int height, int weight, const QByteArray& face);
    WmfWriter& textOut(QPoint at, const QByteArray& text);
    /// A StretchDIB of a 24-bit bitmap made from `image`, into `target`.
    WmfWriter& bitmap(QRect target, const QImage& image);

    /// The complete metafile; the header claims `objects` object slots.
    QByteArray bytes(int objects = 8) const;

private:
    QByteArray m_placeable;
    QList<QByteArray> m_records;
};

/// Overwrites four bytes at `at` with `value`, little-endian: hand-made damage.
void putU32(QByteArray& bytes, qsizetype at, std::uint32_t value);

} // namespace wmftest
