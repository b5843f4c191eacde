#pragma once

#include "TestWaits.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

// Answers the modal dialogs that the code under test opens while a test
// runs, the way the operator would, one expected dialog after the other.
// A progress window nobody expects is left alone: the code under test
// closes it. Any other modal dialog nobody expects is closed (rejected) and
// counted, and a message box's words are kept, so a failing test never
// hangs on a box and can say what it was.
class ModalAnswerer : public QObject
{
public:
    // What a message box said.
    struct Box
    {
        QString title;
        QString text;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    ModalAnswerer();

    // The next modal dialog of type Dialog (a progress window of another
    // type shown first is passed over) is handed to `answer`.
    template <typename Dialog>
    void expect(std::function<void(Dialog*)> answer)
    {
        m_handlers << [answer](QWidget* modal) {
            auto* dialog = qobject_cast<Dialog*>(modal);
            if (dialog)
                answer(dialog);
            return dialog != nullptr;
        };
    }
    // The next modal dialog is a message box, answered with `button`; one
    // without that button is rejected instead. `seen`, if given, receives
    // what it said.
    void expectBox(QMessageBox::StandardButton button, Box* seen = nullptr);

    // Expected dialogs that have not come yet.
    int pending() const { return m_handlers.size(); }
    // Dialogs nobody expected, and what those that were message boxes said.
    int unexpected() const { return m_unexpected; }
    const QList<Box>& unexpectedBoxes() const { return m_unexpectedBoxes; }

private:
    void poll();

    QTimer m_timer;
    QList<std::function<bool(QWidget*)>> m_handlers;
    QPointer<QWidget> m_last;
    int m_unexpected = 0;
    QList<Box> m_unexpectedBoxes;
};

// Presses the cancel button ("Stop", "Cancel") of the progress window that
// `window` shows, as the operator does; waits up to `timeoutMs` for one to
// appear. False when none did.
bool pressCancelOfProgress(QWidget* window, int timeoutMs = TestWaits::reply());
