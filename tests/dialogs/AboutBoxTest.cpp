// The about box in an executable that carries the program's version data.
#include "About.h"
#include "DialogTestSupport.h"

#include <QScreen>

#include <gtest/gtest.h>

namespace {

struct Texts {
    QString Caption, Name, Version, Description, Copyright;
    QRect NameRect, VersionRect, CopyrightRect;
    bool operator==(const Texts&) const = default;
};

Texts ShowAndRead(TfAbout& about) {
    Texts t;
    const int result = dormix::test::ExecWith(about, [&] {
        t = {about.windowTitle(),
             about.lblProductName->text(),
             about.lblProductVersion->text(),
             about.lblFileDescription->text(),
             about.lblCopyright->text(),
             about.lblProductName->geometry(),
             about.lblProductVersion->geometry(),
             about.lblCopyright->geometry()};
        about.btnOK->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    return t;
}

} // namespace

TEST(AboutBox, ShowsTheProgramsVersionData) {
    TfAbout about;
    const Texts t = ShowAndRead(about);
    EXPECT_EQ(t.Caption, "About Dormix");
    EXPECT_EQ(t.Name, "Dormix");
    // The file version (1.1.0.0), not the product version (1.0.0.0).
    EXPECT_EQ(t.Version, "Version 1.1.0.0");
    EXPECT_EQ(t.Description, "The Alarm Scheduler");
    EXPECT_TRUE(t.Copyright.startsWith("Copyright")) << t.Copyright.toStdString();
    // Showing again shows the same.
    EXPECT_EQ(ShowAndRead(about), t);
    // A show reads the box's reader as it is, without reading the version
    // data again.
    about.ExeVersion->FileVersion = "9.9";
    EXPECT_EQ(ShowAndRead(about).Version, "Version 9.9");
}

TEST(AboutBox, LabelsSizedToTheirTextKeepTheirEdges) {
    TfAbout about;
    const Texts t = ShowAndRead(about);
    struct Row {
        const char* what;
        QLabel* label;
        QRect rect;
        int edge; // right edge for right-aligned labels, left edge otherwise
        bool right;
    };
    const std::vector<Row> rows = {
        {"name", about.lblProductName, t.NameRect, 225, true},
        {"version", about.lblProductVersion, t.VersionRect, 222, true},
        {"copyright", about.lblCopyright, t.CopyrightRect, 8, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(r.rect.width(), r.label->sizeHint().width());
        EXPECT_GT(r.rect.width(), 0);
        EXPECT_EQ(r.right ? r.rect.right() + 1 : r.rect.left(), r.edge);
    }
    // The description keeps its fixed, word-wrapping area.
    EXPECT_EQ(about.lblFileDescription->size(), QSize(209, 25));
}

TEST(AboutBox, ALongDescriptionWrapsInsideItsFixedArea) {
    TfAbout about;
    about.ExeVersion->FileDescription =
        "A very long description of the program that cannot fit on one line of the box";
    const Texts t = ShowAndRead(about);
    EXPECT_EQ(t.Description.toStdString(), about.ExeVersion->FileDescription);
    EXPECT_EQ(about.lblFileDescription->size(), QSize(209, 25));
    EXPECT_TRUE(about.lblFileDescription->wordWrap());
    EXPECT_GT(about.lblFileDescription->heightForWidth(209), 25);
}

TEST(AboutBox, EmptyNameGivesTheBareCaption) {
    TfAbout about;
    about.ExeVersion->ProductName.clear();
    const Texts t = ShowAndRead(about);
    EXPECT_EQ(t.Caption, "About ");
    EXPECT_EQ(t.Name, "");
}

TEST(AboutBox, EnterClosesEscapeDoesNotAndItIsCentred) {
    TfAbout about;
    bool openAfterEscape = false;
    QPoint centre, screenCentre;
    const int result = dormix::test::ExecWith(about, [&] {
        centre = about.geometry().center();
        screenCentre = about.screen()->availableGeometry().center();
        QTest::keyClick(&about, Qt::Key_Escape);
        openAfterEscape = about.isVisible();
        QTest::keyClick(about.btnOK, Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_LE((centre - screenCentre).manhattanLength(), 40);
}
