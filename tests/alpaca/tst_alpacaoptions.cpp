#include "TestMain.h"

#include "alpaca/AlpacaOptions.h"

#include <QHostInfo>
#include <QTemporaryDir>
#include <QtTest>

// lensdesk-alpaca's options, from the command line and from the
// configuration file the service reads.
class AlpacaOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void commandLine_data();
    void commandLine();
    void configurationFile_data();
    void configurationFile();
    void commandLineWinsOverTheFile();

private:
    QString writeConfiguration(const QByteArray& text);

    QTemporaryDir m_dir;
};

void AlpacaOptionsTest::defaults()
{
    AlpacaOptions options;
    QString error;
    QCOMPARE(AlpacaOptions::parse({QStringLiteral("lensdesk-alpaca")}, &options, &error), AlpacaOptions::Outcome::Run);
    QCOMPARE(options.port, quint16(11111));
    QCOMPARE(options.listen, QStringLiteral("0.0.0.0"));
    QCOMPARE(options.discoveryPort, quint16(32227));
    QVERIFY(!options.search);
    QVERIFY(options.controllers.isEmpty());
    QCOMPARE(options.location, QHostInfo::localHostName());
}

void AlpacaOptionsTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");

    auto row = [](const char* name, const QStringList& arguments, bool valid, const char* field, const char* value) {
        QTest::newRow(name) << arguments << valid << QString::fromLatin1(field) << QString::fromLatin1(value);
    };
    row("two controllers", {"--controller", "10.0.0.2", "--controller", "10.0.0.3"}, true, "controllers",
        "10.0.0.2,10.0.0.3");
    row("leading zeros", {"--controller", "010.000.000.002"}, true, "controllers", "10.0.0.2");
    row("same one twice", {"--controller", "10.0.0.2", "--controller", "10.0.0.02"}, true, "controllers", "10.0.0.2");
    row("host name", {"--controller", "camera.local"}, false, "", "");
    row("IPv6 controller", {"--controller", "::1"}, false, "", "");
    row("search", {"--search"}, true, "search", "true");
    row("port", {"--port", "8080"}, true, "port", "8080");
    row("any free port", {"--port", "0"}, true, "port", "0");
    row("port too large", {"--port", "65536"}, false, "", "");
    row("port not a number", {"--port", "http"}, false, "", "");
    row("listen", {"--listen", "127.0.0.1"}, true, "listen", "127.0.0.1");
    row("listen IPv6", {"--listen", "::"}, true, "listen", "::");
    row("listen not an address", {"--listen", "everywhere"}, false, "", "");
    row("discovery port", {"--discovery-port", "32300"}, true, "discoveryPort", "32300");
    row("no discovery", {"--discovery-port", "0"}, true, "discoveryPort", "0");
    row("location", {"--location", "Dome 2"}, true, "location", "Dome 2");
    row("unknown option", {"--verbose-ish"}, false, "", "");
    row("stray argument", {"10.0.0.2"}, false, "", "");
    row("missing configuration", {"--config", "/nonexistent/alpaca.conf"}, false, "", "");
}

namespace {

QString field(const AlpacaOptions& options, const QString& name)
{
    if (name == QLatin1String("controllers"))
        return options.controllers.join(QLatin1Char(','));
    if (name == QLatin1String("search"))
        return options.search ? QStringLiteral("true") : QStringLiteral("false");
    if (name == QLatin1String("port"))
        return QString::number(options.port);
    if (name == QLatin1String("listen"))
        return options.listen;
    if (name == QLatin1String("discoveryPort"))
        return QString::number(options.discoveryPort);
    return options.location;
}

} // namespace

void AlpacaOptionsTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, valid);
    QFETCH(QString, field);
    QFETCH(QString, value);
    AlpacaOptions options;
    QString error;
    const AlpacaOptions::Outcome outcome =
        AlpacaOptions::parse(QStringList{QStringLiteral("lensdesk-alpaca")} + arguments, &options, &error);
    QCOMPARE(outcome, valid ? AlpacaOptions::Outcome::Run : AlpacaOptions::Outcome::Bad);
    if (valid)
        QCOMPARE(::field(options, field), value);
    else
        QVERIFY(!error.isEmpty());
}

QString AlpacaOptionsTest::writeConfiguration(const QByteArray& text)
{
    const QString path = m_dir.filePath(QStringLiteral("alpaca.conf"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

void AlpacaOptionsTest::configurationFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");

    auto row = [](const char* name, const char* text, bool valid, const char* field, const char* value) {
        QTest::newRow(name) << QByteArray(text) << valid << QString::fromLatin1(field) << QString::fromLatin1(value);
    };
    row("controllers", "controller = 10.0.0.2\ncontroller=10.0.0.3\n", true, "controllers", "10.0.0.2,10.0.0.3");
    row("comments and blank lines", "# the dome\n\n  controller = 10.0.0.2  # east\n", true, "controllers", "10.0.0.2");
    row("search alone", "search\n", true, "search", "true");
    row("search yes", "search = yes\n", true, "search", "true");
    row("search off", "search = off\n", true, "search", "false");
    row("search unclear", "search = sometimes\n", false, "", "");
    row("port", "port = 8080\n", true, "port", "8080");
    row("discovery port", "discovery-port = 0\n", true, "discoveryPort", "0");
    row("listen", "listen = 127.0.0.1\n", true, "listen", "127.0.0.1");
    row("location with blanks", "location = North dome, pier 2\n", true, "location", "North dome, pier 2");
    row("no line end at the end", "port = 8081", true, "port", "8081");
    row("unknown setting", "port = 8080\ncolour = blue\n", false, "", "");
    row("value missing", "port\n", false, "", "");
    row("bad address", "controller = 10.0.0\n", false, "", "");
    row("no configuration inside one", "config = /etc/other.conf\n", false, "", "");
}

void AlpacaOptionsTest::configurationFile()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(QString, field);
    QFETCH(QString, value);
    AlpacaOptions options;
    QString error;
    const QStringList arguments{QStringLiteral("lensdesk-alpaca"), QStringLiteral("--config"),
                                writeConfiguration(text)};
    QCOMPARE(AlpacaOptions::parse(arguments, &options, &error),
             valid ? AlpacaOptions::Outcome::Run : AlpacaOptions::Outcome::Bad);
    if (valid) {
        QCOMPARE(::field(options, field), value);
    } else {
        // The reason names the file and the line.
        QVERIFY2(error.contains(QStringLiteral("alpaca.conf line ")), qPrintable(error));
    }
}

void AlpacaOptionsTest::commandLineWinsOverTheFile()
{
    const QString path = writeConfiguration("port = 8080\ncontroller = 10.0.0.2\nlisten = 127.0.0.1\n");
    AlpacaOptions options;
    QString error;
    const QStringList arguments{"lensdesk-alpaca", "--port", "9090", "--config", path, "--controller", "10.0.0.3"};
    QCOMPARE(AlpacaOptions::parse(arguments, &options, &error), AlpacaOptions::Outcome::Run);
    QCOMPARE(options.port, quint16(9090));
    QCOMPARE(options.listen, QStringLiteral("127.0.0.1"));
    QCOMPARE(options.controllers, (QStringList{"10.0.0.2", "10.0.0.3"}));
}

LENSDESK_TEST_MAIN(AlpacaOptionsTest)
#include "tst_alpacaoptions.moc"
