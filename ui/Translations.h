// SPDX-License-Identifier: MIT
// Qt's own Japanese texts for its dialogs and buttons. The windows' own texts
// are Japanese, so Qt's are too, whatever the user's locale says.
#pragma once

class QCoreApplication;

// Installs qtbase_ja from Qt's translations directory (Debian
// qt6-translations-l10n); false when it is not there.
bool InstallJapaneseQtTranslations(QCoreApplication& app);
