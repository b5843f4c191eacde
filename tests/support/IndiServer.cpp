#include "IndiServer.h"
#include "TestWaits.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const int StartTimeLimitMs = TestWaits::processStart();
const int StopTimeLimitMs = TestWaits::scaled(5000);
constexpr int StartAttempts = 5;
constexpr int PollMs = 20;
// Debian's clients wait this long for the server's answer (their -t); with
// wildcards they always wait that long.
constexpr int ClientWaitSeconds = 2;
constexpr int WildcardWaitSeconds = 1;
// What a client may take beyond its own wait before it counts as hung.
const int ClientGraceMs = TestWaits::scaled(5000);

const QString Server = QStringLiteral("indiserver");
const QString SetClient = QStringLiteral("indi_setprop");
const QString GetClient = QStringLiteral("indi_getprop");
const QString EvalClient = QStringLiteral("indi_eval");

// A TCP port nobody listens on right now, on every address as the server
// binds it. Another program may take it before the server does; start()
// then tries another.
// INDI numbers travel with all their digits: 1.8 arrives as
// "1.8000000000000000444". Numbers are compared as numbers.
bool sameValue(const QString& shown, const QString& expected)
{
    bool shownIsNumber = false;
    bool expectedIsNumber = false;
    const double shownNumber = shown.toDouble(&shownIsNumber);
    const double expectedNumber = expected.toDouble(&expectedIsNumber);
    if (shownIsNumber && expectedIsNumber)
        return qFuzzyCompare(1 + shownNumber, 1 + expectedNumber);
    return shown == expected;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}
} // namespace

QString IndiServer::unavailableReason()
{
    for (const QString& program : {Server, SetClient, GetClient, EvalClient}) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            return QStringLiteral("%1 is not installed (Debian package indi-bin)").arg(program);
    }
    return QString();
}

IndiServer::IndiServer()
{
    QDir().mkpath(homePath());
    ::mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("fifo"))).constData(), 0600);
    // The server's log holds what its drivers send, messages included (-vvv).
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("server.log")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), homePath());
    environment.remove(QStringLiteral("INDICONFIG"));
    m_process.setProcessEnvironment(environment);
}

IndiServer::~IndiServer() { stop(); }

bool IndiServer::start()
{
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        if (startOnce())
            return true;
        stop();
    }
    return false;
}

bool IndiServer::startOnce()
{
    m_port = freePort();
    if (m_port == 0)
        return false;
    // -r 0: a driver that dies stays dead, so that the test sees it. The
    // local socket gets a name of this server's own: the default one is
    // shared by every server on the machine.
    m_process.start(Server,
                    {QStringLiteral("-vvv"), QStringLiteral("-r"), QStringLiteral("0"), QStringLiteral("-p"),
                     QString::number(m_port), QStringLiteral("-u"), m_dir.filePath(QStringLiteral("socket")),
                     QStringLiteral("-f"), m_dir.filePath(QStringLiteral("fifo"))});
    if (!m_process.waitForStarted(StartTimeLimitMs))
        return false;
    const QString listening = QStringLiteral("listening to port %1 ").arg(m_port);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < StartTimeLimitMs && m_process.state() == QProcess::Running) {
        if (log().contains(listening))
            return true;
        QTest::qWait(PollMs);
    }
    return false;
}

void IndiServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(StopTimeLimitMs)) {
        m_process.kill();
        m_process.waitForFinished(StopTimeLimitMs);
    }
}

bool IndiServer::command(const QString& line)
{
    // Non-blocking: a server that does not read its FIFO makes this fail
    // instead of hanging the test.
    const int fifo =
        ::open(QFile::encodeName(m_dir.filePath(QStringLiteral("fifo"))).constData(), O_WRONLY | O_NONBLOCK);
    if (fifo < 0)
        return false;
    const QByteArray text = line.toUtf8() + '\n';
    const bool written = ::write(fifo, text.constData(), size_t(text.size())) == text.size();
    ::close(fifo);
    return written;
}

bool IndiServer::startDriver(const QString& program, const QString& device)
{
    if (!command(QStringLiteral("start %1 -n \"%2\"").arg(program, device)))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < StartTimeLimitMs && m_process.state() == QProcess::Running) {
        if (!value(QStringLiteral("%1.DRIVER_INFO.DRIVER_EXEC").arg(device)).isEmpty())
            return true;
        QTest::qWait(PollMs);
    }
    return false;
}

