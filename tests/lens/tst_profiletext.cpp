#include "TestMain.h"

#include "base/SettingsStore.h"
#include "lens/FNumbers.h"
#include "lens/ProfileText.h"

#include <QSettings>
#include <QTest>

#include <memory>

// The widget-free rules behind the aperture scale and the saved lens
// positions: f-number text, profile values, descriptions and store keys.
class ProfileTextTest : public QObject
{
    Q_OBJECT

private slots:
    void fNumberScale_data();
    void fNumberScale();
    void shortestForm_data();
    void shortestForm();

    void formatValue_data();
    void formatValue();
    void parseValue_data();
    void parseValue();
    void describeValue_data();
    void describeValue();
    void handEditedListReadsAsText();

    void nameKeys_data();
    void nameKeys();
    void everyNameSurvivesTheStore();
};

void ProfileTextTest::fNumberScale_data()
{
    QTest::addColumn<float>("fNumber");
    QTest::addColumn<int>("index");
    QTest::newRow("widest") << 1.0f << 0;
    QTest::newRow("1.3 follows 1.1") << 1.3f << 2;
    QTest::newRow("no 1.2 on the scale") << 1.2f << -1;
    QTest::newRow("3.5") << 3.5f << 11;
    QTest::newRow("5.6") << 5.6f << 15;
    QTest::newRow("22") << 22.0f << 27;
    QTest::newRow("29, not 28") << 29.0f << 29;
    QTest::newRow("narrowest") << 90.0f << 39;
    QTest::newRow("beyond the scale") << 128.0f << -1;
}

void ProfileTextTest::fNumberScale()
{
    QFETCH(float, fNumber);
    QFETCH(int, index);
    const QVector<float> table = FNumbers::table();
    QCOMPARE(table.size(), 40);
    QCOMPARE(FNumbers::lastIndexOf(table, fNumber), index);
}

void ProfileTextTest::shortestForm_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("5.6 from single precision") << double(5.6f) << "5.6";
    QTest::newRow("whole number") << 22.0 << "22";
    QTest::newRow("one") << 1.0 << "1";
    QTest::newRow("no report yet") << -1.0 << "-1";
    QTest::newRow("six significant digits") << 1.23456789 << "1.23457";
    QTest::newRow("zero") << 0.0 << "0";
}

void ProfileTextTest::shortestForm()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(FNumbers::shortest(value), text);
}

void ProfileTextTest::formatValue_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("focus");
    QTest::addColumn<float>("iris");
    QTest::addColumn<QString>("value");
    QTest::newRow("before any report") << -1 << -1 << -1.0f << "-1,-1,-1";
    QTest::newRow("typical") << 50 << 812 << 5.6f << "50,812,5.6";
    QTest::newRow("whole f-number") << 35 << 500 << 4.0f << "35,500,4";
}

void ProfileTextTest::formatValue()
{
    QFETCH(int, zoom);
    QFETCH(int, focus);
    QFETCH(float, iris);
    QFETCH(QString, value);
    QCOMPARE(ProfileText::format(zoom, focus, iris), value);
}

void ProfileTextTest::parseValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("focus");
    QTest::addColumn<float>("iris");
    QTest::addColumn<bool>("complete");
    QTest::newRow("three fields") << "50,812,5.6" << 50 << 812 << 5.6f << true;
    QTest::newRow("negative, before any report") << "-1,-1,-1" << -1 << -1 << -1.0f << true;
    QTest::newRow("extra field ignored") << "35,500,4,9" << 35 << 500 << 4.0f << true;
    QTest::newRow("unreadable field reads 0") << "abc,500,x" << 0 << 500 << 0.0f << true;
    QTest::newRow("empty iris field") << "35,500," << 35 << 500 << 0.0f << true;
    QTest::newRow("iris missing") << "50,812" << 50 << 812 << 0.0f << false;
    QTest::newRow("only zoom") << "50" << 50 << 0 << 0.0f << false;
    QTest::newRow("empty") << "" << 0 << 0 << 0.0f << false;
}

