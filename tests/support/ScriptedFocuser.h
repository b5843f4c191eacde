#pragma once

#include "alpaca/AlpacaFocuser.h"

#include <QStringList>

// A lens controller as the Alpaca devices see it, set up by the test: its
// link state, identity, focus and lens facts are plain members, and every
// order that would reach the controller is logged ("moveTo 500", "halt",
// "setFNumber 5.6", "setZoom 35", "setStabiliser on", "reconnect"). The
// HTTP side of the Alpaca server is tested on it; the server itself drives
// real controllers (lensdesk-sim in the contract tests).
class ScriptedFocuser final : public AlpacaFocuser
{
public:
    explicit ScriptedFocuser(const QString& address);

    QString controllerAddress;
    Link linkState = Link::Connected;
    QString problem;
    // The link state reconnect() leads to.
    Link afterReconnect = Link::Connected;
    Identity facts;
    QString lens;
    bool focusRange = true;
    int focusPosition = 0;
    int focusMaxStep = 1000;
    Motion motionState = Motion::Idle;
    QString motionText;
    // Non-empty: moves and lens orders are refused with this reason.
    QString refusal;
    QVector<float> lensFNumbers;
    std::optional<float> currentFNumber;
    bool powerZoom = false;
    std::optional<std::pair<int, int>> lensZoomRange;
    std::optional<int> currentZoom;
    bool stabiliser = false;

    QStringList orders;

    QString address() const override { return controllerAddress; }
    Link link() const override { return linkState; }
    QString linkProblem() const override { return problem; }
    void reconnect() override;
    Identity identity() const override { return facts; }
    QString lensDescription() const override { return lens; }
    bool hasFocusRange() const override { return focusRange; }
    int position() const override { return focusPosition; }
    int maxStep() const override { return focusMaxStep; }
    Motion motion() const override { return motionState; }
    QString motionMessage() const override { return motionText; }
    // The test moves the time along by setting motionState.
    void catchUp() override { }
    bool moveTo(int position, QString* why) override;
    void halt() override;
    QVector<float> fNumbers() const override { return lensFNumbers; }
    std::optional<float> fNumber() const override { return currentFNumber; }
    bool setFNumber(float fNumber, QString* why) override;
    bool hasPowerZoom() const override { return powerZoom; }
    std::optional<std::pair<int, int>> zoomRange() const override { return lensZoomRange; }
    std::optional<int> zoom() const override { return currentZoom; }
    bool setZoom(int millimetres, QString* why) override;
    bool hasStabiliser() const override { return stabiliser; }
    bool setStabiliser(bool on, QString* why) override;

private:
    bool order(const QString& text, QString* why);
};
