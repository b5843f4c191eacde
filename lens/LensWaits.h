#pragma once

// Waits of the absolute moves (zoom slider release, set-point recall).
namespace LensWaits {

// The controller confirms a finished absolute move ("zoomDone", "focusDone",
// "irisDone"). A full zoom or focus travel takes a few seconds; a move still
// unconfirmed after this long is given up and the controls are restored.
constexpr int MoveConfirmTimeoutMs = 10000;

// A halted focus move may still be confirmed ("focusDone") or not, as the
// controller has it; a focus move asked for after a halt waits for the
// confirmation at most this long before its command goes out, so that a late
// one is not taken for its own end.
constexpr int HaltSettleMs = 500;

// A recall gives the controller this long to settle before its zoom command
// and again before its aperture command.
constexpr int RecallBeforeZoomMs = 200;
constexpr int RecallBeforeApertureMs = 200;

// How long the status bar says that a move was not confirmed.
constexpr int UnconfirmedMessageMs = 5000;

} // namespace LensWaits