void ProfileTextTest::parseValue()
{
    QFETCH(QString, value);
    QFETCH(int, zoom);
    QFETCH(int, focus);
    QFETCH(float, iris);
    QFETCH(bool, complete);
    const ProfileText::Position position = ProfileText::parse(value);
    QCOMPARE(position.zoom, zoom);
    QCOMPARE(position.focus, focus);
    QCOMPARE(position.iris, iris);
    QCOMPARE(position.isComplete(), complete);
}

void ProfileTextTest::describeValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("description");
    dataRow("typical", "50,812,5.6", "50mm 812 f/5.6");
    dataRow("fields as stored", "050,+12,5.60", "050mm +12 f/5.60");
    dataRow("no profile", "0,0,0", "0mm 0 f/0");
    dataRow("iris missing reads 0", "50,812", "50mm 812 f/0");
    dataRow("only zoom", "50", "50mm 0 f/0");
}

void ProfileTextTest::describeValue()
{
    QFETCH(QString, value);
    QFETCH(QString, description);
    QCOMPARE(ProfileText::describe(value), description);
}

void ProfileTextTest::handEditedListReadsAsText()
{
    QCOMPARE(ProfileText::valueText(QStringList{"50", "812", "5.6"}), QStringLiteral("50,812,5.6"));
    QCOMPARE(ProfileText::valueText(QStringLiteral("35,500,4")), QStringLiteral("35,500,4"));
}

void ProfileTextTest::nameKeys_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain");
    for (char digit = '0'; digit <= '9'; ++digit)
        QTest::addRow("digit %c", digit) << QString(QLatin1Char(digit)) << true;
    QTest::newRow("ordinary") << "Studio A" << true;
    QTest::newRow("percent inside") << "50%" << true;
    QTest::newRow("non-ASCII") << QStringLiteral("B\u00fchne") << true;
    QTest::newRow("slash") << "studio/left" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("only a slash") << "/" << false;
    QTest::newRow("double slash") << "a//b" << false;
    QTest::newRow("leading and trailing slash") << "/x/" << false;
    QTest::newRow("both separators") << "c:\\shots/1" << false;
    QTest::newRow("starts with the marker") << "%2F" << false;
    QTest::newRow("non-ASCII with slash") << QStringLiteral("B\u00fchne/1") << false;
}

void ProfileTextTest::nameKeys()
{
    QFETCH(QString, name);
    QFETCH(bool, plain);
    const QString key = ProfileText::keyForName(name);
    QCOMPARE(key == name, plain);
    QVERIFY(!key.contains(QLatin1Char('/')));
    QVERIFY(!key.contains(QLatin1Char('\\')));
    QCOMPARE(ProfileText::nameForKey(key), name);
}

// Through the real store: every name is listed back exactly, no name turns
// into a group, and each value is found under its name.
void ProfileTextTest::everyNameSurvivesTheStore()
{
    const QStringList names{"3",
                            "Studio A",
                            "studio/left",
                            "a\\b",
                            "/",
                            "a//b",
                            "/x/",
                            "%2F",
                            "%",
                            "c:\\shots/1",
                            QStringLiteral("B\u00fchne/1")};
    {
        std::unique_ptr<QSettings> store(SettingsStore::openProfiles(nullptr));
        store->remove(QString());
        for (int i = 0; i < names.size(); ++i)
            SettingsStore::writeThrough(store.get(), ProfileText::keyForName(names.at(i)),
                                        ProfileText::format(i, 10 * i, 5.6f));
    }
    std::unique_ptr<QSettings> store(SettingsStore::openProfiles(nullptr));
    QVERIFY(store->childGroups().isEmpty());
    QStringList listed;
    for (const QString& key : store->childKeys())
        listed << ProfileText::nameForKey(key);
    QStringList expected = names;
    expected.sort();
    listed.sort();
    QCOMPARE(listed, expected);
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(ProfileText::valueText(store->value(ProfileText::keyForName(names.at(i)))),
                 ProfileText::format(i, 10 * i, 5.6f));
    store->remove(QString());
    store->sync();
}

LENSDESK_TEST_MAIN(ProfileTextTest)
#include "tst_profiletext.moc"
