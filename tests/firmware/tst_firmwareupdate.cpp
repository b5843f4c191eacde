#include "ConnectedWindow.h"
#include "FirmwareImages.h"
#include "LensDeskTestAccess.h"
#include "Skip.h"
#include "TestMain.h"
#include "TftpdServer.h"

#include "admin/FirmwareFile.h"
#include "admin/TftpUpload.h"
#include "admin/tftpDlg.h"
#include "link/pingWorker.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

namespace {
// Where the TFTP write falls among the controller's commands.
const QString TftpWrite = QStringLiteral("<TFTP write>");
} // namespace

class FirmwareUpdateTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ConnectedWindow> m_panel;
    LensDesk* window = nullptr;
    QTemporaryDir files;

    tftpDlg* dialog() const { return window->findChild<tftpDlg*>(); }
    ModalAnswerer& modals() { return m_panel->modals(); }
    QString controllerAddress() const { return m_panel->controller().address(); }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }

    // The file a row of refusedFileSendsNothing names: none for an empty
    // name, "{directory}" and "{fifo}" made in the test's folder, an
    // absolute path as it is, otherwise a file holding `bytes`.
    QString pathFor(const QString& name, const QByteArray& bytes)
    {
        if (name.isEmpty())
            return files.filePath(QStringLiteral("absent.orvo"));
        if (name == QLatin1String("{directory}"))
            return files.path();
        if (name == QLatin1String("{fifo}")) {
            const QString path = files.filePath(QStringLiteral("fifo.orvo"));
            return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
        }
        return QDir::isAbsolutePath(name) ? name : writeFile(name, bytes);
    }

    // Everything the controller received since the last call, in order.
    QString wireUntilNow()
    {
        const QStringList seen = m_panel->controller().receivedUntilNow();
        m_panel->controller().clear();
        return seen.join(QLatin1String(", "));
    }

    // The panel connected to the test's controller, whose pings from now on
    // go unanswered (only the update pauses and resumes the liveness
    // monitor), with an empty log.
    void connectQuietly()
    {
        if (!LensDeskTestAccess::livenessMonitor(*window))
            QVERIFY(m_panel->identify());
        QVERIFY(m_panel->stopAnsweringPings());
        m_panel->controller().clear();
    }

    // Connected, and Upload pressed.
    void startUpload(const QString& path)
    {
        connectQuietly();
        window->updateFW();
        dialog()->lineEdit->setText(path);
        dialog()->pushButton->click();
    }

    // Upload pressed for `path`, and the message box that ends the upload
    // answered with OK; returns what the box said.
    ModalAnswerer::Box uploadAndAcknowledge(const QString& path)
    {
        ModalAnswerer::Box outcome;
        modals().expectBox(QMessageBox::Ok, &outcome);
        startUpload(path);
        return outcome;
    }

    // What an upload that did not complete leaves: one box that says why,
    // the controller told to leave its update mode, no progress window, and
    // the liveness monitor at work again.
    void checkUploadGaveUp(const ModalAnswerer::Box& outcome, const char* why)
    {
        QCOMPARE(modals().pending(), 0);
        QCOMPARE(modals().unexpected(), 0);
        QCOMPARE(outcome.title, QStringLiteral("Firmware update did not complete"));
        QVERIFY2(outcome.text.contains(QLatin1String(why)), qPrintable(outcome.text));
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart", "setFLAG=99"}).join(", "));
        QVERIFY(!dialog()->progress->isVisible());
        QVERIFY(!LensDeskTestAccess::livenessMonitor(*window)->isPaused());
    }

