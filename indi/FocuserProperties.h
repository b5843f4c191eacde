#pragma once

#include <indiapi.h>

#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <cstdio>
#include <optional>
#include <utility>

class LensFocuser;
class LensRequests;

// Every access to the driver's INDI properties, the standard focuser ones
// that INDI::Focuser keeps as members and the lens's own, is in this one
// class. libindi 2 renamed the focuser's property members and changed their
// types; porting the driver means porting this file. The rest of the driver
// speaks in plain values (positions, f-numbers, texts) and INDI's states.
//
// Each show...() sends a property to the clients only when what they see
// changes, so that a stream of identical reports costs the clients nothing.
//
// The lens's own properties (names are stable; clients and scripts use them):
//   LENS_APERTURE.F_NUMBER          number, the f-number; set: the aperture moves there
//   LENS_APERTURE_STOPS.F_NUMBERS   text, read-only: the f-numbers the lens takes
//   LENS_ZOOM.FOCAL_LENGTH          number, mm; power-zoom lenses only
//   LENS_STABILIZER                 switch: STABILIZER_ON, STABILIZER_OFF
//   LENS_FOCUS_REINIT.REINIT        switch: re-initialise the focus drive
//   LENS_INFO.DESCRIPTION           text, read-only: the lens as the controller names it
//   CONTROLLER_INFO                 text, read-only: MODEL, FIRMWARE, SERIAL, MAC; its state
//                                   is the controller's: Busy identifying, Ok, Alert not answering
class FocuserProperties
{
    Q_DECLARE_TR_FUNCTIONS(FocuserProperties)

public:
    FocuserProperties(LensFocuser& focuser, LensRequests& requests);
    FocuserProperties(const FocuserProperties&) = delete;
    FocuserProperties& operator=(const FocuserProperties&) = delete;

    // From initProperties(), after the base class's: the lens's properties
    // and the focuser's maximum made read-only (it is the lens's).
    void initialise();
    // From updateProperties(): the lens's properties that always exist while
    // connected are defined; on disconnecting every lens property goes.
    void connected();
    void disconnected();

    // A client's request to one of the lens's properties; false when the
    // property is not one of them.
    bool handleNumber(const char* name, const double values[], char* names[], int n);
    bool handleSwitch(const char* name, const ISState states[], char* names[], int n);

    // What the driver's configuration keeps besides the connection: INDI's
    // focuser presets. The maximum is the lens's and is never stored.
    void saveConfigItems(FILE* file);

    // The standard focuser properties, in positions from 0 to `maximum`.
    void showFocusRange(int maximum);
    void showFocusPosition(int position);
    // ABS_FOCUS_POSITION and REL_FOCUS_POSITION: Busy while a move runs, Ok
    // after it, Alert when it failed.
    void showFocusState(IPState state);

    // The lens's aperture: its f-numbers (none: the property goes) and the
    // latest reported f-number.
    void showApertures(const QVector<float>& fNumbers);
    void showFNumber(std::optional<float> fNumber);
    // The zoom range of a power-zoom lens (none: the property goes) and the
    // latest reported focal length.
    void showZoomRange(std::optional<std::pair<int, int>> range);
    void showZoom(std::optional<int> millimetres);
    // The stabiliser switch exists while the lens has a stabiliser the
    // controller can switch.
    void showStabiliser(bool switchable, bool active);
    void showLensDescription(const QString& description);
    void showIdentity(const QString& model, const QString& firmware, const QString& serial, const QString& mac);
    // CONTROLLER_INFO's state tells how the controller answers: Busy while
    // it is identified, Ok once it is, Alert while it does not answer.
    void showControllerState(IPState state);

    // The state of a lens property after a client's request: Ok when the
    // driver took it, Alert when it refused.
    enum class LensProperty { Aperture, Zoom, Stabiliser, FocusReinitialisation };
    void showRequestState(LensProperty property, IPState state);

private:
    // Defines the property for the clients or deletes it, as `wanted` says.
    template <typename Property>
    void setDefined(Property& property, bool& defined, bool wanted);
    void setText(ITextVectorProperty& property, int index, const QString& text, bool defined);

    LensFocuser& m_focuser;
    LensRequests& m_requests;

    INumber m_apertureN[1];
    INumberVectorProperty m_apertureNP;
    IText m_stopsT[1] = {};
    ITextVectorProperty m_stopsTP;
    INumber m_zoomN[1];
    INumberVectorProperty m_zoomNP;
    ISwitch m_stabiliserS[2];
    ISwitchVectorProperty m_stabiliserSP;
    ISwitch m_reinitS[1];
    ISwitchVectorProperty m_reinitSP;
    IText m_lensT[1] = {};
    ITextVectorProperty m_lensTP;
    IText m_controllerT[4] = {};
    ITextVectorProperty m_controllerTP;

    bool m_connected = false;
    bool m_apertureDefined = false;
    bool m_stopsDefined = false;
    bool m_zoomDefined = false;
    bool m_stabiliserDefined = false;
    bool m_reinitDefined = false;
    bool m_lensDefined = false;
    bool m_controllerDefined = false;
    bool m_stabiliserSwitchable = false;
    QVector<float> m_fNumbers;
    std::optional<std::pair<int, int>> m_zoomRange;
};
