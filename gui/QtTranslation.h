#pragma once
#include <QString>

#include <string>

class QCoreApplication;
class QLabel;
class QWidget;

namespace pemblor {

// The catalogue's translation of a text marked where both front ends
// share it (common/Translatable.h), or the text itself when it has none.
QString Translated(const char* text);
QString Translated(const std::string& text);
// The same as UTF-8, for the texts the layers below compose from the
// catalogue's wording (a TextLookup).
inline constexpr auto TranslatedText = [](const char* text) { return Translated(text).toStdString(); };

// A label's text as the name of the control it labels: "&IP Address: "
// names "IP Address".
QString LabelName(QString text);

// Gives every push button of `window` room for its text inside the
// style's margins on both sides, which some styles' size hints leave short
// (a translation may be longer than the source text).
void FitButtonTexts(QWidget& window);

// Shows `text` on the warning line `label`, also as its accessible name (a
// screen reader reads it as it shows); an empty text hides the line.
void ShowWarningLine(QLabel& label, const QString& text);

// Installs on `app` the catalogues of the user's language as Qt's system
// locale names it (LC_ALL, LC_MESSAGES, LANG; LANGUAGE for the order): Qt's
// own texts from the system's Qt translations when they are installed, then
// the tool's embedded catalogue, which takes precedence. A language without a
// catalogue shows the source texts. Call once, after `app` exists.
void InstallTranslations(QCoreApplication& app);

} // namespace pemblor
