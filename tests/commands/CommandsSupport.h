// Helpers for the list-command tests: a real main window on the offscreen
// platform with its alarm file in a private folder, the real alarm editor as
// the program creates it, a fixed clock, and ways to answer the modal windows
// from inside their own message loops.
#pragma once

#include "Aoptions.h"
#include "MainWindowSupport.h"
#include "Unit1.h"

#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dormix::test {

// 4 March 2024 was a Monday (day 1, Sunday first).
inline const TDateTime kStart = EncodeDateTime(2024, 3, 4, 10, 0, 0);

// A Monday alarm due `minutes` after kStart, its time on the editor's day.
inline AlarmEntry Due(const std::string& description, int minutes, bool enabled = true) {
    return {description,
            EncodeDateTime(2003, 3, 1, 10 + minutes / 60, minutes % 60, 0),
            {1},
            enabled,
            "/sounds/" + description + ".wav"};
}

// The three alarms most tests start from: a at 11:00, b at 12:00, c at 13:00.
inline std::vector<AlarmEntry> ThreeAlarms() {
    return {Due("a", 60), Due("b", 120), Due("c", 180)};
}

struct PlayedSound {
    std::string Description;
    std::string SoundFile;
};

// The main window and the alarm editor, wired as the program wires them. The
// window's sounds are recorded instead of played unless RealSound() is called.
class CommandForm {
public:
    explicit CommandForm(const std::vector<AlarmEntry>& alarms) : clock(kStart) {
        WriteAlarmFile(dir.AlarmFile(), alarms);
        form = std::make_unique<TForm1>(nullptr, dir.Path());
        editor = std::make_unique<TAlarmOptions>();
        Form1 = form.get();
        AlarmOptions = editor.get();
        editor->TestSound = [](const std::string& path) { Form1->TestSound(path); };
        form->SoundPlayer = [this](const TAudioSettings&, const TAlarm& alarm) {
            played.push_back({alarm.Description, alarm.SoundFile});
        };
        checks = std::make_unique<QSignalSpy>(form->clbAlarms, &TCheckListBox::ClickCheck);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    ~CommandForm() {
        AlarmOptions = nullptr;
        Form1 = nullptr;
    }
    CommandForm(const CommandForm&) = delete;
    CommandForm& operator=(const CommandForm&) = delete;

    // The first tick: selects and arms without playing.
    void FirstTick() {
        clock.Advance(5);
        emit form->TimerPlayback->OnTimer();
    }

    void Select(int row) {
        if (row < 0)
            form->clbAlarms->clearSelection();
        else
            form->clbAlarms->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }

    std::vector<std::string> Descriptions() const {
        std::vector<std::string> names;
        for (const auto& alarm : form->AlarmList)
            names.push_back(alarm->Description);
        return names;
    }

    // Row i shows alarm i's line, and its check mark is alarm i's Enabled.
    void ExpectRowsMirrorAlarms() const {
        ASSERT_EQ(static_cast<std::size_t>(form->clbAlarms->count()), form->AlarmList.size());
        for (int i = 0; i < form->clbAlarms->count(); ++i) {
            const TAlarm& alarm = *form->AlarmList[static_cast<std::size_t>(i)];
            EXPECT_EQ(form->clbAlarms->item(i)->text().toStdString(), alarm.GetDisplayText())
                << "row " << i;
            EXPECT_EQ(form->clbAlarms->Checked(i), alarm.Enabled) << "row " << i;
        }
    }

    // Where a row's check box is drawn, in the list viewport's coordinates.
    QPoint CheckBoxCentre(int row) const {
        TCheckListBox& list = *form->clbAlarms;
        QStyleOptionViewItem opt;
        opt.initFrom(list.viewport());
        opt.rect = list.visualItemRect(list.item(row));
        opt.features |= QStyleOptionViewItem::HasCheckIndicator;
        return list.style()
            ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, &list)
            .center();
    }
    QPoint RowTextPoint(int row) const {
        const QRect rect = form->clbAlarms->visualItemRect(form->clbAlarms->item(row));
        return {rect.left() + rect.width() / 2, rect.center().y()};
    }

    TempDir dir;
    FixedClock clock;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TAlarmOptions> editor;
    std::vector<PlayedSound> played;
    std::unique_ptr<QSignalSpy> checks;
};

// Runs `action` on the first modal window that comes up while this lives,
// from inside that window's own message loop (it looks every few
// milliseconds). A command that shows no modal window leaves Shown() false.
class WhenModal {
public:
    explicit WhenModal(std::function<void(QWidget&)> action) : action_(std::move(action)) {
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, [this] { Look(); });
        poll_.start();
    }
    ~WhenModal() { poll_.stop(); }
    WhenModal(const WhenModal&) = delete;
    WhenModal& operator=(const WhenModal&) = delete;

    bool Shown() const { return shown_; }

private:
    void Look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        poll_.stop();
        shown_ = true;
        action_(*modal);
    }

    std::function<void(QWidget&)> action_;
    QTimer poll_;
    bool shown_ = false;
};

// The alarm editor when `modal` is it; fails the test otherwise.
inline TAlarmOptions* AsEditor(QWidget& modal) {
    auto* editor = qobject_cast<TAlarmOptions*>(&modal);
    EXPECT_EQ(editor, AlarmOptions) << "the modal window is not the alarm editor";
    return editor;
}

} // namespace dormix::test
