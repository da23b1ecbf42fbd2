#pragma once
// printf-style texts kept in tables (a command line, a log line of a table row), checked
// when the table is compiled instead of trusted at run time. A format may hold "%s" (text),
// "%d" or "%ld" (a whole number), "%+.5f" (a signed real, five decimals) and "%%"; anything else
// does not compile. `TableFormat` records its conversions, so a table's own check can compare
// them with what its executor passes; `FormatOf<Args...>` checks them against its
// argument types itself. A wrong format is then a build error, never undefined behaviour:
// the texts are filled here, not by a variadic printf, and always with "." as the decimal
// sign.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace vorn {

// One value for a conversion: its letter and the value.
struct FormatArg {
    char kind;  // 's', 'd' or 'f'
    std::string_view text;
    int64_t number = 0;
    double real = 0;

    FormatArg(std::string_view t) : kind('s'), text(t) {}
    FormatArg(const std::string& t) : kind('s'), text(t) {}
    FormatArg(const char* t) : kind('s'), text(t ? t : "") {}
    template <class T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
    FormatArg(T n) : kind('d'), number(static_cast<int64_t>(n)) {}
    FormatArg(double r) : kind('f'), real(r) {}
};

class TableFormat {
public:
    static constexpr size_t kMaxArgs = 8;

    constexpr TableFormat() = default;  // none: the row has no such text
    consteval TableFormat(const char* text) : text_(text) {
        for (size_t i = 0; text[i] != '\0'; ++i) {
            if (text[i] != '%') continue;
            const std::string_view rest(text + i + 1);
            char kind = 0;
            if (rest.starts_with("%")) {
                ++i;
                continue;
            }
            if (rest.starts_with("s")) {
                kind = 's';
            } else if (rest.starts_with("d")) {
                kind = 'd';
            } else if (rest.starts_with("ld")) {
                kind = 'd';
                ++i;
            } else if (rest.starts_with("+.5f")) {
                kind = 'f';
                i += 3;
            } else {
                throw "a table format may only hold %s, %d, %ld, %+.5f and %%";
            }
            ++i;
            if (count_ == kMaxArgs) throw "a table format holds too many conversions";
            args_[count_++] = kind;
        }
    }

    constexpr bool Present() const { return text_ != nullptr; }
    constexpr const char* Text() const { return text_ ? text_ : ""; }
    // The conversions in order, a letter each: "sd" for "found \"%s\" (%d ms)".
    constexpr std::string_view Args() const { return {args_, count_}; }

    // The text with `args` in place of its conversions. An argument of another kind than
    // its conversion is written as what it is, a missing one as nothing: never a fault.
    std::string Fill(std::initializer_list<FormatArg> args) const;

private:
    const char* text_ = nullptr;
    char args_[kMaxArgs] = {};
    size_t count_ = 0;
};

template <class T>
consteval char FormatLetter() {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, double>) return 'f';
    else if constexpr (std::is_integral_v<U>) return 'd';
    else return 's';
}

// A format whose conversions must be those of `Args`, in order.
template <class... Args>
class FormatOf {
public:
    consteval FormatOf(const char* text) : format_(text) {
        constexpr char kWanted[] = {FormatLetter<Args>()..., '\0'};
        if (format_.Args() != std::string_view(kWanted, sizeof...(Args)))
            throw "the format's conversions are not those of its arguments";
    }
    std::string operator()(const Args&... args) const { return format_.Fill({FormatArg(args)...}); }
    constexpr const char* Text() const { return format_.Text(); }

private:
    TableFormat format_;
};

}  // namespace vorn
