// Temporary stand-in until the metafile helper lands.
#include "WmfClient.h"
namespace ostrovel::wmf {
std::optional<WmfSize> ProbeWmf(const QString&) { return std::nullopt; }
QImage RenderWmf(const QString&, QSize) { return {}; }
}
