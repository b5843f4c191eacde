#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// The progress bar of a firmware upload on a terminal's standard error:
// bytes, rate and time left, redrawn in place. Every run of the upload
// starts from byte 0 again, and so does the bar. Shows nothing when off.
class UploadProgress
{
public:
    UploadProgress(qint64 total, bool on);

    void show(qint64 bytes);
    // Ends the line of the bar.
    void finish();

private:
    qint64 m_total;
    bool m_on;
    bool m_drawn = false;
    qint64 m_lastShownMs = -1;
    qint64 m_lastBytes = 0;
    QElapsedTimer m_clock;
};
