#ifndef REPLYSHAPE_H
#define REPLYSHAPE_H

#include "replylines.h"

#include <cstddef>
#include <string_view>

// Follows the shape of a reply as it arrives, in the terms of what showing
// it costs: its lines, as replylines.h has them, and the length of each.
// Showing costs per line and, since a line is laid out whole when it comes
// into view, per character of the longest line.
class ReplyShape
{
public:
    enum Verdict { Fits, TooManyLines, LineTooLong };

    ReplyShape(std::size_t maxLines, std::size_t maxLineLength)
        : m_maxLines(maxLines),
          m_maxLineLength(maxLineLength)
    {
    }

    // Takes the next bytes of the reply; says whether the reply so far
    // still fits both bounds.
    Verdict add(std::string_view bytes);

private:
    std::size_t m_maxLines;
    std::size_t m_maxLineLength;
    ReplyLineSplitter m_lines;
    std::size_t m_lineCount = 0;
    std::size_t m_lineLength = 0; // of the line being received
};

#endif // REPLYSHAPE_H
