#pragma once
// Qt's own texts in Brindle's windows (the standard buttons of message boxes and choosers)
// read in Chinese, as on a Chinese Windows (确定, 取消, 打开), whatever the user's locale: every
// other text of the windows is Chinese too.

class QCoreApplication;

namespace brindle::ui {

// Loads Qt's Simplified Chinese translations (Debian's qt6-translations-l10n) from Qt's
// translations folder into application, which keeps them. False when they are not installed:
// the standard buttons then keep Qt's English texts.
bool installQtChineseTexts(QCoreApplication& application);

}  // namespace brindle::ui
