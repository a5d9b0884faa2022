// Decoder entry points driven by arbitrary bytes: each libFuzzer target calls one, and the corpus replay
// test runs every stored input through them in the ordinary build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vfuzz {

// Raw TNS stream: packet headers, markers, DATA packets, TTC primitives.
int FuzzPacketReader(const uint8_t* data, size_t size);
// Status, warning, simple reply, negotiation and logon replies.
int FuzzStatusReader(const uint8_t* data, size_t size);
// Describe replies (functions 43 and 98) and the open-cursor reply.
int FuzzDescribeReader(const uint8_t* data, size_t size);
// Replies of the combined call: row header, row data into defines of every type, bind vectors.
int FuzzRowReader(const uint8_t* data, size_t size);
// Server strings, connect descriptors and tnsnames.ora files.
int FuzzConnectString(const uint8_t* data, size_t size);
// Current generation: ACCEPT, REFUSE, REDIRECT and RESEND answers, the network-services answer, packets with
// 4-byte lengths and markers.
int FuzzCurrentTnsReader(const uint8_t* data, size_t size);
// Current generation: negotiation replies, both logon replies, call ends with errors, warnings, piggybacks.
int FuzzCurrentTtcReader(const uint8_t* data, size_t size);
// Current generation: date-time, interval, BOOLEAN, UROWID and binary float values, alone and in a fetch.
int FuzzCurrentTypesReader(const uint8_t* data, size_t size);
// Current generation: LOB call replies, rows with LOB locators and LONG values, LOB text.
int FuzzCurrentLobReader(const uint8_t* data, size_t size);
// Current generation: the outputs of a PL/SQL block (I/O vector, values, a REF CURSOR's select list, LOB
// locators) stored into bind buffers.
int FuzzCurrentBindReader(const uint8_t* data, size_t size);

} // namespace vfuzz
