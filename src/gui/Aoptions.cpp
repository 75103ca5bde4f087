#include "Aoptions.h"

#include "Controls.h"

TAlarmOptions* AlarmOptions = nullptr;

TAlarmOptions::TAlarmOptions(QWidget* owner) : QDialog(owner) {
    InitGuiResources();
    setupUi(this);
    // Fixed dialog frame: system menu, close box and the help button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowContextHelpButtonHint);
    SetStandardButtonIcons(BitBtn1, BitBtn2);
}

TAlarmOptions::~TAlarmOptions() = default;
