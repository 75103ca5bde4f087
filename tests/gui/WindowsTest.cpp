// The window definitions: what the behaviour built on them relies on.
#include "About.h"
#include "Aoptions.h"
#include "Doptions.h"
#include "Unit1.h"

#include <QAbstractButton>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int HelpContext(const QObject* object) {
    return object->property("helpContext").toInt();
}

// The focus chain from a widget, by object name, for count steps; parts of
// composite controls (an editable combo box's edit field) are left out.
std::vector<std::string> FocusChain(QWidget* first, int count) {
    std::vector<std::string> names;
    QWidget* w = first;
    for (int i = 0; i < count; ++i) {
        names.push_back(w->objectName().toStdString());
        do {
            w = w->nextInFocusChain();
        } while (w->focusPolicy() == Qt::NoFocus || !w->isEnabled() || w->objectName().isEmpty() ||
                 w->objectName().startsWith("qt_"));
    }
    return names;
}

// Shows a modal dialog, runs an action once it is up, and returns its result.
int ExecWith(QDialog& dialog, const std::function<void()>& action) {
    QTimer::singleShot(0, &dialog, action);
    return dialog.exec();
}

} // namespace

TEST(MainWindow, ListMenuShowsItsItemsInDisplayOrder) {
    TForm1 form;
    struct Row {
        const char* name;
        const char* text; // empty: separator
        int help;
        bool enabled;
    };
    const std::vector<Row> expected = {
        {"pmAlarmsEnableDisable", "Enable", 17, false},
        {"N1", "", 0, true},
        {"pmAlarmsDuplicate", "Duplicate", 18, true},
        {"Paste1", "", 0, true},
        {"pmAlarmsInsert", "Insert", 19, true},
        {"pmAlarmsDelete", "Delete", 20, true},
        {"pmAlarmsAdd", "Add", 21, true},
    };
    const QList<QAction*> actions = form.pmAlarms->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        const QAction* a = actions[static_cast<qsizetype>(i)];
        EXPECT_EQ(a->objectName().toStdString(), expected[i].name);
        EXPECT_EQ(a->isSeparator(), std::string(expected[i].text).empty());
        EXPECT_EQ(a->text().toStdString(), expected[i].text);
        EXPECT_EQ(HelpContext(a), expected[i].help);
        EXPECT_EQ(a->isEnabled(), expected[i].enabled);
    }
    std::vector<std::string> tray;
    for (const QAction* a : form.pmTray->actions())
        tray.push_back(a->text().toStdString());
    EXPECT_EQ(tray, (std::vector<std::string>{"Restore", "Options", "Exit"}));
    EXPECT_EQ(form.TrayIcon1->contextMenu(), form.pmTray);
    EXPECT_EQ(form.TrayIcon1->toolTip(), "Dormix");
}

TEST(MainWindow, ListContextMenuRequestOpensTheListMenu) {
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    bool opened = false;
    QObject::connect(form.pmAlarms, &QMenu::aboutToShow, [&] { opened = true; });
    emit form.clbAlarms->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(opened);
    EXPECT_TRUE(form.pmAlarms->isVisible());
    form.pmAlarms->close();
}

