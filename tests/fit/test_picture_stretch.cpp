// The fitting's arithmetic, run against a recording surface so that boxes
// with fractional extents can be tried as well as whole-pixel ones.

#include "fit/PictureStretch.h"

#include <QStringList>
#include <QTest>

using namespace ostrovel;

namespace {

class FakePicture : public StretchablePicture {
public:
    FakePicture(std::int32_t w, std::int32_t h) : m_w(w), m_h(h) {}
    std::int32_t Width() const override { return m_w; }
    std::int32_t Height() const override { return m_h; }

private:
    std::int32_t m_w, m_h;
};

// Box units equal the picture's units, so natural sizes are given in box units.
class RecordingSurface : public StretchSurface {
public:
    RecordingSurface(float w, float h) : m_w(w), m_h(h) {}
    float ScaleWidth() const override { return m_w; }
    float ScaleHeight() const override { return m_h; }
    int ScaleMode() const override { return kUnitUser; }
    float ScaleX(double v, int from, int) const override { return from == kUnitHimetric ? float(v) : -1.0f; }
    float ScaleY(double v, int from, int) const override { return from == kUnitHimetric ? float(v) : -1.0f; }
    void ClearPicture() override { calls << "clear"; }
    void SetBackColor(Colour c) override { calls << QString("back %1").arg(c); }
    void SetAutoRedraw(bool on) override { calls << QString("redraw %1").arg(on); }
    bool PaintPicture(const StretchablePicture&, std::int32_t x, std::int32_t y, std::int32_t w,
                      std::int32_t h) override
    {
        calls << QString("paint %1 %2 %3 %4").arg(x).arg(y).arg(w).arg(h);
        return paintSucceeds;
    }
    void PictureFromImage() override { calls << "image"; }

    QStringList calls;
    bool paintSucceeds = true;

private:
    float m_w, m_h;
};

QStringList fullCall(const QString& paint)
{
    return {"clear", "back 255", "redraw 1", paint, "image", "redraw 0"};
}

} // namespace

class TestPictureStretch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placement_data();
    void placement();
    void failures_data();
    void failures();
    void drawingFailureLeavesRedrawOn();
};

void TestPictureStretch::placement_data()
{
    QTest::addColumn<float>("boxW");
    QTest::addColumn<float>("boxH");
    QTest::addColumn<int>("picW");
    QTest::addColumn<int>("picH");
    QTest::addColumn<bool>("stretchSmall");
    QTest::addColumn<bool>("center");
    QTest::addColumn<QString>("paint");

    // Whole-pixel box.
    QTest::newRow("800x600: quotient 118.49999999999999") << 158.f << 158.f << 800 << 600 << true << true << "paint 0 20 158 118";
    QTest::newRow("1024x768: exact 118.5 goes to even") << 158.f << 158.f << 1024 << 768 << true << true << "paint 0 20 158 118";
    QTest::newRow("316x73: 36.5 goes to 36") << 158.f << 158.f << 316 << 73 << true << true << "paint 0 61 158 36";
    QTest::newRow("600x800 portrait") << 158.f << 158.f << 600 << 800 << true << true << "paint 20 0 118 158";
    QTest::newRow("316x316 equal ratios take the height") << 158.f << 158.f << 316 << 316 << true << true << "paint 0 0 158 158";
    QTest::newRow("100x50 not stretched, centred") << 158.f << 158.f << 100 << 50 << false << true << "paint 29 54 100 50";
    QTest::newRow("100x50 not stretched, not centred") << 158.f << 158.f << 100 << 50 << false << false << "paint 0 0 100 50";
    QTest::newRow("100x50 enlarged") << 158.f << 158.f << 100 << 50 << true << true << "paint 0 39 158 79";
    QTest::newRow("158x100 equal width is not larger") << 158.f << 158.f << 158 << 100 << false << true << "paint 0 29 158 100";
    QTest::newRow("100x300 only the height is larger") << 158.f << 158.f << 100 << 300 << false << true << "paint 52 0 53 158";
    QTest::newRow("1000x1 height rounds to 0") << 158.f << 158.f << 1000 << 1 << true << true << "paint 0 79 158 0";
    QTest::newRow("wide, not centred") << 158.f << 158.f << 800 << 600 << true << false << "paint 0 0 158 118";
    QTest::newRow("odd leftover goes right") << 10.f << 10.f << 7 << 10 << false << true << "paint 1 0 7 10";

    // Box with fractional extents.
    const float fw = 158.96783f;
    QTest::newRow("805x600 reaches past the right edge") << fw << 158.f << 805 << 600 << true << true << "paint 0 20 159 118";
    QTest::newRow("1006x1000 offset floors to -1") << fw << 158.f << 1006 << 1000 << true << true << "paint -1 0 159 158";
    QTest::newRow("604x800") << fw << 158.f << 604 << 800 << true << true << "paint 19 0 119 158";
    QTest::newRow("101x50 not stretched") << fw << 158.f << 101 << 50 << false << true << "paint 28 54 101 50";
    QTest::newRow("101x50 stretched") << fw << 158.f << 101 << 50 << true << true << "paint 0 39 159 79";
}

void TestPictureStretch::placement()
{
    QFETCH(float, boxW);
    QFETCH(float, boxH);
    QFETCH(int, picW);
    QFETCH(int, picH);
    QFETCH(bool, stretchSmall);
    QFETCH(bool, center);
    QFETCH(QString, paint);

    RecordingSurface box(boxW, boxH);
    FakePicture pic(picW, picH);
    QVERIFY(StretchPicture(box, &pic, stretchSmall, center, 255));
    QCOMPARE(box.calls, fullCall(paint));
}

void TestPictureStretch::failures_data()
{
    QTest::addColumn<float>("boxW");
    QTest::addColumn<float>("boxH");
    QTest::addColumn<int>("picW"); // -1: no picture at all
    QTest::addColumn<int>("picH");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("box height 0") << 158.f << 0.f << 100 << 100 << false;
    QTest::newRow("box 0 by 0") << 0.f << 0.f << 100 << 100 << false;
    QTest::newRow("box width 0") << 0.f << 158.f << 100 << 100 << false;
    QTest::newRow("no picture") << 158.f << 158.f << -1 << -1 << false;
    QTest::newRow("empty picture") << 158.f << 158.f << 0 << 0 << true;
    QTest::newRow("zero-width picture") << 158.f << 158.f << 0 << 50 << true;
    QTest::newRow("negative height") << 158.f << 158.f << 50 << -3 << true;
    QTest::newRow("scaled height overflows") << 158.f << 1e30f << 1 << 1 << false;
}

void TestPictureStretch::failures()
{
    QFETCH(float, boxW);
    QFETCH(float, boxH);
    QFETCH(int, picW);
    QFETCH(int, picH);
    QFETCH(bool, succeeds);

    RecordingSurface box(boxW, boxH);
    FakePicture pic(picW, picH);
    QCOMPARE(StretchPicture(box, picW < 0 ? nullptr : &pic, true, true, 255), succeeds);
    QVERIFY2(box.calls.isEmpty(), qPrintable(box.calls.join(", ")));
}

void TestPictureStretch::drawingFailureLeavesRedrawOn()
{
    RecordingSurface box(158, 158);
    box.paintSucceeds = false;
    FakePicture pic(800, 600);
    QVERIFY(!StretchPicture(box, &pic, true, true, 255));
    QCOMPARE(box.calls, (QStringList{"clear", "back 255", "redraw 1", "paint 0 20 158 118"}));
}

QTEST_GUILESS_MAIN(TestPictureStretch)
#include "test_picture_stretch.moc"
