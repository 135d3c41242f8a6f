// The smallest Qt Widgets program with the lookup window's kinds of
// controls at the same places: the floor for start-up time and idle memory.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(647, 413);
    // Where the lookup window opens: under the display's pointer or not, a
    // window loads the pointer's cursor theme (an I-beam over a text box).
    window.move(252, 218);
    (new QLabel(QStringLiteral("Domain"), &window))->setGeometry(8, 16, 36, 13);
    (new QLabel(QStringLiteral("Results"), &window))->setGeometry(8, 40, 35, 13);
    (new QToolButton(&window))->setGeometry(544, 11, 23, 22);
    (new QLineEdit(&window))->setGeometry(56, 12, 481, 21);
    (new QPlainTextEdit(&window))->setGeometry(6, 56, 641, 257);
    (new QPushButton(QStringLiteral("Button1"), &window))->setGeometry(296, 352, 75, 25);
    (new QLineEdit(QStringLiteral("Edit1"), &window))->setGeometry(128, 352, 145, 21);
    window.show();
    return app.exec();
}
