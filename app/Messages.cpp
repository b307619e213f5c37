#include "app/Messages.h"

#include "chooser/GermanReason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include <cerrno>
#include <unistd.h>

namespace ostrovel {

WindowMessage UnreadableMessage(const QList<UnreadablePicture>& pictures, std::optional<int> writtenBeforeCancel)
{
    QStringList names;
    QStringList detailed;
    for (const UnreadablePicture& p : pictures) {
        names << p.name;
        detailed << (p.reason.isEmpty() ? p.name : QStringLiteral("%1: %2").arg(p.name, p.reason));
    }
    WindowMessage m;
    m.text = QStringLiteral("Diese Bilder konnten nicht gelesen werden und wurden nicht gespeichert:\n")
             + names.mid(0, kUnreadableShown).join(u'\n');
    // A long list would make the box taller than the screen.
    if (names.size() > kUnreadableShown)
        m.text += QStringLiteral("\n… und %1 weitere").arg(names.size() - kUnreadableShown);
    m.detailedText = detailed.join(u'\n');
    if (writtenBeforeCancel)
        m.informativeText = CancelledText(*writtenBeforeCancel);
    return m;
}

QString CancelledText(int written)
{
    return written == 1 ? QStringLiteral("Das Speichern wurde abgebrochen; 1 Vorschaubild wurde gespeichert.")
                        : QStringLiteral("Das Speichern wurde abgebrochen; %1 Vorschaubilder wurden gespeichert.")
                              .arg(written);
}

QString RuntimeErrorText(const RuntimeError& error)
{
    return QStringLiteral("Laufzeitfehler '%1':\n\n%2").arg(error.number()).arg(error.description());
}

WindowMessage WriteErrorMessage(const RuntimeError& error, const QString& path, int errnum)
{
    WindowMessage m;
    m.text = RuntimeErrorText(error);
    m.informativeText = QStringLiteral("Vorschaubild: %1").arg(QDir::toNativeSeparators(path));
    const QString reason = GermanReason(errnum);
    if (!reason.isEmpty())
        m.informativeText += QStringLiteral("\nGrund: %1").arg(reason);
    return m;
}

QMessageBox* MakeMessageBox(QWidget* parent, const WindowMessage& message)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Ostrovel"), message.text, QMessageBox::Ok,
                                parent);
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(message.informativeText);
    box->setDetailedText(message.detailedText);
    return box;
}

} // namespace ostrovel
