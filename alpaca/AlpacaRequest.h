#pragma once

#include <QByteArray>

// One HTTP request as the router sees it, whatever server read it.
struct AlpacaRequest
{
    QByteArray method; // "GET", "PUT", ...
    QByteArray path;   // without the query
    QByteArray query;  // the text after "?", undecoded
    QByteArray contentType;
    QByteArray body;
};
