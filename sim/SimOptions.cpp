#include "sim/SimOptions.h"

#include "link/DottedQuad.h"
#include "sim/LensCatalogue.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "lensdesk-sim: %s\n", qPrintable(message));
    std::exit(2);
}

int intOption(const QCommandLineParser& parser, const QString& name, int low, int high)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok, 10);
    if (!ok || value < low || value > high)
        fail(QStringLiteral("--%1 needs a whole number from %2 to %3").arg(name).arg(low).arg(high));
    return value;
}

double rateOption(const QCommandLineParser& parser, const QString& name)
{
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !(value >= 0.0 && value <= 1.0))
        fail(QStringLiteral("--%1 needs a rate from 0 to 1").arg(name));
    return value;
}

QString dottedQuadOption(const QCommandLineParser& parser, const QString& name)
{
    const QString value = parser.value(name);
    if (!DottedQuad::isValid(value))
        fail(QStringLiteral("--%1 needs a dotted-quad address").arg(name));
    return value;
}

// The first host address of the network: the usual gateway.
QString firstHost(const QHostAddress& address, const QString& mask)
{
    const quint32 net = address.toIPv4Address() & DottedQuad::parse(mask);
    return QHostAddress(net + 1).toString();
}

} // namespace

SimOptions SimOptions::fromArguments(const QStringList& arguments)
{
    SimOptions o;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated lens controller: answers the panel's UDP commands like the real device,\n"
                       "drives a virtual lens, restarts, changes its address and takes firmware images\n"
                       "by TFTP. Signals: SIGUSR1 makes it fall silent / speak again; SIGINT and SIGTERM\n"
                       "end it.\n\nLenses (--lens):\n")
        + LensCatalogue::describeAll());
    parser.addHelpOption();

    const auto add = [&parser](const QString& name, const QString& help, const QString& value,
                               const QString& defaultValue = QString()) {
        QCommandLineOption option(name, help, value, defaultValue);
        parser.addOption(option);
    };
    add("address",
        "Address to answer on: any 127.x.y.z, a local address (LAN-search broadcasts "
        "are heard too), or 0.0.0.0 for all. Default 127.0.0.1.",
        "ADDR", o.address.toString());
    add("port", "UDP command port. Default 1339.", "PORT", QString::number(o.port));
    add("log",
        "Log every request, answer and event, one line each with a millisecond time "
        "stamp, to FILE.",
        "FILE");
    parser.addOption(QCommandLineOption("verbose", "Also write every log line to standard error."));

    add("product",
        "Product name in the identification answer: \"ORVO KX-MQTR\" (power zoom, "
        "default), \"ORVO RE-2\" or \"ORVO DuvudER\".",
        "NAME", o.product);
    add("firmware",
        "Firmware version text, sent verbatim (a trailing blank is kept). "
        "Default 1.9.0.",
        "TEXT", o.firmware);
    add("bootloader", "Boot-loader version (answer to \"blver\"). Default 1.", "TEXT", o.bootLoader);
    add("serial", "Serial number. Default 15001.", "TEXT", o.serial);
    add("mac", "MAC address, six decimal octets joined by \"-\". Default 2-0-0-17-34-51.", "TEXT", o.mac);
    add("hardware", "Hardware version. Default 3.", "TEXT", o.hardware);
    add("vendor", "Vendor text. Default ORVO.", "TEXT", o.vendor);
    add("name",
        "Controller name, at most 7 characters (padded with NULs in answers). "
        "Default empty.",
        "TEXT", o.name);
    add("focus-timeout",
        "Focus time-out in ms, 1 to 10000: an absolute focus move that takes "
        "longer stops with \"errorFocus\". Default 2000.",
        "MS", QString::number(o.focusTimeoutMs));
    add("protocol", "Lens-bus protocol index 0 to 2. Default 0.", "N", QString::number(o.protocol));
    add("mask", "Network mask reported by \"getMASK\". Default 255.0.0.0.", "MASK", o.mask);
    add("gateway", "Gateway reported by \"getGW\". Default: first host of the network.", "ADDR");

    add("lens", "Attached lens: " + LensCatalogue::keys().join(", ") + ". Default zoom-is.", "KIND", o.lens);
    add("focus-far",
        "Motor count at the far end of the focus travel, 0 to 1000000; the near "
        "end lies the lens's travel beyond it. Default 0.",
        "COUNT", QString::number(o.focusFar));
    add("focus-near",
        "Motor count at the near end of the focus travel, 0 to 1000000, lower "
        "or higher than the far end. Default: the lens's travel beyond the far end.",
        "COUNT");
    add("report-delay",
        "Time from an identification answer to the volunteered lens reports, "
        "in ms. Default 300.",
        "MS", QString::number(o.reportDelayMs));
    parser.addOption(QCommandLineOption("no-move-summary",
                                        "End moves without the \"Current=\" summary (the last position report and "
                                        "\"zoomDone\", \"focusDone\" or \"irisDone\" still come)."));
    parser.addOption(QCommandLineOption("stop-unconfirmed",
                                        "Stop a focus move on \"stopFocus\" without \"focusDone\" (the position "
                                        "report and the \"Current=\" summary still come)."));
    parser.addOption(
        QCommandLineOption("zoom-done-alone",
                           "Confirm an absolute zoom move with \"zoomDone\" alone, without the \"focusDone\" and "
                           "\"irisDone\" that otherwise confirm the focus and iris held through it."));

    parser.addOption(QCommandLineOption("no-focus-done",
                                        "End absolute focus moves (\"setFocus=\", \"setFocus2=\") without "
                                        "\"focusDone\", as if the confirmation were lost: the position reports and "
                                        "the \"Current=\" summary still come."));

    add("restart-time",
        "Silence after \"Reboot\", \"Restart\" or \"setProto=\" before the "
        "controller answers again, in ms. Default 1500.",
        "MS", QString::number(o.restartMs));
    add("silent-after", "Fall silent MS ms after start (as if unplugged).", "MS");
    add("silent-for", "Speak again MS ms after falling silent; 0 (default) waits for SIGUSR1.", "MS",
        QString::number(o.silentForMs));

    add("seed", "Seed of the random faults. Default: random, written to the log.", "N");
    add("loss", "Drop this share (0 to 1) of datagrams in both directions.", "RATE");
    add("loss-in", "Drop this share of received commands.", "RATE");
    add("loss-out", "Drop this share of answers.", "RATE");
    add("delay", "Extra delay of every answer in ms. Default 0.", "MS", QString::number(o.delayMs));
    add("duplicate", "Send this share (0 to 1) of answers twice.", "RATE");
    add("gap",
        "Least time between two answers in ms, the pace of a real controller. "
        "Default 30; 0 sends at once.",
        "MS", QString::number(o.gapMs));

    add("tftp-port", "TFTP port of the update mode. Default 69.", "PORT", QString::number(o.tftpPort));
    add("image-file",
        "Store a received firmware image in FILE (its size and SHA-256 are "
        "logged either way).",
        "FILE");
    add("tftp-refuse", "Answer the first K write requests with a TFTP error. Default 0.", "K",
        QString::number(o.tftpRefuse));
    add("tftp-drop",
        "Ignore the first arrival of these data blocks, comma-separated block "
        "numbers (the client must send them again).",
        "LIST");
    add("max-image", "Largest image accepted, in bytes. Default 16777216.", "BYTES", QString::number(o.maxImageBytes));
    parser.addOption(QCommandLineOption("waiting-for-image",
                                        "Start in the boot loader, waiting for a firmware image, as a controller "
                                        "left there by a failed update: no command is answered until an image "
                                        "has come by TFTP; then it restarts into normal mode."));

    parser.process(arguments);
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument \"%1\"; see --help").arg(parser.positionalArguments().first()));

    if (parser.value("address") == QLatin1String("0.0.0.0"))
        o.address = QHostAddress(QHostAddress::AnyIPv4);
    else if (DottedQuad::isValid(parser.value("address")))
        o.address = QHostAddress(DottedQuad::parse(parser.value("address")));
    else
        fail(QStringLiteral("--address needs a dotted-quad IPv4 address"));
    o.port = quint16(intOption(parser, "port", 1, 65535));
    o.logFile = parser.value("log");
    o.verbose = parser.isSet("verbose");

    o.product = parser.value("product");
    o.firmware = parser.value("firmware");
    o.bootLoader = parser.value("bootloader");
    o.serial = parser.value("serial");
    o.mac = parser.value("mac");
    o.hardware = parser.value("hardware");
    o.vendor = parser.value("vendor");
    o.name = parser.value("name").left(7);
    o.focusTimeoutMs = intOption(parser, "focus-timeout", 1, 10000);
    o.protocol = intOption(parser, "protocol", 0, 2);
    o.mask = dottedQuadOption(parser, "mask");
    o.gateway = parser.isSet("gateway") ? dottedQuadOption(parser, "gateway") : firstHost(o.address, o.mask);

    o.lens = parser.value("lens");
    if (!LensCatalogue::keys().contains(o.lens))
        fail(QStringLiteral("--lens must be one of: %1").arg(LensCatalogue::keys().join(", ")));
    o.focusFar = intOption(parser, "focus-far", 0, 1000000);
    if (parser.isSet("focus-near")) {
        o.focusNear = intOption(parser, "focus-near", 0, 1000000);
        if (o.focusNear == o.focusFar)
            fail(QStringLiteral("--focus-near must differ from the far end"));
    }
    o.reportDelayMs = intOption(parser, "report-delay", 0, 60000);
    o.moveSummary = !parser.isSet("no-move-summary");
    o.confirmStop = !parser.isSet("stop-unconfirmed");
    o.confirmHeldAfterZoom = !parser.isSet("zoom-done-alone");
    o.confirmFocusMoves = !parser.isSet("no-focus-done");

    o.restartMs = intOption(parser, "restart-time", 0, 600000);
    if (parser.isSet("silent-after"))
        o.silentAfterMs = intOption(parser, "silent-after", 0, 86400000);
    o.silentForMs = intOption(parser, "silent-for", 0, 86400000);

    if (parser.isSet("seed")) {
        bool ok = false;
        o.seed = parser.value("seed").toUInt(&ok, 10);
        if (!ok)
            fail(QStringLiteral("--seed needs a whole number from 0 to 4294967295"));
        o.seedGiven = true;
    }
    if (parser.isSet("loss"))
        o.lossIn = o.lossOut = rateOption(parser, "loss");
    if (parser.isSet("loss-in"))
        o.lossIn = rateOption(parser, "loss-in");
    if (parser.isSet("loss-out"))
        o.lossOut = rateOption(parser, "loss-out");
    o.delayMs = intOption(parser, "delay", 0, 60000);
    if (parser.isSet("duplicate"))
        o.duplicate = rateOption(parser, "duplicate");
    o.gapMs = intOption(parser, "gap", 0, 10000);

    o.tftpPort = quint16(intOption(parser, "tftp-port", 1, 65535));
    o.imageFile = parser.value("image-file");
    o.tftpRefuse = intOption(parser, "tftp-refuse", 0, 1000000);
    if (parser.isSet("tftp-drop")) {
        for (const QString& block : parser.value("tftp-drop").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const int number = block.trimmed().toInt(&ok, 10);
            if (!ok || number < 1 || number > 65535)
                fail(QStringLiteral("--tftp-drop needs block numbers from 1 to 65535"));
            o.tftpDropBlocks.insert(number);
        }
    }
    o.maxImageBytes = intOption(parser, "max-image", 0, 256 * 1024 * 1024);
    o.waitingForImage = parser.isSet("waiting-for-image");
    return o;
}
