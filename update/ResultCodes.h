#pragma once
// What the result code an update or a restore ends with means, in words: one table,
// which the command line's closing line, the diagnostic log and the manual page use.
#include <cstdint>
#include <string>
#include <vector>

namespace vorn::update {

struct ResultMeaning {
    int32_t code;
    const char* meaning;
};

// Every code a run can end with, in order of the code.
const std::vector<ResultMeaning>& ResultMeanings();
// "result -21: the instrument stopped answering"; a code outside the table is a system
// error number, and says so.
std::string ResultLine(int32_t code);

}  // namespace vorn::update
