#include "app/PictureReason.h"

#include "chooser/GermanReason.h"
#include "common/SystemReason.h"
#include "picture/wmf/WmfClient.h"

#include <QHash>

namespace ostrovel {
namespace {

QString fixedReason(const QString& english)
{
    static const QHash<QString, QString> texts{
        {QStringLiteral("damaged data"), QStringLiteral("Beschädigte Daten")},
        {QStringLiteral("damaged data, or too large"), QStringLiteral("Beschädigte Daten oder zu groß")},
        {QStringLiteral("too large"), QStringLiteral("Zu groß")},
        {QStringLiteral("not enough memory"), QStringLiteral("Nicht genügend Arbeitsspeicher")},
        {QStringLiteral("empty file"), QStringLiteral("Leere Datei")},
        {QStringLiteral("not a regular file"), QStringLiteral("Keine gewöhnliche Datei")},
        {QStringLiteral("the data ends before the picture is complete"),
         QStringLiteral("Die Daten enden, bevor das Bild vollständig ist")},
        {QStringLiteral("the picture is empty"), QStringLiteral("Das Bild ist leer")},
        {QStringLiteral("the picture could not be drawn at this size"),
         QStringLiteral("Das Bild lässt sich in dieser Größe nicht zeichnen")},
        {QStringLiteral("not a JPEG, BMP, GIF or WMF picture"), QStringLiteral("Kein JPEG-, BMP-, GIF- oder WMF-Bild")},
        {QString::fromLatin1(wmf::kTimeLimitReason),
         QStringLiteral("Zeitlimit erreicht: die WMF-Datei braucht zu lange zum Zeichnen")},
    };
    return texts.value(english);
}

// The error number whose English system text is `english`; 0 for none.
int systemErrorOf(const QString& english)
{
    static const QHash<QString, int> numbers = [] {
        QHash<QString, int> map;
        for (int errnum = 1; errnum < 200; ++errnum)
            map.insert(SystemReason(errnum), errnum);
        return map;
    }();
    return numbers.value(english);
}

} // namespace

QString GermanPictureReason(const QString& english)
{
    if (QString german = fixedReason(english); !german.isEmpty())
        return german;
    if (const int errnum = systemErrorOf(english))
        return GermanReason(errnum);
    // Texts with a detail: the detail (a path, libjpeg's words) stays as it is.
    static const QLatin1String damaged("damaged data (");
    if (english.startsWith(damaged))
        return QStringLiteral("Beschädigte Daten (") + english.mid(damaged.size());
    static const QLatin1String notFound("metafile helper not found (looked for ");
    if (english.startsWith(notFound))
        return QStringLiteral("Hilfsprogramm für WMF-Dateien nicht gefunden (gesucht: ") + english.mid(notFound.size());
    static const QLatin1String noStart("cannot start the metafile helper: ");
    if (english.startsWith(noStart))
        return QStringLiteral("Hilfsprogramm für WMF-Dateien startet nicht: ")
               + GermanPictureReason(english.mid(noStart.size()));
    return english;
}

} // namespace ostrovel
