#pragma once

#include <QByteArray>
#include <QString>

// One HTTP answer as the router makes it; the server writes it out.
struct HttpReply
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QByteArray location; // for a redirect

    static HttpReply json(const QByteArray& body) { return {200, "application/json", body, {}}; }
    static HttpReply text(int status, const QString& reason)
    {
        return {status, "text/plain; charset=utf-8", reason.toUtf8() + '\n', {}};
    }
    static HttpReply html(const QString& page) { return {200, "text/html; charset=utf-8", page.toUtf8(), {}}; }
    static HttpReply seeOther(const QByteArray& location) { return {303, "text/plain; charset=utf-8", {}, location}; }
};
