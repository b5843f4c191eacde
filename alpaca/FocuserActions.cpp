#include "alpaca/FocuserActions.h"

#include "alpaca/AlpacaErrors.h"
#include "alpaca/AlpacaFocuser.h"
#include "alpaca/AlpacaParameters.h"
#include "lens/FNumbers.h"

#include <QCoreApplication>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("FocuserActions", text); }

AlpacaResult text(const QString& value) { return AlpacaResult::of(value); }

AlpacaResult invalidOperation(const QString& why) { return AlpacaResult::failure(AlpacaError::InvalidOperation, why); }

AlpacaResult refusedOrDone(bool accepted, const QString& why, const QString& value)
{
    return accepted ? text(value) : invalidOperation(why);
}

QString fNumberList(const QVector<float>& fNumbers)
{
    QStringList texts;
    for (const float f : fNumbers)
        texts << FNumbers::shortest(f);
    return texts.join(QLatin1Char(','));
}

AlpacaResult getAperture(AlpacaFocuser& focuser, const QString&)
{
    if (focuser.fNumbers().isEmpty())
        return invalidOperation(tr("The lens has no aperture."));
    const std::optional<float> fNumber = focuser.fNumber();
    if (!fNumber)
        return invalidOperation(tr("The controller has not reported the aperture yet."));
    return text(FNumbers::shortest(*fNumber));
}

AlpacaResult setAperture(AlpacaFocuser& focuser, const QString& parameters)
{
    const QVector<float> fNumbers = focuser.fNumbers();
    if (fNumbers.isEmpty())
        return invalidOperation(tr("The lens has no aperture."));
    bool ok = false;
    const float fNumber = parameters.trimmed().toFloat(&ok);
    if (!ok || FNumbers::lastIndexOf(fNumbers, fNumber) < 0)
        return AlpacaResult::failure(AlpacaError::InvalidValue,
                                     tr("Give one of the lens's f-numbers: %1.").arg(fNumberList(fNumbers)));
    QString why;
    return refusedOrDone(focuser.setFNumber(fNumber, &why), why, FNumbers::shortest(fNumber));
}

AlpacaResult listApertures(AlpacaFocuser& focuser, const QString&)
{
    const QVector<float> fNumbers = focuser.fNumbers();
    if (fNumbers.isEmpty())
        return invalidOperation(tr("The lens has no aperture."));
    return text(fNumberList(fNumbers));
}

AlpacaResult getZoom(AlpacaFocuser& focuser, const QString&)
{
    const std::optional<int> zoom = focuser.zoom();
    if (!zoom)
        return invalidOperation(tr("The controller has not reported a zoom position."));
    return text(QString::number(*zoom));
}

AlpacaResult setZoom(AlpacaFocuser& focuser, const QString& parameters)
{
    if (!focuser.hasPowerZoom())
        return invalidOperation(tr("This controller cannot drive the zoom (it has no power zoom)."));
    const std::optional<std::pair<int, int>> range = focuser.zoomRange();
    if (!range)
        return invalidOperation(tr("The lens has not reported its zoom range."));
    const int wide = std::min(range->first, range->second);
    const int tele = std::max(range->first, range->second);
    const std::optional<int> millimetres = AlpacaParameters::toInt(parameters.trimmed());
    if (!millimetres || *millimetres < wide || *millimetres > tele)
        return AlpacaResult::failure(AlpacaError::InvalidValue,
                                     tr("Give the focal length in mm, from %1 to %2.").arg(wide).arg(tele));
    QString why;
    return refusedOrDone(focuser.setZoom(*millimetres, &why), why, QString::number(*millimetres));
}

AlpacaResult setStabiliser(AlpacaFocuser& focuser, const QString& parameters)
{
    if (!focuser.hasStabiliser())
        return invalidOperation(tr("The lens has no stabiliser."));
    const QString word = parameters.trimmed().toLower();
    std::optional<bool> on;
    if (word == QLatin1String("on") || word == QLatin1String("true") || word == QLatin1String("1"))
        on = true;
    else if (word == QLatin1String("off") || word == QLatin1String("false") || word == QLatin1String("0"))
        on = false;
    if (!on)
        return AlpacaResult::failure(AlpacaError::InvalidValue, tr("Give \"on\" or \"off\"."));
    QString why;
    return refusedOrDone(focuser.setStabiliser(*on, &why), why, *on ? QStringLiteral("on") : QStringLiteral("off"));
}

AlpacaResult lensDescription(AlpacaFocuser& focuser, const QString&) { return text(focuser.lensDescription()); }

} // namespace

namespace FocuserActions {

const QVector<Action>& all()
{
    static const QVector<Action> actions{
        {"GetAperture", nullptr, QT_TRANSLATE_NOOP("FocuserActions", "the current f-number: \"5.6\""), getAperture},
        {"SetAperture", QT_TRANSLATE_NOOP("FocuserActions", "one of the lens's f-numbers: \"5.6\""),
         QT_TRANSLATE_NOOP("FocuserActions", "the f-number set"), setAperture},
        {"ListApertures", nullptr,
         QT_TRANSLATE_NOOP("FocuserActions", "the lens's f-numbers, widest first, separated by commas: \"3.5,4,5.6\""),
         listApertures},
        {"GetZoom", nullptr, QT_TRANSLATE_NOOP("FocuserActions", "the focal length in mm: \"35\""), getZoom},
        {"SetZoom", QT_TRANSLATE_NOOP("FocuserActions", "a focal length in mm within the lens's range: \"35\""),
         QT_TRANSLATE_NOOP("FocuserActions", "the focal length set (power zoom only)"), setZoom},
        {"SetStabiliser", QT_TRANSLATE_NOOP("FocuserActions", "\"on\" or \"off\""),
         QT_TRANSLATE_NOOP("FocuserActions", "\"on\" or \"off\""), setStabiliser},
        {"LensDescription", nullptr,
         QT_TRANSLATE_NOOP("FocuserActions", "the lens's own description, as the controller reports it"),
         lensDescription},
    };
    return actions;
}

QStringList names()
{
    QStringList list;
    for (const Action& action : all())
        list << QLatin1String(action.name);
    return list;
}

const Action* find(const QString& name)
{
    for (const Action& action : all()) {
        if (name.compare(QLatin1String(action.name), Qt::CaseInsensitive) == 0)
            return &action;
    }
    return nullptr;
}

} // namespace FocuserActions
