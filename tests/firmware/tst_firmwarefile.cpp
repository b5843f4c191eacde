#include "TestMain.h"

#include "admin/FirmwareFile.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

// The bounded firmware-file loader shared by the panel and the client: a
// regular file within the TFTP block limit is read whole, anything else is
// refused with its reason, and nothing ever waits or reads without end.
class FirmwareFileTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();

private:
    // The path a row names: "{fifo}", "{directory}", "{link}" and "{absent}"
    // are made in the test's folder; "{N bytes}" is a regular file of N bytes;
    // anything else is used as it is.
    QString pathFor(const QString& name, QByteArray* contents);

    QTemporaryDir m_folder;
};

namespace {
constexpr qint64 Limit = FirmwareFile::MaximumBytes;
} // namespace

QString FirmwareFileTest::pathFor(const QString& name, QByteArray* contents)
{
    const QString path = m_folder.filePath(QStringLiteral("file%1").arg(QTest::currentDataTag()).remove(' '));
    if (name == QLatin1String("{fifo}"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
    if (name == QLatin1String("{directory}"))
        return QDir().mkpath(path) ? path : QString();
    if (name == QLatin1String("{absent}"))
        return path;
    if (name == QLatin1String("{link}")) {
        *contents = "ORVO :: linked image";
        QFile target(path + QStringLiteral(".target"));
        if (!target.open(QIODevice::WriteOnly) || target.write(*contents) != contents->size())
            return QString();
        return QFile::link(target.fileName(), path) ? path : QString();
    }
    static const QRegularExpression size(QStringLiteral("^\\{(\\d+) bytes\\}$"));
    const QRegularExpressionMatch match = size.match(name);
    if (!match.hasMatch())
        return name;
    *contents = QByteArray(match.captured(1).toInt(), '\x5a');
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*contents) != contents->size())
        return QString();
    return path;
}

void FirmwareFileTest::read_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("problem");
    QTest::addColumn<QString>("reason");
    QTest::newRow("small file") << "{1000 bytes}" << int(FirmwareFile::None) << "";
    QTest::newRow("empty file") << "{0 bytes}" << int(FirmwareFile::None) << "";
    const QString atLimit = QStringLiteral("{%1 bytes}").arg(Limit);
    const QString beyond = QStringLiteral("{%1 bytes}").arg(Limit + 1);
    QTest::newRow("65535 blocks exactly") << atLimit << int(FirmwareFile::None) << "";
    QTest::newRow("one byte beyond") << beyond << int(FirmwareFile::TooLarge) << "larger than 33553920 bytes";
    QTest::newRow("symbolic link to a file") << "{link}" << int(FirmwareFile::None) << "";
    QTest::newRow("directory") << "{directory}" << int(FirmwareFile::NotRegular) << "directory";
    QTest::newRow("FIFO without a writer") << "{fifo}" << int(FirmwareFile::NotRegular) << "FIFO";
    QTest::newRow("device without end") << "/dev/zero" << int(FirmwareFile::NotRegular) << "device";
    QTest::newRow("missing file") << "{absent}" << int(FirmwareFile::CannotOpen) << "No such file or directory";
}

void FirmwareFileTest::read()
{
    QFETCH(QString, name);
    QFETCH(int, problem);
    QFETCH(QString, reason);
    QByteArray contents;
    const QString path = pathFor(name, &contents);
    QVERIFY(!path.isEmpty());

    QElapsedTimer clock;
    clock.start();
    const FirmwareFile file = FirmwareFile::read(path);
    // Nothing waits for a writer or reads on without end.
    QVERIFY2(clock.elapsed() < TestWaits::scaled(5000), qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(int(file.problem), problem);
    QCOMPARE(file.isRead(), problem == FirmwareFile::None);
    QVERIFY2(file.reason.contains(reason), qPrintable(file.reason));
    if (file.isRead())
        QCOMPARE(file.bytes, contents);
    else
        QVERIFY(file.bytes.isEmpty());
}

LENSDESK_TEST_MAIN(FirmwareFileTest)
#include "tst_firmwarefile.moc"
