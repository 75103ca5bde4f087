// The application object: its title, and the standard exception message box
// for exceptions that escape an event handler or the creation of the windows.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

// Names the program on the taskbar and captions the exception message box.
extern const char* const ApplicationTitle;

// The box's text for an exception message: the message, with a full stop
// appended when it is not empty and its last character sorts after ".".
QString ExceptionMessageText(const QString& message);

// The message of an exception: the program's own exception (dormix::Exception)
// gives its message; anything else gives an empty message.
QString ExceptionMessage(const std::exception_ptr& error);

// The standard exception message box: error icon, one OK button, captioned
// with the application title, text from ExceptionMessageText.
void ShowException(const QString& message);
// Shows the exception being handled; call only inside a catch block.
void ShowCurrentException();

// Replaces how the box is shown (tests watch it this way): the function gets
// the caption and the final text. An empty function restores the real box.
using ExceptionBoxFunc = std::function<void(const QString& caption, const QString& text)>;
void SetExceptionBoxForTesting(ExceptionBoxFunc box);

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    // Delivers events; an exception escaping a handler is shown in the
    // standard exception message box and the event loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};
