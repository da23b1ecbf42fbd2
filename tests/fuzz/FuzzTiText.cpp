// The TI-Text loader (bsl/TiText) on any file content. A file that loads is written back
// as TI-Text and must load to the same image and vectors; its dump must hold exactly the
// image and the vectors.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "bsl/TiText.h"

using namespace vorn::bsl;

namespace {

// The image as a TI-Text file: each segment's words low byte first, the 16 vectors, "q".
std::string WriteBack(const std::string& image, const VectorWords& vectors) {
    std::string out;
    for (size_t i = 0; i < image.size();) {
        if (image[i] == '@') {
            if (!out.empty()) out += '\n';
            out.append(image, i, kSegmentHeaderChars);
            out += '\n';
            i += kSegmentHeaderChars;
            continue;
        }
        if (i + 4 > image.size()) __builtin_trap();  // the image holds whole words only
        out += image[i + 2];
        out += image[i + 3];
        out += ' ';
        out += image[i];
        out += image[i + 1];
        out += ' ';
        i += 4;
    }
    out += out.empty() ? "@FFE0\n" : "\n@FFE0\n";
    char word[8];
    for (uint32_t v : vectors) {
        std::snprintf(word, sizeof word, "%02X %02X ", v & 0xFF, (v >> 8) & 0xFF);
        out += word;
    }
    out += "\nq\n";
    return out;
}

std::string WithoutLineFeeds(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\n') out += c;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    std::string image;
    VectorWords vectors;
    if (ConvertTiText(file, &image, &vectors) != TiTextVerdict::kImage) return 0;

    std::string again;
    VectorWords againVectors;
    if (ConvertTiText(WriteBack(image, vectors), &again, &againVectors) != TiTextVerdict::kImage) __builtin_trap();
    if (again != image || againVectors != vectors) __builtin_trap();

    std::string expected = image + "@FFE0";
    char word[8];
    for (uint32_t v : vectors) {
        std::snprintf(word, sizeof word, "%04X", v & 0xFFFF);
        expected += word;
    }
    if (WithoutLineFeeds(FormatTiTextDump(image, vectors)) != expected) __builtin_trap();
    return 0;
}
