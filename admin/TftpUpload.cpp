#include "admin/TftpUpload.h"

#include "base/EventWait.h"
#include "link/DottedQuad.h"

#include <QCoreApplication>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

namespace {
constexpr const char* UrlFormat = "tftp://%1/bla";
constexpr long MaxConnects = 20;
} // namespace

TftpUpload::TftpUpload(QObject* parent)
    : QObject(parent)
{ }

TftpUpload::~TftpUpload() { close(); }

QString TftpUpload::urlFor(const QString& address, std::optional<quint16> port)
{
    // libcurl reads "010" as octal; the command channel, like the operator,
    // reads it as decimal. The image must go where the commands went.
    const QString canonical = DottedQuad::canonical(address);
    const QString host = port ? QStringLiteral("%1:%2").arg(canonical).arg(*port) : canonical;
    return QString::fromLatin1(UrlFormat).arg(host);
}

bool TftpUpload::open()
{
    if (m_handle)
        return true;
    if (!m_globalInit)
        m_globalInit = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    if (m_globalInit)
        m_handle = curl_easy_init();
    return m_handle != nullptr;
}

void TftpUpload::close()
{
    if (m_handle)
        curl_easy_cleanup(m_handle);
    m_handle = nullptr;
    if (m_globalInit)
        curl_global_cleanup();
    m_globalInit = false;
}

TftpUpload::Outcome TftpUpload::upload(const QString& address, const QByteArray& image, std::optional<quint16> port)
{
    // Events are handled during the transfer; a second upload started from
    // one of them must not reuse the handle that is busy.
    if (m_busy)
        return Outcome::Stopped;
    m_busy = true;
    m_stopRequested = false;
    m_runs = 0;
    m_lastRunError.clear();

    Outcome outcome = Outcome::NoHandle;
    if (open()) {
        const QByteArray url = urlFor(address, port).toLatin1();
        m_cursor.start = image.constData();
        m_cursor.size = quint32(image.size());
        curl_easy_setopt(m_handle, CURLOPT_URL, url.constData());
        curl_easy_setopt(m_handle, CURLOPT_READFUNCTION, &TftpUpload::readImage);
        curl_easy_setopt(m_handle, CURLOPT_READDATA, &m_cursor);
        curl_easy_setopt(m_handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(image.size()));
        curl_easy_setopt(m_handle, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_handle, CURLOPT_CONNECTTIMEOUT_MS, long(ConnectTimeoutMs));
        curl_easy_setopt(m_handle, CURLOPT_XFERINFOFUNCTION, &TftpUpload::reportProgress);
        curl_easy_setopt(m_handle, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(m_handle, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_handle, CURLOPT_MAXCONNECTS, MaxConnects);
        // No options in the write request: the boot loader speaks plain TFTP
        // with 512-byte blocks.
        curl_easy_setopt(m_handle, CURLOPT_TFTP_NO_OPTIONS, 1L);
        // Without these a lost peer in mid-transfer stalls a run for an hour.
        curl_easy_setopt(m_handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_handle, CURLOPT_LOW_SPEED_TIME, long(StallLimitSeconds));
        curl_easy_setopt(m_handle, CURLOPT_TIMEOUT_MS, long(RunTimeLimitMs));

        QElapsedTimer sinceStart;
        sinceStart.start();
        for (;;) {
            if (runOnce()) {
                outcome = Outcome::Uploaded;
                break;
            }
            if (m_stopRequested) {
                outcome = Outcome::Stopped;
                break;
            }
            if (sinceStart.elapsed() >= m_giveUpAfterMs) {
                outcome = Outcome::GaveUp;
                break;
            }
            emit runFailed(m_runs, m_lastRunError);
            delayWithEvents(RetryPauseMs);
            QCoreApplication::processEvents();
            if (m_stopRequested) {
                outcome = Outcome::Stopped;
                break;
            }
        }
        m_cursor = Cursor{};
    }
    m_busy = false;
    return outcome;
}

bool TftpUpload::runOnce()
{
    ++m_runs;
    // A failed run may have handed over part of the image; the controller
    // expects the whole image in every write.
    m_cursor.handed = 0;
    m_lastReported = -1;
    m_sinceEvents.start();
    const CURLcode result = curl_easy_perform(m_handle);
    if (result == CURLE_OK)
        return true;
    m_lastRunError = QString::fromUtf8(curl_easy_strerror(result));
    return false;
}

size_t TftpUpload::readImage(char* buffer, size_t size, size_t count, void* cursorPointer)
{
    auto* cursor = static_cast<Cursor*>(cursorPointer);
    const size_t wanted = size * count;
    const size_t left = cursor->size - cursor->handed;
    const size_t amount = std::min(wanted, left);
    std::memcpy(buffer, cursor->start + cursor->handed, amount);
    cursor->handed += quint32(amount);
    return amount;
}

int TftpUpload::reportProgress(void* selfPointer, qint64, qint64, qint64, qint64 uploaded)
{
    auto* self = static_cast<TftpUpload*>(selfPointer);
    if (uploaded != self->m_lastReported) {
        self->m_lastReported = uploaded;
        emit self->progressed(uploaded);
    }
    if (self->m_sinceEvents.elapsed() >= EventSliceMs) {
        QCoreApplication::processEvents();
        self->m_sinceEvents.start();
    }
    // A non-zero answer aborts the run.
    return self->m_stopRequested ? 1 : 0;
}
