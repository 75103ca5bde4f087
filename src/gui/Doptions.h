// The audio options dialog: output device, override volume and its switch.
#pragma once

#include "ui_Doptions.h"

#include <QDialog>

class TDormixOptions : public QDialog, public Ui_TDormixOptions {
    Q_OBJECT

public:
    // The controls of the window definition (Doptions.ui) are the public
    // members inherited from Ui_TDormixOptions. BitBtn2 (OK) accepts and is the
    // default button; BitBtn1 (Cancel) rejects. tbVolume runs 0..255 with 0 at
    // the top.
    explicit TDormixOptions(QWidget* owner = nullptr);
    ~TDormixOptions() override;
};

extern TDormixOptions* DormixOptions;
