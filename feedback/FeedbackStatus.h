#pragma once
// Results of sending the feedback form. Zero or positive is not a failure.
#include <cstdint>

namespace vorn::feedback {

inline constexpr int32_t kFeedbackSent = 1;        // the service answered with its success text
inline constexpr int32_t kFeedbackNotSent = 0;     // the user's file could not be attached; nothing posted
inline constexpr int32_t kFeedbackFailed = -1000;  // building or posting failed, or no success text

}  // namespace vorn::feedback
