// A real main window in a private folder, shown on the offscreen platform,
// and the mouse moved over its controls as a user moves it.
#pragma once

#include "MainWindowSupport.h"
#include "Unit1.h"

#include <QApplication>
#include <QTest>

#include <clocale>
#include <memory>
#include <string>

namespace dormix::test {

// The form's files live in `dir`; the form is shown and exposed.
inline std::unique_ptr<TForm1> ShowForm(const TempDir& dir) {
    auto form = std::make_unique<TForm1>(nullptr, dir.Path());
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    return form;
}

// Moves the pointer to a point of a control (its centre by default).
inline void MoveOver(QWidget* widget, QPoint pos = QPoint(-1, -1)) {
    if (pos == QPoint(-1, -1))
        pos = widget->rect().center();
    QTest::mouseMove(widget, pos);
    QCoreApplication::processEvents();
}

// The C library's locale (the date and time texts follow it) for the scope.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
        ok_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    bool Ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};

} // namespace dormix::test
