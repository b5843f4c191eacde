#pragma once

#include <QPushButton>
#include <QApplication>
#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

// Answers the modal dialogs that the code under test opens, one handler per
// dialog, in order. A modal dialog nobody expected is rejected and counted,
// so a failing test never hangs on a box.
class ModalAnswerer : public QObject
{
public:
    using Handler = std::function<void(QWidget*)>;

    ModalAnswerer()
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        m_timer.start();
    }

    void expect(Handler handler) { m_handlers << handler; }

    // What a message box said.
    struct Box
    {
        QString title;
        QString text;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };
    // The next modal dialog is a message box, answered with `button`; one
    // without that button (or no box at all) is dismissed instead, so a
    // failing test never waits on it. `seen` receives what it said.
    void expectBox(QMessageBox::StandardButton button, Box* seen)
    {
        expect([button, seen](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            seen->title = modal->windowTitle();
            if (box) {
                seen->text = box->text();
                seen->defaultButton = box->standardButton(box->defaultButton());
            }
            if (QAbstractButton* answer = box ? box->button(button) : nullptr)
                answer->click();
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        });
    }
    int pending() const { return m_handlers.size(); }
    int unexpected() const { return m_unexpected; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        // A dialog shown again after it was gone (the connect dialog is
        // kept and reopened) is a new question.
        if (!modal || !modal->isVisible()) {
            m_last = nullptr;
            return;
        }
        // Progress windows are no questions: the code under test closes them.
        if (modal == m_last || qobject_cast<QProgressDialog*>(modal))
            return;
        m_last = modal;
        if (m_handlers.isEmpty()) {
            ++m_unexpected;
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
            return;
        }
        m_handlers.takeFirst()(modal);
    }

    QTimer m_timer;
    QList<Handler> m_handlers;
    QPointer<QWidget> m_last;
    int m_unexpected = 0;
};

// Presses the cancel button ("Stop", "Cancel") of the progress dialog that
// `window` shows, as the operator does; waits up to `timeoutMs` for one to
// appear. False when none did.
inline bool pressCancelOfProgress(QWidget* window, int timeoutMs = 5000)
{
    QPushButton* cancel = nullptr;
    const bool shown = QTest::qWaitFor(
        [window, &cancel] {
            for (auto* progress : window->findChildren<QProgressDialog*>()) {
                if (progress->isVisible())
                    cancel = progress->findChild<QPushButton*>();
            }
            return cancel != nullptr;
        },
        timeoutMs);
    if (shown)
        cancel->click();
    return shown;
}
