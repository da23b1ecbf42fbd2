// Compiled by setting_row_format_test.sh, never linked: a setting row whose texts do not
// take what the executor passes for the row's kind, or a typed log line whose conversions
// are not its arguments, must not compile. VORN_ROW names the
// fault; without it the row is right and must compile, so a failure is the fault's alone.
#include "device/SettingRow.h"

using namespace vorn::protocol::rows;

#ifndef VORN_ROW
#define VORN_ROW 0
#endif

constexpr bool kTextSetLine = VORN_ROW == 1;    // "%s" where an Int row sends its number
constexpr bool kNumberLog = VORN_ROW == 2;      // "%d" where a Text row logs its text
constexpr bool kUnknownFormat = VORN_ROW == 3;  // a conversion the tables never use
constexpr bool kMissingMs = VORN_ROW == 4;      // the milliseconds left out of a log line
constexpr bool kTypedText = VORN_ROW == 5;      // "%s" in a log line typed (number, milliseconds)

constexpr SettingRow kReport = Checked({
    .op = "ReportCommand",
    .gate = Gate::Capability,
    .capability = 1,
    .setLine = kTextSetLine ? "set -report %s\r" : "set -report %d\r",
    .getLine = "get -report\r",
    .kind = Kind::Int,
    .setLog = kUnknownFormat ? "ReportCommand set report mode to %x (%d ms)" : "ReportCommand set report mode to %d (%d ms)",
    .getLog = kMissingMs ? "ReportCommand found device report mode %d" : "ReportCommand found device report mode %d (%d ms)",
    .notFoundLog = "ReportCommand could not find device report mode (%d ms)"});

constexpr SettingRow kSite = Checked({
    .op = "SiteCommand",
    .setLine = "set -site %s\r",
    .getLine = "get -site\r",
    .readMax = 25,
    .fieldMax = 25,
    .setLog = kNumberLog ? "SiteCommand set site to %d (%d ms)" : "SiteCommand set site to \"%s\" (%d ms)",
    .getLog = "SiteCommand found site name \"%s\" (%d ms)"});

const vorn::FormatOf<int, int> kRadioLog = kTypedText ? "set rch to %s (%d ms)" : "set rch to %d (%d ms)";

int main() { return kReport.kind == Kind::Int && kSite.kind == Kind::Text ? 0 : 1; }
