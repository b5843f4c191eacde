#include "indi/FocuserProperties.h"

#include "indi/LensFocuser.h"
#include "indi/LensRequests.h"
#include "lens/FNumbers.h"

#include <indidevapi.h>

#include <QStringList>

#include <cstring>

namespace {
// The tab of the lens's own controls; identities go to INDI's information tab.
constexpr const char* LensGroup = "Lens";

namespace Name {
constexpr const char* Aperture = "LENS_APERTURE";
constexpr const char* FNumber = "F_NUMBER";
constexpr const char* Stops = "LENS_APERTURE_STOPS";
constexpr const char* FNumbers = "F_NUMBERS";
constexpr const char* Zoom = "LENS_ZOOM";
constexpr const char* FocalLength = "FOCAL_LENGTH";
constexpr const char* Stabiliser = "LENS_STABILIZER";
constexpr const char* StabiliserOn = "STABILIZER_ON";
constexpr const char* StabiliserOff = "STABILIZER_OFF";
constexpr const char* Reinit = "LENS_FOCUS_REINIT";
constexpr const char* ReinitNow = "REINIT";
constexpr const char* Lens = "LENS_INFO";
constexpr const char* Description = "DESCRIPTION";
constexpr const char* Controller = "CONTROLLER_INFO";
constexpr const char* Model = "MODEL";
constexpr const char* Firmware = "FIRMWARE";
constexpr const char* Serial = "SERIAL";
constexpr const char* Mac = "MAC";
} // namespace Name

// An f-number as the nearest double to its written form: 1.8, not the
// single-precision 1.7999999523.
double asWritten(float fNumber) { return FNumbers::shortest(double(fNumber)).toDouble(); }
} // namespace

FocuserProperties::FocuserProperties(LensFocuser& focuser, LensRequests& requests)
    : m_focuser(focuser)
    , m_requests(requests)
{ }

void FocuserProperties::initialise()
{
    const char* device = m_focuser.getDeviceName();

    // The maximum is the lens's focus travel: clients read it, nobody sets it.
    m_focuser.FocusMaxPosNP.p = IP_RO;
    m_focuser.FocusMaxPosN[0].min = 0;
    m_focuser.FocusMaxPosN[0].value = 0;
    m_focuser.FocusAbsPosN[0].max = 0;
    m_focuser.FocusRelPosN[0].max = 0;

    IUFillNumber(&m_apertureN[0], Name::FNumber, qUtf8Printable(tr("f-number")), "%g", 0, 0, 0, 0);
    IUFillNumberVector(&m_apertureNP, m_apertureN, 1, device, Name::Aperture, qUtf8Printable(tr("Aperture")), LensGroup,
                       IP_RW, 0, IPS_IDLE);
    IUFillText(&m_stopsT[0], Name::FNumbers, qUtf8Printable(tr("f-numbers")), "");
    IUFillTextVector(&m_stopsTP, m_stopsT, 1, device, Name::Stops, qUtf8Printable(tr("Aperture stops")), LensGroup,
                     IP_RO, 0, IPS_IDLE);
    IUFillNumber(&m_zoomN[0], Name::FocalLength, qUtf8Printable(tr("Focal length (mm)")), "%.0f", 0, 0, 1, 0);
    IUFillNumberVector(&m_zoomNP, m_zoomN, 1, device, Name::Zoom, qUtf8Printable(tr("Zoom")), LensGroup, IP_RW, 0,
                       IPS_IDLE);
    IUFillSwitch(&m_stabiliserS[0], Name::StabiliserOn, qUtf8Printable(tr("On")), ISS_OFF);
    IUFillSwitch(&m_stabiliserS[1], Name::StabiliserOff, qUtf8Printable(tr("Off")), ISS_ON);
    IUFillSwitchVector(&m_stabiliserSP, m_stabiliserS, 2, device, Name::Stabiliser, qUtf8Printable(tr("Stabiliser")),
                       LensGroup, IP_RW, ISR_1OFMANY, 0, IPS_IDLE);
    IUFillSwitch(&m_reinitS[0], Name::ReinitNow, qUtf8Printable(tr("Re-initialise")), ISS_OFF);
    IUFillSwitchVector(&m_reinitSP, m_reinitS, 1, device, Name::Reinit, qUtf8Printable(tr("Focus drive")), LensGroup,
                       IP_RW, ISR_ATMOST1, 0, IPS_IDLE);
    IUFillText(&m_lensT[0], Name::Description, qUtf8Printable(tr("Lens")), "");
    IUFillTextVector(&m_lensTP, m_lensT, 1, device, Name::Lens, qUtf8Printable(tr("Lens")), LensGroup, IP_RO, 0,
                     IPS_IDLE);
    IUFillText(&m_controllerT[0], Name::Model, qUtf8Printable(tr("Model")), "");
    IUFillText(&m_controllerT[1], Name::Firmware, qUtf8Printable(tr("Firmware")), "");
    IUFillText(&m_controllerT[2], Name::Serial, qUtf8Printable(tr("Serial number")), "");
    IUFillText(&m_controllerT[3], Name::Mac, qUtf8Printable(tr("MAC address")), "");
    IUFillTextVector(&m_controllerTP, m_controllerT, 4, device, Name::Controller, qUtf8Printable(tr("Controller")),
                     INFO_TAB, IP_RO, 0, IPS_IDLE);
}

