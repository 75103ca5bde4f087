// The alarm editor: description, time of day, on/off switch, weekdays and
// sound file of one alarm.
#pragma once

#include "ui_Aoptions.h"

#include <QDialog>

class TAlarmOptions : public QDialog, public Ui_TAlarmOptions {
    Q_OBJECT

public:
    // The controls of the window definition (Aoptions.ui) are the public
    // members inherited from Ui_TAlarmOptions. BitBtn1 (OK) accepts and is the
    // default button; BitBtn2 (Cancel) rejects.
    explicit TAlarmOptions(QWidget* owner = nullptr);
    ~TAlarmOptions() override;
};

extern TAlarmOptions* AlarmOptions;
