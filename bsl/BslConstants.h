#pragma once
// The numbers the VornBSL wire and the firmware image depend on: sizes, addresses,
// time-outs, pauses and retry counts of the bootloader client, kept in one place.
#include <cstddef>
#include <cstdint>

namespace vorn::bsl {

// --- frames ---
inline constexpr size_t kMaxTextChars = 512;       // largest text argument ("W" block)
inline constexpr size_t kMaxNumbers = 128;         // largest numeric argument list
inline constexpr uint32_t kChecksumModulus = 65535;  // the engine sums modulo 0xFFFF, not 0x10000
inline constexpr char kChecksumMark = '.';
// Letter, 128 five-digit numbers, "." and four checksum digits, CR: the largest frame
// either form of BSLCommand accepts, so the command buffer never has to grow.
inline constexpr size_t kCommandBufferSize = 1 + kMaxNumbers * 5 + 1 + 4 + 1;
inline constexpr size_t kBlockBufferSize = 544;
inline constexpr size_t kAnswerMax = 20;            // bytes of a command answer kept
inline constexpr size_t kHandshakeAnswerMax = 31;   // bytes read per wake-up or check step

// --- log ---
inline constexpr const char* kLogTag = "VornBSL";   // the tag of the client's log lines

// --- wire texts ---
inline constexpr const char* kBootLine = "boot %s\r";
inline constexpr const char* kBootKey = "ZELK";
inline constexpr char kConnectLetter = 'P';
inline constexpr char kPromptChar = '$';
inline constexpr char kConnectedChar = '#';

// --- line speeds ---
inline constexpr uint32_t kInvocationBaud = 9600;   // the running firmware's command speed

// --- time-outs and pauses (ms) ---
inline constexpr uint32_t kAnswerWaitMs = 1000;      // one framed command's answer
inline constexpr uint32_t kRetryPauseMs = 175;       // after every failed attempt
inline constexpr uint32_t kOpenSettleMs = 1000;      // after BSLConnect opens the port
inline constexpr uint32_t kBootAnswerWaitMs = 750;   // for the firmware's answer to "boot"
inline constexpr uint32_t kHandshakeStepMs = 100;    // after CR and after "P"
inline constexpr uint32_t kCheckSettleMs = 1000;     // BSLCheck before its carriage return
inline constexpr uint32_t kCheckAnswerWaitMs = 200;  // BSLCheck after its carriage return
inline constexpr uint32_t kDisconnectPauseMs = 100;
inline constexpr uint32_t kVectorsPauseMs = 50;      // before "V"

// --- retries ---
inline constexpr uint32_t kDefaultTries = 3;

// --- memory layout ---
inline constexpr uint32_t kFlashSegmentBytes = 512;
inline constexpr uint32_t kProtectedStart = 0xFA00;    // never erased as a flash segment
inline constexpr uint32_t kProtectedEnd = 0xFFFF;
inline constexpr uint32_t kSkippedBlockEnd = 0xFDFE;   // blocks starting 0xFA00..here are not loaded
inline constexpr uint32_t kVectorStart = 0xFFE0;
inline constexpr uint32_t kVectorLast = 0xFFFE;
inline constexpr size_t kVectorCount = 16;
inline constexpr uint32_t kErasedWord = 0xFFFF;
inline constexpr uint32_t kAfterProtected = 0x10000;   // erasing goes on here past the protected area
inline constexpr uint32_t kMaxAddress = 0xFFFFF;       // what a five-digit header can hold
inline constexpr uint32_t kMaxFourDigitAddress = 0xFFFF;

// --- upload and progress ---
inline constexpr size_t kBlockChars = 512;          // image characters per "W" (256 bytes)
inline constexpr uint32_t kBlockBytes = kBlockChars / 2;
inline constexpr size_t kSegmentHeaderChars = 6;    // "@" and five digits
inline constexpr uint32_t kProgressEveryChars = 512;
inline constexpr uint32_t kEraseReportEvery = 10;   // segments between erase progress reports
inline constexpr int kProgressWorking = 1;
inline constexpr int kProgressDone = 2;

// --- firmware file ---
inline constexpr size_t kFileNameMax = 64;
// The largest flash of any family is under 256 KB, about 800 KB as TI-Text; a file far
// beyond that is not firmware and is refused before anything is allocated for it.
inline constexpr long kMaxTiTextFileBytes = 8L * 1024 * 1024;
inline constexpr size_t kDumpWordsPerLine = 8;

}  // namespace vorn::bsl
