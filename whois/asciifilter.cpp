#include "asciifilter.h"

#include <string_view>

namespace {

// Length of the well-formed UTF-8 sequence at the start of s, or 0.
std::size_t utf8SequenceLength(std::string_view s)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto isContinuation = [&](std::size_t i) {
        return i < s.size() && (byte(i) & 0xC0) == 0x80;
    };

    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char secondMin = 0x80;
    unsigned char secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            secondMin = 0xA0; // overlong
        else if (lead == 0xED)
            secondMax = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            secondMin = 0x90; // overlong
        else if (lead == 0xF4)
            secondMax = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < length || byte(1) < secondMin || byte(1) > secondMax)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(i))
            return 0;
    }
    return length;
}

} // namespace

std::string asciiFiltered(std::string bytes)
{
    // The output is never longer than the input, so it is written over it.
    std::size_t out = 0;
    for (std::size_t in = 0; in < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[in]);
        if (c < 0x80) {
            bytes[out++] = static_cast<char>(c);
            ++in;
            continue;
        }
        const std::size_t length = utf8SequenceLength(std::string_view(bytes).substr(in));
        bytes[out++] = '?';
        in += length ? length : 1;
    }
    bytes.resize(out);
    return bytes;
}
