#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <optional>

typedef void CURL;

// Uploads a firmware image held in memory to a controller by a TFTP write of
// the remote file "bla", with libcurl, on the calling (GUI) thread.
//
// A controller restarting for an update refuses or ignores write requests
// for a few seconds, so upload() repeats the transfer every 50 ms until a run
// succeeds, stop() is called, or no run has succeeded for giveUpAfterMs().
// Every run sends the image from its first byte. The transfer blocks, so the
// toolkit's events are handled from the progress callback and between runs;
// that is also where stop() (from a Stop button) gets its chance.
//
// GUI thread only. The class knows nothing of widgets: progress is reported
// by the progressed() signal.
class TftpUpload : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Uploaded,
        Stopped,  // stop() was called
        GaveUp,   // no successful run within giveUpAfterMs()
        NoHandle, // libcurl could not be set up
    };

    static constexpr int RetryPauseMs = 50;
    static constexpr int ConnectTimeoutMs = 1000;
    static constexpr int DefaultGiveUpAfterMs = 60000;
    // A run that moves no byte for this long has lost its peer.
    static constexpr int StallLimitSeconds = 5;
    // No run, however slow, takes longer than this.
    static constexpr int RunTimeLimitMs = 300000;
    // The longest stretch without handling events during a run.
    static constexpr int EventSliceMs = 20;

    explicit TftpUpload(QObject* parent = nullptr);
    ~TftpUpload() override;

    // Sets libcurl up. Returns false when no transfer handle can be created;
    // call it before telling the controller to expect an update.
    bool open();
    bool isOpen() const { return m_handle != nullptr; }

    // Uploads `image` to "tftp://address/bla" (or "tftp://address:port/bla"
    // when a port is given, for servers off the standard port 69). A dotted
    // quad is read in decimal, leading zeros and all, as the command channel
    // reads it. Opens the handle if open() was not called.
    Outcome upload(const QString& address, const QByteArray& image, std::optional<quint16> port = {});

    void stop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }

    void setGiveUpAfterMs(int milliseconds) { m_giveUpAfterMs = milliseconds; }
    int giveUpAfterMs() const { return m_giveUpAfterMs; }

    // Runs made by the last upload() and libcurl's message for the last failed one.
    int runs() const { return m_runs; }
    QString lastRunError() const { return m_lastRunError; }

    static QString urlFor(const QString& address, std::optional<quint16> port = {});

signals:
    // Bytes of the image handed over in the current run; a new run starts at 0.
    void progressed(qint64 bytesUploaded);
    // A run failed and the next one follows after RetryPauseMs.
    void runFailed(int run, const QString& reason);

private:
    struct Cursor
    {
        const char* start = nullptr;
        quint32 size = 0;
        quint32 handed = 0;
    };

    static size_t readImage(char* buffer, size_t size, size_t count, void* cursor);
    static int reportProgress(void* self, qint64 downloadTotal, qint64 downloaded, qint64 uploadTotal, qint64 uploaded);

    bool runOnce();
    void close();

    CURL* m_handle = nullptr;
    bool m_globalInit = false;
    bool m_busy = false;
    bool m_stopRequested = false;
    int m_giveUpAfterMs = DefaultGiveUpAfterMs;
    int m_runs = 0;
    QString m_lastRunError;
    Cursor m_cursor;
    qint64 m_lastReported = -1;
    QElapsedTimer m_sinceEvents;
};
