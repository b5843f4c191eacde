#include "TestMain.h"

#include "alpaca/AlpacaParameters.h"

#include <QtTest>

// The parameter rules of the Alpaca API: form decoding, names in any case,
// and the value forms the server accepts.
class AlpacaParametersTest : public QObject
{
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void clientTransactionId_data();
    void clientTransactionId();
    void integers_data();
    void integers();
    void booleans_data();
    void booleans();
};

void AlpacaParametersTest::lookup_data()
{
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("value");

    auto row = [](const char* name, const char* form, const char* parameter, bool present, const QString& value) {
        QTest::newRow(name) << QByteArray(form) << QString::fromLatin1(parameter) << present << value;
    };
    row("as written", "Position=12", "Position", true, "12");
    row("lower case name", "position=12", "Position", true, "12");
    row("upper case name", "POSITION=12", "Position", true, "12");
    row("among others", "ClientID=3&Position=12&ClientTransactionID=9", "Position", true, "12");
    row("first of two", "position=1&Position=2", "Position", true, "1");
    row("absent", "ClientID=3", "Position", false, "");
    row("empty form", "", "Position", false, "");
    row("empty value", "Parameters=&Action=x", "Parameters", true, "");
    row("name without =", "Parameters&Action=x", "Parameters", true, "");
    row("plus is a blank", "Parameters=f+5.6", "Parameters", true, "f 5.6");
    row("percent escapes", "Parameters=a%2Bb%26c%3Dd", "Parameters", true, "a+b&c=d");
    row("escaped name", "%50osition=7", "Position", true, "7");
    row("utf-8", "Parameters=%C3%A9", "Parameters", true, QString(QChar(0xe9)));
    row("broken escape kept", "Parameters=%zz", "Parameters", true, "%zz");
    row("escape cut short", "Parameters=5%2", "Parameters", true, "5%2");
    row("escape at the end", "Parameters=5%", "Parameters", true, "5%");
    row("escape of the last byte", "Parameters=5%21", "Parameters", true, "5!");
    row("escaped NUL kept", "Position=5%00", "Position", true, QStringLiteral("5") + QChar(0));
    row("empty pairs skipped", "&&Position=5&", "Position", true, "5");
    row("only the first = splits", "Parameters=a=b", "Parameters", true, "a=b");
}

void AlpacaParametersTest::lookup()
{
    QFETCH(QByteArray, form);
    QFETCH(QString, name);
    QFETCH(bool, present);
    QFETCH(QString, value);
    const std::optional<QString> found = AlpacaParameters::fromForm(form).value(name);
    QCOMPARE(found.has_value(), present);
    if (present)
        QCOMPARE(*found, value);
}

void AlpacaParametersTest::clientTransactionId_data()
{
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<quint32>("id");

    QTest::newRow("given") << QByteArray("ClientTransactionID=7") << 7u;
    QTest::newRow("any case") << QByteArray("clienttransactionid=7") << 7u;
    QTest::newRow("largest") << QByteArray("ClientTransactionID=4294967295") << 4294967295u;
    QTest::newRow("too large") << QByteArray("ClientTransactionID=4294967296") << 0u;
    QTest::newRow("negative") << QByteArray("ClientTransactionID=-1") << 0u;
    QTest::newRow("not a number") << QByteArray("ClientTransactionID=abc") << 0u;
    QTest::newRow("blank") << QByteArray("ClientTransactionID=") << 0u;
    QTest::newRow("missing") << QByteArray("ClientID=4") << 0u;
}

void AlpacaParametersTest::clientTransactionId()
{
    QFETCH(QByteArray, form);
    QFETCH(quint32, id);
    QCOMPARE(AlpacaParameters::fromForm(form).clientTransactionId(), id);
}

void AlpacaParametersTest::integers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("positive") << "1234" << true << 1234;
    QTest::newRow("negative") << "-5" << true << -5;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("largest int") << "2147483647" << true << 2147483647;
    QTest::newRow("smallest int") << "-2147483648" << true << int(-2147483648LL);
    QTest::newRow("over int") << "2147483648" << false << 0;
    QTest::newRow("huge") << "99999999999999999999999" << false << 0;
    QTest::newRow("fraction") << "12.5" << false << 0;
    QTest::newRow("plus sign") << "+5" << false << 0;
    QTest::newRow("blank before") << " 5" << false << 0;
    QTest::newRow("blank after") << "5 " << false << 0;
    QTest::newRow("hexadecimal") << "0x10" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("minus only") << "-" << false << 0;
    QTest::newRow("word") << "ten" << false << 0;
}

void AlpacaParametersTest::integers()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::optional<int> number = AlpacaParameters::toInt(text);
    QCOMPARE(number.has_value(), valid);
    if (valid)
        QCOMPARE(*number, value);
}

void AlpacaParametersTest::booleans_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("value");

    QTest::newRow("true") << "true" << true << true;
    QTest::newRow("True") << "True" << true << true;
    QTest::newRow("FALSE") << "FALSE" << true << false;
    QTest::newRow("false") << "false" << true << false;
    QTest::newRow("1") << "1" << false << false;
    QTest::newRow("yes") << "yes" << false << false;
    QTest::newRow("blank around") << " true" << false << false;
    QTest::newRow("empty") << "" << false << false;
}

void AlpacaParametersTest::booleans()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(bool, value);
    const std::optional<bool> flag = AlpacaParameters::toBool(text);
    QCOMPARE(flag.has_value(), valid);
    if (valid)
        QCOMPARE(*flag, value);
}

LENSDESK_TEST_MAIN(AlpacaParametersTest)
#include "tst_alpacaparameters.moc"
