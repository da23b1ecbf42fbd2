#pragma once
// TI-Text conversion for the firmware image, without files or logging: the text of a
// TI-Text file becomes the image text the upload sends, and the image becomes the
// human-readable dump written back.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "bsl/BslConstants.h"

namespace vorn::bsl {

using VectorWords = std::array<uint32_t, kVectorCount>;

enum class TiTextVerdict {
    kImage,        // converted
    kNotTiText,    // no "@" as the very first byte, or no "q" before the text ends
    kInvalid,      // a block that cannot be read (see ConvertTiText)
};

// Converts the content of a TI-Text file. A zero byte ends the text (a binary file is
// therefore not read past it). On kImage, `image` holds the segments ("@%05X" and the
// words, high byte first, letters in the case of the file) and `vectors` the 16 vector
// words (0xFFFF where the file gives none). kInvalid: an "@" without a readable number,
// an address above 0xFFFFF, an "@" line without a line feed, an incomplete vector word,
// a vector block running past 0xFFFE, or no vector block at all. The outputs are only
// written on kImage. May throw std::bad_alloc.
TiTextVerdict ConvertTiText(std::string_view file, std::string* image, VectorWords* vectors);

// The dump of an image: segment headers on their own lines, 32 image characters per
// line, then "@FFE0" and the vectors as two lines of eight "%04X" words; line feeds only.
std::string FormatTiTextDump(const std::string& image, const VectorWords& vectors);

}  // namespace vorn::bsl
