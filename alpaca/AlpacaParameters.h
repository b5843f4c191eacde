#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

#include <optional>

// The parameters of one Alpaca request: the query of a GET or the
// form-encoded body of a PUT ("name=value&name=value", "+" for a blank,
// "%HH" for any byte, UTF-8). Names are matched without regard to case, in
// any order; when a name comes twice, the first one counts.
class AlpacaParameters
{
public:
    AlpacaParameters() = default;
    static AlpacaParameters fromForm(const QByteArray& text);

    std::optional<QString> value(const QString& name) const;

    // The client's transaction number, echoed in the reply: 0 when it is
    // missing or not a number from 0 to 4294967295.
    quint32 clientTransactionId() const;

    // The value forms of the Alpaca API: "true"/"false" in any case, and
    // decimal integers with an optional minus sign. Nothing else (blanks, a
    // plus sign, fractions, hexadecimal) is read as a value.
    static std::optional<bool> toBool(const QString& text);
    static std::optional<int> toInt(const QString& text);
    static std::optional<quint32> toUnsigned(const QString& text);

private:
    QVector<QPair<QString, QString>> m_items;
};