void FocuserProperties::connected()
{
    m_connected = true;
    setDefined(m_controllerTP, m_controllerDefined, true);
    setDefined(m_lensTP, m_lensDefined, true);
    setDefined(m_reinitSP, m_reinitDefined, true);
}

void FocuserProperties::disconnected()
{
    m_connected = false;
    setDefined(m_apertureNP, m_apertureDefined, false);
    setDefined(m_stopsTP, m_stopsDefined, false);
    setDefined(m_zoomNP, m_zoomDefined, false);
    setDefined(m_stabiliserSP, m_stabiliserDefined, false);
    setDefined(m_reinitSP, m_reinitDefined, false);
    setDefined(m_lensTP, m_lensDefined, false);
    setDefined(m_controllerTP, m_controllerDefined, false);
    // What the lens reported belongs to this connection.
    m_fNumbers.clear();
    m_zoomRange.reset();
}

bool FocuserProperties::handleNumber(const char* name, const double values[], char* names[], int n)
{
    const bool aperture = std::strcmp(name, Name::Aperture) == 0;
    if (!aperture && std::strcmp(name, Name::Zoom) != 0)
        return false;
    const int index = IUFindIndex(aperture ? Name::FNumber : Name::FocalLength, names, unsigned(qMax(n, 0)));
    bool taken = false;
    if (index >= 0)
        taken = aperture ? m_requests.requestFNumber(values[index]) : m_requests.requestZoom(values[index]);
    showRequestState(aperture ? LensProperty::Aperture : LensProperty::Zoom, taken ? IPS_OK : IPS_ALERT);
    return true;
}

bool FocuserProperties::handleSwitch(const char* name, const ISState states[], char* names[], int n)
{
    const bool stabiliser = std::strcmp(name, Name::Stabiliser) == 0;
    if (!stabiliser && std::strcmp(name, Name::Reinit) != 0)
        return false;
    const char* on = IUFindOnSwitchName(const_cast<ISState*>(states), names, n);
    bool taken = false;
    if (stabiliser && on)
        taken = m_requests.requestStabiliser(std::strcmp(on, Name::StabiliserOn) == 0);
    else if (on && std::strcmp(on, Name::ReinitNow) == 0)
        taken = m_requests.requestFocusReinitialisation();
    showRequestState(stabiliser ? LensProperty::Stabiliser : LensProperty::FocusReinitialisation,
                     taken ? IPS_OK : IPS_ALERT);
    return true;
}

void FocuserProperties::saveConfigItems(FILE* file) { IUSaveConfigNumber(file, &m_focuser.PresetNP); }

void FocuserProperties::showFocusRange(int maximum)
{
    if (m_focuser.FocusMaxPosN[0].value == maximum && m_focuser.FocusAbsPosN[0].max == maximum)
        return;
    m_focuser.FocusMaxPosN[0].value = maximum;
    m_focuser.FocusMaxPosN[0].max = qMax(double(maximum), m_focuser.FocusMaxPosN[0].max);
    m_focuser.FocusAbsPosN[0].min = 0;
    m_focuser.FocusAbsPosN[0].max = maximum;
    m_focuser.FocusRelPosN[0].min = 0;
    m_focuser.FocusRelPosN[0].max = maximum;
    m_focuser.SyncPresets(uint32_t(maximum));
    if (!m_connected)
        return;
    IUUpdateMinMax(&m_focuser.FocusAbsPosNP);
    IUUpdateMinMax(&m_focuser.FocusRelPosNP);
    IDSetNumber(&m_focuser.FocusMaxPosNP, nullptr);
}

void FocuserProperties::showFocusPosition(int position)
{
    if (m_focuser.FocusAbsPosN[0].value == position)
        return;
    m_focuser.FocusAbsPosN[0].value = position;
    if (m_connected)
        IDSetNumber(&m_focuser.FocusAbsPosNP, nullptr);
}

void FocuserProperties::showFocusState(IPState state)
{
    for (INumberVectorProperty* property : {&m_focuser.FocusAbsPosNP, &m_focuser.FocusRelPosNP}) {
        if (property->s == state)
            continue;
        property->s = state;
        if (m_connected)
            IDSetNumber(property, nullptr);
    }
}

