// Fuzzes the path from the raw bytes of a reply to the rows the results box
// receives: the client's count of lines as the bytes arrive, the ASCII
// filter (on and off), the split, the row display.
#include "asciifilter.h"
#include "memo.h"
#include "replylines.h"
#include "replypieces.h"
#include "replyshape.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void checkRows(const std::string &reply, bool filtered)
{
    std::size_t covered = 0;
    forEachReplyLine(reply, [&](std::string_view line) {
        if (line.empty() || line.find('\n') != std::string_view::npos)
            std::abort();
        covered += line.size();
        const QString shown = TMemo::displayText(line);
        if (shown.contains(QLatin1Char('\r')) || shown.contains(QLatin1Char('\n')))
            std::abort(); // a row would split in the box
        // Every byte shows as one character (NUL too), but for the CRs that
        // end the row.
        std::size_t kept = line.size();
        while (kept > 0 && line[kept - 1] == '\r')
            --kept;
        if (static_cast<std::size_t>(shown.size()) != kept)
            std::abort();
        for (std::size_t i = 0; i < kept; ++i) {
            const auto byte = static_cast<unsigned char>(line[i]);
            if (shown[static_cast<qsizetype>(i)].unicode() != (byte == '\r' ? 0x240D : byte))
                std::abort();
        }
        if (filtered) {
            for (QChar c : shown) {
                if (c.unicode() > 127 && c.unicode() != 0x240D)
                    std::abort();
            }
        }
    });
    std::size_t text = 0;
    for (char c : reply)
        text += c != '\n' ? 1 : 0;
    if (covered != text) // every byte but the line feeds reaches a row
        std::abort();
}

// The bounds count exactly the rows the box gets and the longest of them,
// however the bytes are split across reads.
void checkShape(const std::string &reply)
{
    std::size_t rows = 0;
    std::size_t longest = 0;
    forEachReplyLine(reply, [&](std::string_view line) {
        ++rows;
        longest = std::max(longest, line.size());
    });
    const std::size_t cut = reply.empty() ? 0 : static_cast<unsigned char>(reply[0]) % reply.size();
    const std::size_t any = reply.size() + 1;
    if (shapeInTwoPieces(reply, cut, rows, longest) != ReplyShape::Fits)
        std::abort();
    if (rows > 0 && shapeInTwoPieces(reply, cut, rows - 1, any) != ReplyShape::TooManyLines)
        std::abort();
    if (longest > 0 && shapeInTwoPieces(reply, cut, any, longest - 1) != ReplyShape::LineTooLong)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char *>(data), size);
    checkShape(reply);
    checkRows(reply, false);
    const std::string filtered = asciiFiltered(reply);
    if (filtered.size() > reply.size())
        std::abort();
    checkRows(filtered, true);
    return 0;
}
