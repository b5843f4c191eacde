#include "FirmwareImages.h"
#include "LoopbackAddress.h"
#include "Skip.h"
#include "TestMain.h"
#include "TftpdServer.h"

#include "admin/TftpUpload.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

namespace {
// The server's address, of this test process alone.
const QString ServerAddress = LoopbackAddress::next().toString();
} // namespace

class TftpUploadTest : public QObject
{
    Q_OBJECT

private slots:
    void url_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("url");
        QTest::newRow("standard port") << "192.168.0.5" << 0 << "tftp://192.168.0.5/bla";
        QTest::newRow("own port") << "127.0.0.1" << 6969 << "tftp://127.0.0.1:6969/bla";
        // libcurl would read "010" as octal 8; the panel reads every octet in decimal.
        QTest::newRow("leading zeros are decimal") << "127.0.0.010" << 0 << "tftp://127.0.0.10/bla";
        QTest::newRow("leading zeros, own port") << "010.001.000.099" << 6969 << "tftp://10.1.0.99:6969/bla";
    }
    void url()
    {
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(QString, url);
        QCOMPARE(TftpUpload::urlFor(address, port ? std::optional<quint16>(quint16(port)) : std::nullopt), url);
    }

    void imageArrivesIntact_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("1 MB") << 1024 * 1024;
        QTest::newRow("one full block") << 512;
        QTest::newRow("odd size") << 70001;
    }
    void imageArrivesIntact()
    {
        SKIP_IF_UNAVAILABLE(TftpdServer::unavailableReason());
        QFETCH(int, size);
        TftpdServer server(ServerAddress, TftpdServer::freePort(QHostAddress(ServerAddress)));
        QVERIFY(server.start());
        const QByteArray image = randomBytes(size, quint32(size));

        TftpUpload upload;
        QSignalSpy progress(&upload, &TftpUpload::progressed);
        QCOMPARE(upload.upload(ServerAddress, image, server.port()), TftpUpload::Outcome::Uploaded);
        QCOMPARE(upload.runs(), 1);
        TRY_COMPARE(server.received().size(), image.size());
        QVERIFY(server.received() == image);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.first().first().toLongLong(), 0);
        QCOMPARE(progress.last().first().toLongLong(), qint64(size));
    }

    // A restarting controller ignores the first write requests; the upload
    // goes on once it listens.
    void retriesUntilTheServerListens()
    {
        SKIP_IF_UNAVAILABLE(TftpdServer::unavailableReason());
        TftpdServer server(ServerAddress, TftpdServer::freePort(QHostAddress(ServerAddress)));
        const QByteArray image = randomBytes(200000, 3);

        TftpUpload upload;
        QStringList reasons;
        connect(&upload, &TftpUpload::runFailed, this, [&](int run, const QString& reason) {
            reasons << reason;
            if (run == 2)
                QVERIFY(server.start());
        });
        QCOMPARE(upload.upload(ServerAddress, image, server.port()), TftpUpload::Outcome::Uploaded);
        QCOMPARE(upload.runs(), 3);
        QCOMPARE(reasons.size(), 2);
        QVERIFY(!reasons.first().isEmpty());
        TRY_COMPARE(server.received().size(), image.size());
        QVERIFY(server.received() == image);
    }

    // A run that breaks off in mid-image is followed by one that sends the
    // whole image again from its first byte.
    void everyRunStartsAtTheFirstByte()
    {
        SKIP_IF_UNAVAILABLE(TftpdServer::unavailableReason());
        TftpdServer server(ServerAddress, TftpdServer::freePort(QHostAddress(ServerAddress)));
        QVERIFY(server.start());
        const QByteArray image = randomBytes(1024 * 1024, 4);
        constexpr qint64 BreakAt = 100 * 1024;

        TftpUpload upload;
        int run = 1;
        qint64 firstProgressOfSecondRun = -1;
        connect(&upload, &TftpUpload::progressed, this, [&](qint64 bytes) {
            if (run == 1 && bytes >= BreakAt) {
                server.stop(); // the peer vanishes mid-transfer
                run = 0;
            } else if (run == 2 && firstProgressOfSecondRun < 0) {
                firstProgressOfSecondRun = bytes;
            }
        });
        connect(&upload, &TftpUpload::runFailed, this, [&](int failedRun, const QString&) {
            if (failedRun == 1) {
                QVERIFY(server.start());
                run = 2;
            }
        });
        QCOMPARE(upload.upload(ServerAddress, image, server.port()), TftpUpload::Outcome::Uploaded);
        QCOMPARE(upload.runs(), 2);
        QCOMPARE(firstProgressOfSecondRun, 0);
        TRY_COMPARE(server.received().size(), image.size());
        QVERIFY(server.received() == image);
    }

    void stopEndsTheRetries()
    {
        // Nothing listens on this port: every run fails after the connect time-out.
        const quint16 deadPort = TftpdServer::freePort(QHostAddress(ServerAddress));
        TftpUpload upload;
        connect(&upload, &TftpUpload::runFailed, &upload, [&](int run, const QString&) {
            if (run == 2)
                upload.stop();
        });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(upload.upload(ServerAddress, QByteArray(5000, 'x'), deadPort), TftpUpload::Outcome::Stopped);
        QCOMPARE(upload.runs(), 2);
        QVERIFY(clock.elapsed() < TestWaits::scaled(30000));
    }

    void stopEndsARunningTransfer()
    {
        const quint16 deadPort = TftpdServer::freePort(QHostAddress(ServerAddress));
        TftpUpload upload;
        // Handled from the progress callback while the first run waits.
        QTimer::singleShot(300, &upload, &TftpUpload::stop);
        QCOMPARE(upload.upload(ServerAddress, QByteArray(5000, 'x'), deadPort), TftpUpload::Outcome::Stopped);
        QCOMPARE(upload.runs(), 1);
    }

    void givesUpAfterItsBound()
    {
        const quint16 deadPort = TftpdServer::freePort(QHostAddress(ServerAddress));
        TftpUpload upload;
        upload.setGiveUpAfterMs(3000);
        QSignalSpy failures(&upload, &TftpUpload::runFailed);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(upload.upload(ServerAddress, QByteArray(5000, 'x'), deadPort), TftpUpload::Outcome::GaveUp);
        QVERIFY(clock.elapsed() >= 3000);
        QVERIFY(clock.elapsed() < TestWaits::scaled(30000));
        // A run against a silent port lasts about two seconds.
        QVERIFY(upload.runs() >= 2);
        QCOMPARE(failures.size(), upload.runs() - 1);
        QVERIFY(!upload.lastRunError().isEmpty());
    }
};

LENSDESK_TEST_MAIN(TftpUploadTest)
#include "tst_tftpupload.moc"
