#include "memo.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TMemo::TMemo(QWidget *parent)
    : QPlainTextEdit(parent)
{
}

void TMemo::Clear()
{
    clear();
    m_hasRows = false;
}

// Each row goes into the document at once, but the view (scroll range,
// position, repaint) catches up once, when the event loop next runs, which
// is before anything is painted. A row is laid out when it comes into view,
// not as it is added: laying out every row as it came made a reply of many
// rows, or of long lines, hold the window for minutes.
void TMemo::Add(std::string_view row)
{
    QTextDocument *doc = document();
    if (!m_catchUpDue) {
        const QRectF last = blockBoundingGeometry(doc->lastBlock()).translated(contentOffset());
        m_followEnd = isVisible() && last.bottom() <= viewport()->rect().bottom();
        m_catchUpDue = true;
        QMetaObject::invokeMethod(this, &TMemo::catchUpView, Qt::QueuedConnection);
    }

    QString text = displayText(row);
    // Counting rows ourselves: an empty document may already hold an empty row.
    if (m_hasRows || !doc->isEmpty())
        text.prepend(QChar(QChar::ParagraphSeparator));
    m_hasRows = true;

    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    const bool wasBlocked = layout->blockSignals(true);
    // The rows are the program's output, not an edit of the person's: Undo
    // must not take them apart, and 100,000 of them would each keep an
    // undo record. Turning undo off also empties its history, as Clear,
    // which comes before the rows of a lookup, has done already.
    const bool undoWasEnabled = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    // Inside an edit block a cursor that moves does not lay out the row it
    // lands in.
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undoWasEnabled);
    layout->blockSignals(wasBlocked);
}

void TMemo::catchUpView()
{
    m_catchUpDue = false;
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize()); // sets the scroll range
    if (m_followEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

QString TMemo::displayText(std::string_view row)
{
    while (!row.empty() && row.back() == '\r')
        row.remove_suffix(1);
    QString text = QString::fromLatin1(row.data(), static_cast<qsizetype>(row.size()));
    text.replace(QLatin1Char('\r'), QChar(0x240D));
    return text;
}
