#ifndef EVENTDISPATCH_H
#define EVENTDISPATCH_H

#include "failurereport.h"

#include <QChar>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>

#include <exception>
#include <functional>
#include <utility>

// Qt does not let exceptions unwind through its event dispatch, so every
// place where Qt hands an event to one of our handlers goes through here:
// a failure ends the handler and is reported (see failurereport.h), and
// the event loop carries on.
template <class Handler>
void dispatchEvent(Handler &&handler)
{
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception &e) {
        reportFailure(e);
    }
}

// Binds a notify event (sender only) of a control to a handler of form.
template <class Control, class Signal, class Form>
QMetaObject::Connection bindEvent(Control *control, Signal signal, Form *form,
                                  void (Form::*handler)(QObject *))
{
    return QObject::connect(control, signal, form, [control, form, handler] {
        dispatchEvent([&] { (form->*handler)(control); });
    });
}

// Delivers each character typed into a control to a key-press handler,
// before the control's own handling, which then proceeds unchanged.
class KeyPressBinding : public QObject
{
public:
    using Handler = std::function<void(QObject *sender, QChar &key)>;

    KeyPressBinding(QObject *control, Handler handler)
        : QObject(control),
          m_handler(std::move(handler))
    {
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const QString text = static_cast<QKeyEvent *>(event)->text();
            for (QChar typed : text) {
                dispatchEvent([&] { m_handler(watched, typed); });
            }
        }
        return false;
    }

private:
    Handler m_handler;
};

template <class Form>
void bindKeyPress(QObject *control, Form *form, void (Form::*handler)(QObject *, QChar &))
{
    new KeyPressBinding(
        control, [form, handler](QObject *sender, QChar &key) { (form->*handler)(sender, key); });
}

#endif // EVENTDISPATCH_H
