#include "memo.h"

TMemo::TMemo(QWidget *parent)
    : QPlainTextEdit(parent)
{
}

void TMemo::Clear()
{
    clear();
}

void TMemo::Add(std::string_view row)
{
    appendPlainText(displayText(row));
}

QString TMemo::displayText(std::string_view row)
{
    while (!row.empty() && row.back() == '\r')
        row.remove_suffix(1);
    QString text = QString::fromLatin1(row.data(), static_cast<qsizetype>(row.size()));
    text.replace(QLatin1Char('\r'), QChar(0x240D));
    return text;
}
