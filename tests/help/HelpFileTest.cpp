// The help file format, and the program's help file: a topic for every help
// context number the windows carry, and links that lead somewhere.
#include "HelpFile.h"
#include "About.h"
#include "Aoptions.h"
#include "Doptions.h"
#include "Unit1.h"

#include <QAction>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace dormix;

namespace {

// Every help context number a window and the objects under it carry.
void CollectContexts(const QObject* root, std::set<int>& contexts) {
    if (const int c = root->property("helpContext").toInt(); c != 0)
        contexts.insert(c);
    for (const QObject* child : root->findChildren<QObject*>())
        if (const int c = child->property("helpContext").toInt(); c != 0)
            contexts.insert(c);
}

std::set<int> ContextsOfTheWindows() {
    std::set<int> contexts;
    TForm1 form;
    TAlarmOptions editor;
    TDormixOptions options;
    TfAbout about;
    for (const QObject* window :
         std::initializer_list<const QObject*>{&form, &editor, &options, &about})
        CollectContexts(window, contexts);
    return contexts;
}

} // namespace

TEST(HelpFileFormat, TopicsRunFromTheirTagToTheNext) {
    THelpFile file;
    QString error;
    ASSERT_TRUE(file.Parse("# a comment before the topics\r\n"
                           "@topic 0 Contents page\r\n"
                           "<p>See <a href=\"topic:12\">twelve</a>.</p>\r\n"
                           "\n"
                           "@topic   12   Twelve   words\n"
                           "line one\n"
                           "line two\n",
                           &error))
        << error.toStdString();
    ASSERT_EQ(file.Topics().size(), 2u);
    const THelpTopic* twelve = file.Find(12);
    ASSERT_NE(twelve, nullptr);
    EXPECT_EQ(twelve->Title, "Twelve words");
    EXPECT_EQ(twelve->Body, "line one\nline two");
    EXPECT_EQ(file.Find(0)->Body, "<p>See <a href=\"topic:12\">twelve</a>.</p>");
    EXPECT_EQ(file.Find(13), nullptr);
    EXPECT_TRUE(file.TopicHtml(12).contains("<h2>Twelve words</h2>"));
    EXPECT_TRUE(file.ContentsHtml().contains("Contents page"));
    EXPECT_EQ(THelpFile::ContextOfUrl(THelpFile::TopicUrl(4007)), 4007);
    EXPECT_EQ(THelpFile::ContextOfUrl(QUrl("http://example.org/4007")), std::nullopt);
}

TEST(HelpFileFormat, WithoutTopicZeroTheContentsListsEveryTopic) {
    THelpFile file;
    ASSERT_TRUE(file.Parse("@topic 5 Five\nfive\n@topic 7 Seven & more\nseven\n"));
    const QString contents = file.ContentsHtml();
    EXPECT_TRUE(contents.contains("<a href=\"topic:5\">Five</a>"));
    EXPECT_TRUE(contents.contains("<a href=\"topic:7\">Seven &amp; more</a>"));
}

TEST(HelpFileFormat, MalformedFilesAreRefusedWithTheLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"@topic 1 One\n@topc 2 Two\n", "line 2: unknown directive \"@topc\""},
        {"@topic x One\n", "line 1: bad topic number \"x\""},
        {"@topic -3 One\n", "line 1: bad topic number \"-3\""},
        {"@topic 1 One\nbody\n@topic 1 Again\n", "line 3: topic 1 appears twice"},
        {"\n@topic 9\n", "line 2: topic 9 has no title"},
    };
    for (const Case& c : cases) {
        THelpFile file;
        ASSERT_TRUE(file.Parse("@topic 4 Kept\n"));
        QString error;
        EXPECT_FALSE(file.Parse(c.text, &error)) << c.text;
        EXPECT_EQ(error.toStdString(), c.error);
        // A refused text leaves the topics as they were.
        EXPECT_NE(file.Find(4), nullptr);
    }
}

TEST(HelpFileFormat, LoadReportsAFileThatCannotBeRead) {
    THelpFile file;
    QString error;
    EXPECT_FALSE(file.Load("/nonexistent-dormix/DORMIX.HLP", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ProgramHelpFile, HasATopicForEveryContextTheWindowsCarry) {
    THelpFile file;
    QString error;
    ASSERT_TRUE(file.Load(DORMIX_HELP_FILE, &error)) << error.toStdString();
    const std::set<int> carried = ContextsOfTheWindows();
    // The walk found the numbers the windows are known to carry.
    const std::set<int> known = {1,  3,    4,    5,    6,    7,    16,   17,   18,   19,   20,
                                 21, 2003, 4000, 4001, 4002, 4003, 4004, 4005, 4006, 4007, 9999};
    EXPECT_TRUE(std::includes(carried.begin(), carried.end(), known.begin(), known.end()));
    for (int context : carried) {
        SCOPED_TRACE(context);
        const THelpTopic* topic = file.Find(context);
        ASSERT_NE(topic, nullptr);
        EXPECT_FALSE(topic->Title.isEmpty());
        // Real text: at least a sentence or two.
        EXPECT_GT(topic->Body.size(), 120);
    }
    ASSERT_NE(file.Find(THelpFile::ContentsContext), nullptr);
}

TEST(ProgramHelpFile, EveryLinkLeadsToATopicAndTheContentsReachesEveryTopic) {
    THelpFile file;
    ASSERT_TRUE(file.Load(DORMIX_HELP_FILE));
    const QRegularExpression href("href=\"([^\"]*)\"");
    std::set<int> fromContents;
    for (const THelpTopic& topic : file.Topics()) {
        auto it = href.globalMatch(topic.Body);
        while (it.hasNext()) {
            const QString target = it.next().captured(1);
            const std::optional<int> context = THelpFile::ContextOfUrl(QUrl(target));
            ASSERT_TRUE(context.has_value()) << topic.Context << ": " << target.toStdString();
            EXPECT_NE(file.Find(*context), nullptr) << topic.Context << " links to " << *context;
            if (topic.Context == THelpFile::ContentsContext)
                fromContents.insert(*context);
        }
    }
    for (const THelpTopic& topic : file.Topics()) {
        if (topic.Context != THelpFile::ContentsContext) {
            EXPECT_TRUE(fromContents.count(topic.Context)) << topic.Context << " not in contents";
        }
    }
}