TEST(MainWindow, HintsAndHelpContextsOfTheControls) {
    TForm1 form;
    struct Row {
        QWidget* widget;
        int help;
        const char* statusTip;
        const char* toolTip;
    };
    const std::vector<Row> rows = {
        {form.Panel1, 1, "Dormix by Tarnby.", "Dormix by Tarnby."},
        {form.Image2, 3, "About", "About"},
        {form.Image3, 4, "Options", "Options"},
        {form.Image4, 9999, "Help", "Help"},
        {form.clbAlarms, 16, "Right-click for options, Double Click to edit an alarm", ""},
        {form.Image1, 0, "", ""},
        {form.Panel2, 0, "", ""},
        {form.StatusBar1, 0, "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.widget->objectName().toStdString());
        EXPECT_EQ(HelpContext(r.widget), r.help);
        EXPECT_EQ(r.widget->statusTip().toStdString(), r.statusTip);
        EXPECT_EQ(r.widget->toolTip().toStdString(), r.toolTip);
    }
}

TEST(MainWindow, ToolbarFollowsTheRightEdgeAndTheListFillsTheMiddle) {
    TForm1 form;
    for (const QSize size : {QSize(474, 327), QSize(800, 500), QSize(300, 200)}) {
        SCOPED_TRACE(size.width());
        form.resize(size);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QCoreApplication::processEvents();
        const int w = form.width();
        EXPECT_EQ(form.Panel1->geometry(), QRect(0, 0, w, 41));
        EXPECT_EQ(form.Image1->geometry(), QRect(4, 4, 32, 32));
        EXPECT_EQ(form.Panel4->geometry(), QRect(w - 5 - 37, 2, 37, 37));
        EXPECT_EQ(form.Panel3->geometry(), QRect(w - 5 - 37 - 3 - 77, 2, 77, 37));
        EXPECT_EQ(form.Panel2->geometry(), QRect(w - 5 - 37 - 3 - 77 - 3 - 37, 2, 37, 37));
        EXPECT_EQ(form.StatusBar1->geometry(), QRect(0, form.height() - 19, w, 19));
        EXPECT_EQ(form.clbAlarms->geometry(), QRect(0, 41, w, form.height() - 41 - 19));
    }
}

TEST(MainWindow, StatusBarStartsWithTheDefinitionsPanels) {
    TForm1 form;
    const TStatusBar* bar = form.StatusBar1;
    ASSERT_EQ(bar->PanelCount(), 3);
    EXPECT_EQ(bar->PanelTexts(), (QStringList{"Hints", "Time", "Date"}));
    EXPECT_EQ(bar->PanelWidth(0), 500);
    EXPECT_EQ(bar->PanelWidth(1), 50);
    EXPECT_EQ(bar->PanelWidth(2), 150);
}

TEST(AlarmEditor, TabOrderRunsThroughTheGroupsInOrder) {
    TAlarmOptions dialog;
    const std::vector<std::string> expected = {
        "DTPTime",     "cbEnabled",  "Description", "cbSunday",   "cbMonday",   "cbTuesday",
        "cbWednesday", "cbThursday", "cbFriday",    "cbSaturday", "eAudioFile", "btnBrowse",
        "btnTest",     "BitBtn1",    "BitBtn2",     "DTPTime"};
    EXPECT_EQ(FocusChain(dialog.DTPTime, static_cast<int>(expected.size())), expected);
}

TEST(AlarmEditor, WeekendDaysStandInTheLeftColumn) {
    TAlarmOptions dialog;
    struct Row {
        QCheckBox* box;
        const char* text;
        bool left;
        int top;
    };
    const std::vector<Row> rows = {
        {dialog.cbSunday, "Sunday", true, 16},      {dialog.cbMonday, "Monday", false, 16},
        {dialog.cbTuesday, "Tuesday", false, 32},   {dialog.cbWednesday, "Wednesday", false, 48},
        {dialog.cbThursday, "Thursday", false, 64}, {dialog.cbFriday, "Friday", false, 80},
        {dialog.cbSaturday, "Saturday", true, 80},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(r.box->text().toStdString(), r.text);
        EXPECT_EQ(r.box->parentWidget(), dialog.GroupBox2);
        EXPECT_EQ(r.box->x(), r.left ? 8 : 144);
        EXPECT_EQ(r.box->y(), r.top);
        EXPECT_EQ(HelpContext(r.box), 4004);
    }
}

TEST(AlarmEditor, HelpContextsCaptionAndFrame) {
    TAlarmOptions dialog;
    EXPECT_EQ(dialog.windowTitle(), "AlarmOptions");
    EXPECT_EQ(HelpContext(&dialog), 4000);
    const std::vector<std::pair<QWidget*, int>> rows = {
        {dialog.Description, 4001}, {dialog.cbEnabled, 4002},  {dialog.DTPTime, 4003},
        {dialog.GroupBox2, 4004},   {dialog.eAudioFile, 4005}, {dialog.btnTest, 4006},
        {dialog.btnBrowse, 4007},   {dialog.GroupBox1, 0},     {dialog.BitBtn1, 0},
    };
    for (const auto& [widget, help] : rows)
        EXPECT_EQ(HelpContext(widget), help) << widget->objectName().toStdString();
    EXPECT_EQ(dialog.Description->text(), "Description");
    EXPECT_EQ(dialog.btnBrowse->toolTip(), "Find a new file");
    EXPECT_EQ(dialog.DTPTime->toolTip(), "Time of Day that the alarm will occur");
    EXPECT_EQ(dialog.DTPTime->time(), QTime(15, 52, 32));
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(dialog.minimumSize(), QSize(309, 309));
    EXPECT_EQ(dialog.maximumSize(), QSize(309, 309));
}

TEST(AlarmEditor, EnterIsOkAndEscapeIsCancel) {
    TAlarmOptions dialog;
    // Enter in the description edit goes to the default button, OK.
    EXPECT_EQ(ExecWith(dialog,
                       [&] {
                           dialog.Description->setFocus();
                           QTest::keyClick(dialog.Description, Qt::Key_Return);
                       }),
              QDialog::Accepted);
    EXPECT_EQ(ExecWith(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); }),
              QDialog::Rejected);
    EXPECT_EQ(ExecWith(dialog, [&] { dialog.BitBtn2->click(); }), QDialog::Rejected);
    EXPECT_EQ(ExecWith(dialog, [&] { dialog.BitBtn1->click(); }), QDialog::Accepted);
}

