#ifndef BAREBOX_H
#define BAREBOX_H

#include "replylines.h"

#include <QPlainTextEdit>

#include <string>

// The floor for showing a reply row by row: each line, less the CR of its
// CR LF end (Qt would start another row at it), as one appendPlainText.
inline void appendRowsBare(QPlainTextEdit *box, const std::string &reply)
{
    forEachReplyLine(reply, [box](std::string_view row) {
        if (!row.empty() && row.back() == '\r')
            row.remove_suffix(1);
        box->appendPlainText(QString::fromLatin1(row.data(), static_cast<qsizetype>(row.size())));
    });
}

#endif // BAREBOX_H
