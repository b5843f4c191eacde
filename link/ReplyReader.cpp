#include "link/ReplyReader.h"

#include "lens/FNumbers.h"
#include "link/Protocol.h"
#include "link/ReplyText.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

using Kind = ReplyFact::Kind;

// A fault is reported by the controller as one of these words first.
bool isControllerError(const QString& text)
{
    using namespace Protocol::Answer;
    for (const char* word : {ErrorFocus, ErrorParam, ErrorRange})
        if (text.startsWith(QLatin1String(word)))
            return true;
    return false;
}

// The comma-separated list after `key`, with every occurrence of the key
// taken out of `text` first (the later tests see the shortened text).
QStringList takeList(QString& text, const char* key)
{
    text.remove(QLatin1String(key));
    return text.split(QLatin1Char(','));
}

ReplyFact fact(Kind kind, const QString& text = QString(), QVector<double> numbers = {}, bool on = false)
{
    return ReplyFact{kind, text, QString(), std::move(numbers), on};
}

} // namespace

QString ReplyFact::kindName(Kind kind)
{
    static const char* const names[] = {"identification", "noLens",        "positions",  "lensDescription",
                                        "protocol",       "apertureRange", "zoomRange",  "focusRange",
                                        "lensSummary",    "autoFocus",     "stabiliser", "stabiliserActive",
                                        "name",           "focusTimeout",  "zoomDone",   "controllerError",
                                        "focusDone",      "irisDone",      "zoom",       "focus",
                                        "iris",           "vendor",        "hardware",   "bootLoader",
                                        "serial",         "mac",           "address",    "mask",
                                        "gateway"};
    static_assert(sizeof(names) / sizeof(names[0]) == int(Kind::Gateway) + 1, "one name per kind");
    return QLatin1String(names[int(kind)]);
}

bool ReplyFact::provesLife() const
{
    // The controller answers "ping" with its AF switch; the lens reports and
    // the end of a zoom move count as well.
    return kind == Kind::NoLens || kind == Kind::AutoFocus || kind == Kind::StabiliserPresent
        || kind == Kind::StabiliserActive || kind == Kind::ZoomDone;
}

bool ReplyFact::hasOnState() const
{
    return kind == Kind::ApertureRange || kind == Kind::AutoFocus || kind == Kind::StabiliserPresent
        || kind == Kind::StabiliserActive || kind == Kind::Vendor;
}

QString ReplyFact::describe() const
{
    QStringList words{kindName(kind)};
    for (double number : numbers)
        words << FNumbers::shortest(number);
    if (hasOnState())
        words << QLatin1String(on ? "on" : "off");
    if (!text.isEmpty())
        words << text;
    if (!version.isEmpty())
        words << version;
    return words.join(QLatin1Char(' '));
}

