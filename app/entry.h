#ifndef ENTRY_H
#define ENTRY_H

#include "whoisapplication.h"

#include <exception>

// The process entry: brings up the application object, creates the main
// window into mainForm, and runs the event loop until it is closed. A
// failure that escapes start-up or the loop is shown in a message box; the
// exit code is 0 either way.
template <class TForm>
int runApplication(int &argc, char **argv, TForm *&mainForm)
{
    TApplication application(argc, argv);
    try {
        application.Initialize();
        application.CreateForm(mainForm);
        application.Run();
    } catch (const std::exception &e) {
        application.ShowException(e);
    }
    return 0;
}

#endif // ENTRY_H
