#pragma once
// Wire constants of the TDS protocol as the test server uses them, and its limits.

#include <cstddef>
#include <cstdint>

namespace tds {

// Packet types.
constexpr std::uint8_t kPacketSqlBatch = 0x01;
constexpr std::uint8_t kPacketRpc = 0x03;
constexpr std::uint8_t kPacketReply = 0x04;
constexpr std::uint8_t kPacketAttention = 0x06;
constexpr std::uint8_t kPacketTransaction = 0x0E;
constexpr std::uint8_t kPacketLogin7 = 0x10;
constexpr std::uint8_t kPacketPreLogin = 0x12;

// Packet status bits.
constexpr std::uint8_t kStatusEndOfMessage = 0x01;
constexpr std::uint8_t kStatusIgnore = 0x02;

constexpr std::size_t kHeaderSize = 8;

// Token types.
constexpr std::uint8_t kTokenColMetadata = 0x81;
constexpr std::uint8_t kTokenError = 0xAA;
constexpr std::uint8_t kTokenInfo = 0xAB;
constexpr std::uint8_t kTokenLoginAck = 0xAD;
constexpr std::uint8_t kTokenFeatureExtAck = 0xAE;
constexpr std::uint8_t kTokenRow = 0xD1;
constexpr std::uint8_t kTokenEnvChange = 0xE3;
constexpr std::uint8_t kTokenDone = 0xFD;
constexpr std::uint8_t kTokenDoneProc = 0xFE;
constexpr std::uint8_t kTokenDoneInProc = 0xFF;
constexpr std::uint8_t kTokenReturnStatus = 0x79;
constexpr std::uint8_t kTokenReturnValue = 0xAC;

// DONE status bits and the command code of a SELECT.
constexpr std::uint16_t kDoneFinal = 0x0000;
constexpr std::uint16_t kDoneMore = 0x0001;
constexpr std::uint16_t kDoneError = 0x0002;
constexpr std::uint16_t kDoneCount = 0x0010;
constexpr std::uint16_t kDoneAttention = 0x0020;
constexpr std::uint16_t kCommandSelect = 0xC1;

// ENVCHANGE kinds.
constexpr std::uint8_t kEnvDatabase = 1;
constexpr std::uint8_t kEnvLanguage = 2;
constexpr std::uint8_t kEnvPacketSize = 4;
constexpr std::uint8_t kEnvCollation = 7;

// Column types.
constexpr std::uint8_t kTypeIntN = 0x26;
constexpr std::uint8_t kTypeNVarChar = 0xE7;
constexpr std::uint8_t kTypeNChar = 0xEF;
constexpr std::uint8_t kTypeNText = 0x63;

// The system procedures a driver runs a prepared or parameterised statement with, by the
// ids an RPC request may name them by.
constexpr std::uint16_t kProcExecuteSql = 10;
constexpr std::uint16_t kProcPrepare = 11;
constexpr std::uint16_t kProcExecute = 12;
constexpr std::uint16_t kProcPrepExec = 13;
constexpr std::uint16_t kProcUnprepare = 15;

// PRELOGIN options and ENCRYPTION answers.
constexpr std::uint8_t kPreLoginVersion = 0x00;
constexpr std::uint8_t kPreLoginEncryption = 0x01;
constexpr std::uint8_t kPreLoginInstance = 0x02;
constexpr std::uint8_t kPreLoginThreadId = 0x03;
constexpr std::uint8_t kPreLoginMars = 0x04;
constexpr std::uint8_t kPreLoginTerminator = 0xFF;
constexpr std::uint8_t kEncryptOff = 0x00; // TLS for the login packet only
constexpr std::uint8_t kEncryptOn = 0x01;
constexpr std::uint8_t kEncryptNotSupported = 0x02;
constexpr std::uint8_t kEncryptRequired = 0x03;

// TDS versions as LOGINACK carries them (big-endian on the wire).
constexpr std::uint32_t kTds71 = 0x71000001;
constexpr std::uint32_t kTds72 = 0x72090002;
constexpr std::uint32_t kTds74 = 0x74000004;

// SQL_Latin1_General_CP1_CI_AS: LCID 0x0409, case-insensitive flags, sort order 52.
constexpr std::uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

// Limits. Packets never exceed what a USHORT length field and the protocol allow; a login
// record is at most 128 KB by the protocol; a batch of Quarrow's is a few hundred bytes, so
// 4 MB is generous and still bounds what a hostile client can make the server hold.
constexpr std::size_t kDefaultPacketSize = 4096;
constexpr std::size_t kMinPacketSize = 512;
constexpr std::size_t kMaxPacketSize = 32767;
constexpr std::size_t kMaxLoginBytes = 128 * 1024 - 1;
constexpr std::size_t kMaxPreLoginBytes = 64 * 1024;
constexpr std::size_t kMaxBatchBytes = 4 * 1024 * 1024;

// NVARCHAR(4000): the longest text a legacy script row carries, in UTF-16 units.
constexpr std::size_t kLegacyRowUnits = 4000;
// PLP chunk size in UTF-16 units; scripts longer than this travel in several chunks.
constexpr std::size_t kPlpChunkUnits = 4000;

} // namespace tds
