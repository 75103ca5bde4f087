#include "Aoptions.h"

#include "Controls.h"
#include "HelpViewer.h"

#include <QFileDialog>
#include <QShowEvent>

#include <langinfo.h>

TAlarmOptions* AlarmOptions = nullptr;

namespace {

// Appends literal text to a Qt display format, quoted when it holds letters
// or quotes (which the format would otherwise read as fields).
void AppendLiteral(QString& format, const QString& text) {
    if (text.isEmpty())
        return;
    bool quote = false;
    for (QChar c : text)
        quote = quote || c.isLetter() || c == u'\'';
    if (!quote) {
        format += text;
        return;
    }
    QString escaped = text;
    escaped.replace(u'\'', QStringLiteral("''"));
    format += u'\'' + escaped + u'\'';
}

void Convert(const std::string& in, const std::string& ampm, int depth, QString& out) {
    // Literal bytes are gathered and decoded together (they may be multibyte).
    std::string literal;
    auto flush = [&] {
        AppendLiteral(out, QString::fromLocal8Bit(literal));
        literal.clear();
    };
    auto field = [&](const char* text) {
        flush();
        out += QLatin1String(text);
    };
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '%' || i + 1 == in.size()) {
            literal += c;
            continue;
        }
        char conv = in[++i];
        // Flags, widths and the E/O modifiers change nothing we can show.
        while ((conv == '_' || conv == '-' || conv == '0' || conv == '^' || conv == '#' ||
                conv == 'E' || conv == 'O' || (conv >= '1' && conv <= '9')) &&
               i + 1 < in.size())
            conv = in[++i];
        switch (conv) {
        case 'H':
            field("HH");
            break;
        case 'k':
            field("H");
            break;
        case 'I':
            field("hh");
            break;
        case 'l':
            field("h");
            break;
        case 'M':
            field("mm");
            break;
        case 'S':
            field("ss");
            break;
        case 'p':
            field("AP");
            break;
        case 'P':
            field("ap");
            break;
        case 'T':
            field("HH:mm:ss");
            break;
        case 'R':
            field("HH:mm");
            break;
        case 'r':
            flush();
            // The locale's 12-hour format; a format that names itself again
            // falls back to the usual one.
            Convert(depth == 0 ? ampm : std::string("%I:%M:%S %p"), ampm, depth + 1, out);
            break;
        case '%':
            literal += '%';
            break;
        case 'n':
        case 't':
            literal += ' ';
            break;
        default:
            // A date, zone or other field has no place in a time picker.
            break;
        }
    }
    flush();
}

// The day the picker keeps, from the window definition: 1 March 2003.
constexpr dormix::TDateTime kPickerDate = 37681.0;

} // namespace

QString QtTimeFormat(const std::string& strftimeFormat, const std::string& ampmFormat) {
    QString format;
    Convert(strftimeFormat, ampmFormat, 0, format);
    if (format.isEmpty())
        return QStringLiteral("HH:mm:ss");
    return format;
}

QString LocaleQtTimeFormat() {
    const char* ampm = nl_langinfo(T_FMT_AMPM);
    return QtTimeFormat(nl_langinfo(T_FMT),
                        ampm != nullptr && *ampm != '\0' ? ampm : "%I:%M:%S %p");
}

// --- TOpenDialog ---

bool TOpenDialog::Execute(QWidget* owner) {
    QFileDialog dialog(owner, Title);
    // Qt's own dialog, the same on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile); // path and file must exist
    dialog.setSizeGripEnabled(true);
    dialog.setNameFilters(Filters);
    if (FilterIndex >= 0 && FilterIndex < Filters.size())
        dialog.selectNameFilter(Filters[FilterIndex]);
    dialog.setDefaultSuffix(DefaultExt);
    if (!FileName.isEmpty())
        dialog.selectFile(FileName); // its folder and its name
    const bool confirmed = Run ? Run(dialog) : dialog.exec() == QDialog::Accepted;
    if (!confirmed)
        return false;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return false;
    FileName = files.first();
    return true;
}

