// How the window's texts are read: numbers, colours, sizes, folder paths and
// thumbnail names.

#include "export/Export.h"
#include "export/Paths.h"
#include "export/Settings.h"

#include <QTest>

#include <cmath>

using namespace ostrovel;

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void val_data();
    void val();
    void toInt16_data();
    void toInt16();
    void colour_data();
    void colour();
    void split();
    void properPfad_data();
    void properPfad();
    void thumbnailName_data();
    void thumbnailName();
};

void TestSettings::val_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << "158" << 158.0;
    QTest::newRow("decimal point") << "12.5" << 12.5;
    QTest::newRow("blanks around") << " 10 " << 10.0;
    QTest::newRow("blanks inside the number") << "1 2 3" << 123.0;
    QTest::newRow("tabs and line feeds") << "\t4\n5" << 45.0;
    QTest::newRow("carriage return stops") << "4\r5" << 4.0;
    QTest::newRow("trailing words") << "200px" << 200.0;
    QTest::newRow("words") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("negative") << "-20" << -20.0;
    QTest::newRow("sign then blanks") << "- 7" << -7.0;
    QTest::newRow("plus") << "+3" << 3.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("second point ends") << "1.2.3" << 1.2;
    QTest::newRow("comma is no decimal point") << "12,5" << 12.0;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("D exponent") << "2D2" << 200.0;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("hex") << "&HFF" << 255.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("tiny exponent") << "1e-400" << 0.0;
}

void TestSettings::val()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(Val(text), expected);
}

void TestSettings::toInt16_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("expected");
    QTest::newRow("12.5 to even 12") << 12.5 << true << 12;
    QTest::newRow("13.5 to even 14") << 13.5 << true << 14;
    QTest::newRow("-2.5 to even -2") << -2.5 << true << -2;
    QTest::newRow("upper bound") << 32767.0 << true << 32767;
    QTest::newRow("32767.5 overflows") << 32767.5 << false << 0;
    QTest::newRow("lower bound") << -32768.0 << true << -32768;
    QTest::newRow("-32768.5 rounds to even in range") << -32768.5 << true << -32768;
    QTest::newRow("40000") << 40000.0 << false << 0;
    QTest::newRow("infinite") << double(INFINITY) << false << 0;
}

void TestSettings::toInt16()
{
    QFETCH(double, value);
    QFETCH(bool, ok);
    QFETCH(int, expected);
    const auto result = ToInt16(value);
    QCOMPARE(result.has_value(), ok);
    if (ok)
        QCOMPARE(int(*result), expected);
}

void TestSettings::colour_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<uint>("expected");
    QTest::newRow("white") << "255,255,255" << true << 16777215u;
    QTest::newRow("red") << "255,0,0" << true << 255u;
    QTest::newRow("blue") << "0,0,255" << true << 16711680u;
    QTest::newRow("blanks around numbers") << "10 , 20 , 30" << true << uint(10 + 256 * 20 + 65536 * 30);
    QTest::newRow("over 255 counts as 255") << "300,0,0" << true << 255u;
    QTest::newRow("halves to even") << "12.5,13.5,0" << true << uint(12 + 256 * 14);
    QTest::newRow("outside 16 bits") << "40000,0,0" << false << 0u;
    QTest::newRow("fourth part ignored") << "255,255,255,0" << true << 16777215u;
    QTest::newRow("words read as 0") << "rot,gruen,blau" << true << 0u;
    QTest::newRow("two parts") << "255,255" << false << 0u;
    QTest::newRow("empty") << "" << false << 0u;
    QTest::newRow("negative component") << "-1,0,0" << false << 0u;
    QTest::newRow("semicolons are one part") << "1;2;3" << false << 0u;
}

void TestSettings::colour()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(uint, expected);
    const auto result = ParseColour(text);
    QCOMPARE(result.has_value(), ok);
    if (ok)
        QCOMPARE(uint(*result), expected);
}

void TestSettings::split()
{
    QCOMPARE(Split(""), QStringList());
    QCOMPARE(Split(","), (QStringList{"", ""}));
    QCOMPARE(Split("a, b"), (QStringList{"a", " b"}));
}

void TestSettings::properPfad_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("folder") << "/home/pics" << "/home/pics/";
    QTest::newRow("trailing slash kept single") << "/home/pics/" << "/home/pics/";
    QTest::newRow("root stays root") << "/" << "/";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("one character") << "a" << "";
    QTest::newRow("two characters") << "ab" << "ab/";
}

void TestSettings::properPfad()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(ProperPfad(path), expected);
}

void TestSettings::thumbnailName_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("upper-case extension") << "/t" << "Urlaub.JPG" << "/t/thumb_Urlaub.jpg";
    QTest::newRow("dots in the name") << "/t" << "a.b.gif" << "/t/thumb_a.b.jpg";
    QTest::newRow("metafile") << "/t/" << "Plan.wmf" << "/t/thumb_Plan.jpg";
    QTest::newRow("root target") << "/" << "x.bmp" << "/thumb_x.jpg";
    QTest::newRow("four characters") << "/t" << ".jpg" << "/t/thumb_.jpg";
}

void TestSettings::thumbnailName()
{
    QFETCH(QString, target);
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    QCOMPARE(ThumbnailPath(target, entry), expected);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
