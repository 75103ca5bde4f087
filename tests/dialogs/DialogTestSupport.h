// Running a modal dialog from a test.
#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>

namespace dormix::test {

// How a test closes a modal dialog.
enum class TClose { Ok, Cancel, Escape, CloseBox };

// Shows a dialog modally, runs an action once it is up (its on-show work has
// run by then), and returns the modal result. The action must close it.
inline int ExecWith(QDialog& dialog, const std::function<void()>& action) {
    QTimer::singleShot(0, &dialog, action);
    return dialog.exec();
}

// Closes a dialog the given way: its OK or Cancel button, the Escape key, or
// the close box (a close request from the window system).
inline void CloseDialog(QDialog& dialog, QAbstractButton* ok, QAbstractButton* cancel, TClose how) {
    switch (how) {
    case TClose::Ok:
        ok->click();
        break;
    case TClose::Cancel:
        cancel->click();
        break;
    case TClose::Escape:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    case TClose::CloseBox:
        dialog.close();
        break;
    }
}

inline const char* CloseName(TClose how) {
    switch (how) {
    case TClose::Ok:
        return "OK";
    case TClose::Cancel:
        return "Cancel";
    case TClose::Escape:
        return "Escape";
    case TClose::CloseBox:
        return "close box";
    }
    return "?";
}

} // namespace dormix::test
