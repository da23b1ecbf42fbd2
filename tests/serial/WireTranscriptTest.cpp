#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "serial/WireTranscript.h"
#include "support/LocaleScope.h"
#include "support/TestSupport.h"

using namespace vorn::serial;
using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::WriteFile;

namespace {

std::vector<TranscriptLine> Events(const std::string& path) {
    std::vector<TranscriptEvent> events;
    std::string why;
    EXPECT_TRUE(ReadTranscript(path, &events, &why)) << why;
    std::vector<TranscriptLine> lines;
    for (const TranscriptEvent& e : events) lines.push_back(e.line);
    return lines;
}

std::string Shown(const std::vector<TranscriptLine>& lines) {
    std::string text;
    for (TranscriptLine line : lines) {
        line.ms = 0;
        text += FormatTranscriptLine(line) + "\n";
    }
    return text;
}

}  // namespace

// The times and speeds are plain digits whatever the C library's locale (a German
// session's QApplication sets a decimal comma).
TEST(WireTranscript, EveryLineReadsBackAsItWasWritten) {
    vorn::test::LocaleScope comma(vorn::test::kCommaLocale);
    ASSERT_TRUE(comma.Active());
    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
    auto line = [](WireEvent e, uint32_t baud, std::string bytes, bool masked = false, bool varying = false) {
        TranscriptLine l;
        l.ms = 4294967296ULL + 17;
        l.event = e;
        l.baud = baud;
        l.bytes = std::move(bytes);
        l.masked = masked;
        l.varying = varying;
        return l;
    };
    const TranscriptLine lines[] = {
        line(WireEvent::kOpen, 9600, "/dev/serial/by-id/usb-FTDI \"A\"-if00"),
        line(WireEvent::kBaud, 38400, ""),
        line(WireEvent::kSent, 57600, everyByte),
        line(WireEvent::kReceived, 9600, "\r\\RW 1.02\r>\t\n"),
        line(WireEvent::kSent, 9600, "set -passwd ********\r", true),
        line(WireEvent::kSent, 9600, "set -t 9:5:7\r", false, true),
        line(WireEvent::kReceived, 9600, "\r00000000\r>", true),
        line(WireEvent::kPurge, 0, ""),
        line(WireEvent::kHangUp, 0, ""),
        line(WireEvent::kClose, 0, ""),
    };
    for (const TranscriptLine& l : lines) {
        const std::string text = FormatTranscriptLine(l);
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
        TranscriptLine back;
        std::string why;
        ASSERT_TRUE(ParseTranscriptLine(text, &back, &why)) << text << ": " << why;
        EXPECT_EQ(back.ms, l.ms);
        EXPECT_EQ(back.event, l.event);
        EXPECT_EQ(back.baud, l.baud);
        EXPECT_EQ(back.bytes, l.bytes) << text;
        EXPECT_EQ(back.masked, l.masked);
        EXPECT_EQ(back.varying, l.varying);
    }
    EXPECT_EQ(FormatTranscriptLine(lines[4]), "4294967313 TX* 9600 \"set -passwd ********\\r\"");
    EXPECT_EQ(FormatTranscriptLine(lines[1]), "4294967313 BAUD 38400");

    const char* refused[] = {
        "",
        "12",
        "x TX 9600 \"a\"",
        "12 SEND 9600 \"a\"",
        "12 TX \"a\"",
        "12 TX 0 \"a\"",
        "12 TX 9600 a",
        "12 TX 9600 \"a",
        "12 TX 9600 \"a\"b\"",
        "12 TX 9600 \"\\q\"",
        "12 TX 9600 \"\\x4\"",
        "12 TX 9600 \"\\xZZ\"",
        "12 PURGE*",
        "12 RX~ 9600 \"a\"",
        "12 CLOSE now",
        "12 BAUD",
    };
    for (const char* text : refused) {
        TranscriptLine back;
        std::string why;
        EXPECT_FALSE(ParseTranscriptLine(text, &back, &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

TEST(WireTranscript, AReplayAcceptsAnotherCredentialOrTimeButNothingElse) {
    struct Case {
        const char* recorded;
        const char* host;
        bool masked;  // else varying
        bool same;
    };
    const Case cases[] = {
        {"set -passwd ********\r", "set -passwd s3cret\r", true, true},
        {"set -passwd ********\r", "set -passwd \r", true, true},
        {"set -passwd ********\r", "set -passwd s3cret\rboot ZELK\r", true, false},
        {"set -passwd ********\r", "set -passwe s3cret\r", true, false},
        {"set -passwd ********\r", "set -passwd s3cret", true, false},
        {"a ******** b ********\r", "a x b y\r", true, true},
        {"set -t 9:5:7\r", "set -t 23:59:0\r", false, true},
        {"set -sec 820584000\r", "set -sec 820584123\r", false, true},
        {"set -t 9:5:7\r", "set -t 9:5\r", false, false},
        {"set -t 9:5:7\r", "set -t 9:x:7\r", false, false},
        {"set -t 9:5:7\r", "set -d 9:5:7\r", false, false},
    };
    for (const Case& c : cases) {
        const bool got = c.masked ? MatchesMasked(c.recorded, c.host) : MatchesVarying(c.recorded, c.host);
        EXPECT_EQ(got, c.same) << c.recorded << " / " << c.host;
    }
    EXPECT_EQ(AnswerStandIn("Tr0ub4dor&3"), "xx0x000xxx0");
}

// A credential never reaches the file, whichever way it crosses the wire; what stands in
// for it keeps the answer's form, and the rest of the record is left whole.
TEST(WireTranscript, CredentialsAreTakenOutOfEveryLineThatCarriesThem) {
    TempDir dir;
    const std::string path = dir.File("wire.txt");
    {
        WireTranscript t;
        ASSERT_EQ(t.Start(path, "test"), 0);
        t.Opened("ttyUSB0", 9600);
        // Set: the value is known first.
        t.BeginCredential();
        t.Credential("Tr0ub4dor");
        t.Sent("set -passwd Tr0ub4dor\r", 9600);
        t.Received("set -passwd Tr0ub4dor\r\rOK\r>", 9600);  // a device that echoes
        t.EndCredential();
        // Get: the value is told once the answer was read, before the next line.
        t.BeginCredential();
        t.Sent("get -authkey\r", 9600);
        t.Received("\rA1B2C3D4", 9600);
        t.Received("\r>", 9600);
        t.EndCredential();
        t.Credential("A1B2C3D4");
        // A get whose value could not be told: every word of the answer.
        t.BeginCredential();
        t.Sent("get -passwd\r", 9600);
        t.Received("\rsomething odd\r>", 9600);
        t.EndCredential();
        // A short credential is taken out of its own exchange only.
        t.BeginCredential();
        t.Credential("k1");
        t.Sent("set -passwd k1\r", 9600);
        t.EndCredential();
        // Later lines lose the long ones wherever they appear.
        t.Sent("get -x\r", 9600);
        t.Received("\rTr0ub4dor A1B2C3D4 k1\r>", 9600);
        // An answer owed by such an exchange: masked whatever is known.
        t.BeginCredential(true);
        t.Credential("");
        t.Received("\rlate\r>", 9600);
        t.EndCredential();
        t.Closed();
    }
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.find("Tr0ub4dor"), std::string::npos) << text;
    EXPECT_EQ(text.find("A1B2C3D4"), std::string::npos) << text;
    EXPECT_EQ(Shown(Events(path)),
              "0 OPEN 9600 \"ttyUSB0\"\n"
              "0 TX* 9600 \"set -passwd ********\\r\"\n"
              "0 RX* 9600 \"set -passwd xx0x000xx\\r\\rOK\\r>\"\n"
              "0 TX 9600 \"get -authkey\\r\"\n"
              "0 RX* 9600 \"\\r00000000\"\n"
              "0 RX 9600 \"\\r>\"\n"
              "0 TX 9600 \"get -passwd\\r\"\n"
              "0 RX* 9600 \"\\r********\\r>\"\n"
              "0 TX* 9600 \"set -passwd ********\\r\"\n"
              "0 TX 9600 \"get -x\\r\"\n"
              "0 RX* 9600 \"\\rxx0x000xx 00000000 k1\\r>\"\n"
              "0 RX* 9600 \"\\r********\\r>\"\n"
              "0 CLOSE\n");
}

TEST(WireTranscript, AnEarlierTranscriptIsReplacedAndNoOtherFile) {
    vorn::test::LocaleScope comma(vorn::test::kCommaLocale);
    ASSERT_TRUE(comma.Active());
    TempDir dir;
    const std::string path = dir.File("wire.txt");
    WireTranscript t;
    ASSERT_EQ(t.Start(path, "first"), 0);
    t.Sent("a", 9600);
    t.Stop();
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(t.Start(path, "second"), 0);
    t.Stop();
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("# second, "), std::string::npos);
    // The remark's time: "2026-12-11 09:05:07 UTC", digits and dashes in any locale.
    const size_t at = text.find("# second, ") + 10;
    EXPECT_EQ(text.substr(at + 19, 5), " UTC\n") << text;
    for (size_t i = at; i < at + 19; ++i) EXPECT_NE(std::string("0123456789-: ").find(text[i]), std::string::npos) << text;
    EXPECT_EQ(Events(path).size(), 0u);

    const std::string firmware = dir.File("readwell-2.00.txt");
    WriteFile(firmware, "@3100\n31 40\nq\n");
    EXPECT_EQ(t.Start(firmware, "oops"), -EEXIST);
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(ReadFile(firmware), "@3100\n31 40\nq\n");
    std::vector<TranscriptEvent> events;
    std::string why;
    EXPECT_FALSE(ReadTranscript(firmware, &events, &why));
    EXPECT_NE(why.find("is not a wire transcript"), std::string::npos) << why;
    WriteFile(path, std::string(kTranscriptHeader) + "\n12 TX 9600 \"a\"\n13 NOPE\n");
    EXPECT_FALSE(ReadTranscript(path, &events, &why));
    EXPECT_NE(why.find("line 3 of "), std::string::npos) << why;
}
