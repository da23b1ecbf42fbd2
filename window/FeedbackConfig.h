#pragma once
// Names, limits and time-outs of the feedback form, kept in one place.
#include <cstdint>

namespace vorn::feedback {

// Per-user preferences: on Windows HKCU\Software\Vornell Devices, Inc\FeedbackForm.
inline constexpr char kSettingsOrganization[] = "Vornell Devices, Inc";
inline constexpr char kSettingsApplication[] = "FeedbackForm";

// Remembered contact details.
inline constexpr char kKeyName[] = "Name";
inline constexpr char kKeyCompany[] = "Company";
inline constexpr char kKeyPhone[] = "Phone";
inline constexpr char kKeyEmail[] = "Email";
inline constexpr char kKeyEmailTo[] = "EmailTo";

// Where the feedback goes. Support staff (and the tests) override these in the same
// preferences; the defaults sit on reserved example domains until the real service is known.
inline constexpr char kKeyServiceUrl[] = "ServiceURL";
inline constexpr char kKeyWebSite[] = "WebSite";
inline constexpr char kKeyDefaultRecipient[] = "DefaultRecipient";
// The post carries contact details and the diagnostic log: HTTPS unless a configured
// address names another scheme. A bare host name gets https://.
inline constexpr char kDefaultServiceUrl[] = "https://feedback.vornell.example";
inline constexpr char kDefaultWebSite[] = "www.vornell.example";
inline constexpr char kDefaultRecipient[] = "support@vornell.example";

inline constexpr char kReachPath[] = "/";
inline constexpr char kScriptPath[] = "/php-bin/app_feedback.php";
inline constexpr char kSuccessText[] = "Script Completed";

// HTTP client identity, as the maker's script has always seen it.
inline constexpr char kAcceptHeader[] = "text/html, */*";
inline constexpr char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";

inline constexpr int64_t kMaxSendFileBytes = 8388608;      // 8 MiB, the user's own file
inline constexpr int64_t kProgressBarAboveBytes = 2097152;  // sends above 2 MiB show pbWeb
inline constexpr long kLogKeepBytes = 32768;                // tail of the log that is sent
inline constexpr int kDescriptionMaxChars = 2048;

// The reachability check gives up after this long without an answer; a send gives up
// when nothing moved in either direction for this long (a large upload may take minutes
// in total, so the limit is on silence, not on the whole transfer).
inline constexpr int kReachTimeoutMs = 20000;
inline constexpr int kSendIdleTimeoutMs = 60000;

}  // namespace vorn::feedback
