#ifndef REPLYPIECES_H
#define REPLYPIECES_H

#include "replyshape.h"

#include <cstddef>
#include <string_view>

// What the client's line bounds make of a reply that arrives in two
// pieces, cut at cut.
inline ReplyShape::Verdict shapeInTwoPieces(std::string_view reply, std::size_t cut,
                                            std::size_t maxLines, std::size_t maxLineLength)
{
    ReplyShape shape(maxLines, maxLineLength);
    const ReplyShape::Verdict first = shape.add(reply.substr(0, cut));
    return first != ReplyShape::Fits ? first : shape.add(reply.substr(cut));
}

#endif // REPLYPIECES_H
