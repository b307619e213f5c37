// Settings seeds: what people type into the colour, width and height fields
// (one per line), in UTF-8, and a few as UTF-16.

#include "fuzz/seeds/Seeds.h"

#include <QStringList>

namespace ostrovel::seeds {

void makeSettingsSeeds(SeedSink& sink)
{
    const QStringList texts = {
        QStringLiteral("255,255,255\n158\n158"),
        QStringLiteral("0,0,0\n1\n1"),
        QStringLiteral("12, 34 ,56\n 100 \n\t200"),
        QStringLiteral("&HFF,&H80,&O17\n&H3E8\n&O1750"),
        QStringLiteral("1.5E2,2D1,-0.4\n1e3\n.5"),
        QStringLiteral("255.5,254.5,-0.5\n16384\n16384.4"),
        QStringLiteral("300,-1,40000\n16385\n-1"),
        QStringLiteral("1e999,1e-999,NaN\ninf\n1e308"),
        QStringLiteral("12,34\n\n"),
        QStringLiteral(",,,\n,\n"),
        QStringLiteral("a,b,c\nabc\n12abc"),
        QStringLiteral("+7,+8,+9\n+1.\n-.0"),
        QStringLiteral("&H,&O,&\n&HFFFFFFFFFFFFFFFFFFFFFFFF\n&O7777777777777777777777777"),
        QStringLiteral("1 2 3,4\t5,6\n1 000\n2\t000"),
        QStringLiteral("１２,٣٤,߅\n１５８\n٣"),
        QStringLiteral("255,255,255,0,0\n158,1\n158;2"),
        QStringLiteral("/\n/tmp\n/tmp/"),
        QStringLiteral("99999999999999999999999999999999999999\n0.000000000000000000000000001\n-0"),
    };
    int i = 0;
    for (const QString& text : texts)
        sink.add("settings", QStringLiteral("typed-%1.txt").arg(++i, 2, 10, QLatin1Char('0')), text.toUtf8());
    for (const QString& text : texts.mid(0, 5)) {
        const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        sink.add("settings", QStringLiteral("typed-%1-utf16.txt").arg(++i, 2, 10, QLatin1Char('0')), utf16);
    }
    sink.add("settings", "long-digits.txt", QByteArray(3000, '7'));
}

} // namespace ostrovel::seeds
