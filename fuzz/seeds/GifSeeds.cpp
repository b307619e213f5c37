// GIF seeds written byte by byte: 87a and 89a, global and local colour
// tables, transparency, animation with each disposal, interlacing, frames
// outside the screen, extensions, and damaged LZW data.

#include "tests/support/GifLiterals.h"
#include "fuzz/seeds/Seeds.h"

#include <QList>
#include <QRect>

#include <algorithm>

namespace ostrovel::seeds {
namespace {

struct Frame {
    QRect rect{0, 0, 8, 6};
    int colours = 4;             // indices used: 0 .. colours - 1
    bool localTable = false;     // a table of `colours` entries of its own
    bool interlaced = false;
    int transparent = -1;
    int disposal = 0;
};

struct Gif {
    const char* version = "GIF89a";
    QSize screen{8, 6};
    int globalColours = 4;       // 0: no global table
    QList<Frame> frames{Frame()};
    QByteArray extensions;       // written before the first frame
    bool trailer = true;
};

int bitsFor(int colours)
{
    int bits = 1;
    while ((1 << bits) < colours)
        ++bits;
    return bits;
}

void colourTable(QByteArray& out, int colours)
{
    for (int i = 0; i < (1 << bitsFor(colours)); ++i) {
        out += char((i * 71) & 0xFF);
        out += char((i * 151 + 30) & 0xFF);
        out += char((200 - i * 37) & 0xFF);
    }
}

// The frame's indices in the order they are stored (interlaced: rows 0, 8,
// ..., then 4, 12, ..., then 2, 6, ..., then the odd rows).
QList<int> storedIndices(const Frame& f)
{
    QList<int> rows;
    if (!f.interlaced) {
        for (int y = 0; y < f.rect.height(); ++y)
            rows << y;
    } else {
        constexpr int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = starts[pass]; y < f.rect.height(); y += steps[pass])
                rows << y;
    }
    QList<int> indices;
    for (int y : rows)
        for (int x = 0; x < f.rect.width(); ++x)
            indices << (x / 2 + y) % f.colours;
    return indices;
}

void frame(QByteArray& out, const Frame& f)
{
    out += QByteArray("\x21\xF9\x04", 3);
    out += char((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0));
    appendLe16(out, 10);
    out += char(std::max(f.transparent, 0));
    out += '\0';
    out += char(0x2C);
    appendLe16(out, unsigned(f.rect.x()));
    appendLe16(out, unsigned(f.rect.y()));
    appendLe16(out, unsigned(f.rect.width()));
    appendLe16(out, unsigned(f.rect.height()));
    out += char((f.localTable ? 0x80 | (bitsFor(f.colours) - 1) : 0) | (f.interlaced ? 0x40 : 0));
    if (f.localTable)
        colourTable(out, f.colours);
    out += test::gifLzwLiterals(storedIndices(f), std::max(2, bitsFor(f.colours)));
}

QByteArray gifFile(const Gif& g)
{
    QByteArray out(g.version);
    appendLe16(out, unsigned(g.screen.width()));
    appendLe16(out, unsigned(g.screen.height()));
    out += char(g.globalColours ? 0xF0 | (bitsFor(g.globalColours) - 1) : 0x70);
    out += '\0'; // background index
    out += '\0'; // aspect
    if (g.globalColours)
        colourTable(out, g.globalColours);
    out += g.extensions;
    for (const Frame& f : g.frames)
        frame(out, f);
    if (g.trailer)
        out += char(0x3B);
    return out;
}

const QByteArray kLoop("\x21\xFF\x0BNETSCAPE2.0\x03\x01\0\0\0", 19);

void addValid(SeedSink& sink)
{
    sink.add("gif", "plain.gif", gifFile({}));
    sink.add("gif", "87a.gif", gifFile({.version = "GIF87a"}));
    sink.add("gif", "256-colours.gif", gifFile({.screen = {16, 16}, .globalColours = 256,
                                                .frames = {{.rect = {0, 0, 16, 16}, .colours = 256}}}));
    sink.add("gif", "two-colours.gif", gifFile({.globalColours = 2, .frames = {{.colours = 2}}}));
    sink.add("gif", "transparent.gif", gifFile({.frames = {{.transparent = 1}}}));
    sink.add("gif", "interlaced.gif",
             gifFile({.screen = {8, 11}, .frames = {{.rect = {0, 0, 8, 11}, .interlaced = true}}}));
    sink.add("gif", "local-table-only.gif",
             gifFile({.globalColours = 0, .frames = {{.colours = 8, .localTable = true}}}));
    sink.add("gif", "small-frame-in-screen.gif", gifFile({.screen = {12, 10}, .frames = {{.rect = {3, 2, 5, 4}}}}));
    Gif animated{.frames = {{.disposal = 1}, {.rect = {2, 1, 4, 3}, .transparent = 0, .disposal = 2},
                            {.rect = {1, 1, 6, 4}, .localTable = true, .disposal = 3}}, .extensions = kLoop};
    sink.add("gif", "animated.gif", gifFile(animated));
    const QByteArray comment = QByteArray("\x21\xFE\x05hello\0", 9);
    const QByteArray plainText = QByteArray("\x21\x01\x0C", 3) + QByteArray(12, '\x01') + QByteArray("\x02hi\0", 4);
    sink.add("gif", "extensions.gif", gifFile({.extensions = comment + plainText + kLoop}));
}

void addBroken(SeedSink& sink)
{
    const QByteArray plain = gifFile({.screen = {16, 16}, .frames = {{.rect = {0, 0, 16, 16}}}});
    sink.add("gif", "cut-in-header.gif", plain.left(20));
    sink.add("gif", "cut-in-data.gif", plain.left(plain.size() - 12));
    sink.add("gif", "no-trailer.gif", gifFile({.trailer = false}));
    sink.add("gif", "no-frame.gif", gifFile({.frames = {}}));
    sink.add("gif", "frame-outside-screen.gif", gifFile({.frames = {{.rect = {6, 4, 8, 6}}}}));
    sink.add("gif", "frame-larger-than-screen.gif", gifFile({.screen = {4, 3}}));
    sink.add("gif", "screen-zero.gif", gifFile({.screen = {0, 0}}));
    sink.add("gif", "screen-65535-square.gif", gifFile({.screen = {65535, 65535}}));
    sink.add("gif", "frame-65535-wide.gif", gifFile({.frames = {{.rect = {0, 0, 65535, 6}}}}).left(200));
    sink.add("gif", "no-colour-table.gif", gifFile({.globalColours = 0}));
    sink.add("gif", "transparent-index-beyond-table.gif", gifFile({.frames = {{.transparent = 200}}}));
    // Header, four colours, control extension, image descriptor: then the
    // LZW code size and the first data block.
    constexpr qsizetype codeSize = 13 + 12 + 8 + 10;
    sink.add("gif", "damaged-lzw.gif", patched(plain, codeSize + 6, '\xFF', 6));
    sink.add("gif", "code-size-13.gif", patched(gifFile({}), codeSize, char(13)));
}

} // namespace

void makeGifSeeds(SeedSink& sink)
{
    addValid(sink);
    addBroken(sink);
}

} // namespace ostrovel::seeds
