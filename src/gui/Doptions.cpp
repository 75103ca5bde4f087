#include "Doptions.h"

#include "Controls.h"

TDormixOptions* DormixOptions = nullptr;

TDormixOptions::TDormixOptions(QWidget* owner) : QDialog(owner) {
    InitGuiResources();
    setupUi(this);
    // Fixed dialog frame: system menu, close box and the help button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowContextHelpButtonHint);
    SetStandardButtonIcons(BitBtn2, BitBtn1);
}

TDormixOptions::~TDormixOptions() = default;