void FocuserProperties::showApertures(const QVector<float>& fNumbers)
{
    const bool changed = fNumbers != m_fNumbers;
    m_fNumbers = fNumbers;
    const bool wanted = m_connected && !fNumbers.isEmpty();
    if (!fNumbers.isEmpty()) {
        // The table runs from the widest aperture (smallest f-number) up.
        m_apertureN[0].min = asWritten(fNumbers.first());
        m_apertureN[0].max = asWritten(fNumbers.last());
        QStringList stops;
        for (float fNumber : fNumbers)
            stops << FNumbers::shortest(fNumber);
        IUSaveText(&m_stopsT[0], qUtf8Printable(stops.join(QLatin1Char(' '))));
    }
    if (changed && wanted && m_apertureDefined) {
        IUUpdateMinMax(&m_apertureNP);
        IDSetText(&m_stopsTP, nullptr);
    }
    setDefined(m_apertureNP, m_apertureDefined, wanted);
    setDefined(m_stopsTP, m_stopsDefined, wanted);
}

void FocuserProperties::showFNumber(std::optional<float> fNumber)
{
    if (!fNumber || m_apertureN[0].value == asWritten(*fNumber))
        return;
    m_apertureN[0].value = asWritten(*fNumber);
    if (m_apertureDefined)
        IDSetNumber(&m_apertureNP, nullptr);
}

void FocuserProperties::showZoomRange(std::optional<std::pair<int, int>> range)
{
    const bool changed = range != m_zoomRange;
    m_zoomRange = range;
    const bool wanted = m_connected && range.has_value();
    if (range) {
        m_zoomN[0].min = qMin(range->first, range->second);
        m_zoomN[0].max = qMax(range->first, range->second);
    }
    if (changed && wanted && m_zoomDefined)
        IUUpdateMinMax(&m_zoomNP);
    setDefined(m_zoomNP, m_zoomDefined, wanted);
}

void FocuserProperties::showZoom(std::optional<int> millimetres)
{
    if (!millimetres || m_zoomN[0].value == *millimetres)
        return;
    m_zoomN[0].value = *millimetres;
    if (m_zoomDefined)
        IDSetNumber(&m_zoomNP, nullptr);
}

void FocuserProperties::showStabiliser(bool switchable, bool active)
{
    m_stabiliserSwitchable = switchable;
    const ISState on = active ? ISS_ON : ISS_OFF;
    const bool changed = m_stabiliserS[0].s != on;
    m_stabiliserS[0].s = on;
    m_stabiliserS[1].s = active ? ISS_OFF : ISS_ON;
    const bool wanted = m_connected && switchable;
    if (changed && m_stabiliserDefined)
        IDSetSwitch(&m_stabiliserSP, nullptr);
    setDefined(m_stabiliserSP, m_stabiliserDefined, wanted);
}

void FocuserProperties::showLensDescription(const QString& description)
{
    setText(m_lensTP, 0, description, m_lensDefined);
}

void FocuserProperties::showIdentity(const QString& model, const QString& firmware, const QString& serial,
                                     const QString& mac)
{
    const QString texts[] = {model, firmware, serial, mac};
    for (int index = 0; index < 4; ++index)
        setText(m_controllerTP, index, texts[index], m_controllerDefined);
}

void FocuserProperties::showControllerState(IPState state)
{
    if (m_controllerTP.s == state)
        return;
    m_controllerTP.s = state;
    if (m_controllerDefined)
        IDSetText(&m_controllerTP, nullptr);
}

void FocuserProperties::showRequestState(LensProperty property, IPState state)
{
    switch (property) {
    case LensProperty::Aperture:
        m_apertureNP.s = state;
        if (m_apertureDefined)
            IDSetNumber(&m_apertureNP, nullptr);
        break;
    case LensProperty::Zoom:
        m_zoomNP.s = state;
        if (m_zoomDefined)
            IDSetNumber(&m_zoomNP, nullptr);
        break;
    case LensProperty::Stabiliser:
        m_stabiliserSP.s = state;
        if (m_stabiliserDefined)
            IDSetSwitch(&m_stabiliserSP, nullptr);
        break;
    case LensProperty::FocusReinitialisation:
        // A button: it springs back once the request is taken.
        m_reinitS[0].s = ISS_OFF;
        m_reinitSP.s = state;
        if (m_reinitDefined)
            IDSetSwitch(&m_reinitSP, nullptr);
        break;
    }
}

template <typename Property>
void FocuserProperties::setDefined(Property& property, bool& defined, bool wanted)
{
    if (wanted && !defined)
        m_focuser.defineProperty(&property);
    else if (!wanted && defined)
        m_focuser.deleteProperty(property.name);
    defined = wanted;
}

void FocuserProperties::setText(ITextVectorProperty& property, int index, const QString& text, bool defined)
{
    const QByteArray value = text.toUtf8();
    if (value == property.tp[index].text)
        return;
    IUSaveText(&property.tp[index], value.constData());
    if (defined)
        IDSetText(&property, nullptr);
}