namespace ReplyReader {

bool isIdentification(const QString& text)
{
    static const QRegularExpression identification{
        QStringLiteral("^%1=").arg(QLatin1String(Protocol::Answer::KnownModels))};
    return identification.match(text).hasMatch();
}

QVector<ReplyFact> read(QString text)
{
    using namespace Protocol::Answer;
    using ReplyText::listFloat;
    using ReplyText::listInt;
    using ReplyText::toFloat;
    using ReplyText::toInt;
    using ReplyText::valueOfKey;
    auto contains = [&text](const char* key) { return text.contains(QLatin1String(key)); };
    auto beginsWith = [&text](const char* key) { return text.startsWith(QLatin1String(key)); };

    QVector<ReplyFact> facts;
    if (isIdentification(text)) {
        ReplyFact identification = fact(Kind::Identification, text.section(QLatin1Char('='), 0, 0));
        identification.version = valueOfKey(text);
        facts << identification;
    }

    if (contains(NoLens)) {
        facts << fact(Kind::NoLens);
        return facts;
    }

    if (contains(Positions)) {
        const QStringList positions = takeList(text, PositionsKey);
        // Positions missing from the end of the list are not reported.
        QVector<double> numbers{double(listInt(positions, 0))};
        if (positions.size() > 1)
            numbers << listInt(positions, 1);
        if (positions.size() > 2)
            numbers << double(listFloat(positions, 2));
        facts << fact(Kind::Positions, QString(), numbers);
    }

    if (contains(LensText))
        facts << fact(Kind::LensDescription, valueOfKey(text));

    if (beginsWith(Protocol::Answer::Protocol)) {
        int protocol = toInt(valueOfKey(text));
        if (protocol < 0 || protocol > 2)
            protocol = 0;
        facts << fact(Kind::Protocol, QString(), {double(protocol)});
    }

    if (contains(ApertureRange)) {
        const QStringList range = takeList(text, ApertureRangeKey);
        const float widest = listFloat(range, 0);
        const float narrowest = listFloat(range, 1);
        // Above f/90 the lens is saying it has no aperture to report.
        const bool hasAperture = !(widest > 90 || narrowest > 90);
        facts << fact(Kind::ApertureRange, QString(), {double(widest), double(narrowest)}, hasAperture);
    }

    if (contains(ZoomRange)) {
        const QStringList range = takeList(text, ZoomRangeKey);
        facts << fact(Kind::ZoomRange, QString(), {double(listInt(range, 0)), double(listInt(range, 1))});
    }

    if (contains(FocusRange)) {
        const QStringList range = takeList(text, FocusRangeKey);
        facts << fact(Kind::FocusRange, QString(), {double(listInt(range, 0)), double(listInt(range, 1))});
        return facts;
    }

    facts << fact(Kind::LensSummary);

    if (contains(AutoFocus))
        facts << fact(Kind::AutoFocus, QString(), {}, beginsWith(AutoFocusOn));

    if (contains(Stabiliser))
        facts << fact(Kind::StabiliserPresent, QString(), {}, beginsWith(StabiliserPresent));

    if (contains(StabiliserActive))
        facts << fact(Kind::StabiliserActive, QString(), {}, beginsWith(StabiliserActiveOn));

    if (contains(Name)) {
        text.remove(QLatin1String(Name));
        text.remove(QChar(0));
        facts << fact(Kind::Name, text);
    }

    if (beginsWith(FocusTimeout)) {
        text.remove(QLatin1String(FocusTimeout));
        facts << fact(Kind::FocusTimeout, QString(), {double(toInt(text))});
    }

    if (contains(ZoomDone))
        facts << fact(Kind::ZoomDone);

    if (isControllerError(text))
        facts << fact(Kind::ControllerError, text);

    if (contains(FocusDone))
        facts << fact(Kind::FocusDone);

    if (contains(IrisDone))
        facts << fact(Kind::IrisDone);

    if (contains(Zoom))
        facts << fact(Kind::ZoomPosition, QString(), {double(toInt(valueOfKey(text)))});

    // "errorFocus" names the focus drive but carries no position.
    if (contains(Focus) && !beginsWith(ErrorPrefix))
        facts << fact(Kind::FocusPosition, QString(), {double(toInt(valueOfKey(text)))});

    if (contains(Iris))
        facts << fact(Kind::IrisPosition, QString(), {double(toFloat(valueOfKey(text)))});

    if (contains(Vendor)) {
        text.remove(QLatin1String(Vendor));
        static const QRegularExpression blanksOnly(QStringLiteral("^\\s+$"));
        facts << fact(Kind::Vendor, text, {}, !blanksOnly.match(text).hasMatch());
    }

    if (contains(Hardware))
        facts << fact(Kind::Hardware, valueOfKey(text));

    if (contains(BootLoader)) {
        QString bootLoader = valueOfKey(text);
        // Boot loaders of the first series report 255.
        if (bootLoader == QLatin1String("255"))
            bootLoader = QStringLiteral("1");
        facts << fact(Kind::BootLoader, bootLoader);
    }

    if (contains(Serial))
        facts << fact(Kind::Serial, valueOfKey(text));
    if (contains(Mac))
        facts << fact(Kind::Mac, valueOfKey(text));
    if (contains(Address))
        facts << fact(Kind::Address, valueOfKey(text));
    if (contains(Mask))
        facts << fact(Kind::Mask, valueOfKey(text));
    if (contains(Gateway))
        facts << fact(Kind::Gateway, valueOfKey(text));
    return facts;
}

} // namespace ReplyReader
