#include "Doptions.h"

#include "Controls.h"
#include "HelpViewer.h"
#include "WaveOut.h"

#include <QShowEvent>

#include <algorithm>
#include <cstdint>

TDormixOptions* DormixOptions = nullptr;

TDormixOptions::TDormixOptions(QWidget* owner) : QDialog(owner) {
    InitGuiResources();
    setupUi(this);
    // Fixed dialog frame: system menu, close box and the help button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowContextHelpButtonHint);
    SetStandardButtonIcons(BitBtn2, BitBtn1);
    // Text typed into the box never becomes an entry of its own.
    cbDeviceNumber->setInsertPolicy(QComboBox::NoInsert);
    HelpKeys_ = new dormix::THelpKeys(this, dormix::THelpKeys::TMode::Popup); // child
}

TDormixOptions::~TDormixOptions() = default;

void TDormixOptions::showEvent(QShowEvent* event) {
    // Shown by the program (not restored by the desktop): fill the controls.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TDormixOptions::FormShow() {
    if (Settings == nullptr)
        return;
    // The devices present now; the list is built afresh at every show.
    const std::uint32_t n = dormix::waveOutGetNumDevs();
    cbDeviceNumber->clear();
    cbDeviceNumber->clearEditText();
    for (std::uint32_t i = 0; i < n; ++i)
        cbDeviceNumber->addItem(QStringLiteral("Device %1").arg(i));
    // A device that is gone falls back to device 0, in the record itself.
    if (Settings->Device >= cbDeviceNumber->count())
        Settings->Device = 0;
    // No such entry (a negative Device, or an empty list): nothing selected.
    cbDeviceNumber->setCurrentIndex(Settings->Device < cbDeviceNumber->count() ? Settings->Device
                                                                               : -1);
    if (cbDeviceNumber->currentIndex() < 0)
        cbDeviceNumber->clearEditText();
    // The volume turned over, loudest at the top; the bar clamps to 0..255.
    tbVolume->setValue(tbVolume->maximum() - Settings->Volume);
    cbOverrideMixer->setChecked(Settings->VolumeOverride);
}

void TDormixOptions::FormClose() {
    if (result() != QDialog::Accepted || Settings == nullptr)
        return;
    // Only the selection counts, not the text typed into the box.
    Settings->Device = static_cast<std::int16_t>(cbDeviceNumber->currentIndex());
    Settings->Volume = static_cast<std::int16_t>(tbVolume->maximum() - tbVolume->value());
    Settings->VolumeOverride = cbOverrideMixer->isChecked();
}

void TDormixOptions::done(int result) {
    // Escape and the close box arrive here as reject(): not OK.
    setResult(result);
    FormClose();
    QDialog::done(result);
}
