#pragma once

#include <QByteArray>

// Constants of the terminal protocol (ZTP, docs/terminal-protocol.md) shared by
// the client link and the terminal simulator.
namespace ztp {

inline constexpr char kVersion[] = "ZTP/2";

// Longest line either side accepts, line feed included. A longer line is a
// protocol error, so a peer can never make the other read without bound.
constexpr int kMaxLineBytes = 1024;

// Length of each side's challenge in bytes (sent as twice as many hex digits).
constexpr int kNonceBytes = 16;

// Length of a proof or of a stream's authentication code in hex digits (HMAC-SHA256).
constexpr int kCodeHexDigits = 64;

// Error codes a terminal sends in "ERR <code> <text>".
namespace err {
constexpr int kNoData = 0;         // nothing to report / log empty
constexpr int kUnknownRequest = 1; // request word not known
constexpr int kBadRequest = 2;     // wrong arguments
constexpr int kUnknownMachine = 3; // machine number is not this terminal's
constexpr int kNotAuthenticated = 4;
constexpr int kBadKey = 5;         // the proof does not match the terminal's key
constexpr int kBusy = 6;           // terminal cannot serve now
constexpr int kLogUnavailable = 7; // the punch log cannot be read
constexpr int kNotLoaded = 8;      // READ before a successful LOAD
constexpr int kNotPrepared = 9;    // PREPARE refused
constexpr int kBadCode = 10;       // a request's authentication code does not match
} // namespace err

// Error codes the client reports itself when it cannot ask the terminal.
namespace local {
constexpr int kNotConnected = -1;
constexpr int kTimedOut = -2;
constexpr int kLinkClosed = -3;
constexpr int kProtocolError = -4;
constexpr int kNotAuthentic = -5;   // the terminal's proof or the stream's code is wrong
constexpr int kTooManyPunches = -6; // the log exceeds the link's limit for one download
} // namespace local

} // namespace ztp
