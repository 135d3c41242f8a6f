#include "replyshape.h"

ReplyShape::Verdict ReplyShape::add(std::string_view bytes)
{
    Verdict verdict = Fits;
    m_lines.add(bytes, [&](std::string_view text, bool startsLine) {
        if (verdict != Fits)
            return;
        if (startsLine) {
            m_lineLength = 0;
            if (++m_lineCount > m_maxLines) {
                verdict = TooManyLines;
                return;
            }
        }
        m_lineLength += text.size();
        if (m_lineLength > m_maxLineLength)
            verdict = LineTooLong;
    });
    return verdict;
}
