// Writes the seed corpora and dictionaries of the fuzz targets:
//   fuzz_seeds DIR  ->  DIR/<target>/seed-N files and DIR/<target>.dict
// Replies come from the controller's answer catalogue, firmware containers
// from the test encoder, so every run starts from inputs the panel really
// meets.
#include "FirmwareImages.h"
#include "admin/FirmwareCipher.h"
#include "link/Protocol.h"
#ifdef LENSDESK_WITH_ALPACA
#include "alpaca/FocuserActions.h"
#include "alpaca/FocuserMembers.h"
#endif

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdio>

namespace {

// Answers as a controller sends them, one per datagram.
const QList<QByteArray>& sampleReplies()
{
    static const QList<QByteArray> replies = {
        "ORVO KX-MQTR=2.15",
        "ORVO RE-2=1.7 beta",
        "ORVO DuvudER=0.9",
        "ORVO KX-MQTR=",
        "nolensfound",
        "Current=24,1200,5.6",
        "Current=105",
        "Current=-1,-1,-1",
        "Lens=EF 24-105mm f/4L IS USM",
        "Proto=1",
        "Proto=7",
        "aRange=4.0,22.0",
        "aRange=99,99",
        "zRange=24,105",
        "fRange=0,2000",
        "AF=1",
        "AF=0",
        "IS=1",
        "ISactive=1",
        "ISactive=0",
        QByteArray("NAME=Stage left\0\0\0", 18),
        "T=1500",
        "zoomDone",
        "focusDone",
        "irisDone",
        "errorFocus",
        "errorParam=7",
        "errorRange",
        "Zoom=70",
        "Focus=812",
        "Iris=8.0",
        "VENDOR=   ",
        "HW=3",
        "BL=255",
        "BL=2",
        "SN=KX0042",
        "MAC=0-17-34-51-68-85",
        "IP=127.0.0.1",
        "MASK=255.255.255.0",
        "GW=127.0.0.254",
        "Current=1e9,99999999999,nan",
        "=",
        "==",
        "Current=,,,",
        "aRange=inf,-inf",
    };
    return replies;
}

// Answers to the LAN search: product and version, or anything else.
const QList<QByteArray>& sampleSearchAnswers()
{
    static const QList<QByteArray> answers = {
        "ORVO KX-MQTR=2.15", "ORVO RE-2=1.7", "ORVO DuvudER=3.0 rc1", "ORVO KX-MQTR", "Zoom=5", "",
    };
    return answers;
}

QList<QByteArray> sampleContainers()
{
    const QByteArray image = QByteArray("KX firmware image ").repeated(40);
    const quint64 key = firmwareKey();
    QList<QByteArray> containers;
    for (quint8 flags : {0, 1, 2, 3, 4, 5, 6, 7}) {
        // Mode byte 0: the container as a file.
        containers << QByteArray(1, '\0') + encodeFirmware(image, key, flags);
        // Mode byte 2: flags and payload, check value filled in by the target.
        const QByteArray payload = (flags & FirmwareCipher::FlagCompressed) ? qCompress(image) : image;
        containers << QByteArray(1, '\2') + char(flags) + payload;
    }
    return containers;
}

bool writeCorpus(const QString& dir, const QString& target, const QList<QByteArray>& seeds,
                 const QList<QByteArray>& dictionary)
{
    if (!QDir().mkpath(dir + QLatin1Char('/') + target))
        return false;
    for (int i = 0; i < seeds.size(); ++i) {
        QFile file(QStringLiteral("%1/%2/seed-%3").arg(dir, target).arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(seeds[i]) != seeds[i].size())
            return false;
    }
    QFile dict(QStringLiteral("%1/%2.dict").arg(dir, target));
    if (!dict.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray& word : dictionary) {
        QByteArray escaped;
        for (char c : word)
            escaped += (c == '"' || c == '\\' || uchar(c) < 0x20 || uchar(c) > 0x7e)
                ? QByteArray("\\x") + QByteArray::number(uchar(c), 16).rightJustified(2, '0')
                : QByteArray(1, c);
        dict.write("\"" + escaped + "\"\n");
    }
    return true;
}

// The answer keys, for the dictionaries of the reply targets.
QList<QByteArray> answerKeys()
{
    using namespace Protocol::Answer;
    QList<QByteArray> keys = {"ORVO KX-MQTR", "ORVO RE-2", "ORVO DuvudER", "=", ",", ".", "255"};
    for (const QByteArray& reply : sampleReplies()) {
        const int equals = reply.indexOf('=');
        const QByteArray key = equals < 0 ? reply : reply.left(equals + 1);
        if (key.size() > 1 && !keys.contains(key))
            keys << key;
    }
    return keys;
}

#ifdef LENSDESK_WITH_ALPACA
// A request for every member of the focuser API as a client sends it, plus
// the management and setup pages; the dictionary holds their words.
QList<QByteArray> sampleAlpacaRequests()
{
    QList<QByteArray> requests = {
        "GET /management/apiversions?ClientID=1&ClientTransactionID=2 HTTP/1.1\r\nHost: a\r\n\r\n",
        "GET /management/v1/configureddevices HTTP/1.1\r\n\r\n",
        "GET /setup HTTP/1.1\r\n\r\nGET /setup/v1/focuser/0/setup HTTP/1.1\r\n\r\n",
        "POST /setup/search HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
    };
    for (const FocuserMembers::Member& member : FocuserMembers::all()) {
        QByteArray form = "ClientID=7&ClientTransactionID=9";
        for (const FocuserMembers::Parameter& parameter : member.parameters) {
            form += '&' + QByteArray(parameter.name) + '=';
            form += parameter.kind == FocuserMembers::Kind::Bool ? QByteArray("true")
                : parameter.kind == FocuserMembers::Kind::Int    ? QByteArray("250")
                                                                 : QByteArray("GetZoom");
        }
        const QByteArray path = "/api/v1/focuser/0/" + QByteArray(member.name);
        if (member.verb == FocuserMembers::Verb::Get)
            requests << "GET " + path + '?' + form + " HTTP/1.1\r\nHost: a\r\n\r\n";
        else
            requests << "PUT " + path
                    + " HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                      "Content-Length: "
                    + QByteArray::number(form.size()) + "\r\n\r\n" + form;
    }
    return requests;
}

QList<QByteArray> alpacaWords()
{
    QList<QByteArray> words = {"GET ",
                               "PUT ",
                               "POST ",
                               " HTTP/1.1\r\n",
                               "\r\n\r\n",
                               "Content-Length: ",
                               "Transfer-Encoding: chunked\r\n",
                               "Content-Type: application/x-www-form-urlencoded",
                               "Connection: close",
                               "/api/v1/focuser/",
                               "/management/v1/",
                               "/setup/v1/focuser/",
                               "ClientTransactionID=",
                               "ClientID=",
                               "%00",
                               "%",
                               "&",
                               "=",
                               "+"};
    for (const FocuserMembers::Member& member : FocuserMembers::all()) {
        words << QByteArray(member.name);
        for (const FocuserMembers::Parameter& parameter : member.parameters)
            words << QByteArray(parameter.name) + '=';
    }
    for (const QString& action : FocuserActions::names())
        words << action.toLatin1();
    return words;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QList<QByteArray> replies = sampleReplies();
    replies << QByteArray(Protocol::Answer::PositionsKey) + "1,2,3";
    const bool written =
        writeCorpus(dir, QStringLiteral("fuzz_firmwarecipher"), sampleContainers(), {"\x03", "\x01", "\x02", "\x04"})
        && writeCorpus(dir, QStringLiteral("fuzz_replies"), replies, answerKeys())
        && writeCorpus(dir, QStringLiteral("fuzz_searchanswers"), sampleSearchAnswers(), answerKeys())
#ifdef LENSDESK_WITH_ALPACA
        && writeCorpus(dir, QStringLiteral("fuzz_alpacarequests"), sampleAlpacaRequests(), alpacaWords())
#endif
        ;
    if (!written) {
        std::fprintf(stderr, "fuzz_seeds: cannot write under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