TEST(AudioOptions, VolumeTrackBarIsUprightWithZeroAtTheTop) {
    TDormixOptions dialog;
    QSlider* tb = dialog.tbVolume;
    EXPECT_EQ(tb->orientation(), Qt::Vertical);
    EXPECT_EQ(tb->minimum(), 0);
    EXPECT_EQ(tb->maximum(), 255);
    EXPECT_EQ(tb->singleStep(), 10);
    EXPECT_EQ(tb->pageStep(), 5);
    EXPECT_EQ(tb->tickInterval(), 32);
    EXPECT_EQ(tb->tickPosition(), QSlider::TicksBothSides);

    // Where the style draws the handle for a position.
    auto handleTop = [tb](int value) {
        tb->setValue(value);
        QStyleOptionSlider opt;
        opt.initFrom(tb);
        opt.orientation = tb->orientation();
        opt.minimum = tb->minimum();
        opt.maximum = tb->maximum();
        opt.sliderPosition = value;
        opt.sliderValue = value;
        opt.upsideDown = !tb->invertedAppearance(); // as QSlider fills it in for vertical bars
        opt.tickPosition = tb->tickPosition();
        return tb->style()
            ->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, tb)
            .top();
    };
    EXPECT_LT(handleTop(0), handleTop(255));

    // The Up key moves the thumb up, towards position 0.
    tb->setValue(100);
    QTest::keyClick(tb, Qt::Key_Up);
    EXPECT_EQ(tb->value(), 90);
}

