#include "StoredSettings.h"
#include "TestMain.h"

#include "base/SettingsStore.h"
#include "lens/ProfileText.h"

#include <QSettings>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// One value of the main store, reached through its typed definition.
struct StoredValue
{
    std::function<QVariant(const QSettings&)> read;
    std::function<void(QSettings&, const QVariant&)> write;
    QString key;
};

template <typename T>
StoredValue storedValue(const SettingsStore::Value<T>& value)
{
    return {[&value](const QSettings& settings) { return QVariant::fromValue(value.read(settings)); },
            [&value](QSettings& settings, const QVariant& written) { value.write(settings, written.value<T>()); },
            value.key()};
}

} // namespace

Q_DECLARE_METATYPE(StoredValue)

// The values the panel keeps between runs, as earlier panels stored them:
// their keys and written form stay, and each reads as its default while
// nothing is stored.
class SettingsStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void mainStoreValues_data();
    void mainStoreValues();
    void absentProfileReadsAsNoProfile();
};

void SettingsStoreTest::mainStoreValues_data()
{
    QTest::addColumn<StoredValue>("value");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("unset");
    QTest::addColumn<QString>("text"); // written, and as it stands in the file

    const StoredValue address = storedValue(SettingsStore::LastControllerAddress);
    const StoredValue swapped = storedValue(SettingsStore::ZoomCaptionsSwapped);
    const StoredValue firmware = storedValue(SettingsStore::LastFirmwareFile);
    QTest::newRow("controller address") << address << "LAST_CKX_IP" << QVariant("192.168.") << "10.231.0.2";
    QTest::newRow("zoom captions swapped") << swapped << "LAST_ZOOM_SW" << QVariant(false) << "true";
    QTest::newRow("firmware file") << firmware << "LAST_FW_FILE" << QVariant(QString()) << "/srv/kx-2.1.0.orvoc";
}

void SettingsStoreTest::mainStoreValues()
{
    QFETCH(StoredValue, value);
    QFETCH(QString, key);
    QFETCH(QVariant, unset);
    QFETCH(QString, text);

    QCOMPARE(value.key, key);
    std::unique_ptr<QSettings> store(SettingsStore::openMain(nullptr));
    store->remove(key);
    store->sync();
    QCOMPARE(value.read(*store), unset);

    value.write(*store, text);
    // Written through at once: the file on disk holds it, and another store
    // object (another process) reads it.
    const QString file = storedFileText(store.get());
    QVERIFY2(file.contains(key + QLatin1Char('=') + text), qPrintable(file));
    const std::unique_ptr<QSettings> reopened(SettingsStore::openMain(nullptr));
    QCOMPARE(value.read(*reopened).toString(), text);

    store->remove(key);
    store->sync();
}

void SettingsStoreTest::absentProfileReadsAsNoProfile()
{
    std::unique_ptr<QSettings> profiles(SettingsStore::openProfiles(nullptr));
    profiles->remove(QString());
    SettingsStore::writeThrough(profiles.get(), ProfileText::keyForName(QStringLiteral("wide")),
                                ProfileText::format(18, 120, 3.5f));

    QCOMPARE(ProfileText::storedValue(*profiles, QStringLiteral("wide")), QStringLiteral("18,120,3.5"));
    QCOMPARE(ProfileText::storedValue(*profiles, QStringLiteral("tele")), QLatin1String(ProfileText::NoProfile));

    profiles->remove(QString());
    profiles->sync();
}

LENSDESK_TEST_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
