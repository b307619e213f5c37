#include "picture/wmf/WmfDevice.h" // libwmf last: its macros break Qt's headers

#include <QPainterPath>
#include <QtMath>

#include <cmath>

namespace ostrovel::wmf {
namespace {

// Windows' mapping modes in which libwmf derives the scale from the extents.
constexpr unsigned kIsotropic = 7;
constexpr unsigned kAnisotropic = 8;

DeviceData* data(wmfAPI* api)
{
    return static_cast<DeviceData*>(api->device_data);
}

// libwmf's device units per logical unit as its player applies them: the
// fixed modes keep a positive size and flip with the window's extent.
double effectivePixel(double stored, int windowExtent, unsigned mapMode)
{
    if (mapMode == kIsotropic || mapMode == kAnisotropic)
        return stored;
    return windowExtent < 0 ? -stored : stored;
}

Mix mixFor(unsigned rop2)
{
    switch (rop2) {
    case R2_BLACK: return Mix::Black;
    case R2_WHITE: return Mix::White;
    case R2_NOP: return Mix::Skip;
    case R2_NOTCOPYPEN: return Mix::Inverse;
    case R2_NOT: return Mix::InvertDestination;
    case R2_XORPEN:
    case R2_NOTXORPEN: return Mix::Difference;
    case R2_MASKPEN: return Mix::Multiply;
    case R2_MERGEPEN: return Mix::Lighten;
    default: return Mix::Copy;
    }
}

QList<qreal> dashesFor(unsigned style)
{
    switch (style) {
    case PS_DASH: return {18, 6};
    case PS_DOT: return {3, 3};
    case PS_DASHDOT: return {9, 6, 3, 6};
    case PS_DASHDOTDOT: return {9, 3, 3, 3, 3, 3};
    case PS_ALTERNATE: return {1, 1};
    default: return {};
    }
}

PenParams penOf(const wmfDC* dc)
{
    const wmfPen* pen = dc->pen;
    PenParams params;
    if (!pen || WMF_PEN_STYLE(pen) == PS_NULL) {
        params.visible = false;
        return params;
    }
    params.color = toColor(pen->lopnColor);
    params.width = std::abs(pen->width);
    params.dashes = dashesFor(WMF_PEN_STYLE(pen));
    const unsigned cap = WMF_PEN_ENDCAP(pen);
    params.cap = cap == PS_ENDCAP_SQUARE ? Qt::SquareCap : cap == PS_ENDCAP_FLAT ? Qt::FlatCap : Qt::RoundCap;
    const unsigned join = WMF_PEN_JOIN(pen);
    params.join = join == PS_JOIN_BEVEL ? Qt::BevelJoin : join == PS_JOIN_MITER ? Qt::MiterJoin : Qt::RoundJoin;
    return params;
}

Qt::BrushStyle hatchFor(unsigned hatch)
{
    switch (hatch) {
    case HS_HORIZONTAL: return Qt::HorPattern;
    case HS_VERTICAL: return Qt::VerPattern;
    case HS_FDIAGONAL: return Qt::FDiagPattern;
    case HS_BDIAGONAL: return Qt::BDiagPattern;
    case HS_CROSS: return Qt::CrossPattern;
    default: return Qt::DiagCrossPattern;
    }
}

BrushParams brushOf(const wmfDC* dc)
{
    const wmfBrush* brush = dc->brush;
    BrushParams params;
    if (!brush || brush->lbStyle == BS_NULL)
        return params;
    params.color = toColor(brush->lbColor);
    params.kind = BrushParams::Kind::Solid;
    if (brush->lbStyle == BS_HATCHED) {
        params.kind = BrushParams::Kind::Hatch;
        params.hatch = hatchFor(brush->lbHatch);
        if (WMF_DC_OPAQUE(dc))
            params.background = toColor(dc->bgcolor);
    } else if (const QImage* pattern = bitmapImage(brush->bmp); pattern && !pattern->isNull()) {
        params.kind = BrushParams::Kind::Pattern;
        params.pattern = *pattern;
    }
    return params;
}

QPointF pointOf(const wmfD_Coord& c)
{
    return QPointF(c.x, c.y);
}

QRectF rectOf(const wmfD_Coord& a, const wmfD_Coord& b)
{
    return QRectF(pointOf(a), pointOf(b)).normalized();
}

Qt::FillRule fillRuleOf(const wmfDC* dc)
{
    return dc->polyfillmode == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
}

void drawShape(wmfAPI* api, const wmfDC* dc, const QPainterPath& path, bool filled)
{
    if (WmfCanvas* canvas = prepareCanvas(api, dc))
        canvas->drawPath(path, filled ? brushOf(dc) : BrushParams{}, penOf(dc));
}

enum class ArcKind { Arc, Pie, Chord };

// The angle Qt gives the point where the radial line through `p` (relative
// to the centre) meets the ellipse with radii rx and ry.
double angleOf(const wmfD_Coord& p, double rx, double ry)
{
    return qRadiansToDegrees(std::atan2(-p.y / ry, p.x / rx));
}

void drawArcShape(wmfAPI* api, const wmfDrawArc_t* arc, ArcKind kind)
{
    const QRectF box = rectOf(arc->TL, arc->BR);
    if (box.width() <= 0 || box.height() <= 0)
        return;
    // libwmf hands the record's start as `end` and its end as `start`, for
    // devices that draw clockwise; GDI goes counter-clockwise from the start.
    const double start = angleOf(arc->end, box.width() / 2, box.height() / 2);
    double sweep = angleOf(arc->start, box.width() / 2, box.height() / 2) - start;
    while (sweep <= 0) // equal ends make a whole turn
        sweep += 360;
    QPainterPath path;
    if (kind == ArcKind::Pie)
        path.moveTo(box.center());
    else
        path.arcMoveTo(box, start);
    path.arcTo(box, start, sweep);
    if (kind != ArcKind::Arc)
        path.closeSubpath();
    drawShape(api, arc->dc, path, kind != ArcKind::Arc);
}

QPainterPath polygonPath(const wmfD_Coord* points, unsigned count, bool closed)
{
    QPainterPath path;
    if (count < 2)
        return path;
    path.moveTo(pointOf(points[0]));
    for (unsigned i = 1; i < count; ++i)
        path.lineTo(pointOf(points[i]));
    if (closed)
        path.closeSubpath();
    return path;
}

void noDevice(wmfAPI*) {}

void drawPie(wmfAPI* api, wmfDrawArc_t* arc)
{
    drawArcShape(api, arc, ArcKind::Pie);
}

void drawChord(wmfAPI* api, wmfDrawArc_t* arc)
{
    drawArcShape(api, arc, ArcKind::Chord);
}

void drawArc(wmfAPI* api, wmfDrawArc_t* arc)
{
    drawArcShape(api, arc, ArcKind::Arc);
}

void drawEllipse(wmfAPI* api, wmfDrawArc_t* arc)
{
    QPainterPath path;
    path.addEllipse(rectOf(arc->TL, arc->BR));
    drawShape(api, arc->dc, path, true);
}

void drawLine(wmfAPI* api, wmfDrawLine_t* line)
{
    QPainterPath path(pointOf(line->from));
    path.lineTo(pointOf(line->to));
    drawShape(api, line->dc, path, false);
}

void drawPolyline(wmfAPI* api, wmfPolyLine_t* poly)
{
    drawShape(api, poly->dc, polygonPath(poly->pt, poly->count, false), false);
}

void drawPolygon(wmfAPI* api, wmfPolyLine_t* poly)
{
    QPainterPath path = polygonPath(poly->pt, poly->count, true);
    path.setFillRule(fillRuleOf(poly->dc));
    drawShape(api, poly->dc, path, true);
}

void drawPolyPolygon(wmfAPI* api, wmfPolyPoly_t* poly)
{
    QPainterPath path;
    path.setFillRule(fillRuleOf(poly->dc));
    for (unsigned i = 0; i < poly->npoly; ++i) {
        if (poly->pt && poly->count && poly->pt[i])
            path.addPath(polygonPath(poly->pt[i], poly->count[i], true));
    }
    drawShape(api, poly->dc, path, true);
}

void drawRectangle(wmfAPI* api, wmfDrawRectangle_t* rect)
{
    QPainterPath path;
    const QRectF box = rectOf(rect->TL, rect->BR);
    // width and height are the axes of the corner ellipses of a round rectangle.
    if (rect->width > 0 && rect->height > 0)
        path.addRoundedRect(box, rect->width / 2, rect->height / 2);
    else
        path.addRect(box);
    drawShape(api, rect->dc, path, true);
}

void drawPixel(wmfAPI* api, wmfDrawPixel_t* pixel)
{
    if (WmfCanvas* canvas = prepareCanvas(api, pixel->dc)) {
        const QRectF r(pointOf(pixel->pt), QSizeF(pixel->pixel_width, pixel->pixel_height));
        canvas->fillRect(r, toColor(pixel->color));
    }
}

// PatBlt: fills a rectangle with the brush, black or white.
void drawRop(wmfAPI* api, wmfROP_Draw_t* rop)
{
    WmfCanvas* canvas = prepareCanvas(api, rop->dc);
    if (!canvas)
        return;
    QPainterPath path;
    path.addRect(rectOf(rop->TL, rop->BR));
    BrushParams brush = brushOf(rop->dc);
    Mix mix = Mix::Copy; // the pen's mix does not apply here
    if (rop->ROP == BLACKNESS || rop->ROP == WHITENESS) {
        brush = BrushParams{};
        brush.kind = BrushParams::Kind::Solid;
        brush.color = rop->ROP == BLACKNESS ? Qt::black : Qt::white;
    } else if (rop->ROP == DSTINVERT) {
        brush = BrushParams{};
        brush.kind = BrushParams::Kind::Solid;
        mix = Mix::InvertDestination;
    } else if (rop->ROP == PATINVERT) {
        mix = Mix::Difference;
    } else if (rop->ROP != PATCOPY) {
        return;
    }
    canvas->setMix(mix);
    PenParams noPen;
    noPen.visible = false;
    canvas->drawPath(path, brush, noPen);
}

std::vector<QRectF> rectsOf(const wmfPolyRectangle_t* rects)
{
    std::vector<QRectF> out;
    for (unsigned i = 0; rects->TL && rects->BR && i < rects->count; ++i)
        out.push_back(rectOf(rects->TL[i], rects->BR[i]));
    return out;
}

void paintRegion(wmfAPI* api, wmfPolyRectangle_t* rects)
{
    QPainterPath path;
    for (const QRectF& r : rectsOf(rects))
        path.addRect(r);
    if (WmfCanvas* canvas = prepareCanvas(api, rects->dc)) {
        PenParams noPen;
        noPen.visible = false;
        canvas->drawPath(path, brushOf(rects->dc), noPen);
    }
}

// FrameRegion: a border width x height thick inside each rectangle.
void frameRegion(wmfAPI* api, wmfPolyRectangle_t* rects)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const QRectF& r : rectsOf(rects)) {
        path.addRect(r);
        path.addRect(r.adjusted(rects->width, rects->height, -rects->width, -rects->height));
    }
    if (WmfCanvas* canvas = prepareCanvas(api, rects->dc)) {
        PenParams noPen;
        noPen.visible = false;
        canvas->drawPath(path, brushOf(rects->dc), noPen);
    }
}

