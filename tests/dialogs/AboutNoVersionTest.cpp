// The about box in an executable without version data: empty texts behind
// the fixed words.
#include "About.h"
#include "DialogTestSupport.h"

#include <gtest/gtest.h>

TEST(AboutBoxWithoutVersionData, ShowsOnlyTheFixedWords) {
    TfAbout about;
    QString caption, name, version, description, copyright;
    const int result = dormix::test::ExecWith(about, [&] {
        caption = about.windowTitle();
        name = about.lblProductName->text();
        version = about.lblProductVersion->text();
        description = about.lblFileDescription->text();
        copyright = about.lblCopyright->text();
        about.btnOK->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(caption, "About ");
    EXPECT_EQ(name, "");
    EXPECT_EQ(version, "Version ");
    EXPECT_EQ(description, "");
    EXPECT_EQ(copyright, "");
    // The right-aligned version line still ends at its edge.
    EXPECT_EQ(about.lblProductVersion->geometry().right() + 1, 222);
}
