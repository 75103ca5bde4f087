// The help file: numbered topics in a UTF-8 text file.
//
//   # comment lines before the first topic are ignored
//   @topic 0 Contents
//   <p>Simple HTML; <a href="topic:4001">links</a> name other topics.</p>
//   @topic 4001 Description
//   ...
//
// Each topic starts with a line "@topic <context number> <title>" and runs to
// the next such line; its body is HTML. Topic 0 is the contents. Any other
// line starting with "@" is an error, and so are a bad or repeated number and
// a missing title.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace dormix {

struct THelpTopic {
    int Context = 0;
    QString Title;
    QString Body; // HTML
};

class THelpFile {
public:
    // The topic number of the contents.
    static constexpr int ContentsContext = 0;

    // Parses a help file's text; false with a message naming the line when
    // the text is malformed (nothing is kept then).
    bool Parse(const QString& text, QString* error = nullptr);
    // Reads and parses a file; false with a message when it cannot be read
    // or is malformed.
    bool Load(const QString& path, QString* error = nullptr);

    const std::vector<THelpTopic>& Topics() const { return Topics_; }
    const THelpTopic* Find(int context) const;

    // A whole page for a topic: its title as a heading, then its body. The
    // contents page is topic 0, or a list of every topic when there is none.
    QString TopicHtml(int context) const;
    QString ContentsHtml() const;

    // Links between topics: "topic:<number>".
    static QUrl TopicUrl(int context);
    static std::optional<int> ContextOfUrl(const QUrl& url);

private:
    std::vector<THelpTopic> Topics_;
};

} // namespace dormix
