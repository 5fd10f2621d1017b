#include "gui/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QList>

#include <utility>

namespace pemblor {

namespace {

QList<MessageBox::Button>& Answers()
{
    static QList<MessageBox::Button> answers;
    return answers;
}

QStringList& Shown()
{
    static QStringList shown;
    return shown;
}

bool& EscapeUnanswered()
{
    static bool on = false;
    return on;
}

} // namespace

MessageBox::Button MessageBox::information(QWidget* parent, const QString& text, Buttons buttons)
{
    return show(parent, QMessageBox::NoIcon, text, buttons);
}

MessageBox::Button MessageBox::warning(QWidget* parent, const QString& text, Buttons buttons)
{
    return show(parent, QMessageBox::Warning, text, buttons);
}

MessageBox::Button MessageBox::question(QWidget* parent, const QString& text, Buttons buttons)
{
    return show(parent, QMessageBox::Question, text, buttons);
}

void MessageBox::setNextAnswer(Button answer)
{
    Answers().append(answer);
}

QStringList MessageBox::takeShown()
{
    return std::exchange(Shown(), {});
}

void MessageBox::setEscapeUnanswered(bool on)
{
    EscapeUnanswered() = on;
}

void MessageBox::reset()
{
    Answers().clear();
    Shown().clear();
    EscapeUnanswered() = false;
}

MessageBox::Button MessageBox::EscapeAnswer(Buttons buttons)
{
    if (buttons.testFlag(QMessageBox::No))
        return QMessageBox::No;
    if (buttons.testFlag(QMessageBox::Cancel))
        return QMessageBox::Cancel;
    return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
}

MessageBox::Button MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& text, Buttons buttons)
{
    if (!Answers().isEmpty()) {
        Shown().append(text);
        return Answers().takeFirst();
    }
    if (EscapeUnanswered()) {
        Shown().append(text);
        return EscapeAnswer(buttons);
    }
    // The caption is the base name of the program's file, as on every box.
    const QString caption = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    // Enter takes the first button (Ok or Yes), Escape the other.
    box.setDefaultButton(buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    box.setEscapeButton(EscapeAnswer(buttons));
    return static_cast<Button>(box.exec());
}

} // namespace pemblor
