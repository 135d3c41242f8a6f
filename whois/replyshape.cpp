#include "replyshape.h"

ReplyShape::Verdict ReplyShape::add(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t lf = bytes.find('\n');
        const std::size_t length = lf == std::string_view::npos ? bytes.size() : lf;
        if (length > 0) {
            if (m_lineLength == 0 && ++m_lines > m_maxLines)
                return TooManyLines;
            m_lineLength += length;
            if (m_lineLength > m_maxLineLength)
                return LineTooLong;
        }
        if (lf == std::string_view::npos)
            break;
        m_lineLength = 0;
        bytes.remove_prefix(lf + 1);
    }
    return Fits;
}