bool IndiServer::stopDriver(const QString& program, const QString& device)
{
    if (!command(QStringLiteral("stop %1 -n \"%2\"").arg(program, device)))
        return false;
    const QString stopped = QStringLiteral("Shutting down driver: %1").arg(program);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < StopTimeLimitMs) {
        if (log().contains(stopped))
            return true;
        QTest::qWait(PollMs);
    }
    return false;
}

qint64 IndiServer::driverPid(const QString& program) const
{
    const QRegularExpression started(QStringLiteral("Driver %1: pid=(\\d+) ").arg(QRegularExpression::escape(program)));
    qint64 pid = 0;
    auto matches = started.globalMatch(log());
    while (matches.hasNext())
        pid = matches.next().captured(1).toLongLong();
    return pid;
}

int IndiServer::runClient(const QString& program, const QStringList& arguments, int timeoutSeconds, QString* output)
{
    // The test's own event loop runs meanwhile: a peer in the test process
    // (a scripted controller) goes on answering the driver.
    QProcess client;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&client, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QObject::connect(&client, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    client.start(program,
                 QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                             QString::number(m_port), QStringLiteral("-t"), QString::number(timeoutSeconds)}
                     + arguments);
    limit.start(timeoutSeconds * 1000 + ClientGraceMs);
    if (client.state() != QProcess::NotRunning)
        loop.exec();
    if (client.state() != QProcess::NotRunning) {
        client.kill();
        client.waitForFinished(StopTimeLimitMs);
        return -1;
    }
    if (client.error() == QProcess::FailedToStart)
        return -1;
    if (output)
        *output = QString::fromUtf8(client.readAllStandardOutput());
    return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
}

bool IndiServer::set(const QString& assignment) { return runClient(SetClient, {assignment}, ClientWaitSeconds) == 0; }

QString IndiServer::value(const QString& element)
{
    QString output;
    if (runClient(GetClient, {QStringLiteral("-1"), element}, ClientWaitSeconds, &output) != 0)
        return QString();
    return output.trimmed();
}

QMap<QString, QString> IndiServer::values(const QString& pattern)
{
    QString output;
    runClient(GetClient, {pattern}, WildcardWaitSeconds, &output);
    QMap<QString, QString> found;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            found.insert(line.left(equals), line.mid(equals + 1));
    }
    return found;
}

QString IndiServer::waitForValues(const QMap<QString, QString>& expected, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QStringList differing;
    do {
        QSet<QString> devices;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            devices.insert(it.key().section(QLatin1Char('.'), 0, 0));
        QMap<QString, QString> shown;
        for (const QString& device : devices)
            shown.insert(values(device + QStringLiteral(".*.*")));
        differing.clear();
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            if (!sameValue(shown.value(it.key()), it.value()))
                differing
                    << QStringLiteral("%1 is \"%2\", not \"%3\"").arg(it.key(), shown.value(it.key()), it.value());
        }
    } while (!differing.isEmpty() && clock.elapsed() < timeoutMs);
    return differing.join(QStringLiteral("; "));
}

bool IndiServer::waitForValue(const QString& element, const QString& expected, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!sameValue(value(element), expected)) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        QTest::qWait(PollMs);
    }
    return true;
}

bool IndiServer::waitFor(const QString& expression, int timeoutSeconds)
{
    return runClient(EvalClient, {QStringLiteral("-w"), expression}, timeoutSeconds) == 0;
}

QStringList IndiServer::messages(const QString& device) const
{
    // "<time>: Driver <program>: read message <device>   '<text>'". The
    // server writes each line it reads from a driver twice at this
    // verbosity; the second copy is dropped.
    const QRegularExpression line(
        QStringLiteral("^(\\S+): Driver [^\\n]*: read message %1 +'(.*)'$").arg(QRegularExpression::escape(device)),
        QRegularExpression::MultilineOption);
    QStringList texts;
    QString previous;
    auto matches = line.globalMatch(log());
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        if (match.captured(0) == previous) {
            previous.clear();
            continue;
        }
        previous = match.captured(0);
        texts << match.captured(2);
    }
    return texts;
}

QRegularExpressionMatch IndiServer::waitForMessage(const QString& device, const QString& pattern, int timeoutMs) const
{
    const QRegularExpression expression(pattern);
    QElapsedTimer clock;
    clock.start();
    do {
        for (const QString& text : messages(device)) {
            const QRegularExpressionMatch match = expression.match(text);
            if (match.hasMatch())
                return match;
        }
        QTest::qWait(PollMs);
    } while (clock.elapsed() < timeoutMs);
    return QRegularExpressionMatch();
}

QString IndiServer::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("server.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
