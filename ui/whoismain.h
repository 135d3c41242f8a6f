#ifndef WHOISMAIN_H
#define WHOISMAIN_H

#include "ui_whoismain.h"

#include <QWidget>

class TIdWhois;

// The lookup window. Its layout and settings come from whoismain.ui; the
// class holds the WHOIS client and the handlers of its events.
class TfmMain : public QWidget, public Ui::TfmMain
{
    Q_OBJECT

public:
    explicit TfmMain(QWidget *owner = nullptr);

    TIdWhois *IdWhois;

    void edDomainKeyPress(QObject *Sender, QChar &Key);
    void btLookupClick(QObject *Sender);
    void Button1Click(QObject *Sender);
};

// The main window of the run, set when the application creates it.
extern TfmMain *fmMain;

#endif // WHOISMAIN_H
