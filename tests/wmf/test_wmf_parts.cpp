// The metafile helper's parts without libwmf: the first look at a file's
// bytes, natural sizes from placeable boxes, and the text encodings.

#include "tests/support/LittleEndian.h"
#include "picture/wmf/WmfCharsets.h"
#include "picture/wmf/WmfFile.h"
#include "tests/support/WmfWriter.h"

#include <QTest>

#include <span>

using namespace ostrovel::wmf;
using wmftest::WmfWriter;

namespace {

std::optional<WmfLayout> inspect(const QByteArray& bytes)
{
    return inspectWmf(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
}

QByteArray withRectangle(WmfWriter w)
{
    return w.brush(0, Qt::red).select(0).rectangle(QRect(0, 0, 10, 10)).bytes();
}

} // namespace

class TestWmfParts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void inspection_data();
    void inspection();
    void mapping_data();
    void mapping();
    void damage_data();
    void damage();
    void himetric_data();
    void himetric();
    void ansi_data();
    void ansi();
    void symbol_data();
    void symbol();
};

void TestWmfParts::inspection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("placeable");
    QTest::addColumn<bool>("windowOrg");
    QTest::addColumn<bool>("windowExt");
    QTest::newRow("plain") << withRectangle(WmfWriter()) << false << false << false;
    QTest::newRow("placeable") << withRectangle(WmfWriter().placeable(QRect(0, 0, 10, 10), 96)) << true << false
                               << false;
    QTest::newRow("with a window") << withRectangle(WmfWriter().window(QRect(0, 0, 10, 10))) << false << true << true;
    QTest::newRow("extent only") << withRectangle(WmfWriter().record(wmftest::SetWindowExt, {10, 10})) << false
                                 << false << true;
    QTest::newRow("end record only") << WmfWriter().bytes() << false << false << false;
}

void TestWmfParts::inspection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, placeable);
    QFETCH(bool, windowOrg);
    QFETCH(bool, windowExt);
    const std::optional<WmfLayout> layout = inspect(bytes);
    QVERIFY(layout.has_value());
    QCOMPARE(layout->placeable.has_value(), placeable);
    QCOMPARE(layout->setsWindowOrg, windowOrg);
    QCOMPARE(layout->setsWindowExt, windowExt);
    if (placeable) {
        QCOMPARE(layout->placeable->right, 10);
        QCOMPARE(layout->placeable->unitsPerInch, 96);
    }
}

void TestWmfParts::mapping_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("mapMode");
    QTest::addColumn<double>("aspect");
    constexpr std::int16_t anisotropic = 8;
    QTest::newRow("default mapping") << withRectangle(WmfWriter().window(QRect(0, 0, 200, 100))) << 0 << 1.0;
    QTest::newRow("twips") << withRectangle(WmfWriter().record(wmftest::SetMapMode, {6}).window(QRect(0, 0, 200, 100)))
                           << 6 << 1.0;
    QTest::newRow("anisotropic window")
        << withRectangle(WmfWriter().record(wmftest::SetMapMode, {anisotropic}).window(QRect(0, 0, 200, 100)))
        << 8 << 0.5;
    QTest::newRow("anisotropic window and viewport")
        << withRectangle(WmfWriter()
                             .record(wmftest::SetMapMode, {anisotropic})
                             .window(QRect(0, 0, 200, 100))
                             .record(wmftest::SetViewportExt, {50, 400}))
        << 8 << 4.0;
    QTest::newRow("last window counts")
        << withRectangle(WmfWriter()
                             .record(wmftest::SetMapMode, {anisotropic})
                             .window(QRect(0, 0, 200, 100))
                             .window(QRect(0, 0, 100, 300)))
        << 8 << 3.0;
    QTest::newRow("window without extent")
        << withRectangle(WmfWriter().record(wmftest::SetMapMode, {anisotropic}).record(wmftest::SetWindowExt, {0, 5}))
        << 8 << 1.0;
}

void TestWmfParts::mapping()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, mapMode);
    QFETCH(double, aspect);
    const std::optional<WmfLayout> layout = inspect(bytes);
    QVERIFY(layout.has_value());
    QCOMPARE(int(layout->mapMode), mapMode);
    QCOMPARE(deviceAspect(*layout), aspect);
}

