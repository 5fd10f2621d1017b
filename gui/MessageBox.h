#pragma once
#include <QMessageBox>
#include <QString>
#include <QStringList>

namespace pemblor {

// Every message box of the windows goes through here, so that tests can
// answer one before it shows. The caption is the program's name; the text
// is plain, already translated.
//
// A box with an answer queued by setNextAnswer does not show: it returns
// that answer at once and its text is kept for takeShown. Without one, the
// box shows modally and returns the button the user chose (Escape: the No or
// Cancel button). User-interface thread only.
class MessageBox final {
public:
    using Button = QMessageBox::StandardButton;
    using Buttons = QMessageBox::StandardButtons;

    static Button information(QWidget* parent, const QString& text, Buttons buttons = QMessageBox::Ok);
    static Button warning(QWidget* parent, const QString& text, Buttons buttons = QMessageBox::Ok);
    static Button question(QWidget* parent, const QString& text,
                           Buttons buttons = QMessageBox::Yes | QMessageBox::No);

    // Tests: the answer of the next box (queued; each box takes one).
    static void setNextAnswer(Button answer);
    // Tests: while on, a box with no queued answer does not show either: it
    // takes the answer of Escape (Ok, No or Cancel) and its text is kept.
    static void setEscapeUnanswered(bool on);
    // Tests: the texts of the boxes answered without showing, oldest first;
    // the list is emptied.
    static QStringList takeShown();
    // Tests: forgets queued answers and kept texts, and shows unanswered
    // boxes again.
    static void reset();

private:
    static Button show(QWidget* parent, QMessageBox::Icon icon, const QString& text, Buttons buttons);
    static Button EscapeAnswer(Buttons buttons);
};

} // namespace pemblor
