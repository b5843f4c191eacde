#include "../admin/ModalAnswerer.h"
#include "FirmwareEncoder.h"
#include "TftpdServer.h"

#include "admin/FirmwareCipher.h"
#include "admin/TftpUpload.h"
#include "admin/tftpDlg.h"
#include "app/LensDesk.h"
#include "app/SettingsStore.h"
#include "link/pingWorker.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QToolButton>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

// The controller seen by the panel: a loopback address of this test process
// alone, so that no other test on the machine shares its command port.
const QString ControllerAddress =
    QStringLiteral("127.61.%1.%2").arg((QCoreApplication::applicationPid() >> 8) % 250 + 1).arg(QCoreApplication::applicationPid() % 250 + 1);
// Another controller, for connections started during an update.
const QString OtherControllerAddress = QStringLiteral("127.62.%1.%2")
                                           .arg((QCoreApplication::applicationPid() >> 8) % 250 + 1)
                                           .arg(QCoreApplication::applicationPid() % 250 + 1);
const QString TftpWrite = QStringLiteral("<TFTP write>");
const QString Sentinel = QStringLiteral("<end of test>");

QByteArray randomImage(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes.replace("ORVO ::", "ORVO ;;");
}

// Answers every message box as the operator would (OK), noting title and text.
class BoxAnswerer : public QObject
{
public:
    BoxAnswerer()
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            titles << box->windowTitle();
            texts << box->text();
            box->button(QMessageBox::Ok)->click();
        });
        m_timer.start();
    }
    QStringList titles;
    QStringList texts;

private:
    QTimer m_timer;
};

} // namespace

class FirmwareUpdateTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LensDesk> window;
    QUdpSocket controller;
    QStringList wire;
    QTemporaryDir files;

    tftpDlg* dialog() const { return window->firmwareDialog; }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }

    // Everything the controller received up to now, in order: a datagram sent by the
    // test itself marks the end, so no fixed wait is needed.
    QString wireUntilNow()
    {
        QUdpSocket marker;
        marker.writeDatagram(Sentinel.toLatin1(), QHostAddress(ControllerAddress), 1339);
        if (!QTest::qWaitFor([&] { return wire.contains(Sentinel); }, 5000))
            return QStringLiteral("sentinel lost");
        QStringList seen = wire;
        seen.removeAll(Sentinel);
        wire.clear();
        return seen.join(QLatin1String(", "));
    }

    // The panel connected to the test's controller, as after an
    // identification (its liveness monitor is not started: nothing pings),
    // and Upload pressed.
    void startUpload(const QString& path)
    {
        window->controllerAddress = ControllerAddress;
        if (!window->livenessMonitor)
            window->livenessMonitor = new pingWorker(ControllerAddress, window->commandSocket);
        window->updateFW();
        dialog()->lineEdit->setText(path);
        dialog()->pushButton->click();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(controller.bind(QHostAddress(ControllerAddress), 1339, QUdpSocket::DontShareAddress));
        connect(&controller, &QUdpSocket::readyRead, this, [this] {
            while (controller.hasPendingDatagrams()) {
                QByteArray datagram(int(controller.pendingDatagramSize()), '\0');
                controller.readDatagram(datagram.data(), datagram.size());
                wire << QString::fromLatin1(datagram);
            }
        });
        window = std::make_unique<LensDesk>();
        QVERIFY(window->firmwareDialog);
        // Marks the TFTP write in the order of the controller's datagrams.
        connect(dialog(), &tftpDlg::uploadProgress, this, [this](int bytes) {
            if (bytes > 0 && !wire.contains(TftpWrite))
                wire << TftpWrite;
        });
    }

    void cleanup()
    {
        dialog()->setServerPort(std::nullopt);
        dialog()->setGiveUpAfterMs(TftpUpload::DefaultGiveUpAfterMs);
        delete window->livenessMonitor;
        window->livenessMonitor = nullptr;
        wire.clear();
    }

    void layout()
    {
        QCOMPARE(dialog()->objectName(), QStringLiteral("Form"));
        QCOMPARE(dialog()->size(), QSize(378, 73));
        QCOMPARE(dialog()->windowTitle(), QStringLiteral("ORVO :: Lens Controller :: Firmware Update"));
        QCOMPARE(dialog()->pushButton->geometry(), QRect(287, 15, 75, 46));
        QCOMPARE(dialog()->lineEdit->geometry(), QRect(20, 20, 211, 20));
    }

    void progressLabels_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("label");
        QTest::newRow("nothing sent yet") << 0 << "Restart device!";
        QTest::newRow("first bytes") << 1 << "Updating fw, please wait...";
        QTest::newRow("later") << 4096 << "Updating fw, please wait...";
    }
    void progressLabels()
    {
        QFETCH(int, value);
        QFETCH(QString, label);
        dialog()->progress->setRange(0, 10000);
        dialog()->progressValueSet(value);
        QCOMPARE(dialog()->progress->labelText(), label);
        QCOMPARE(dialog()->progress->windowTitle(), QStringLiteral("RE-2 :: FW Update.."));
        QCOMPARE(dialog()->progress->value(), value);
        dialog()->progress->reset();
    }

    void handshakePausesAndResumesTheMonitor()
    {
        window->controllerAddress = ControllerAddress;
        window->livenessMonitor = new pingWorker(ControllerAddress, window->commandSocket);
        window->sendFirmwareFlag();
        QVERIFY(window->livenessMonitor->isPaused());
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart"}).join(", "));
        window->sendNoFirmwareFlag();
        QVERIFY(!window->livenessMonitor->isPaused());
        QCOMPARE(window->livenessMonitor->missedPings(), 0);
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=99"}).join(", "));
    }

    // The handshake waits between its commands, handling events: the
    // operator may start a connection to another controller meanwhile. The
    // controller switched into update mode is the one switched back.
    void handshakeStaysWithOneController()
    {
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress(OtherControllerAddress), 1339));
        window->controllerAddress = ControllerAddress;
        QTimer::singleShot(5, window.get(), [this] { window->isORVOProduct(OtherControllerAddress); });
        window->sendFirmwareFlag();
        window->stopConnecting();
        window->sendNoFirmwareFlag();

        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart", "setFLAG=99"}).join(", "));
        // The other controller heard the connection probes only.
        QStringList otherHeard;
        while (other.hasPendingDatagrams())
            otherHeard << QString::fromLatin1(other.receiveDatagram().data());
        QCOMPARE(otherHeard, QStringList({"blver", "getProto", "ver"}));
    }

    void upload_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("image");
        const QByteArray plain = randomImage(1024 * 1024, 1) + "ORVO ::";
        QTest::newRow("plain 1 MB image") << "update.orvo" << plain << plain;
        const QByteArray image = randomImage(300000, 2);
        QTest::newRow("enciphered container")
            << "update.orvoc" << encodeFirmware(image, firmwareKey(), FirmwareCipher::FlagDigest) << image;
        QTest::newRow("compressed container")
            << "update.orvoc"
            << encodeFirmware(QByteArray("ORVOKXETH0 block ").repeated(30000), firmwareKey(),
                              FirmwareCipher::FlagCompressed | FirmwareCipher::FlagCrc)
            << QByteArray("ORVOKXETH0 block ").repeated(30000);
        QTest::newRow("plain image named like a container") << "update.orvoc" << plain << plain;
    }
    void upload()
    {
        if (!TftpdServer::available())
            QSKIP("needs root and tftpd-hpa (in.tftpd)");
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, image);
        TftpdServer server(ControllerAddress, TftpdServer::freePort(QHostAddress(ControllerAddress)));
        QVERIFY(server.start());
        const QString path = writeFile(name, file);
        QVERIFY(!path.isEmpty());
        dialog()->setServerPort(server.port());
        bool pausedDuringUpload = false;
        auto watch = connect(dialog(), &tftpDlg::uploadProgress, this,
                             [&](int) { pausedDuringUpload = window->livenessMonitor->isPaused(); });

        BoxAnswerer boxes;
        startUpload(path);
        disconnect(watch);

        QCOMPARE(boxes.titles, QStringList({"Firmware successfuly uploaded!"}));
        QCOMPARE(boxes.texts, QStringList({"Firmware successfuly uploaded!"}));
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart", TftpWrite, "setFLAG=99", "setFLAG=99"}).join(", "));
        QTRY_COMPARE(server.received().size(), image.size());
        QVERIFY(server.received() == image);
        QCOMPARE(dialog()->progress->maximum(), image.size());
        QVERIFY(!dialog()->progress->isVisible());
        QVERIFY(!dialog()->isVisible());
        QVERIFY(pausedDuringUpload);
        QVERIFY(!window->livenessMonitor->isPaused());

        // Written through at once: a second reader of the store sees it.
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ORVO", "KXController");
        QCOMPARE(store.value(SettingsStore::LastFirmwareFile).toString(), path);
    }

    void refusedFileSendsNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << "" << QByteArray() << "File error" << "No such file or directory";
        QTest::newRow("empty file") << "empty.orvo" << QByteArray() << "Firmware file refused" << "empty";
        QByteArray damaged = encodeFirmware(randomImage(100000, 5), firmwareKey(), FirmwareCipher::FlagDigest);
        damaged[5000] = char(damaged[5000] ^ 0x01);
        QTest::newRow("corrupted container") << "damaged.orvoc" << damaged << "Firmware file refused"
                                             << "integrity check";
        QByteArray crcDamaged = encodeFirmware(randomImage(100000, 6), firmwareKey(), FirmwareCipher::FlagCrc);
        crcDamaged[99999] = char(crcDamaged[99999] ^ 0x80);
        QTest::newRow("corrupted container, CRC") << "damaged2.orvoc" << crcDamaged << "Firmware file refused"
                                                  << "integrity check";
        QTest::newRow("unknown container version")
            << "v4.orvoc" << encodeFirmware(randomImage(1000, 7), firmwareKey(), 0, 0, 4) << "Firmware file refused"
            << "known version";
        QTest::newRow("container without image")
            << "nothing.orvoc" << encodeFirmware(QByteArray(), firmwareKey(), FirmwareCipher::FlagCrc)
            << "Firmware file refused" << "holds no firmware image";
        const quint8 compressed = FirmwareCipher::FlagCompressed | FirmwareCipher::FlagCrc;
        QTest::newRow("image beyond 64 MiB")
            << "bomb.orvoc"
            << encipherContainer(plainStream(compressedZeros(200000000, 1), compressed), firmwareKey(), compressed)
            << "Firmware file refused" << "larger than 64 MiB";
    }
    void refusedFileSendsNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QString, title);
        QFETCH(QString, reason);
        const QString path = name.isEmpty() ? files.filePath(QStringLiteral("absent.orvo")) : writeFile(name, file);
        if (file.size() >= 3 && quint8(file[0]) != FirmwareCipher::ContainerVersion)
            QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext.");

        BoxAnswerer boxes;
        startUpload(path);

        QCOMPARE(boxes.titles, QStringList({title}));
        QVERIFY2(boxes.texts.first().contains(reason), qPrintable(boxes.texts.first()));
        QVERIFY(boxes.texts.first().contains(path));
        QCOMPARE(wireUntilNow(), QString());
        QVERIFY(!window->livenessMonitor->isPaused());
        QVERIFY(!dialog()->progress->isVisible());
    }

    void unverifiedContainerNeedsConsent_data()
    {
        QTest::addColumn<bool>("consent");
        QTest::newRow("the operator uploads it anyway") << true;
        QTest::newRow("the operator keeps the default, No") << false;
    }
    // A container without CRC or digest cannot be verified: the operator is
    // asked before the controller hears of an update.
    void unverifiedContainerNeedsConsent()
    {
        QFETCH(bool, consent);
        if (consent && !TftpdServer::available())
            QSKIP("needs root and tftpd-hpa (in.tftpd)");
        const QByteArray image = randomImage(100000, 9);
        const QString path = writeFile(QStringLiteral("unchecked.orvoc"), encodeFirmware(image, firmwareKey(), 0));
        QVERIFY(!path.isEmpty());
        TftpdServer server(ControllerAddress, TftpdServer::freePort(QHostAddress(ControllerAddress)));
        if (consent) {
            QVERIFY(server.start());
            dialog()->setServerPort(server.port());
        }

        ModalAnswerer modals;
        ModalAnswerer::Box question, outcome;
        modals.expectBox(consent ? QMessageBox::Yes : QMessageBox::No, &question);
        if (consent)
            modals.expectBox(QMessageBox::Ok, &outcome);
        startUpload(path);

        QCOMPARE(modals.pending(), 0);
        QCOMPARE(question.title, QStringLiteral("Firmware cannot be verified"));
        QVERIFY2(question.text.contains(QLatin1String("cannot be verified")) && question.text.contains(path),
                 qPrintable(question.text));
        QCOMPARE(question.defaultButton, QMessageBox::No);
        if (consent) {
            QCOMPARE(outcome.title, QStringLiteral("Firmware successfuly uploaded!"));
            QCOMPARE(wireUntilNow(),
                     QStringList({"setFLAG=0", "fwNETInit", "Restart", TftpWrite, "setFLAG=99", "setFLAG=99"})
                         .join(", "));
            QTRY_COMPARE(server.received().size(), image.size());
            QVERIFY(server.received() == image);
        } else {
            QCOMPARE(wireUntilNow(), QString());
        }
    }

    // No TFTP server answers: Stop ends the retries and the closing steps run.
    void stopEndsTheRetries()
    {
        const QString path = writeFile(QStringLiteral("stop.orvo"), QByteArray("ORVO ::").repeated(1000));
        dialog()->setServerPort(TftpdServer::freePort(QHostAddress(ControllerAddress)));
        bool sawRestartLabel = false;
        QTimer operatorHand;
        operatorHand.setInterval(100);
        connect(&operatorHand, &QTimer::timeout, this, [&] {
            QProgressDialog* progress = dialog()->progress;
            if (!progress->isVisible())
                return;
            sawRestartLabel = sawRestartLabel || progress->labelText() == QLatin1String("Restart device!");
            if (sawRestartLabel) {
                auto* stop = progress->findChild<QPushButton*>();
                QVERIFY(stop);
                stop->click();
            }
        });
        operatorHand.start();

        BoxAnswerer boxes;
        QElapsedTimer clock;
        clock.start();
        startUpload(path);
        operatorHand.stop();

        QVERIFY(sawRestartLabel);
        QVERIFY(clock.elapsed() < 30000);
        QCOMPARE(boxes.titles, QStringList({"Firmware update did not complete"}));
        QVERIFY(boxes.texts.first().contains("stopped"));
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart", "setFLAG=99"}).join(", "));
        QVERIFY(!dialog()->progress->isVisible());
        QVERIFY(!window->livenessMonitor->isPaused());
    }

    void retriesEndAfterTheBound()
    {
        const QString path = writeFile(QStringLiteral("late.orvo"), QByteArray("ORVO ::").repeated(1000));
        dialog()->setServerPort(TftpdServer::freePort(QHostAddress(ControllerAddress)));
        dialog()->setGiveUpAfterMs(3000);

        BoxAnswerer boxes;
        startUpload(path);

        QCOMPARE(boxes.titles, QStringList({"Firmware update did not complete"}));
        QVERIFY2(boxes.texts.first().contains("did not accept"), qPrintable(boxes.texts.first()));
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart", "setFLAG=99"}).join(", "));
        QVERIFY(!dialog()->progress->isVisible());
        QVERIFY(!window->livenessMonitor->isPaused());
    }
    // A controller still restarting ignores the first write requests: the
    // progress window asks for patience until the first bytes go out, and
    // exactly one image arrives.
    void controllerAcceptsOnlyAfterRestart()
    {
        if (!TftpdServer::available())
            QSKIP("needs root and tftpd-hpa (in.tftpd)");
        TftpdServer server(ControllerAddress, TftpdServer::freePort(QHostAddress(ControllerAddress)));
        const QByteArray image = randomImage(150000, 8) + "ORVO ::";
        const QString path = writeFile(QStringLiteral("restart.orvo"), image);
        dialog()->setServerPort(server.port());
        // Started from the event handling between the failing runs.
        QTimer::singleShot(2500, this, [&] { QVERIFY(server.start()); });
        QStringList labels;
        auto watch = connect(dialog(), &tftpDlg::uploadProgress, this, [&](int) {
            const QString label = dialog()->progress->labelText();
            if (labels.isEmpty() || labels.last() != label)
                labels << label;
        });

        BoxAnswerer boxes;
        startUpload(path);
        disconnect(watch);

        QCOMPARE(boxes.titles, QStringList({"Firmware successfuly uploaded!"}));
        QCOMPARE(labels.first(), QStringLiteral("Restart device!"));
        QCOMPARE(labels.last(), QStringLiteral("Updating fw, please wait..."));
        QTRY_COMPARE(server.received().size(), image.size());
        QVERIFY(server.received() == image);
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart", TftpWrite, "setFLAG=99", "setFLAG=99"}).join(", "));
    }

    void chosenFileIsRemembered()
    {
        const QString path = writeFile(QStringLiteral("chosen.orvoc"), QByteArray("x"));
        QString caption;
        QStringList filters;
        QTimer::singleShot(0, this, [&] {
            QVERIFY(QTest::qWaitFor([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }));
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            caption = chooser->windowTitle();
            filters = chooser->nameFilters();
            chooser->selectFile(path);
            QMetaObject::invokeMethod(chooser, "accept");
        });
        dialog()->toolButton->click();

        QCOMPARE(caption, QStringLiteral("Select DuvudER firmware"));
        QCOMPARE(filters, QStringList({"ORVO DuvudER New Firmware (*.orvoc)", "ORVO DuvudER Firmware (*.orvo)",
                                       "All files (*.*)"}));
        QCOMPARE(dialog()->lineEdit->text(), path);
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ORVO", "KXController");
        QCOMPARE(store.value(SettingsStore::LastFirmwareFile).toString(), path);
        // The next run of the panel offers the same file.
        tftpDlg nextRun(window.get());
        QCOMPARE(nextRun.lineEdit->text(), path);
    }
};

QTEST_MAIN(FirmwareUpdateTest)
#include "tst_firmwareupdate.moc"
