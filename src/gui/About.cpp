#include "About.h"

#include "HelpViewer.h"

#include <QKeyEvent>
#include <QShowEvent>

TfAbout* fAbout = nullptr;

namespace {

QString FromVersionText(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

// Sizes a label to its text, keeping its right edge (right-aligned labels)
// or its left edge.
void SizeToText(QLabel* label, int right = -1) {
    label->ensurePolished();
    const QSize size = label->sizeHint();
    const int left = right < 0 ? label->x() : right - size.width();
    label->setGeometry(left, label->y(), size.width(), size.height());
}

} // namespace

TfAbout::TfAbout(QWidget* owner) : QDialog(owner) {
    InitGuiResources();
    setupUi(this);
    // Fixed frame with a title and no title-bar buttons at all.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    SetStandardButtonIcons(btnOK, nullptr);
    ExeVersion = new TExeVersion(this);
    ExeVersion->setObjectName("ExeVersion");
    // No help button: F1 shows the box's topic in the help window.
    new dormix::THelpKeys(this, dormix::THelpKeys::TMode::Window); // child
    ProductNameRight_ = lblProductName->x() + lblProductName->width();
    ProductVersionRight_ = lblProductVersion->x() + lblProductVersion->width();
}

TfAbout::~TfAbout() = default;

void TfAbout::FormShow() {
    setWindowTitle(QStringLiteral("About ") + FromVersionText(ExeVersion->ProductName));
    lblProductName->setText(FromVersionText(ExeVersion->ProductName));
    // The file version, not the product version.
    lblProductVersion->setText(QStringLiteral("Version ") +
                               FromVersionText(ExeVersion->FileVersion));
    lblFileDescription->setText(FromVersionText(ExeVersion->FileDescription));
    lblCopyright->setText(FromVersionText(ExeVersion->LegalCopyright));
    SizeToText(lblProductName, ProductNameRight_);
    SizeToText(lblProductVersion, ProductVersionRight_);
    SizeToText(lblCopyright);
}

void TfAbout::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TfAbout::keyPressEvent(QKeyEvent* event) {
    // QDialog closes on Escape; this box has no cancel button, so it does not.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
