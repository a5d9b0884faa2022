// Wire vocabulary of the current protocol generation (TNS 315 and later, the TTC of 12c and later), as the
// emulator uses it: packet types and offsets, data flags, TTC message types and function codes.
#pragma once
#include <cstdint>

namespace vemu::net {

// TNS packet types.
constexpr uint8_t kConnect = 1, kAccept = 2, kRefuse = 4, kRedirect = 5, kData = 6, kResend = 11,
                  kMarker = 12, kControl = 14;

// TNS versions: from 315 on, lengths in the packet header take four bytes once the connection is accepted.
constexpr uint16_t kVersionLargeSdu = 315;
constexpr uint16_t kVersionHighest = 319; // what the emulator accepts at most
constexpr uint16_t kVersionDataFlags = 318;

// Offsets in a CONNECT packet.
constexpr size_t kConnVersion = 8, kConnLowestVersion = 10, kConnSdu = 14, kConnDataLength = 24,
                 kConnDataOffset = 26, kConnFlags0 = 32, kConnFlags1 = 33, kConnLargeSdu = 58,
                 kConnMinLength = 74; // the fixed part of a 315+ CONNECT

// Connect-time flags of the network services: the peer has none linked / requires them.
constexpr uint8_t kNaNoServices = 0x08, kNaRequired = 0x10;

// DATA packet flags (two bytes after the header).
constexpr uint16_t kDataEof = 0x0040;
constexpr uint16_t kDataEndOfRpc = 0x0800; // set by some clients on the last packet of a request

// Marker packets: type 1 carries a data byte: 1 break, 2 reset, 3 interrupt.
constexpr uint8_t kMarkBreak = 1, kMarkReset = 2, kMarkInterrupt = 3;

// TTC message types.
constexpr uint8_t kMsgProtocol = 1, kMsgDataTypes = 2, kMsgFunction = 3, kMsgError = 4, kMsgRowHeader = 6,
                  kMsgRowData = 7, kMsgParameter = 8, kMsgStatus = 9, kMsgIoVector = 11, kMsgLobData = 14,
                  kMsgWarning = 15, kMsgDescribeInfo = 16, kMsgPiggyback = 17, kMsgFlushOutBinds = 19,
                  kMsgBitVector = 21;

// TTC function codes.
constexpr uint8_t kFnAuthPhaseOne = 118, kFnAuthPhaseTwo = 115, kFnCloseCursors = 105, kFnCommit = 14,
                  kFnExecute = 94, kFnFetch = 5, kFnLobOp = 96, kFnLogoff = 9, kFnPing = 147,
                  kFnRollback = 15, kFnSetEndToEndAttr = 135, kFnReexecute = 4, kFnReexecuteAndFetch = 78,
                  kFnSessionState = 176;

// Character sets.
constexpr uint16_t kCharsetAl32Utf8 = 873, kCharsetAl16Utf16 = 2000;

// Compile-time capability indexes and the field version of a 19c server.
constexpr size_t kCapFieldVersion = 7, kCapCount = 53;
constexpr uint8_t kFieldVersion19c = 13;
constexpr size_t kRuntimeCapTtc = 6, kRuntimeCapCount = 7;
constexpr uint8_t kRuntimeTtc32k = 0x04;

// Logon modes the client announces.
constexpr uint32_t kAuthModeLogon = 0x1, kAuthModeWithPassword = 0x100;

// AUTH_VERSION_NO of 19.3.0.0.0 in the 18c-and-later layout (8 bits release, 8 update, 4+8+4 the rest).
constexpr uint32_t kVersionNumber19c = (19u << 24) | (3u << 16);

} // namespace vemu::net
