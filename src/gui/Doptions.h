// The audio options dialog: output device, override volume and its switch.
#pragma once

#include "AudioSettings.h"
#include "ui_Doptions.h"

#include <QDialog>

namespace dormix {
class THelpKeys;
}

class TDormixOptions : public QDialog, public Ui_TDormixOptions {
    Q_OBJECT

public:
    // The controls of the window definition (Doptions.ui) are the public
    // members inherited from Ui_TDormixOptions. BitBtn2 (OK) accepts and is the
    // default button; BitBtn1 (Cancel) rejects. tbVolume runs 0..255 with 0 at
    // the top.
    explicit TDormixOptions(QWidget* owner = nullptr);
    ~TDormixOptions() override;

    // The settings to show and, on OK, to update; set by the caller before
    // every show. Not owned. Showing corrects a Device beyond the devices
    // present to 0 in the record itself.
    dormix::TAudioSettings* Settings = nullptr;

    void FormShow();
    // The modal result is result(): OK writes the controls into Settings.
    void FormClose();

    // Every close passes here (OK, Cancel, Escape, the close box), FormClose
    // included.
    void done(int result) override;

    dormix::THelpKeys* HelpKeys() const { return HelpKeys_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    dormix::THelpKeys* HelpKeys_;
};

extern TDormixOptions* DormixOptions;
