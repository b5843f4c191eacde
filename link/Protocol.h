#pragma once

#include <QtGlobal>

// The controller's command words and the keys of its answers, in one place.
// Every command is one Latin-1 text in one UDP datagram to port 1339; every
// answer is one text in one datagram back to the socket that asked.

namespace Protocol {

constexpr quint16 ControllerPort = 1339;

// Questions and orders. Words with "%1" take one argument; the motion and
// limit-search words are sent as "word=value".
namespace Command {
constexpr const char* Version = "ver";
constexpr const char* BootLoaderVersion = "blver";
constexpr const char* GetProtocol = "getProto";
constexpr const char* FlagNormal = "setFLAG=99";
constexpr const char* FlagUpdate = "setFLAG=0";
constexpr const char* FirmwareNetInit = "fwNETInit";
constexpr const char* RestartForUpdate = "Restart";
constexpr const char* GetName = "getNAME";
constexpr const char* SetName = "setNAME=%1";
constexpr const char* GetSerial = "getSN";
constexpr const char* GetMac = "getMAC";
constexpr const char* GetHardware = "getHW";
constexpr const char* GetVendor = "getVENDOR";
constexpr const char* SetSerial = "setSN=%1";
constexpr const char* SetMac = "ChangeMAC=%1";
constexpr const char* SetHardware = "setHW=%1";
constexpr const char* SetVendor = "setVND=%1";
constexpr const char* Ping = "ping";
constexpr const char* GetAddress = "getIP";
constexpr const char* GetMask = "getMASK";
constexpr const char* GetGateway = "getGW";
constexpr const char* SetAddress = "ChangeIP=%1";
constexpr const char* SetMask = "ChangeMASK=%1";
constexpr const char* SetGateway = "ChangeGW=%1";
constexpr const char* DhcpOn = "setDHCP=1";
constexpr const char* DhcpOff = "setDHCP=0";
constexpr const char* Reboot = "Reboot";
constexpr const char* SetProtocol = "setProto=%1";
constexpr const char* FocusReInit = "refRange";
constexpr const char* GetFocusTimeout = "setFocusT";
constexpr const char* SetFocusTimeout = "setFocusT=%1";
constexpr const char* MoveZoom = "moveZoom";
constexpr const char* MoveFocus = "moveFocus";
constexpr const char* MoveAperture = "moveAper";
constexpr const char* SearchZoomNarrow = "ZoomN";
constexpr const char* SearchZoomWide = "ZoomW";
constexpr const char* SearchFocusNear = "FocusN";
constexpr const char* SearchFocusFar = "FocusF";
constexpr const char* SearchIrisOpen = "IrisO";
constexpr const char* SearchIrisClose = "IrisC";
constexpr const char* SetZoom = "setZoom=%1";
constexpr const char* SetFocus = "setFocus=%1";
constexpr const char* SetFocusRecall = "setFocus2=%1";
constexpr const char* StopFocus = "stopFocus";
constexpr const char* SetAperture = "setAper=%1";
constexpr const char* OpenAperture = "openAper";
constexpr const char* EnableStabiliser = "enableIS=%1";
// The format of the motion and limit-search commands: word and signed step.
constexpr const char* StepFormat = "%1=%2";
} // namespace Command

// Answer keys. "contains" keys may appear anywhere in an answer, "begins"
// keys only at its start (some occur inside other answers).
namespace Answer {
// The three known models; the product name precedes the first "=".
constexpr const char* KnownModels = "(ORVO\\sDuvudER|ORVO\\sRE-2|ORVO\\sKX-MQTR)";
// Only the power-zoom model can drive zoom.
constexpr const char* PowerZoomMark = "MQTR";
constexpr const char* NoLens = "nolensfound";
constexpr const char* Positions = "Current";
constexpr const char* PositionsKey = "Current=";
constexpr const char* LensText = "Lens=";
constexpr const char* Protocol = "Proto="; // begins
constexpr const char* ApertureRange = "aRange";
constexpr const char* ApertureRangeKey = "aRange=";
constexpr const char* ZoomRange = "zRange";
constexpr const char* ZoomRangeKey = "zRange=";
constexpr const char* FocusRange = "fRange";
constexpr const char* FocusRangeKey = "fRange=";
constexpr const char* AutoFocus = "AF=";
constexpr const char* AutoFocusOn = "AF=1"; // begins
constexpr const char* Stabiliser = "IS=";
constexpr const char* StabiliserPresent = "IS=1"; // begins
constexpr const char* StabiliserActive = "ISactive=";
constexpr const char* StabiliserActiveOn = "ISactive=1"; // begins
constexpr const char* Name = "NAME=";
constexpr const char* FocusTimeout = "T="; // begins
constexpr const char* ZoomDone = "zoomDone";
constexpr const char* FocusDone = "focusDone";
constexpr const char* IrisDone = "irisDone";
constexpr const char* ErrorPrefix = "error";
constexpr const char* ErrorFocus = "errorFocus"; // begins
constexpr const char* ErrorParam = "errorParam"; // begins
constexpr const char* ErrorRange = "errorRange"; // begins
constexpr const char* Zoom = "Zoom";
constexpr const char* Focus = "Focus";
constexpr const char* Iris = "Iris";
constexpr const char* Vendor = "VENDOR=";
constexpr const char* Hardware = "HW=";
constexpr const char* BootLoader = "BL=";
constexpr const char* Serial = "SN=";
constexpr const char* Mac = "MAC=";
constexpr const char* Address = "IP=";
constexpr const char* Mask = "MASK=";
constexpr const char* Gateway = "GW=";
} // namespace Answer

// What the controller accepts as values.
namespace Limits {
// It stores at most seven characters of its name.
constexpr int NameLength = 7;
constexpr int FocusTimeoutMinimumMs = 1;
constexpr int FocusTimeoutMaximumMs = 10000;
constexpr int StabiliserMaximumSeconds = 60;
} // namespace Limits

// How the controller keeps time with its peer.
namespace Pacing {
// A controller that has not identified itself this long after "ver" is not
// there.
constexpr int IdentifyLimitMs = 6000;
// It takes the change commands of an address change one at a time.
constexpr int AddressChangeCommandMs = 100;
// After "Reboot" it needs about three seconds before it answers at its new
// address.
constexpr int AddressChangeRestartMs = 3000;
} // namespace Pacing

} // namespace Protocol
