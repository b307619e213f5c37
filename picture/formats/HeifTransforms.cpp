#include "picture/formats/HeifTransforms.h"

#include <QRect>
#include <QTransform>

#include <algorithm>
#include <cstddef>
#include <utility>

namespace ostrovel::formats {
namespace {

constexpr std::uint32_t fourcc(const char (&name)[5])
{
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16
           | std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

// Bytes of the file, read big-endian with every read checked against the end.
class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool read(int bytes, std::uint64_t& value)
    {
        if (m_size - m_at < std::size_t(bytes))
            return false;
        value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | m_data[m_at++];
        return true;
    }
    std::size_t left() const { return m_size - m_at; }
    const std::uint8_t* here() const { return m_data + m_at; }
    void skip(std::size_t bytes) { m_at += std::min(bytes, left()); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

struct Box {
    std::uint32_t type = 0;
    const std::uint8_t* body = nullptr;
    std::size_t size = 0;
    bool largeSize = false;
};

// The boxes one after another in `size` bytes at `data`; nothing when one
// runs past the end. A size of 0 (to the end) is taken at the top level only.
std::optional<QList<Box>> boxesIn(const std::uint8_t* data, std::size_t size, bool topLevel)
{
    QList<Box> boxes;
    Cursor cursor(data, size);
    while (cursor.left() > 0) {
        const std::uint8_t* start = cursor.here();
        const std::size_t room = cursor.left();
        std::uint64_t boxSize = 0, type = 0;
        if (!cursor.read(4, boxSize) || !cursor.read(4, type))
            return std::nullopt;
        std::size_t header = 8;
        const bool large = boxSize == 1;
        if (large && !cursor.read(8, boxSize))
            return std::nullopt;
        header += large ? 8 : 0;
        if (boxSize == 0 && !large && topLevel)
            boxSize = room;
        if (boxSize < header || boxSize > room)
            return std::nullopt;
        boxes.append(Box{std::uint32_t(type), start + header, std::size_t(boxSize) - header, large});
        cursor.skip(std::size_t(boxSize) - header);
    }
    return boxes;
}

// The one box of `type` among `boxes`, with a 32-bit size; nothing when
// there is none, more than one, or it has a 64-bit size.
std::optional<Box> single(const QList<Box>& boxes, std::uint32_t type)
{
    std::optional<Box> found;
    for (const Box& box : boxes) {
        if (box.type != type)
            continue;
        if (found || box.largeSize)
            return std::nullopt;
        found = box;
    }
    return found;
}

std::optional<QList<Box>> childrenOf(const std::optional<Box>& box, std::size_t fullBoxHeader)
{
    if (!box || box->size < fullBoxHeader)
        return std::nullopt;
    return boxesIn(box->body + fullBoxHeader, box->size - fullBoxHeader, false);
}

std::optional<std::uint32_t> primaryId(const Box& pitm)
{
    Cursor cursor(pitm.body, pitm.size);
    std::uint64_t version = 0, flags = 0, id = 0;
    if (!cursor.read(1, version) || !cursor.read(3, flags) || version > 1 || !cursor.read(version == 0 ? 2 : 4, id))
        return std::nullopt;
    return std::uint32_t(id);
}

// The 1-based property indices `ipma` associates with `itemId`, in its
// order; nothing when the item is missing or listed twice, or the box is odd.
std::optional<QList<int>> associations(const Box& ipma, std::uint32_t itemId)
{
    Cursor cursor(ipma.body, ipma.size);
    std::uint64_t version = 0, flags = 0, entries = 0;
    if (!cursor.read(1, version) || !cursor.read(3, flags) || version > 1 || !cursor.read(4, entries))
        return std::nullopt;
    const int indexBytes = (flags & 1) ? 2 : 1;
    const std::uint64_t essentialBit = (flags & 1) ? 0x8000 : 0x80;
    std::optional<QList<int>> found;
    for (std::uint64_t e = 0; e < entries; ++e) {
        std::uint64_t id = 0, count = 0;
        if (!cursor.read(version == 0 ? 2 : 4, id) || !cursor.read(1, count))
            return std::nullopt;
        if (id == itemId && found)
            return std::nullopt;
        QList<int> indices;
        for (std::uint64_t a = 0; a < count; ++a) {
            std::uint64_t index = 0;
            if (!cursor.read(indexBytes, index))
                return std::nullopt;
            indices.append(int(index & (essentialBit - 1)));
        }
        if (id == itemId)
            found = indices;
    }
    if (cursor.left() != 0)
        return std::nullopt;
    return found;
}

// `property` as a transform, or an empty one when it is another property;
// nothing when it is too short, has a 64-bit size, or holds a clean
// aperture libheif refuses.
std::optional<std::optional<HeifTransform>> transformOf(const Box& property)
{
    const bool transformative =
        property.type == fourcc("irot") || property.type == fourcc("imir") || property.type == fourcc("clap");
    if (!transformative)
        return std::optional<HeifTransform>();
    if (property.largeSize)
        return std::nullopt;
    Cursor cursor(property.body, property.size);
    HeifTransform transform;
    std::uint64_t value = 0;
    if (property.type == fourcc("clap")) {
        transform.kind = HeifTransform::Kind::CleanAperture;
        for (int i = 0; i < 8; ++i) {
            if (!cursor.read(4, value))
                return std::nullopt;
            // Offsets are signed; all else up to 2^31 - 1, as libheif checks.
            const bool offset = i == 4 || i == 6;
            transform.clap[i] = offset ? std::int64_t(std::int32_t(std::uint32_t(value))) : std::int64_t(value);
            if ((!offset && value > 0x7fffffffu) || (i % 2 == 1 && value == 0))
                return std::nullopt;
        }
        return std::optional<HeifTransform>(transform);
    }
    if (!cursor.read(1, value))
        return std::nullopt;
    if (property.type == fourcc("irot")) {
        transform.kind = HeifTransform::Kind::Rotation;
        transform.quarterTurns = int(value & 3);
    } else {
        transform.kind = HeifTransform::Kind::Mirror;
        transform.leftRight = (value & 1) != 0;
    }
    return std::optional<HeifTransform>(transform);
}

// libheif 1.15's Fraction, step for step: 32-bit parts, both halved while
// either exceeds 0x10000. `known` turns false where libheif's own 32-bit
// arithmetic would overflow or divide by zero: its result is not known then.
class Fraction {
public:
    Fraction(std::int64_t num, std::int64_t den, bool known = true) : m_known(known && fits(num) && fits(den))
    {
        if (!m_known)
            return;
        m_num = num;
        m_den = den;
        while (m_den > kLimit || m_den < -kLimit) {
            m_num /= 2;
            m_den /= 2;
        }
        while (m_num > kLimit || m_num < -kLimit) {
            m_num /= 2;
            m_den /= 2;
        }
    }

    Fraction operator+(const Fraction& b) const { return combine(b, 1); }
    Fraction operator-(const Fraction& b) const { return combine(b, -1); }
    Fraction operator+(std::int64_t v) const { return {m_num + v * m_den, m_den, m_known && fits(v * m_den)}; }
    Fraction operator-(std::int64_t v) const { return {m_num - v * m_den, m_den, m_known && fits(v * m_den)}; }
    Fraction operator/(std::int64_t v) const { return {m_num, m_den * v, m_known}; }

    std::optional<std::int64_t> roundDown() const
    {
        return m_known && m_den != 0 ? std::optional<std::int64_t>(m_num / m_den) : std::nullopt;
    }
    std::optional<std::int64_t> round() const
    {
        return m_known && m_den != 0 ? std::optional<std::int64_t>((m_num + m_den / 2) / m_den) : std::nullopt;
    }

private:
    static constexpr std::int64_t kLimit = 0x10000;
    static bool fits(std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

    Fraction combine(const Fraction& b, int sign) const
    {
        const bool known = m_known && b.m_known;
        if (m_den == b.m_den)
            return {m_num + sign * b.m_num, m_den, known};
        const std::int64_t left = m_num * b.m_den, right = b.m_num * m_den, den = m_den * b.m_den;
        return {left + sign * right, den, known && fits(left) && fits(right) && fits(den)};
    }

    std::int64_t m_num = 0;
    std::int64_t m_den = 1;
    bool m_known;
};

// The first and last pixel (inclusive) a clean aperture keeps along a side
// of `length` pixels, as libheif 1.15 rounds them: its left edge rounds
// down, its top edge to nearest.
std::optional<std::pair<std::int64_t, std::int64_t>> apertureSpan(const HeifTransform& clap, int axis, int length)
{
    const Fraction size(clap.clap[axis * 2], clap.clap[axis * 2 + 1]);
    const Fraction offset(clap.clap[4 + axis * 2], clap.clap[5 + axis * 2]);
    const Fraction first = offset + Fraction(length - 1, 2) - (size - 1) / 2;
    const std::optional<std::int64_t> start = axis == 0 ? first.roundDown() : first.round();
    if (!start)
        return std::nullopt;
    const std::optional<std::int64_t> end = (size - 1 + *start).round();
    if (!end)
        return std::nullopt;
    return std::make_pair(std::max<std::int64_t>(*start, 0), std::min<std::int64_t>(*end, length - 1));
}

std::optional<QRect> cleanAperture(const HeifTransform& clap, QSize size)
{
    const auto across = apertureSpan(clap, 0, size.width());
    const auto down = apertureSpan(clap, 1, size.height());
    if (!across || !down || across->first > across->second || down->first > down->second)
        return std::nullopt;
    return QRect(QPoint(int(across->first), int(down->first)), QPoint(int(across->second), int(down->second)));
}

} // namespace

std::optional<HeifPrimaryTransforms> ReadHeifPrimaryTransforms(const QByteArray& file)
{
    const auto top = boxesIn(reinterpret_cast<const std::uint8_t*>(file.constData()), std::size_t(file.size()), true);
    if (!top)
        return std::nullopt;
    const auto meta = childrenOf(single(*top, fourcc("meta")), 4);
    if (!meta)
        return std::nullopt;
    const std::optional<Box> pitm = single(*meta, fourcc("pitm"));
    const auto iprp = childrenOf(single(*meta, fourcc("iprp")), 0);
    if (!pitm || !iprp)
        return std::nullopt;
    const auto properties = childrenOf(single(*iprp, fourcc("ipco")), 0);
    const std::optional<Box> ipma = single(*iprp, fourcc("ipma"));
    const std::optional<std::uint32_t> item = primaryId(*pitm);
    if (!properties || !ipma || !item)
        return std::nullopt;
    const auto indices = associations(*ipma, *item);
    if (!indices)
        return std::nullopt;
    HeifPrimaryTransforms primary{*item, {}};
    for (const int index : *indices) {
        if (index == 0)
            continue;
        if (index > properties->size())
            return std::nullopt;
        const auto transform = transformOf((*properties)[index - 1]);
        if (!transform)
            return std::nullopt;
        if (*transform)
            primary.transforms.append(**transform);
    }
    return primary;
}

QImage ApplyHeifTransforms(QImage image, const QList<HeifTransform>& transforms)
{
    for (const HeifTransform& transform : transforms) {
        if (image.isNull())
            return {};
        switch (transform.kind) {
        case HeifTransform::Kind::Rotation:
            // Negative angles turn anticlockwise on screen.
            if (transform.quarterTurns != 0)
                image = image.transformed(QTransform().rotate(-90.0 * transform.quarterTurns));
            break;
        case HeifTransform::Kind::Mirror:
            image = image.mirrored(transform.leftRight, !transform.leftRight);
            break;
        case HeifTransform::Kind::CleanAperture: {
            const std::optional<QRect> kept = cleanAperture(transform, image.size());
            if (!kept)
                return {};
            image = image.copy(*kept);
            break;
        }
        }
    }
    return image;
}

} // namespace ostrovel::formats
