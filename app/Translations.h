#pragma once
// Qt's own texts (standard buttons, context menus, "Details ...") in German,
// like the rest of the window.

class QCoreApplication;

namespace ostrovel {

/// Loads Qt's German translations (qtbase_de, Debian: qt6-translations-l10n)
/// from Qt's translation folder into `app`. False when they are not installed;
/// Qt's texts then stay English.
bool InstallQtTranslations(QCoreApplication& app);

} // namespace ostrovel
