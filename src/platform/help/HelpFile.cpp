#include "HelpFile.h"

#include <QFile>
#include <QStringConverter>

#include <algorithm>

namespace dormix {

namespace {

const QString kTopicTag = QStringLiteral("@topic");
const QString kScheme = QStringLiteral("topic");

std::optional<int> ParseNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    return text.toInt();
}

} // namespace

bool THelpFile::Parse(const QString& text, QString* error) {
    auto fail = [error](int line, const QString& what) {
        if (error != nullptr)
            *error = QStringLiteral("line %1: %2").arg(line).arg(what);
        return false;
    };
    std::vector<THelpTopic> topics;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const int lineNo = static_cast<int>(i) + 1;
        if (line.startsWith(u'@')) {
            const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
            if (words.value(0) != kTopicTag)
                return fail(lineNo, QStringLiteral("unknown directive \"%1\"").arg(words.value(0)));
            const std::optional<int> number = ParseNumber(words.value(1));
            if (!number)
                return fail(lineNo, QStringLiteral("bad topic number \"%1\"").arg(words.value(1)));
            if (words.size() < 3)
                return fail(lineNo, QStringLiteral("topic %1 has no title").arg(*number));
            const bool repeated = std::any_of(topics.begin(), topics.end(),
                                              [&](const auto& t) { return t.Context == *number; });
            if (repeated)
                return fail(lineNo, QStringLiteral("topic %1 appears twice").arg(*number));
            topics.push_back({*number, words.mid(2).join(u' '), QString()});
        } else if (!topics.empty()) {
            THelpTopic& topic = topics.back();
            if (!topic.Body.isEmpty())
                topic.Body += u'\n';
            topic.Body += line;
        }
        // Lines before the first topic are comments.
    }
    for (THelpTopic& topic : topics)
        topic.Body = topic.Body.trimmed();
    Topics_ = std::move(topics);
    return true;
}

bool THelpFile::Load(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error != nullptr)
            *error = file.errorString();
        return false;
    }
    auto decode = QStringDecoder(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError()) {
        if (error != nullptr)
            *error = QStringLiteral("the file is not UTF-8 text");
        return false;
    }
    return Parse(text, error);
}

const THelpTopic* THelpFile::Find(int context) const {
    for (const THelpTopic& topic : Topics_)
        if (topic.Context == context)
            return &topic;
    return nullptr;
}

QString THelpFile::TopicHtml(int context) const {
    if (context == ContentsContext)
        return ContentsHtml();
    const THelpTopic* topic = Find(context);
    if (topic == nullptr)
        return {};
    return QStringLiteral("<h2>%1</h2>\n%2").arg(topic->Title.toHtmlEscaped(), topic->Body);
}

QString THelpFile::ContentsHtml() const {
    if (const THelpTopic* contents = Find(ContentsContext))
        return QStringLiteral("<h2>%1</h2>\n%2")
            .arg(contents->Title.toHtmlEscaped(), contents->Body);
    QString html = QStringLiteral("<h2>Contents</h2>\n<ul>\n");
    for (const THelpTopic& topic : Topics_)
        html += QStringLiteral("<li><a href=\"%1\">%2</a></li>\n")
                    .arg(TopicUrl(topic.Context).toString(), topic.Title.toHtmlEscaped());
    return html + QStringLiteral("</ul>");
}

QUrl THelpFile::TopicUrl(int context) {
    return QUrl(kScheme + u':' + QString::number(context));
}

std::optional<int> THelpFile::ContextOfUrl(const QUrl& url) {
    if (url.scheme() != kScheme)
        return std::nullopt;
    return ParseNumber(url.path());
}

} // namespace dormix
