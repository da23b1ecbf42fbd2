// The wire transcript's reader (serial/WireTranscript) on any text, the way vornsim
// --replay reads a transcript from the field. A line that reads is written again and must
// read back the same; the replay's matching of credential and clock lines stays within
// its bounds and agrees with itself on a line it recorded.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/WireTranscript.h"

using namespace vorn::serial;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    std::string_view previous;
    while (start <= input.size()) {
        size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        const std::string_view text = input.substr(start, end - start);
        start = end + 1;
        TranscriptLine line;
        std::string why;
        if (ParseTranscriptLine(text, &line, &why)) {
            TranscriptLine again;
            if (!ParseTranscriptLine(FormatTranscriptLine(line), &again, &why)) __builtin_trap();
            if (again.bytes != line.bytes || again.ms != line.ms || again.event != line.event || again.baud != line.baud ||
                again.masked != line.masked || again.varying != line.varying)
                __builtin_trap();
            if (!MatchesVarying(line.bytes, line.bytes)) __builtin_trap();
            if (line.bytes.find(kCredentialMask) == std::string::npos && !MatchesMasked(line.bytes, line.bytes))
                __builtin_trap();
        }
        // Any two lines as a recorded line and what a host said.
        (void)MatchesMasked(previous, text);
        (void)MatchesVarying(previous, text);
        previous = text;
        if (end == input.size()) break;
    }
    return 0;
}
