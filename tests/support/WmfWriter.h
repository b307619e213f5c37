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
    SaveDc = 0x001E,
    RealizePalette = 0x0035,
    CreatePalette = 0x00F7,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    SetPolyFillMode = 0x0106,
    SetStretchBltMode = 0x0107,
    RestoreDc = 0x0127,
    InvertRegion = 0x012A,
    PaintRegion = 0x012B,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    DibCreatePatternBrush = 0x0142,
    DeleteObject = 0x01F0,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    OffsetClipRgn = 0x0220,
    FillRegion = 0x0228,
    SelectPalette = 0x0234,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    Polygon = 0x0324,
    Polyline = 0x0325,
    ScaleWindowExt = 0x0410,
    ScaleViewportExt = 0x0412,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    FloodFill = 0x0419,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    FrameRegion = 0x0429,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    ExtFloodFill = 0x0548,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    Escape = 0x0626,
    CreateRegion = 0x06FF,
    Arc = 0x0817,
    Pie = 0x081A,
    Chord = 0x0830,
    DibBitBlt = 0x0940,
    ExtTextOut = 0x0A32,
    DibStretchBlt = 0x0B41,
    SetDibitsToDevice = 0x0D33,
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
    /// A StretchDIB of a packed DIB (header, palette, bits) of `size`, into `target`.
    WmfWriter& dib(QRect target, QSize size, const QByteArray& dib);

    /// The complete metafile; the header claims `objects` object slots.
    QByteArray bytes(int objects = 8) const;

private:
    QByteArray m_placeable;
    QList<QByteArray> m_records;
};

} // namespace wmftest