void clipRegion(wmfAPI* api, wmfPolyRectangle_t* rects)
{
    if (WmfCanvas* canvas = prepareCanvas(api, rects->dc))
        canvas->setClip(rectsOf(rects));
}

void noFlood(wmfAPI*, wmfFlood_t*) {}
void noUserData(wmfAPI*, wmfUserData_t*) {}

} // namespace

QColor toColor(const wmfRGB& rgb)
{
    return QColor(rgb.r, rgb.g, rgb.b);
}

QPointF pixelDirection(const wmfDC* dc)
{
    const double pw = effectivePixel(dc->pixel_width, dc->Window.width, dc->map_mode);
    const double ph = effectivePixel(dc->pixel_height, dc->Window.height, dc->map_mode);
    return QPointF(pw < 0 ? -1 : 1, ph < 0 ? -1 : 1);
}

std::optional<QTransform> deviceToImage(const Frame& frame, const wmfDC* dc)
{
    const double w = frame.imageSize.width();
    const double h = frame.imageSize.height();
    double sx = 0, sy = 0, tx = 0, ty = 0;
    if (frame.placeable) {
        // As a placeable metafile is drawn into a rectangle: the window (the
        // header's box unless the records set one) spans the whole image.
        const PlaceableBox& box = *frame.placeable;
        const double pw = effectivePixel(dc->pixel_width, dc->Window.width, dc->map_mode);
        const double ph = effectivePixel(dc->pixel_height, dc->Window.height, dc->map_mode);
        const double ox = frame.setsWindowOrg ? dc->Window.Ox : box.left;
        const double oy = frame.setsWindowOrg ? dc->Window.Oy : box.top;
        const double ex = frame.setsWindowExt ? dc->Window.width : double(box.right) - box.left;
        const double ey = frame.setsWindowExt ? dc->Window.height : double(box.bottom) - box.top;
        sx = w / (ex * pw);
        sy = h / (ey * ph);
        tx = (dc->Window.Ox - ox) * w / ex;
        ty = (dc->Window.Oy - oy) * h / ey;
    } else {
        const wmfD_Rect& box = frame.scanBox;
        sx = w / (double(box.BR.x) - box.TL.x);
        sy = h / (double(box.BR.y) - box.TL.y);
        tx = -box.TL.x * sx;
        ty = -box.TL.y * sy;
    }
    if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(tx) || !std::isfinite(ty) || sx == 0 || sy == 0)
        return std::nullopt;
    return QTransform(sx, 0, 0, sy, tx, ty);
}

