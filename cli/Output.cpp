#include "cli/Output.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>

namespace {
QString tr(const char* text) { return QCoreApplication::translate("Cli", text); }
} // namespace

Output::Output(bool json, bool verbose)
    : m_json(json)
    , m_verbose(verbose)
{
    m_clock.start();
}

bool Output::write(FILE* stream, const QByteArray& bytes)
{
    errno = 0;
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    return std::fflush(stream) == 0 && written == size_t(bytes.size()) && !std::ferror(stream);
}

bool Output::writeResult(const QByteArray& bytes)
{
    if (m_failed)
        return false;
    if (write(stdout, bytes))
        return true;
    m_failed = true;
    const QString reason = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
    failure(Reason::Unreachable, 1, tr("lensdesk-cli: cannot write output: %1.").arg(reason));
    return false;
}

bool Output::result(const QJsonValue& json, const QString& text)
{
    if (!m_json)
        return writeResult(text.toUtf8() + '\n');
    const QByteArray document = json.isArray() ? QJsonDocument(json.toArray()).toJson(QJsonDocument::Compact)
                                               : QJsonDocument(json.toObject()).toJson(QJsonDocument::Compact);
    return writeResult(document + '\n');
}

bool Output::line(const QString& text) { return writeResult(text.toUtf8() + '\n'); }

void Output::note(const QString& text) { write(stderr, text.toUtf8() + '\n'); }

void Output::ask(const QString& question) { write(stderr, question.toUtf8()); }

int Output::failure(Reason reason, int status, const QString& message)
{
    if (!m_json) {
        note(message);
        return status;
    }
    const QJsonObject error{{QStringLiteral("error"),
                             QJsonObject{{QStringLiteral("status"), status},
                                         {QStringLiteral("reason"), reasonName(reason)},
                                         {QStringLiteral("message"), message}}}};
    write(stderr, QJsonDocument(error).toJson(QJsonDocument::Compact) + '\n');
    return status;
}

void Output::traffic(char direction, const QString& text)
{
    if (m_verbose)
        note(QStringLiteral("%1 %2 %3").arg(m_clock.elapsed(), 6).arg(QLatin1Char(direction)).arg(escaped(text)));
}

QString Output::escaped(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (code < 0x20 || code == 0x7f || (code >= 0x80 && code < 0xa0))
            shown += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString Output::reasonName(Reason reason)
{
    switch (reason) {
    case Reason::Timeout:
        return QStringLiteral("timeout");
    case Reason::Refused:
        return QStringLiteral("refused");
    case Reason::Unreachable:
        return QStringLiteral("unreachable");
    case Reason::BadInput:
        return QStringLiteral("bad-input");
    case Reason::Interrupted:
        return QStringLiteral("interrupted");
    }
    return QString();
}
