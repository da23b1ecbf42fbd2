#include "common/TableFormat.h"

#include "common/Text.h"

namespace vorn {

namespace {

void Append(std::string& out, char conversion, const FormatArg& arg) {
    switch (arg.kind) {
        case 's': out.append(arg.text); return;
        case 'd': out += std::to_string(arg.number); return;
        case 'f':
            // Through the C-locale formatter, whatever the conversion asked: "." always.
            out += conversion == 'f' ? vorn::Format("%+.5f", arg.real) : vorn::Format("%g", arg.real);
            return;
    }
}

}  // namespace

std::string TableFormat::Fill(std::initializer_list<FormatArg> args) const {
    std::string out;
    const std::string_view text(Text());
    const FormatArg* next = args.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        char conversion = 0;
        if (text[i + 1] == '%') {
            out += '%';
        } else if (text[i + 1] == 's' || text[i + 1] == 'd') {
            conversion = text[i + 1];
        } else if (text.substr(i + 1).starts_with("ld")) {
            conversion = 'd';
            ++i;
        } else if (text.substr(i + 1).starts_with("+.5f")) {
            conversion = 'f';
            i += 3;
        }
        ++i;
        if (conversion != 0 && next != args.end()) Append(out, conversion, *next++);
    }
    return out;
}

}  // namespace vorn
