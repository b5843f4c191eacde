// libFuzzer target: a datagram arriving on a LAN-search socket, taken in as
// the connect dialog takes it (ReplyText::decode, SearchResults::parseAnswer),
// shown as a result row, and picked by a single and a double click
// (PickPattern). Arbitrary text is also picked directly, as an interface
// row's text can be anything the system names its interfaces.
#include "discovery/PickPattern.h"
#include "discovery/SearchResults.h"
#include "link/ReplyText.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

namespace {

// A pick is null or four groups of one to three digits, taken from the row.
void checkPick(const QString& pick, const QString& row)
{
    // Any character separates the groups, a line end too.
    static const QRegularExpression fourGroups(QStringLiteral("^\\d{1,3}.\\d{1,3}.\\d{1,3}.\\d{1,3}$"),
                                               QRegularExpression::DotMatchesEverythingOption);
    if (pick.isNull())
        return;
    if (!fourGroups.match(pick).hasMatch() || !row.contains(pick))
        std::abort();
}

void pickBoth(const QString& row)
{
    checkPick(PickPattern::singleClickAddress(row), row);
    checkPick(PickPattern::doubleClickAddress(row), row);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), int(size));
    const QString text = ReplyText::decode(datagram);
    static const QHostAddress sender(QStringLiteral("10.231.0.2"));

    if (const auto answer = SearchResults::parseAnswer(sender, text)) {
        if (answer->address != QLatin1String("10.231.0.2"))
            std::abort();
        const QString row = SearchResults::controllerRowText(*answer);
        pickBoth(row);
        // The double click on a controller row always finds an address.
        if (PickPattern::doubleClickAddress(row).isNull())
            std::abort();
        SearchResults::controllerIconPath(*answer);
    }
    pickBoth(text);
    return 0;
}
