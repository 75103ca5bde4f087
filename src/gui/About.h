// The about box: product name, version, description and rights notice.
#pragma once

#include "Controls.h"
#include "ExeVersion.h"
#include "ui_About.h"

#include <QDialog>

class TfAbout : public QDialog, public Ui_TfAbout {
    Q_OBJECT

public:
    // The controls of the window definition (About.ui) are the public members
    // inherited from Ui_TfAbout. btnOK accepts and is the default button; the
    // box has no cancel button, so Escape does not close it.
    explicit TfAbout(QWidget* owner = nullptr);
    ~TfAbout() override;

    // The box's own version-information reader, read when the box is built.
    TExeVersion* ExeVersion;

    // Sets the caption and the labels from ExeVersion (no new read).
    void FormShow();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Labels sized to their text keep these edges from the definition.
    int ProductNameRight_;
    int ProductVersionRight_;
};

extern TfAbout* fAbout;
