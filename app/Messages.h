#pragma once
// The window's messages: their texts and the message box that shows them.

#include "common/RuntimeError.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QMessageBox;
class QWidget;

namespace ostrovel {

/// One message to the user: the main text, and optional texts the message
/// box shows under it (informative) and behind its details button (detailed).
struct WindowMessage {
    QString text;
    QString informativeText;
    QString detailedText;
};

/// Names shown in the unreadable-files message before "… und N weitere".
inline constexpr int kUnreadableShown = 15;

/// A picture that could not be read: its name in the list and why, in German.
struct UnreadablePicture {
    QString name;
    QString reason;
};

/// The closing message that names the pictures that could not be read: the
/// first kUnreadableShown names, the rest counted; all of them with their
/// reasons in the details. `writtenBeforeCancel`, when given, says that the
/// export was cancelled after that many files.
WindowMessage UnreadableMessage(const QList<UnreadablePicture>& pictures,
                                std::optional<int> writtenBeforeCancel = std::nullopt);

/// The text saying that an export was cancelled after `written` files.
QString CancelledText(int written);

/// The text of the message box for an error that reaches a handler's top.
QString RuntimeErrorText(const RuntimeError& error);

/// Error 5 with the thumbnail's path and the system's reason (`errnum`, 0:
/// unknown) as informative text; the main text stays RuntimeErrorText's.
WindowMessage WriteErrorMessage(const RuntimeError& error, const QString& path, int errnum);

/// A warning box titled "Ostrovel" for `message`, owned by `parent`.
QMessageBox* MakeMessageBox(QWidget* parent, const WindowMessage& message);

} // namespace ostrovel
