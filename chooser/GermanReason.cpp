#include "chooser/GermanReason.h"

#include <cerrno>
#include <cstring>

namespace ostrovel {

QString GermanReason(int errnum)
{
    switch (errnum) {
    case 0: return QString();
    case EACCES:
    case EPERM: return QStringLiteral("Keine Berechtigung");
    case EROFS: return QStringLiteral("Schreibgeschütztes Dateisystem");
    case ENAMETOOLONG: return QStringLiteral("Dateiname zu lang");
    case ENOSPC: return QStringLiteral("Kein Speicherplatz mehr auf dem Gerät");
    case EDQUOT: return QStringLiteral("Speicherplatzkontingent überschritten");
    case ENOENT: return QStringLiteral("Ordner nicht gefunden");
    case ENOTDIR: return QStringLiteral("Ein Teil des Pfades ist kein Ordner");
    case EEXIST: return QStringLiteral("Eine Datei oder ein Ordner dieses Namens existiert bereits");
    case EISDIR: return QStringLiteral("Unter diesem Namen gibt es bereits einen Ordner");
    case ENOTEMPTY: return QStringLiteral("Der Ordner ist nicht leer");
    case EBUSY: return QStringLiteral("Gerät oder Ressource belegt");
    case EIO: return QStringLiteral("Ein-/Ausgabefehler");
    case EINVAL: return QStringLiteral("Ungültiger Name");
    case ELOOP: return QStringLiteral("Zu viele Ebenen symbolischer Verknüpfungen");
    case EMFILE:
    case ENFILE: return QStringLiteral("Zu viele offene Dateien");
    case ENOMEM: return QStringLiteral("Nicht genügend Arbeitsspeicher");
    case EXDEV: return QStringLiteral("Nicht über Dateisystemgrenzen hinweg möglich");
    default: return QString::fromLocal8Bit(std::strerror(errnum));
    }
}

} // namespace ostrovel
