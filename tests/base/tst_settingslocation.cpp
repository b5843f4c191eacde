#include "TestMain.h"

#include "base/SettingsStore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

// Where a test program keeps the panel's settings: in the toolkit's test
// location, never in the user's own store, whoever starts the program. The
// settings' user path is fixed when the first store is opened, so the test
// mode must already be on then.
class SettingsLocationTest : public QObject
{
    Q_OBJECT

private slots:
    void testModeIsOn() { QVERIFY(QStandardPaths::isTestModeEnabled()); }

    void panelStoreLiesInTheTestLocation()
    {
        const std::unique_ptr<QSettings> store(SettingsStore::openMain(nullptr));
        const QString path = store->fileName();
        const QString testLocation = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QVERIFY2(path.startsWith(testLocation + QLatin1Char('/')), qPrintable(path));

        const QString userLocations[] = {qEnvironmentVariable("XDG_CONFIG_HOME"),
                                         QDir::homePath() + QStringLiteral("/.config")};
        for (const QString& user : userLocations) {
            if (!user.isEmpty())
                QVERIFY2(!path.startsWith(user + QLatin1Char('/')), qPrintable(path));
        }
    }
};

LENSDESK_TEST_MAIN(SettingsLocationTest)
#include "tst_settingslocation.moc"
