#include "whoismain.h"

#include "eventdispatch.h"
#include "idwhois.h"
#include "replylines.h"

TfmMain *fmMain = nullptr;

TfmMain::TfmMain(QWidget *owner)
    : QWidget(owner),
      IdWhois(new TIdWhois(this))
{
    setupUi(this);

    IdWhois->Host = TIdWhois::DefaultHost;
    IdWhois->ASCIIFilter = true;

    bindKeyPress(edDomain, this, &TfmMain::edDomainKeyPress);
    btLookup->OnClick = [this](QObject *sender) { btLookupClick(sender); };
    bindEvent(Button1, &QPushButton::clicked, this, &TfmMain::Button1Click);
}

void TfmMain::edDomainKeyPress(QObject * /*Sender*/, QChar &Key)
{
    if (Key == QLatin1Char('\r') && btLookup->OnClick)
        btLookup->OnClick(this);
}

void TfmMain::btLookupClick(QObject * /*Sender*/)
{
    meResults->Clear();
    // The domain goes out as UTF-8. RFC 3912 names no character set; UTF-8
    // carries every character typed unchanged, and is what registries that
    // take names in their own script (Hangul at the Korean one) expect.
    // Latin-1 would send a Hangul name as "??.kr".
    const std::string domain = edDomain->text().toStdString();
    const std::string reply = IdWhois->WhoIs(domain);
    forEachReplyLine(reply, [this](std::string_view line) { meResults->Add(line); });
}

void TfmMain::Button1Click(QObject * /*Sender*/)
{
    // UTF-8 as well; the client looks a name in another script up by its
    // ASCII form, the only one DNS knows.
    IdWhois->Host = Edit1->text().toStdString();
}
