#ifndef REPLYLINES_H
#define REPLYLINES_H

#include <string_view>

// Calls add(line) for each line of a WHOIS reply, in order. Only a line
// feed separates lines; a carriage return is ordinary text. A run of line
// feeds gives one break, line feeds at the start give nothing, and a last
// line without a line feed is still a line. No line is ever empty.
template <class Add>
void forEachReplyLine(std::string_view reply, Add &&add)
{
    std::string_view rest = reply;
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        if (lf == 0) {
            rest.remove_prefix(1);
        } else if (lf == std::string_view::npos) {
            add(rest);
            rest = {};
        } else {
            add(rest.substr(0, lf));
            rest.remove_prefix(lf);
        }
    }
}

#endif // REPLYLINES_H