private slots:
    void init()
    {
        m_panel = std::make_unique<ConnectedWindow>();
        QVERIFY(m_panel->controller().isBound());
        window = &m_panel->window();
        QVERIFY(window->findChild<tftpDlg*>());
        // Marks the TFTP write in the order of the controller's datagrams.
        connect(dialog(), &tftpDlg::uploadProgress, this, [this](int bytes) {
            if (bytes > 0 && !m_panel->controller().texts().contains(TftpWrite))
                m_panel->controller().note(TftpWrite);
        });
    }

    void cleanup() { m_panel.reset(); }

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
        connectQuietly();
        const pingWorker* monitor = LensDeskTestAccess::livenessMonitor(*window);
        TRY_VERIFY(monitor->missedPings() >= 2);
        window->sendFirmwareFlag();
        QVERIFY(monitor->isPaused());
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart"}).join(", "));
        window->sendNoFirmwareFlag();
        // Counting from zero again: at most the ping that left at once.
        QVERIFY(!monitor->isPaused());
        QVERIFY2(monitor->missedPings() <= 1, qPrintable(QString::number(monitor->missedPings())));
        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=99"}).join(", "));
    }

    // The handshake waits between its commands, handling events: the
    // operator may start a connection to another controller meanwhile. The
    // controller switched into update mode is the one switched back.
    void handshakeStaysWithOneController()
    {
        ScriptedController other;
        QVERIFY(other.isBound());
        QTimer::singleShot(5, window, [this, &other] { window->isORVOProduct(other.address()); });
        window->sendFirmwareFlag();
        window->stopConnecting();
        window->sendNoFirmwareFlag();

        QCOMPARE(wireUntilNow(), QStringList({"setFLAG=0", "fwNETInit", "Restart", "setFLAG=99"}).join(", "));
        // The other controller heard the connection probes only.
        QCOMPARE(other.receivedUntilNow(), QStringList({"blver", "getProto", "ver"}));
    }

    void upload_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("image");
        const QByteArray plain = plainImage(1024 * 1024, 1);
        dataRow("plain 1 MB image", "update.orvo", plain, plain);
        const QByteArray image = markerFreeBytes(300000, 2);
        const QByteArray enciphered = encodeFirmware(image, firmwareKey(), FirmwareCipher::FlagDigest);
        dataRow("enciphered container", "update.orvoc", enciphered, image);
        const QByteArray blocks = QByteArray("ORVOKXETH0 block ").repeated(30000);
        const quint8 compressed = FirmwareCipher::FlagCompressed | FirmwareCipher::FlagCrc;
        dataRow("compressed container", "update.orvoc", encodeFirmware(blocks, firmwareKey(), compressed), blocks);
        dataRow("plain image named like a container", "update.orvoc", plain, plain);
    }
    void upload()
    {
        SKIP_IF_UNAVAILABLE(TftpdServer::unavailableReason());
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, image);
        TftpdServer server(controllerAddress(), TftpdServer::freePort(QHostAddress(controllerAddress())));
        QVERIFY(server.start());
        const QString path = writeFile(name, file);
        QVERIFY(!path.isEmpty());
        dialog()->setServerPort(server.port());
        bool pausedDuringUpload = false;
        auto watch = connect(dialog(), &tftpDlg::uploadProgress, this, [&](int) {
            pausedDuringUpload = LensDeskTestAccess::livenessMonitor(*window)->isPaused();
        });

        const ModalAnswerer::Box outcome = uploadAndAcknowledge(path);
        disconnect(watch);

        QCOMPARE(modals().pending(), 0);
        QCOMPARE(modals().unexpected(), 0);
        QCOMPARE(outcome.title, QStringLiteral("Firmware successfuly uploaded!"));
        QCOMPARE(outcome.text, QStringLiteral("Firmware successfuly uploaded!"));
        QCOMPARE(wireUntilNow(),
                 QStringList({"setFLAG=0", "fwNETInit", "Restart", TftpWrite, "setFLAG=99", "setFLAG=99"}).join(", "));
        TRY_COMPARE(server.received().size(), image.size());
        QVERIFY(server.received() == image);
        QCOMPARE(dialog()->progress->maximum(), image.size());
        QVERIFY(!dialog()->progress->isVisible());
        QVERIFY(!dialog()->isVisible());
        QVERIFY(pausedDuringUpload);
        QVERIFY(!LensDeskTestAccess::livenessMonitor(*window)->isPaused());

        // Written through at once: a second reader of the store sees it.
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ORVO", "KXController");
        QCOMPARE(store.value(QStringLiteral("LAST_FW_FILE")).toString(), path);
    }

    void refusedFileSendsNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("reason");
        // The loader reads only a regular file within the TFTP block limit.
        const QString refused = QStringLiteral("Firmware file refused");
        dataRow("missing file", "", QByteArray(), "File error", "No such file or directory");
        dataRow("empty file", "empty.orvo", QByteArray(), refused, "empty");
        QByteArray damaged = encodeFirmware(markerFreeBytes(100000, 5), firmwareKey(), FirmwareCipher::FlagDigest);
        damaged[5000] = char(damaged[5000] ^ 0x01);
        dataRow("corrupted container", "damaged.orvoc", damaged, refused, "integrity check");
        QByteArray crcDamaged = encodeFirmware(markerFreeBytes(100000, 6), firmwareKey(), FirmwareCipher::FlagCrc);
        crcDamaged[99999] = char(crcDamaged[99999] ^ 0x80);
        dataRow("corrupted container, CRC", "damaged2.orvoc", crcDamaged, refused, "integrity check");
        const QByteArray version4 = encodeFirmware(markerFreeBytes(1000, 7), firmwareKey(), 0, 0, 4);
        dataRow("unknown container version", "v4.orvoc", version4, refused, "known version");
        const QByteArray withoutImage = encodeFirmware(QByteArray(), firmwareKey(), FirmwareCipher::FlagCrc);
        dataRow("container without image", "nothing.orvoc", withoutImage, refused, "holds no firmware image");
        const quint8 compressed = FirmwareCipher::FlagCompressed | FirmwareCipher::FlagCrc;
        const QByteArray bomb =
            encipherContainer(plainStream(compressedZeros(200000000, 1), compressed), firmwareKey(), compressed);
        dataRow("image beyond 64 MiB", "bomb.orvoc", bomb, refused, "larger than 64 MiB");
        const QByteArray huge = QByteArray("ORVO :: ").leftJustified(int(FirmwareFile::MaximumBytes) + 1, '\x11');
        dataRow("a directory", "{directory}", QByteArray(), refused, "directory");
        dataRow("a FIFO", "{fifo}", QByteArray(), refused, "FIFO");
        dataRow("a device without end", "/dev/zero", QByteArray(), refused, "device");
        dataRow("beyond 65535 TFTP blocks", "huge.orvo", huge, refused, "larger than 33553920 bytes");
    }
    void refusedFileSendsNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QString, title);
        QFETCH(QString, reason);
        const QString path = pathFor(name, file);
        QVERIFY(!path.isEmpty());
        // The cipher warns about a file the loader reads and finds no plain image in.
        if (file.size() >= 3 && file.size() <= FirmwareFile::MaximumBytes
            && quint8(file[0]) != FirmwareCipher::ContainerVersion)
            QTest::ignoreMessage(QtWarningMsg, "Invalid version or not a cyphertext.");

        ModalAnswerer::Box refusal;
        modals().expectBox(QMessageBox::Ok, &refusal);
        startUpload(path);

        QCOMPARE(modals().pending(), 0);
        QCOMPARE(modals().unexpected(), 0);
        QCOMPARE(refusal.title, title);
        QVERIFY2(refusal.text.contains(reason), qPrintable(refusal.text));
        QVERIFY(refusal.text.contains(path));
        QCOMPARE(wireUntilNow(), QString());
        QVERIFY(!LensDeskTestAccess::livenessMonitor(*window)->isPaused());
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
        if (consent)
            SKIP_IF_UNAVAILABLE(TftpdServer::unavailableReason());
        const QByteArray image = markerFreeBytes(100000, 9);
        const QString path = writeFile(QStringLiteral("unchecked.orvoc"), encodeFirmware(image, firmwareKey(), 0));
        QVERIFY(!path.isEmpty());
        TftpdServer server(controllerAddress(), TftpdServer::freePort(QHostAddress(controllerAddress())));
        if (consent) {
            QVERIFY(server.start());
            dialog()->setServerPort(server.port());
        }

        ModalAnswerer::Box question, outcome;
        modals().expectBox(consent ? QMessageBox::Yes : QMessageBox::No, &question);
        if (consent)
            modals().expectBox(QMessageBox::Ok, &outcome);
        startUpload(path);

        QCOMPARE(modals().pending(), 0);
        QCOMPARE(modals().unexpected(), 0);
        QCOMPARE(question.title, QStringLiteral("Firmware cannot be verified"));
        QVERIFY2(question.text.contains(QLatin1String("cannot be verified")) && question.text.contains(path),
                 qPrintable(question.text));
        QCOMPARE(question.defaultButton, QMessageBox::No);
        if (consent) {
            QCOMPARE(outcome.title, QStringLiteral("Firmware successfuly uploaded!"));
            QCOMPARE(
                wireUntilNow(),
                QStringList({"setFLAG=0", "fwNETInit", "Restart", TftpWrite, "setFLAG=99", "setFLAG=99"}).join(", "));
            TRY_COMPARE(server.received().size(), image.size());
            QVERIFY(server.received() == image);
        } else {
            QCOMPARE(wireUntilNow(), QString());
        }
    }

    // No TFTP server answers: Stop ends the retries and the closing steps run.
    void stopEndsTheRetries()
    {
        const QString path = writeFile(QStringLiteral("stop.orvo"), QByteArray("ORVO ::").repeated(1000));
        dialog()->setServerPort(TftpdServer::freePort(QHostAddress(controllerAddress())));
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

        ModalAnswerer::Box outcome;
        modals().expectBox(QMessageBox::Ok, &outcome);
        QElapsedTimer clock;
        clock.start();
        startUpload(path);
        operatorHand.stop();

        QVERIFY(sawRestartLabel);
        QVERIFY(clock.elapsed() < 30000);
        checkUploadGaveUp(outcome, "stopped");
    }

    void retriesEndAfterTheBound()
    {
        const QString path = writeFile(QStringLiteral("late.orvo"), QByteArray("ORVO ::").repeated(1000));
        dialog()->setServerPort(TftpdServer::freePort(QHostAddress(controllerAddress())));
        dialog()->setGiveUpAfterMs(3000);

        const ModalAnswerer::Box outcome = uploadAndAcknowledge(path);

        checkUploadGaveUp(outcome, "did not accept");
    }
    // A controller still restarting ignores the first write requests: the
    // progress window asks for patience until the first bytes go out, and
    // exactly one image arrives.
    void controllerAcceptsOnlyAfterRestart()
    {
        SKIP_IF_UNAVAILABLE(TftpdServer::unavailableReason());
        TftpdServer server(controllerAddress(), TftpdServer::freePort(QHostAddress(controllerAddress())));
        const QByteArray image = plainImage(150000, 8);
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

        const ModalAnswerer::Box outcome = uploadAndAcknowledge(path);
        disconnect(watch);

        QCOMPARE(modals().pending(), 0);
        QCOMPARE(modals().unexpected(), 0);
        QCOMPARE(outcome.title, QStringLiteral("Firmware successfuly uploaded!"));
        QCOMPARE(labels.first(), QStringLiteral("Restart device!"));
        QCOMPARE(labels.last(), QStringLiteral("Updating fw, please wait..."));
        TRY_COMPARE(server.received().size(), image.size());
        QVERIFY(server.received() == image);
        QCOMPARE(wireUntilNow(),
                 QStringList({"setFLAG=0", "fwNETInit", "Restart", TftpWrite, "setFLAG=99", "setFLAG=99"}).join(", "));
    }

    void chosenFileIsRemembered()
    {
        const QString path = writeFile(QStringLiteral("chosen.orvoc"), QByteArray("x"));
        QString caption;
        QStringList filters;
        modals().expect<QFileDialog>([&](QFileDialog* chooser) {
            caption = chooser->windowTitle();
            filters = chooser->nameFilters();
            // Typed into the file name field, as a user does: selectFile()
            // leaves that field alone while it has the focus, and whether it
            // has it yet depends on how fast the chooser came up.
            auto* field = named<QLineEdit>(*chooser, "fileNameEdit");
            QVERIFY(field);
            field->setText(path);
            QMetaObject::invokeMethod(chooser, "accept");
        });
        dialog()->toolButton->click();
        QCOMPARE(modals().pending(), 0);

        QCOMPARE(caption, QStringLiteral("Select DuvudER firmware"));
        QCOMPARE(
            filters,
            QStringList({"ORVO DuvudER New Firmware (*.orvoc)", "ORVO DuvudER Firmware (*.orvo)", "All files (*.*)"}));
        QCOMPARE(dialog()->lineEdit->text(), path);
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ORVO", "KXController");
        QCOMPARE(store.value(QStringLiteral("LAST_FW_FILE")).toString(), path);
        // The next run of the panel offers the same file.
        tftpDlg nextRun(window);
        QCOMPARE(nextRun.lineEdit->text(), path);
    }
};

LENSDESK_TEST_MAIN(FirmwareUpdateTest)
#include "tst_firmwareupdate.moc"
