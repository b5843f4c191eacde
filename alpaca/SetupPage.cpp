#include "alpaca/SetupPage.h"

#include "alpaca/AlpacaFocuser.h"
#include "alpaca/FocuserActions.h"
#include "alpaca/FocuserDevice.h"
#include "alpaca/FocuserDevices.h"

#include <QStringList>

namespace {

QString linkText(const AlpacaFocuser& focuser)
{
    switch (focuser.link()) {
    case AlpacaFocuser::Link::Connected:
        return SetupPage::tr("connected");
    case AlpacaFocuser::Link::Identifying:
        return SetupPage::tr("connecting");
    case AlpacaFocuser::Link::Lost:
        return SetupPage::tr("not answering");
    case AlpacaFocuser::Link::Refused:
    case AlpacaFocuser::Link::Disconnected:
        break;
    }
    const QString problem = focuser.linkProblem();
    return problem.isEmpty() ? SetupPage::tr("not connected") : SetupPage::tr("not connected: %1").arg(problem);
}

QString positionText(const AlpacaFocuser& focuser)
{
    if (focuser.link() != AlpacaFocuser::Link::Connected || !focuser.hasFocusRange())
        return QStringLiteral("-");
    return SetupPage::tr("%1 of %2").arg(focuser.position()).arg(focuser.maxStep());
}

QString numberText(const FocuserDevices::Entry& entry)
{
    if (entry.number >= 0)
        return QStringLiteral("<a href=\"/setup/v1/focuser/%1/setup\">focuser/%1</a>").arg(entry.number);
    if (entry.duplicateOf >= 0)
        return SetupPage::tr("same controller as focuser/%1").arg(entry.duplicateOf);
    return SetupPage::tr("not listed until it identifies itself");
}

QString cell(const QString& text)
{
    return QStringLiteral("<td>") + SetupPage::escaped(text) + QStringLiteral("</td>");
}

// One table row per controller; `number` cells are HTML already.
QString row(const FocuserDevices::Entry& entry)
{
    const AlpacaFocuser& focuser = entry.device->focuser();
    const AlpacaFocuser::Identity identity = focuser.identity();
    return QStringLiteral("<tr><td>") + numberText(entry) + QStringLiteral("</td>") + cell(entry.device->name())
        + cell(focuser.address()) + cell(identity.product) + cell(identity.firmware.trimmed())
        + cell(focuser.lensDescription()) + cell(linkText(focuser)) + cell(positionText(focuser)) + cell(entry.uniqueId)
        + QStringLiteral("</tr>\n");
}

QString table(const std::vector<FocuserDevices::Entry>& entries)
{
    QString html = QStringLiteral("<table>\n<tr>");
    for (const QString& heading : {SetupPage::tr("Device"), SetupPage::tr("Name"), SetupPage::tr("Address"),
                                   SetupPage::tr("Model"), SetupPage::tr("Firmware"), SetupPage::tr("Lens"),
                                   SetupPage::tr("Link"), SetupPage::tr("Focus position"), SetupPage::tr("UniqueID")})
        html += QStringLiteral("<th>") + SetupPage::escaped(heading) + QStringLiteral("</th>");
    html += QStringLiteral("</tr>\n");
    for (const FocuserDevices::Entry& entry : entries)
        html += row(entry);
    return html + QStringLiteral("</table>\n");
}

QString actionList()
{
    QString html = QStringLiteral("<h2>") + SetupPage::escaped(SetupPage::tr("Actions")) + QStringLiteral("</h2>\n<p>")
        + SetupPage::escaped(SetupPage::tr("PUT /api/v1/focuser/N/action with Action=NAME and "
                                           "Parameters=TEXT; the reply's Value is a text."))
        + QStringLiteral("</p>\n<table>\n<tr>");
    for (const QString& heading : {SetupPage::tr("Action"), SetupPage::tr("Parameters"), SetupPage::tr("Result")})
        html += QStringLiteral("<th>") + SetupPage::escaped(heading) + QStringLiteral("</th>");
    html += QStringLiteral("</tr>\n");
    for (const FocuserActions::Action& action : FocuserActions::all()) {
        const QString parameters = action.parameters ? QCoreApplication::translate("FocuserActions", action.parameters)
                                                     : SetupPage::tr("(none)");
        html += QStringLiteral("<tr>") + cell(QLatin1String(action.name)) + cell(parameters)
            + cell(QCoreApplication::translate("FocuserActions", action.result)) + QStringLiteral("</tr>\n");
    }
    return html + QStringLiteral("</table>\n");
}

QString page(const QString& title, const QString& body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                          "<meta http-equiv=\"refresh\" content=\"%1\"><title>%2</title></head>\n<body>\n<h1>%2</h1>\n")
               .arg(SetupPage::RefreshSeconds)
               .arg(SetupPage::escaped(title))
        + body + QStringLiteral("</body></html>\n");
}

} // namespace

QString SetupPage::overview(const FocuserDevices& devices)
{
    QString body = table(devices.entries());
    if (devices.isSearching()) {
        body += QStringLiteral("<p>") + escaped(tr("Searching the local networks...")) + QStringLiteral("</p>\n");
    } else if (devices.searchAllowed()) {
        body += QStringLiteral("<form method=\"post\" action=\"/setup/search\"><button type=\"submit\">")
            + escaped(tr("Search again")) + QStringLiteral("</button></form>\n");
    } else {
        body += QStringLiteral("<p>") + escaped(tr("The LAN search is off (start the server with --search)."))
            + QStringLiteral("</p>\n");
    }
    return page(tr("LensDesk Alpaca server: lens controllers"), body + actionList());
}

std::optional<QString> SetupPage::device(const FocuserDevices& devices, int number)
{
    for (const FocuserDevices::Entry& entry : devices.entries()) {
        if (entry.number == number)
            return page(tr("focuser/%1: %2").arg(number).arg(entry.device->name()),
                        table({entry}) + QStringLiteral("<p><a href=\"/setup\">")
                            + escaped(tr("Every controller of this server")) + QStringLiteral("</a></p>\n"));
    }
    return std::nullopt;
}

QString SetupPage::escaped(const QString& text)
{
    QString printable;
    printable.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control)
            printable.append(c);
    }
    return printable.toHtmlEscaped();
}
