#pragma once
#include <QString>

#include <string>

class QWidget;

namespace pemblor {

// Every file name the windows ask the user for goes through here, so that
// tests can choose one before the dialog would show. User-interface thread
// only.
class FileDialog final {
public:
    // The file to save to, or an empty text when the user cancelled. A name
    // queued by setNextFileName is returned at once instead.
    static QString getSaveFileName(QWidget* parent, const QString& caption, const QString& suggestedName,
                                   const QString& filter);

    // Tests: the answer of the next question (queued; each takes one; an
    // empty name answers as a cancel does).
    static void setNextFileName(const QString& name);
    // Tests: forgets queued names.
    static void reset();
};

// Writes `text` to the file at `path` so that it replaces an earlier file
// only once written whole: empty on success, else the cause in words (the
// earlier file is left as it was).
QString SaveTextFile(const QString& path, const std::string& text);

} // namespace pemblor
