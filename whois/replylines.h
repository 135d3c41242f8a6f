#ifndef REPLYLINES_H
#define REPLYLINES_H

#include <cstddef>
#include <string_view>

// What a line of a WHOIS reply is, for showing it, and the one place that
// says so. Only a line feed separates lines; a carriage return is ordinary
// text. A run of line feeds gives one break, line feeds at the start give
// nothing, and a last line without a line feed is still a line. No line is
// ever empty.

// Follows a reply whose bytes arrive in pieces: for each run of a line's
// text in the next bytes it calls text(run, startsLine), startsLine when the
// run is the beginning of a line. A line split across pieces comes as
// several runs; in a whole reply each line is one run.
class ReplyLineSplitter
{
public:
    template <class Text>
    void add(std::string_view bytes, Text &&text)
    {
        while (!bytes.empty()) {
            const std::size_t lf = bytes.find('\n');
            const std::size_t length = lf == std::string_view::npos ? bytes.size() : lf;
            if (length > 0) {
                text(bytes.substr(0, length), !m_inLine);
                m_inLine = true;
            }
            if (lf == std::string_view::npos)
                return;
            m_inLine = false;
            bytes.remove_prefix(lf + 1);
        }
    }

private:
    bool m_inLine = false; // the last byte taken was a line's text
};

// Calls add(line) for each line of a whole reply, in order.
template <class Add>
void forEachReplyLine(std::string_view reply, Add &&add)
{
    ReplyLineSplitter().add(reply, [&add](std::string_view line, bool) { add(line); });
}

#endif // REPLYLINES_H
