#pragma once
// What the fuzz targets share: the application object, scratch files, and
// the last step of a rendering, fitting a picture into a canvas.

#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace ostrovel {
class Picture;
}

namespace ostrovel::fuzz {

/// Creates the application object once, on the offscreen platform: the
/// image plugins, fonts and the helper's location need one.
void StartApplication();

/// Writes the input to a scratch file of this process (in /dev/shm when
/// there is one, so the disk is not worn) and returns its path; aborts when
/// the file cannot be written, since every later step would then test nothing.
QString WriteScratchFile(const std::uint8_t* data, std::size_t size, const char* suffix);

/// One of a few canvas sizes, picked by `selector`: the usual thumbnail, a
/// wide and a tall one, a single pixel.
QSize CanvasSizeFor(std::size_t selector);

/// Fits `picture` (null: none was loaded) into a canvas of `size` as a
/// rendering does, and checks that the canvas keeps its size.
void FitIntoCanvas(const Picture* picture, QSize size);

/// Aborts with `what` on standard error: a broken property is a finding.
[[noreturn]] void Fail(const char* what);

} // namespace ostrovel::fuzz
