#include "ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

namespace {

constexpr int PollMs = 20;

ModalAnswerer::Box boxSeen(QWidget* modal)
{
    ModalAnswerer::Box seen;
    seen.title = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.text = box->text();
        seen.defaultButton = box->standardButton(box->defaultButton());
    }
    return seen;
}

void closeModal(QWidget* modal)
{
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}

} // namespace

ModalAnswerer::ModalAnswerer()
{
    m_timer.setInterval(PollMs);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

void ModalAnswerer::expectBox(QMessageBox::StandardButton button, Box* seen)
{
    expect<QMessageBox>([button, seen](QMessageBox* box) {
        if (seen)
            *seen = boxSeen(box);
        if (QAbstractButton* answer = box->button(button))
            answer->click();
        else
            box->reject();
    });
}

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    // A dialog shown again after it was gone (the connect dialog is kept and
    // reopened) is a new question.
    if (!modal || !modal->isVisible()) {
        m_last = nullptr;
        return;
    }
    if (modal == m_last)
        return;
    if (!m_handlers.isEmpty() && m_handlers.first()(modal)) {
        m_handlers.removeFirst();
        m_last = modal;
        return;
    }
    // Progress windows are no questions: the code under test closes them.
    if (qobject_cast<QProgressDialog*>(modal))
        return;
    m_last = modal;
    ++m_unexpected;
    if (qobject_cast<QMessageBox*>(modal))
        m_unexpectedBoxes << boxSeen(modal);
    closeModal(modal);
}

bool pressCancelOfProgress(QWidget* window, int timeoutMs)
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
