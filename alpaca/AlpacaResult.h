#pragma once

#include <QJsonValue>
#include <QString>

#include <optional>

// The outcome of one Alpaca member: a value (absent for members that return
// nothing) or an ASCOM error number with its message. The router wraps it in
// the reply envelope with the transaction numbers.
struct AlpacaResult
{
    std::optional<QJsonValue> value;
    int errorNumber = 0;
    QString errorMessage;

    bool succeeded() const { return errorNumber == 0; }

    static AlpacaResult of(const QJsonValue& value) { return {value, 0, QString()}; }
    static AlpacaResult done() { return {}; }
    static AlpacaResult failure(int errorNumber, const QString& message)
    {
        return {std::nullopt, errorNumber, message};
    }
};
