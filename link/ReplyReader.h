#pragma once

#include <QString>
#include <QVector>

// What one answer or report of the controller says about the device.
//
// The controller has no message types: the same text is tested against every
// key in one fixed order, several keys can match one text, some tests take
// their key out of the text before the tests after them run, and three of
// them end the reading (a lens-less report, a focus range, and nothing after
// the gateway). ReplyReader holds that order once; the panel applies the
// facts to its widgets and record, the command-line client to its own record.
struct ReplyFact
{
    enum class Kind {
        Identification,    // text: product name; version: firmware version
        NoLens,            // the controller sees no lens (ends the reading)
        Positions,         // numbers: zoom, focus, f-number, as many as given (up to 3)
        LensDescription,   // text
        Protocol,          // numbers[0]: lens-bus protocol index 0 to 2
        ApertureRange,     // numbers: widest and narrowest f-number; on: the lens has an aperture
        ZoomRange,         // numbers: wide and tele end in mm
        FocusRange,        // numbers: far and near end of the focus travel (ends the reading)
        LensSummary,       // the point where the lens summary is due (no focus range in the text)
        AutoFocus,         // on: the lens's AF switch is on
        StabiliserPresent, // on: the lens has a stabiliser
        StabiliserActive,  // on: stabilisation is switched on
        Name,              // text: the name without NULs, untrimmed; blank when none is set
        FocusTimeout,      // numbers[0]: milliseconds
        ZoomDone,
        ControllerError, // text: the controller's message
        FocusDone,
        IrisDone,
        ZoomPosition,  // numbers[0]
        FocusPosition, // numbers[0]
        IrisPosition,  // numbers[0]: f-number
        Vendor,        // text; on: not blanks only (blanks leave the known text)
        Hardware,      // text
        BootLoader,    // text ("255", sent by the first boot loaders, reads "1")
        Serial,        // text
        Mac,           // text: six decimal octets joined by "-"
        Address,       // text: dotted quad
        Mask,          // text
        Gateway,       // text
    };

    Kind kind;
    QString text;
    QString version;
    QVector<double> numbers;
    bool on = false;

    // Facts that show the controller alive: the liveness monitor's count of
    // unanswered pings starts again from them (the identification does so
    // itself, after its own commands).
    bool provesLife() const;

    // Whether `on` means something for this kind of fact.
    bool hasOnState() const;

    // "zoomRange 18 55", "name cam1": a line for logs and tests.
    QString describe() const;
    // The kind's name as written by describe(): "zoomRange".
    static QString kindName(Kind kind);
};

namespace ReplyReader {

// True for the one datagram that identifies a controller: a known model name
// at the very start, followed by "=" and the firmware version. Model names
// can turn up inside other answers (a vendor text, a lens text), which must
// never pass for an identification.
bool isIdentification(const QString& text);

// The facts in one reply's text, in the order they are to be applied.
QVector<ReplyFact> read(QString text);

} // namespace ReplyReader
