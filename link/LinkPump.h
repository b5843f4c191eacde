#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class ControllerLink;
class QSocketNotifier;

// Drives a ControllerLink from a Qt event loop (lensdesk-cli, the Alpaca
// server's controller thread): a notifier on the link's descriptor reads its
// replies, a single-shot timer advances it when its deadline comes.
//
// `advance` is what is called for the deadlines: by default the link's own
// advance(); a FocuserSession on the link passes its advance(), which
// advances the link as well. After calling anything on the link (or the
// session) that can start something, call reschedule(); the pump does so
// itself after every read and deadline.
//
// Lives on the link's thread; construct it after the link's open().
class LinkPump : public QObject
{
    Q_OBJECT

public:
    using Advance = std::function<qint64(qint64 now)>;

    explicit LinkPump(ControllerLink& link, QObject* parent = nullptr);
    LinkPump(ControllerLink& link, Advance advance, QObject* parent = nullptr);

public slots:
    // Advances now and waits for the new deadline.
    void reschedule();

signals:
    // A read pass or a deadline has been handled: whatever waits on the
    // link's state may look again.
    void pumped();

private:
    void readAvailable();

    ControllerLink& m_link;
    const Advance m_advance;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_deadline;
};
