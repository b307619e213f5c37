// Metafile seeds, written with the tests' WmfWriter: the shapes, pens,
// brushes, text, bitmaps, regions, palettes, clipping and mapping modes the
// device layer handles, each in a small file, and records that lie about
// their contents (counts beyond the record, objects that do not exist,
// bitmaps that claim more than they hold).

#include "fuzz/seeds/Seeds.h"
#include "tests/support/WmfWriter.h"

#include <QDataStream>

namespace ostrovel::seeds {
namespace {

using wmftest::WmfWriter;
using namespace wmftest; // the record functions

constexpr std::int16_t kSrcCopyLow = 0x0020, kSrcCopyHigh = 0x00CC;

QByteArray words(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        appendLe16(out, unsigned(v) & 0xFFFF);
    return out;
}

// A packed DIB: info header, palette, rows of `bitCount` bits (1, 4, 8, 24).
QByteArray dib(int width, int height, int bitCount, std::uint32_t compression = 0, const QByteArray& rle = {})
{
    QByteArray out;
    const int colours = bitCount <= 8 ? 1 << bitCount : 0;
    const int rowBytes = (width * bitCount + 31) / 32 * 4;
    appendLe32(out, 40);
    appendLe32(out, std::uint32_t(width));
    appendLe32(out, std::uint32_t(height));
    appendLe16(out, 1);
    appendLe16(out, unsigned(bitCount));
    appendLe32(out, compression);
    appendLe32(out, std::uint32_t(rle.isEmpty() ? rowBytes * std::abs(height) : rle.size()));
    out += QByteArray(16, '\0');
    for (int i = 0; i < colours; ++i)
        out += words({(i * 97) & 0xFFFF, i * 31 & 0xFF});
    if (!rle.isEmpty())
        return out + rle;
    for (int i = 0; i < rowBytes * std::abs(height); ++i)
        out += char((i * 37 + i / rowBytes * 11) & 0xFF);
    return out;
}

// A 2 x 1 inch metafile whose window is its box, filled red with no outline.
WmfWriter framed()
{
    WmfWriter w;
    w.placeable(QRect(0, 0, 2880, 1440), 1440).window(QRect(0, 0, 2880, 1440));
    w.brush(0, QColor(200, 30, 30)).select(0).pen(0, 20, QColor(0, 0, 160)).select(1);
    return w;
}

void addShapes(SeedSink& sink)
{
    sink.add("wmf", "rectangle.wmf", framed().rectangle(QRect(100, 100, 1000, 600)).bytes());
    WmfWriter plain;
    plain.window(QRect(0, 0, 400, 300)).brush(0, Qt::green).select(0).ellipse(QRect(10, 10, 300, 200));
    sink.add("wmf", "no-placeable-header.wmf", plain.bytes());
    WmfWriter arcs = framed();
    arcs.record(Arc, {0, 2880, 1440, 0, 1400, 1400, 0, 0}).record(wmftest::Pie, {0, 1440, 720, 2880, 1440, 2880, 0, 0});
    arcs.record(Chord, {200, 2000, 1200, 2800, 1400, 2800, 100, 1500}).ellipse(QRect(10, 10, 500, 300));
    sink.add("wmf", "arcs.wmf", arcs.bytes());
    WmfWriter polys = framed();
    polys.record(wmftest::SetPolyFillMode, {2}).polygon({{0, 0}, {2000, 100}, {1000, 1400}, {0, 0}});
    polys.polyPolygon({{{0, 0}, {1920, 0}, {1920, 1440}}, {{960, 0}, {2880, 0}, {2880, 1440}, {960, 1440}}});
    polys.rawRecord(Polyline, words({4, 0, 0, 2880, 1440, 0, 1440, 2880, 0}));
    polys.record(RoundRect, {200, 300, 1400, 2800, 800, 1600});
    sink.add("wmf", "polygons.wmf", polys.bytes());
    WmfWriter lines = framed();
    for (std::int16_t style = 1; style <= 4; ++style) {
        const auto x = std::int16_t(style * 200);
        lines.pen(style, style * 15, QColor(0, 40 * style, 0)).select(2 + style);
        lines.record(MoveTo, {0, x}).record(LineTo, {1440, std::int16_t(x + 100)});
    }
    lines.record(SetPixel, {0x00FF, 0x0000, 700, 700});
    sink.add("wmf", "lines.wmf", lines.bytes(12));
}

void addBrushesAndModes(SeedSink& sink)
{
    WmfWriter hatches = framed();
    for (int hatch = 0; hatch <= 5; ++hatch)
        hatches.brush(2, QColor(0, 0, 200), hatch).select(2 + hatch).rectangle(QRect(hatch * 450, 0, 400, 1400));
    hatches.record(wmftest::SetBkMode, {2}).record(SetBkColor, {0x00FF, 0x00FF});
    sink.add("wmf", "hatch-brushes.wmf", hatches.bytes(12));
    WmfWriter pattern = framed();
    pattern.rawRecord(DibCreatePatternBrush, words({5, 0}) + dib(8, 8, 1)).select(2).rectangle(QRect(0, 0, 2880, 1440));
    sink.add("wmf", "pattern-brush.wmf", pattern.bytes());
    WmfWriter rops = framed();
    for (std::int16_t rop = 1; rop <= 16; rop += 3)
        rops.record(SetRop2, {rop}).rectangle(QRect(rop * 150, 100, 600, 900));
    rops.rawRecord(PatBlt, words({0x0049, 0x005A, 400, 400, 200, 200}));
    sink.add("wmf", "raster-ops.wmf", rops.bytes());
    WmfWriter aniso = framed();
    aniso.record(wmftest::SetMapMode, {8}).record(wmftest::SetViewportExt, {300, 900}).record(SetViewportOrg, {10, 10});
    aniso.record(ScaleWindowExt, {2, 1, 3, 1}).record(ScaleViewportExt, {1, 2, 1, 2}).record(OffsetViewportOrg, {5, 5});
    sink.add("wmf", "anisotropic.wmf", aniso.ellipse(QRect(0, 0, 2880, 1440)).bytes());
    WmfWriter iso;
    iso.record(wmftest::SetMapMode, {7}).window(QRect(0, 0, 100, -50)).record(wmftest::SetViewportExt, {50, 100});
    sink.add("wmf", "isotropic-flipped.wmf", iso.brush(0, Qt::blue).select(0).rectangle(QRect(5, -5, 50, -20)).bytes());
    WmfWriter twips;
    twips.record(wmftest::SetMapMode, {6}).record(OffsetWindowOrg, {-100, -100});
    sink.add("wmf", "twips.wmf", twips.brush(0, Qt::red).select(0).rectangle(QRect(0, 0, 1440, 720)).bytes());
}

void addTextAndClipping(SeedSink& sink)
{
    WmfWriter text = framed();
    text.record(wmftest::SetBkMode, {1}).record(wmftest::SetTextColor, {0x00FF, 0}).record(wmftest::SetTextAlign, {24});
    text.font(-300, 700, "Arial").select(2).textOut(QPoint(100, 700), "Ostrovel");
    text.font(200, 400, "Symbol").select(3).textOut(QPoint(100, 1200), "abc\xE4\xF6");
    text.font(300, 400, QByteArray("Times New Roman")).select(4);
    // y, x, count, options (opaque | clipped), rectangle, text, widths
    text.rawRecord(ExtTextOut, words({400, 1500, 5, 6, 1400, 300, 2800, 1000}) + "Hello" + '\0'
                                   + words({100, 120, 90, 100, 110}));
    sink.add("wmf", "text.wmf", text.bytes());
    WmfWriter clipped = framed();
    clipped.record(SaveDc, {}).clip(QRect(200, 200, 1000, 800)).record(ExcludeClipRect, {600, 900, 400, 500});
    clipped.record(OffsetClipRgn, {50, 50}).rectangle(QRect(0, 0, 2880, 1440)).record(RestoreDc, {-1});
    clipped.ellipse(QRect(1500, 200, 1200, 1000));
    sink.add("wmf", "clipping.wmf", clipped.bytes());
    // next, type 6, object count, size, 1 scan, max scan, bounds; the scan:
    // 2 x values, top, bottom, left, right, 2.
    const QByteArray region = words({0, 6, 0, 0, 34, 1, 2, 100, 100, 900, 700, 2, 100, 700, 100, 900, 2});
    WmfWriter regions = framed();
    regions.rawRecord(CreateRegion, region).record(SelectClipRegion, {2}).rectangle(QRect(0, 0, 2880, 1440));
    regions.rawRecord(CreateRegion, region).record(FillRegion, {3, 0}).record(FrameRegion, {3, 0, 20, 20});
    regions.record(InvertRegion, {3}).record(PaintRegion, {3});
    sink.add("wmf", "regions.wmf", regions.bytes());
}

void addBitmaps(SeedSink& sink)
{
    QImage image = photoLike(6, 4);
    sink.add("wmf", "stretch-dib-24.wmf", framed().bitmap(QRect(100, 100, 2000, 1200), image).bytes());
    WmfWriter blits = framed();
    blits.rawRecord(DibBitBlt, words({kSrcCopyLow, kSrcCopyHigh, 0, 0, 8, 8, 100, 100}) + dib(8, 8, 8));
    blits.rawRecord(DibStretchBlt, words({kSrcCopyLow, kSrcCopyHigh, 4, 4, 0, 0, 900, 900, 500, 1500}) + dib(4, 4, 4));
    blits.record(SetStretchBltMode, {3});
    blits.rawRecord(SetDibitsToDevice, words({0, 6, 0, 0, 0, 6, 9, 800, 200}) + dib(9, -6, 1));
    sink.add("wmf", "bitmaps.wmf", blits.bytes());
    const QByteArray rle8("\x04\x01\x04\x02\0\0\x08\x03\0\x01", 10);
    WmfWriter rle = framed();
    const QByteArray stretch = words({kSrcCopyLow, kSrcCopyHigh, 2, 8, 0, 0, 900, 900, 0, 0});
    rle.rawRecord(DibStretchBlt, stretch + dib(8, 2, 8, 1, rle8));
    sink.add("wmf", "bitmap-rle8.wmf", rle.bytes());
    WmfWriter palette = framed();
    palette.rawRecord(CreatePalette, words({0x300, 3, 0x00FF, 0, 0xFF00, 0, 0, 0x00FF})).record(SelectPalette, {2});
    palette.record(RealizePalette, {}).record(FloodFill, {0x00FF, 0, 700, 700});
    palette.record(ExtFloodFill, {1, 0x00FF, 0, 10, 10}).rawRecord(Escape, words({15, 4, 0x1234, 0x5678}));
    sink.add("wmf", "palette-and-fills.wmf", palette.bytes());
}

// A red rectangle frame with one lying record after it.
QByteArray lying(std::uint16_t function, const QByteArray& params)
{
    return framed().rawRecord(function, params).bytes();
}

void addLies(SeedSink& sink)
{
    const QRect small(0, 0, 9, 9);
    sink.add("wmf", "polygon-count-beyond-record.wmf", lying(wmftest::Polygon, words({500, 0, 0, 100, 100})));
    sink.add("wmf", "polypolygon-counts-lie.wmf",
             lying(wmftest::PolyPolygon, words({3, 4, 30000, 2, 0, 0, 10, 10, 20, 0})));
    sink.add("wmf", "select-missing-object.wmf",
             framed().select(40).record(wmftest::DeleteObject, {77}).rectangle(small).bytes());
    sink.add("wmf", "no-object-slots.wmf", framed().rectangle(QRect(0, 0, 100, 100)).bytes(0));
    const QByteArray unterminated = words({100, 0, 0, 0, 400}) + "Arialxxxxxxxxxx";
    sink.add("wmf", "font-without-end.wmf",
             framed().rawRecord(wmftest::CreateFontIndirect, unterminated).select(2).textOut({0, 0}, "x").bytes());
    sink.add("wmf", "text-count-beyond-record.wmf", lying(wmftest::TextOut, words({900}) + "ab" + words({10, 10})));
    const QByteArray region = words({0, 6, 0, 0, 34, 900, 2, 0, 0, 9, 9, 200, 0});
    sink.add("wmf", "region-scans-lie.wmf",
             framed().rawRecord(CreateRegion, region).record(SelectClipRegion, {2}).bytes());
    sink.add("wmf", "palette-entries-lie.wmf",
             framed().rawRecord(CreatePalette, words({0x300, 4000, 1, 2})).record(SelectPalette, {2}).bytes());
    sink.add("wmf", "huge-coordinates.wmf",
             framed().rectangle(QRect(-32768, -32768, 65535, 65535)).ellipse(QRect(32000, 32000, 767, 767)).bytes());
    sink.add("wmf", "window-extent-zero.wmf", framed().record(wmftest::SetWindowExt, {0, 0}).rectangle(small).bytes());
    sink.add("wmf", "restore-without-save.wmf", framed().record(RestoreDc, {-5}).rectangle(small).bytes());
}

void addBitmapLies(SeedSink& sink)
{
    const QByteArray copyInto9 = words({kSrcCopyLow, kSrcCopyHigh, 4, 4, 0, 0, 9, 9, 0, 0});
    sink.add("wmf", "bitmap-claims-65535-wide.wmf", lying(DibStretchBlt, copyInto9 + dib(65535, 2, 24).left(80)));
    const QByteArray outside = words({kSrcCopyLow, kSrcCopyHigh, 400, 400, -50, 300, 900, 900, 0, 0});
    sink.add("wmf", "bitmap-source-outside.wmf", lying(DibStretchBlt, outside + dib(4, 4, 24)));
    sink.add("wmf", "bitmap-rle8-runs-lie.wmf",
             lying(DibStretchBlt, copyInto9 + dib(4, 4, 8, 1, QByteArray("\xFF\x01\0\x02\x7F\x7F", 6))));
}

void addBrokenFiles(SeedSink& sink)
{
    const QByteArray good = framed().rectangle(QRect(100, 100, 1000, 600)).bytes();
    sink.add("wmf", "cut-short.wmf", good.left(good.size() - 10));
    sink.add("wmf", "placeable-only.wmf", good.left(22));
    QByteArray bigRecord = good;
    test::setLe32(bigRecord, 22 + 12, 0x7FFFFFFF); // largest record beyond the file
    sink.add("wmf", "largest-record-beyond-file.wmf", bigRecord);
    QByteArray zeroRecord = good;
    test::setLe32(zeroRecord, 22 + 18, 0); // first record of no words
    sink.add("wmf", "record-of-no-words.wmf", zeroRecord);
    const QRect small(0, 0, 9, 9);
    sink.add("wmf", "placeable-units-zero.wmf",
             WmfWriter().placeable(QRect(0, 0, 100, 100), 0).rectangle(small).bytes());
    sink.add("wmf", "placeable-box-empty.wmf", WmfWriter().placeable(QRect(5, 5, 0, 0), 1440).rectangle(small).bytes());
    sink.add("wmf", "empty-metafile.wmf", WmfWriter().bytes());
}

} // namespace

void makeWmfSeeds(SeedSink& sink)
{
    addShapes(sink);
    addBrushesAndModes(sink);
    addTextAndClipping(sink);
    addBitmaps(sink);
    addLies(sink);
    addBitmapLies(sink);
    addBrokenFiles(sink);
}

} // namespace ostrovel::seeds
