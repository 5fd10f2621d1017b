#include "gui/FileDialog.h"

#include <QSaveFile>

#include <QFileDialog>
#include <QStringList>

namespace pemblor {

namespace {

QStringList& NextNames()
{
    static QStringList names;
    return names;
}

} // namespace

QString FileDialog::getSaveFileName(QWidget* parent, const QString& caption, const QString& suggestedName,
                                    const QString& filter)
{
    if (!NextNames().isEmpty())
        return NextNames().takeFirst();
    return QFileDialog::getSaveFileName(parent, caption, suggestedName, filter);
}

void FileDialog::setNextFileName(const QString& name)
{
    NextNames().append(name);
}

void FileDialog::reset()
{
    NextNames().clear();
}

QString SaveTextFile(const QString& path, const std::string& text)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) && file.commit())
        return {};
    const QString cause = file.errorString();
    file.cancelWriting();
    return cause;
}

} // namespace pemblor