void TestWmfParts::damage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = withRectangle(WmfWriter());
    constexpr qsizetype kFirstRecord = 18;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("header cut") << good.left(17);
    QTest::newRow("placeable header cut") << WmfWriter().placeable(QRect(0, 0, 1, 1), 1).bytes().left(30);
    QTest::newRow("last record cut") << good.chopped(8);
    QTest::newRow("end record missing") << good.chopped(6);
    QByteArray type = good;
    type[0] = 3;
    QTest::newRow("unknown file type") << type;
    QByteArray largest = good;
    ostrovel::test::setLe32(largest, 12, std::uint32_t(good.size()));
    QTest::newRow("largest record beyond the file") << largest;
    QByteArray beyond = good;
    ostrovel::test::setLe32(beyond, kFirstRecord, 0xFFFFFFFF);
    QTest::newRow("record beyond the file") << beyond;
    QByteArray tooShort = good;
    ostrovel::test::setLe32(tooShort, kFirstRecord, 2);
    QTest::newRow("record shorter than its header") << tooShort;
    QByteArray overClaim = good;
    ostrovel::test::setLe32(overClaim, 12, 3); // records are longer than this claim
    QTest::newRow("record longer than the largest claimed") << overClaim;
}

void TestWmfParts::damage()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!inspect(bytes).has_value());
}

void TestWmfParts::himetric_data()
{
    QTest::addColumn<QRect>("box");
    QTest::addColumn<int>("unitsPerInch");
    QTest::addColumn<bool>("sized");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("2 x 1 inch") << QRect(0, 0, 2880, 1440) << 1440 << true << 5080 << 2540;
    QTest::newRow("negative corner") << QRect(-10, -20, 10, 20) << 10 << true << 2540 << 5080;
    QTest::newRow("a third rounds down") << QRect(0, 0, 1, 1) << 3 << true << 847 << 847; // 846.67
    QTest::newRow("half rounds up") << QRect(0, 0, 1, 1) << 8 << true << 318 << 318;       // 317.5
    QTest::newRow("reversed box") << QRect(100, 100, -100, -50) << 100 << true << 2540 << 1270;
    QTest::newRow("no width") << QRect(5, 0, 0, 10) << 10 << false << 0 << 0;
    QTest::newRow("no height") << QRect(0, 5, 10, 0) << 10 << false << 0 << 0;
    QTest::newRow("no units per inch") << QRect(0, 0, 10, 10) << 0 << false << 0 << 0;
    QTest::newRow("a side that rounds to nothing") << QRect(0, 0, 1000, 1) << 6000 << false << 0 << 0; // 0.42
}

void TestWmfParts::himetric()
{
    QFETCH(QRect, box);
    QFETCH(int, unitsPerInch);
    QFETCH(bool, sized);
    QFETCH(int, width);
    QFETCH(int, height);
    PlaceableBox placeable;
    placeable.left = std::int16_t(box.left());
    placeable.top = std::int16_t(box.top());
    placeable.right = std::int16_t(box.left() + box.width());
    placeable.bottom = std::int16_t(box.top() + box.height());
    placeable.unitsPerInch = std::uint16_t(unitsPerInch);
    const auto size = placeableHimetric(placeable);
    QCOMPARE(size.has_value(), sized);
    if (sized) {
        QCOMPARE(size->first, width);
        QCOMPARE(size->second, height);
    }
}

void TestWmfParts::ansi_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("Hallo") << QStringLiteral("Hallo");
    QTest::newRow("Latin-1 umlauts") << QByteArray("\xE4\xF6\xFC\xDF") << QStringLiteral(u"äöüß");
    QTest::newRow("euro and quotes") << QByteArray("\x80\x84\x93") << QStringLiteral(u"€„“");
    QTest::newRow("unassigned kept") << QByteArray("\x81") << QString(QChar(0x81));
    QTest::newRow("stops at zero") << QByteArray("ab\0cd", 5) << QStringLiteral("ab");
}

void TestWmfParts::ansi()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeAnsi(bytes.constData()), text);
}

void TestWmfParts::symbol_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("digits and signs") << QByteArray("1+2=3") << QStringLiteral("1+2=3");
    QTest::newRow("Greek capitals") << QByteArray("DPSW") << QStringLiteral(u"ΔΠΣΩ");
    QTest::newRow("Greek small") << QByteArray("abpr") << QStringLiteral(u"αβπρ");
    QTest::newRow("minus and for all") << QByteArray("-\"") << QStringLiteral(u"−∀");
    QTest::newRow("operators") << QByteArray("\xB4\xB9\xD6\xE5\xF2") << QStringLiteral(u"×≠√∑∫");
    QTest::newRow("bracket pieces") << QByteArray("\xE6\xE7\xE8\xEC\xED\xEE") << QStringLiteral(u"⎛⎜⎝⎧⎨⎩");
}

void TestWmfParts::symbol()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeSymbol(bytes.constData()), text);
}

QTEST_GUILESS_MAIN(TestWmfParts)
#include "test_wmf_parts.moc"
