#pragma once

// The error numbers of ASCOM's Alpaca API that this server answers with.
// They travel in the "ErrorNumber" member of a reply that has HTTP status
// 200; 0 means success. Numbers from 0x500 up are the device's own.
namespace AlpacaError {

constexpr int NotImplemented = 0x400;
constexpr int InvalidValue = 0x401;
constexpr int NotConnected = 0x407;
constexpr int InvalidOperation = 0x40B;
constexpr int ActionNotImplemented = 0x40C;

// The controller refused or failed a move ("errorFocus: ..." and the like),
// or never confirmed it within the move's time limit.
constexpr int ControllerFailed = 0x500;
// The controller did not answer the connection exchange, or refused it
// (firmware too old).
constexpr int ControllerUnreachable = 0x501;

} // namespace AlpacaError