// --- TAlarmOptions ---

TAlarmOptions::TAlarmOptions(QWidget* owner) : QDialog(owner), DTPDate_(kPickerDate) {
    InitGuiResources();
    setupUi(this);
    // Fixed dialog frame: system menu, close box and the help button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowContextHelpButtonHint);
    SetStandardButtonIcons(BitBtn1, BitBtn2);

    // Time only, in the locale's long time format; the date part is kept
    // apart (DTPDate_).
    DTPTime->setDisplayFormat(LocaleQtTimeFormat());

    ODSounds.Title = QStringLiteral("Select Sound File");
    ODSounds.Filters = {QStringLiteral("Wave Files (*.wav)"), QStringLiteral("All Files (*.*)")};
    ODSounds.FilterIndex = 0;
    ODSounds.DefaultExt = QStringLiteral("wav");

    connect(btnBrowse, &QPushButton::clicked, this, &TAlarmOptions::btnBrowseClick);
    connect(btnTest, &QPushButton::clicked, this, &TAlarmOptions::btnTestClick);

    HelpKeys_ = new dormix::THelpKeys(this, dormix::THelpKeys::TMode::Popup); // child
}

TAlarmOptions::~TAlarmOptions() = default;

dormix::TDateTime TAlarmOptions::DTPTimeValue() const {
    const QTime t = DTPTime->time();
    const std::int64_t ms = ((t.hour() * 60LL + t.minute()) * 60 + t.second()) * 1000;
    return DTPDate_ + static_cast<double>(ms) / dormix::kMsPerDay;
}

void TAlarmOptions::showEvent(QShowEvent* event) {
    // Shown by the program (not restored by the desktop): fill the controls.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TAlarmOptions::FormShow() {
    if (Alarm == nullptr)
        return;
    Description->setText(QString::fromLocal8Bit(Alarm->Description));
    // The time of day only, in the whole seconds the picker holds; the
    // picker's own date stays.
    const dormix::DateTimeFields f = dormix::DecodeDateTime(dormix::TimeOf(Alarm->Time));
    const QTime time(f.hour, f.minute, f.second);
    if (time != DTPTime->time())
        DTPTime->setTime(time);
    cbEnabled->setChecked(Alarm->Enabled);
    QCheckBox* const days[7] = {cbSunday,   cbMonday, cbTuesday, cbWednesday,
                                cbThursday, cbFriday, cbSaturday};
    for (std::size_t i = 0; i < 7; ++i)
        days[i]->setChecked(Alarm->Days[i]);
    eAudioFile->setText(QString::fromLocal8Bit(Alarm->SoundFile));
}

void TAlarmOptions::FormClose() {
    if (result() != QDialog::Accepted || Alarm == nullptr)
        return;
    Alarm->Description = Description->text().toLocal8Bit().toStdString();
    Alarm->Time = DTPTimeValue();
    Alarm->Enabled = cbEnabled->isChecked();
    const QCheckBox* const days[7] = {cbSunday,   cbMonday, cbTuesday, cbWednesday,
                                      cbThursday, cbFriday, cbSaturday};
    for (std::size_t i = 0; i < 7; ++i)
        Alarm->Days[i] = days[i]->isChecked();
    Alarm->SoundFile = eAudioFile->text().toLocal8Bit().toStdString();
}

void TAlarmOptions::done(int result) {
    // Escape and the close box arrive here as reject(): not OK.
    setResult(result);
    FormClose();
    QDialog::done(result);
}

void TAlarmOptions::btnBrowseClick() {
    ODSounds.FileName = eAudioFile->text();
    if (ODSounds.Execute(this))
        eAudioFile->setText(ODSounds.FileName);
}

void TAlarmOptions::btnTestClick() {
    if (TestSound)
        TestSound(eAudioFile->text().toLocal8Bit().toStdString());
}
