#ifndef MEMO_H
#define MEMO_H

#include <QPlainTextEdit>

#include <string_view>

// A multi-line text box that takes its text row by row, as 8-bit strings.
class TMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TMemo(QWidget *parent = nullptr);

    // Removes all rows.
    void Clear();
    // Appends one row after the existing ones; row holds no line feed.
    // Undo does not take rows back out; a person's own edits in the box
    // stay undoable, from the last row added on.
    void Add(std::string_view row);

    // How a row's bytes are shown: one character per byte, a carriage
    // return at the end of the row is left out (it only ends a line), and
    // one elsewhere shows as the symbol U+240D, since Qt would otherwise
    // start a new row at it.
    static QString displayText(std::string_view row);

private:
    void catchUpView();

    bool m_hasRows = false;    // an empty box and one empty row look alike
    bool m_catchUpDue = false; // rows were added since the view last caught up
    bool m_followEnd = false;  // the view was at the last row when they began
};

#endif // MEMO_H
