// Firmware update figures: TFTP upload throughput of the panel's upload code
// against curl's own client to the same tftpd-hpa server on loopback, and the
// cipher's decode throughput against a plain memory copy.
#include "BenchFigure.h"
#include "FirmwareImages.h"
#include "LoopbackAddress.h"
#include "TftpdServer.h"

#include "admin/FirmwareCipher.h"
#include "admin/TftpUpload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int UploadSize = 4 * 1024 * 1024;
constexpr int ContainerSize = 64 * 1024 * 1024;
constexpr int Rounds = 5;
// Loopback TFTP is lock-step and sensitive to a loaded machine: more rounds,
// interleaved, and the best round beside the median.
constexpr int UploadRounds = 9;
// The server's address, of this run alone.
const QString Loopback = LoopbackAddress::next().toString();

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double best(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

double mbPerSecond(qint64 bytes, double seconds) { return bytes / (1024.0 * 1024.0) / seconds; }

// Seconds for one curl upload, or a negative number when it failed.
double curlUpload(const QString& file, quint16 port, bool noOptions)
{
    QStringList arguments{"-sS", "--max-time", "60", "-T", file, TftpUpload::urlFor(Loopback, port)};
    if (noOptions)
        arguments.prepend(QStringLiteral("--tftp-no-options"));
    QElapsedTimer clock;
    clock.start();
    const int status = QProcess::execute(QStringLiteral("curl"), arguments);
    const double seconds = clock.nsecsElapsed() / 1e9;
    return status == 0 ? seconds : -1.0;
}

int benchUpload()
{
    const QString unavailable = TftpdServer::unavailableReason();
    if (!unavailable.isEmpty()) {
        std::printf("upload: skipped (%s)\n", qPrintable(unavailable));
        return 0;
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("image.orvo"));
    const QByteArray image = randomBytes(UploadSize, 42);
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(image) != image.size())
            return 1;
    }
    TftpdServer server(Loopback, TftpdServer::freePort(QHostAddress(Loopback)));
    if (!server.start()) {
        std::printf("upload: tftpd-hpa did not start\n");
        return 1;
    }

    std::vector<double> panel, curlPlain, curlDefault;
    for (int round = 0; round < UploadRounds; ++round) {
        TftpUpload upload;
        QElapsedTimer clock;
        clock.start();
        if (upload.upload(Loopback, image, server.port()) != TftpUpload::Outcome::Uploaded)
            return 1;
        panel.push_back(clock.nsecsElapsed() / 1e9);
        if (server.received() != image)
            return 1;
        curlPlain.push_back(curlUpload(file, server.port(), true));
        curlDefault.push_back(curlUpload(file, server.port(), false));
        if (curlPlain.back() < 0 || curlDefault.back() < 0)
            return 1;
    }
    auto report = [](const char* name, const std::vector<double>& seconds) {
        std::printf("  %-32s %8.2f MB/s median (%.3f s), %8.2f MB/s best\n", name,
                    mbPerSecond(UploadSize, median(seconds)), median(seconds), mbPerSecond(UploadSize, best(seconds)));
    };
    std::printf("upload of 4 MB to tftpd-hpa on loopback, %d interleaved rounds:\n", UploadRounds);
    report("TftpUpload", panel);
    report("curl -T --tftp-no-options", curlPlain);
    report("curl -T (default options)", curlDefault);
    std::printf("  ratio TftpUpload / curl -T      %8.2f median, %.2f best  (goal >= 0.9)\n",
                median(curlPlain) / median(panel), best(curlPlain) / best(panel));
    printFigure("Firmware upload throughput vs curl", ">= 0.9", "%.2f (median of %d rounds)",
                median(curlPlain) / median(panel), UploadRounds);
    return 0;
}

void benchCipher()
{
    const quint64 key = firmwareKey();
    const QByteArray image = randomBytes(ContainerSize, 42);
    const QByteArray container = encodeFirmware(image, key, 0);

    std::vector<double> decode, copy;
    for (int round = 0; round < Rounds; ++round) {
        FirmwareCipher cipher(key);
        QElapsedTimer clock;
        clock.start();
        const QByteArray decoded = cipher.decode(container);
        decode.push_back(clock.nsecsElapsed() / 1e9);
        if (decoded != image)
            std::printf("cipher: decode mismatch\n");

        // The same work of memory: a fresh buffer of the same size, filled once.
        clock.start();
        QByteArray target(container.size(), Qt::Uninitialized);
        std::memcpy(target.data(), container.constData(), size_t(container.size()));
        copy.push_back(clock.nsecsElapsed() / 1e9);
        if (target.at(container.size() / 2) != container.at(container.size() / 2))
            std::printf("cipher: copy mismatch\n");
    }
    const double decodeRate = mbPerSecond(container.size(), median(decode));
    const double copyRate = mbPerSecond(container.size(), median(copy));
    std::printf("cipher decode of a 64 MB container without flags, median of %d runs:\n", Rounds);
    std::printf("  FirmwareCipher::decode            %8.0f MB/s  (%.4f s)\n", decodeRate, median(decode));
    std::printf("  memcpy into a fresh buffer        %8.0f MB/s  (%.4f s)\n", copyRate, median(copy));
    std::printf("  ratio decode / memcpy             %8.2f  (goal >= 0.25)\n", decodeRate / copyRate);
    printFigure("Cipher decode throughput vs memcpy", ">= 0.25", "%.2f (%.0f vs %.0f MB/s)", decodeRate / copyRate,
                decodeRate, copyRate);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchCipher();
    // --cipher-only leaves out the upload rounds, which take a minute.
    if (app.arguments().contains(QStringLiteral("--cipher-only")))
        return 0;
    return benchUpload();
}
