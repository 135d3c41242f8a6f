#ifndef ACCESSIBILITY_H
#define ACCESSIBILITY_H

// What a screen reader is told about the program's windows, where Qt's
// defaults say too little: a form (a class made straight from QWidget and
// shown as a window of its own) is a frame, not a filler; a message box,
// which the program shows only for failures, is an alert named by its
// message. Controls name themselves in the form description.
void installAccessibleRoles();
void removeAccessibleRoles();

#endif // ACCESSIBILITY_H
