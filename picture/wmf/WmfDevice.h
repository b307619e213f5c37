#pragma once
// Our libwmf device layer (IPA): libwmf plays the metafile and calls these
// functions, which draw on a WmfCanvas.
//
// libwmf/fund.h defines U8, U16, U32, S16 and S32 as macros, which break Qt's
// headers: include this header after every Qt header of a file.

#include "picture/wmf/WmfCanvas.h"
#include "picture/wmf/WmfFile.h"

#include <QPointF>
#include <QSizeF>
#include <QTransform>

#include <optional>
#include <libwmf/api.h>
#include <libwmf/defs.h>
#include <libwmf/ipa.h>
#include <libwmf/macro.h>

namespace ostrovel::wmf {

// What maps libwmf's device units onto the image.
struct Frame {
    std::optional<PlaceableBox> placeable;
    bool setsWindowOrg = false;
    bool setsWindowExt = false;
    wmfD_Rect scanBox{};  // the drawn extents, used without a placeable header
    double deviceAspect = 1; // see deviceAspect() in WmfFile.h
    QSizeF imageSize;
};

struct DeviceData {
    Frame frame;
    WmfCanvas* canvas = nullptr; // none while the metafile is only scanned
    QPointF textCorrection;      // shared by the characters of one text record
};

/// Fills libwmf's function table with this device layer (the function
/// passed with WMF_OPT_FUNCTION).
void installDevice(wmfAPI* api);

/// Attaches `data`, which must outlive `api`, and our font measuring to an
/// API made with installDevice. False when libwmf cannot allocate.
bool attachDevice(wmfAPI* api, DeviceData* data);

// Shared by the files of the device layer.

/// The transform from libwmf's device units to image pixels in the state of
/// `dc`; nothing when the metafile's mapping is degenerate.
std::optional<QTransform> deviceToImage(const Frame& frame, const wmfDC* dc);

/// The canvas, set up for drawing in the state of `dc`; null while scanning
/// or when nothing can be drawn in that state.
WmfCanvas* prepareCanvas(wmfAPI* api, const wmfDC* dc);

QColor toColor(const wmfRGB& rgb);

/// +1 or -1 for each axis: whether a logical extent runs along (+1) or
/// against (-1) libwmf's device axis in the state of `dc`.
QPointF pixelDirection(const wmfDC* dc);

void drawText(wmfAPI* api, wmfDrawText_t* text);
void mapFont(wmfAPI* api, wmfFont* font);
float stringWidth(wmfAPI* api, wmfFont* font, char* text);

void readBitmap(wmfAPI* api, wmfBMP_Read_t* read);
void drawBitmap(wmfAPI* api, wmfBMP_Draw_t* draw);
void freeBitmap(wmfAPI* api, wmfBMP* bmp);
/// The image behind a bitmap made by readBitmap, or null.
const QImage* bitmapImage(const wmfBMP& bmp);

} // namespace ostrovel::wmf
