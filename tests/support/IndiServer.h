#pragma once

#include <QMap>
#include <QProcess>
#include <QRegularExpressionMatch>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Debian's INDI server (indiserver, from indi-bin) as a child process of the
// test, with INDI drivers started and stopped through its FIFO under device
// names of the test's choosing, and driven with Debian's own command-line
// clients indi_setprop, indi_getprop and indi_eval: clients nobody here wrote.
//
// The server takes a free TCP port; the clients reach it on 127.0.0.1, and
// the test's event loop runs while they do. The
// server and its drivers get a home folder of their own (INDI keeps each
// device's configuration in ~/.indi/), so no test sees another's
// configuration or the user's. The server logs every message its drivers
// send, which messages() reads. It is stopped by its process id; its drivers
// end with it. Every wait is bounded.
class IndiServer
{
public:
    // Why the server cannot run here, or empty.
    static QString unavailableReason();

    IndiServer();
    ~IndiServer();
    IndiServer(const IndiServer&) = delete;
    IndiServer& operator=(const IndiServer&) = delete;

    // Starts the server and returns once it listens (false after 10 s).
    bool start();
    void stop();
    quint16 port() const { return m_port; }
    QString homePath() const { return m_dir.filePath(QStringLiteral("home")); }

    // Starts `program` as the device `device` and returns once the server
    // lists the device's properties; stops it again.
    bool startDriver(const QString& program, const QString& device);
    bool stopDriver(const QString& program, const QString& device);
    // The process id of the driver the server started last from `program`;
    // 0 when it started none.
    qint64 driverPid(const QString& program) const;

    // indi_setprop: "Lens A.ABS_FOCUS_POSITION.FOCUS_ABSOLUTE_POSITION=120"
    // or "Lens A.DEVICE_ADDRESS.ADDRESS;PORT=127.0.0.4;1339". True when the
    // client reports every setting sent.
    bool set(const QString& assignment);
    // indi_getprop: one value ("Lens A.FOCUS_MAX.FOCUS_MAX_VALUE", or an
    // attribute such as "Lens A.ABS_FOCUS_POSITION._STATE"); empty when the
    // server has none.
    QString value(const QString& element);
    // indi_getprop with wildcards: every "device.property.element" and its
    // value (it listens for a second, as it cannot know when all came).
    QMap<QString, QString> values(const QString& pattern);
    // Waits until every "device.property.element" of `expected` shows its
    // value (numbers compared as numbers), at most `timeoutMs`; returns what
    // differs at the end (empty: nothing).
    QString waitForValues(const QMap<QString, QString>& expected, int timeoutMs);
    bool waitForValue(const QString& element, const QString& expected, int timeoutMs);
    // indi_eval -w: waits until the expression ('"Lens A.ABS_FOCUS_POSITION._STATE"==1')
    // holds, at most `timeoutSeconds`; true when it did.
    bool waitFor(const QString& expression, int timeoutSeconds);

    // The texts of the messages `device` has sent so far ("[ERROR] ..."),
    // oldest first; waitForMessage() waits for one that matches `pattern`.
    QStringList messages(const QString& device) const;
    QRegularExpressionMatch waitForMessage(const QString& device, const QString& pattern, int timeoutMs) const;
    QString log() const;

private:
    bool startOnce();
    bool command(const QString& line);
    // Runs one of Debian's clients against the server: its exit status (-1
    // when it did not end in time) and what it printed.
    int runClient(const QString& program, const QStringList& arguments, int timeoutSeconds, QString* output = nullptr);

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