TEST(AudioOptions, DefinitionTabOrderAndButtons) {
    TDormixOptions dialog;
    EXPECT_EQ(dialog.windowTitle(), "Dormix Options");
    EXPECT_EQ(dialog.minimumSize(), QSize(291, 256));
    EXPECT_EQ(dialog.maximumSize(), QSize(291, 256));
    EXPECT_TRUE(dialog.cbDeviceNumber->isEditable());
    EXPECT_EQ(dialog.GroupBox1->title(), "Mixer Over-ride");
    const std::vector<std::pair<QWidget*, int>> rows = {
        {&dialog, 4},       {dialog.Label1, 5},   {dialog.cbDeviceNumber, 5},
        {dialog.Label2, 5}, {dialog.Label3, 6},   {dialog.cbOverrideMixer, 6},
        {dialog.Label5, 7}, {dialog.tbVolume, 7}, {dialog.Label4, 2003},
    };
    for (const auto& [widget, help] : rows)
        EXPECT_EQ(HelpContext(widget), help) << widget->objectName().toStdString();
    EXPECT_EQ(FocusChain(dialog.BitBtn1, 6),
              (std::vector<std::string>{"BitBtn1", "BitBtn2", "cbDeviceNumber", "cbOverrideMixer",
                                        "tbVolume", "BitBtn1"}));
    EXPECT_EQ(dialog.BitBtn2->text(), "OK");
    EXPECT_TRUE(dialog.BitBtn2->isDefault());
    EXPECT_EQ(ExecWith(dialog, [&] { dialog.BitBtn2->click(); }), QDialog::Accepted);
    EXPECT_EQ(ExecWith(dialog, [&] { dialog.BitBtn1->click(); }), QDialog::Rejected);
}

TEST(AboutBox, PicturesAreProgressiveJpegsThatDecode) {
    TfAbout about;
    struct Row {
        TImage* image;
        const char* resource;
        QSize size;
    };
    const std::vector<Row> rows = {
        {about.Image2, ":/images/about-clock.jpg", QSize(219, 222)},
        {about.Image1, ":/images/about-night.jpg", QSize(241, 113)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.resource);
        QImageReader reader(r.resource);
        EXPECT_EQ(reader.format(), "jpeg");
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
        EXPECT_EQ(image.size(), r.size);
        EXPECT_FALSE(image.isGrayscale());
        EXPECT_EQ(r.image->pixmap().size(), r.size);
        EXPECT_TRUE(r.image->stretch());
        EXPECT_EQ(r.image->PictureRect(), r.image->rect());
    }
}

TEST(AboutBox, LabelFontsInPixels) {
    TfAbout about;
    struct Row {
        QLabel* label;
        int pixels;
        bool bold;
        Qt::Alignment horizontal;
    };
    const std::vector<Row> rows = {
        {about.lblProductName, 21, true, Qt::AlignRight},
        {about.lblProductVersion, 13, false, Qt::AlignRight},
        {about.lblFileDescription, 21, false, Qt::AlignLeft},
        {about.lblCopyright, 11, false, Qt::AlignLeft},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label->objectName().toStdString());
        r.label->ensurePolished();
        EXPECT_EQ(r.label->font().pixelSize(), r.pixels);
        EXPECT_EQ(r.label->font().bold(), r.bold);
        EXPECT_EQ(r.label->alignment() & Qt::AlignHorizontal_Mask, r.horizontal);
    }
    // Right-aligned texts keep their right edges at 225 and 222.
    EXPECT_EQ(about.lblProductName->geometry().right() + 1, 225);
    EXPECT_EQ(about.lblProductVersion->geometry().right() + 1, 222);
}

TEST(AboutBox, OnlyOkClosesIt) {
    TfAbout about;
    EXPECT_EQ(HelpContext(&about), 3);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(about.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(about.lblFileDescription->size(), QSize(209, 25));
    EXPECT_TRUE(about.lblFileDescription->wordWrap());
    // Escape leaves it open; Enter presses OK.
    bool stillOpen = false;
    EXPECT_EQ(ExecWith(about,
                       [&] {
                           QTest::keyClick(&about, Qt::Key_Escape);
                           stillOpen = about.isVisible();
                           QTest::keyClick(&about, Qt::Key_Return);
                       }),
              QDialog::Accepted);
    EXPECT_TRUE(stillOpen);
}