WmfCanvas* prepareCanvas(wmfAPI* api, const wmfDC* dc)
{
    DeviceData* d = data(api);
    if (!d || !d->canvas || !dc)
        return nullptr;
    const std::optional<QTransform> transform = deviceToImage(d->frame, dc);
    if (!transform)
        return nullptr;
    d->canvas->setTransform(*transform);
    d->canvas->setMix(mixFor(dc->ROPmode));
    return d->canvas;
}

void installDevice(wmfAPI* api)
{
    auto* table = static_cast<wmfFunctionReference*>(api->function_reference);
    table->device_open = noDevice;
    table->device_close = noDevice;
    table->device_begin = noDevice;
    table->device_end = noDevice;
    table->flood_interior = noFlood;
    table->flood_exterior = noFlood;
    table->draw_pixel = drawPixel;
    table->draw_pie = drawPie;
    table->draw_chord = drawChord;
    table->draw_arc = drawArc;
    table->draw_ellipse = drawEllipse;
    table->draw_line = drawLine;
    table->poly_line = drawPolyline;
    table->draw_polygon = drawPolygon;
    table->draw_polypolygon = drawPolyPolygon;
    table->draw_rectangle = drawRectangle;
    table->rop_draw = drawRop;
    table->bmp_draw = drawBitmap;
    table->bmp_read = readBitmap;
    table->bmp_free = freeBitmap;
    table->draw_text = drawText;
    table->udata_init = noUserData;
    table->udata_copy = noUserData;
    table->udata_set = noUserData;
    table->udata_free = noUserData;
    table->region_frame = frameRegion;
    table->region_paint = paintRegion;
    table->region_clip = clipRegion;
    api->device_data = nullptr;
}

bool attachDevice(wmfAPI* api, DeviceData* deviceData)
{
    auto* fonts = static_cast<wmfFontData*>(wmf_malloc(api, sizeof(wmfFontData)));
    if (!fonts || api->err != wmf_E_None)
        return false;
    fonts->map = mapFont;
    fonts->stringwidth = stringWidth;
    fonts->user_data = nullptr;
    api->font_data = fonts;
    api->device_data = deviceData;
    return true;
}

} // namespace ostrovel::wmf
