#include "About.h"

#include <QKeyEvent>

TfAbout* fAbout = nullptr;

TfAbout::TfAbout(QWidget* owner) : QDialog(owner) {
    InitGuiResources();
    setupUi(this);
    // Fixed frame with a title and no title-bar buttons at all.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    SetStandardButtonIcons(btnOK, nullptr);
    ExeVersion = new TExeVersion(this);
    ExeVersion->setObjectName("ExeVersion");
}

TfAbout::~TfAbout() = default;

void TfAbout::keyPressEvent(QKeyEvent* event) {
    // QDialog closes on Escape; this box has no cancel button, so it does not.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
