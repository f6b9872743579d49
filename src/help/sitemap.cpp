#include "help/sitemap.h"

#include <QHash>
#include <QStringDecoder>

namespace tdb::help {

namespace {

constexpr std::size_t maxDepth = 32;

QString decodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        text = QString::fromLatin1(bytes);
    }
    return text;
}

const QHash<QString, char16_t>& namedEntities() {
    static const QHash<QString, char16_t> table = {
        {QStringLiteral("amp"), u'&'},    {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},     {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},  {QStringLiteral("nbsp"), u'\u00a0'},
        {QStringLiteral("aacute"), u'á'}, {QStringLiteral("Aacute"), u'Á'},
        {QStringLiteral("eacute"), u'é'}, {QStringLiteral("Eacute"), u'É'},
        {QStringLiteral("iacute"), u'í'}, {QStringLiteral("Iacute"), u'Í'},
        {QStringLiteral("oacute"), u'ó'}, {QStringLiteral("Oacute"), u'Ó'},
        {QStringLiteral("uacute"), u'ú'}, {QStringLiteral("Uacute"), u'Ú'},
        {QStringLiteral("ntilde"), u'ñ'}, {QStringLiteral("Ntilde"), u'Ñ'},
        {QStringLiteral("uuml"), u'ü'},   {QStringLiteral("Uuml"), u'Ü'},
        {QStringLiteral("agrave"), u'à'}, {QStringLiteral("egrave"), u'è'},
        {QStringLiteral("ograve"), u'ò'}, {QStringLiteral("ccedil"), u'ç'},
        {QStringLiteral("Ccedil"), u'Ç'}, {QStringLiteral("iexcl"), u'¡'},
        {QStringLiteral("iquest"), u'¿'}, {QStringLiteral("ordf"), u'ª'},
        {QStringLiteral("ordm"), u'º'},   {QStringLiteral("laquo"), u'«'},
        {QStringLiteral("raquo"), u'»'},  {QStringLiteral("middot"), u'·'},
        {QStringLiteral("copy"), u'©'},   {QStringLiteral("euro"), u'€'},
    };
    return table;
}

struct Tag {
    QString name;                       // lower case, "/ul" for an end tag
    QHash<QString, QString> attributes; // names in lower case, values decoded
};

// Reads the tag that starts at text[at] == '<'; `at` ends after its '>'.
Tag readTag(const QString& text, qsizetype& at) {
    Tag tag;
    const qsizetype size = text.size();
    ++at;
    const auto skipBlanks = [&] {
        while (at < size && text.at(at).isSpace()) {
            ++at;
        }
    };
    const auto isNameEnd = [&](QChar c) {
        return c.isSpace() || c == QLatin1Char('>') || c == QLatin1Char('=') ||
               (c == QLatin1Char('/') && !tag.name.isEmpty());
    };
    skipBlanks();
    while (at < size && !isNameEnd(text.at(at))) {
        tag.name += text.at(at++).toLower();
    }
    while (at < size && text.at(at) != QLatin1Char('>')) {
        skipBlanks();
        QString name;
        while (at < size && !isNameEnd(text.at(at))) {
            name += text.at(at++).toLower();
        }
        skipBlanks();
        QString value;
        if (at < size && text.at(at) == QLatin1Char('=')) {
            ++at;
            skipBlanks();
            if (at < size &&
                (text.at(at) == QLatin1Char('"') || text.at(at) == QLatin1Char('\''))) {
                const QChar quote = text.at(at++);
                const qsizetype close = text.indexOf(quote, at);
                const qsizetype stop = close < 0 ? size : close;
                value = text.mid(at, stop - at);
                at = close < 0 ? size : close + 1;
            } else {
                while (at < size && !text.at(at).isSpace() && text.at(at) != QLatin1Char('>')) {
                    value += text.at(at++);
                }
            }
        }
        if (!name.isEmpty()) {
            tag.attributes.insert(name, decodeHtmlEntities(value));
        } else if (at < size && text.at(at) != QLatin1Char('>')) {
            ++at; // a stray character such as the "/" of "<param ... />"
        }
    }
    if (at < size) {
        ++at;
    }
    return tag;
}

} // namespace

QString decodeHtmlEntities(const QString& text) {
    if (!text.contains(QLatin1Char('&'))) {
        return text;
    }
    QString out;
    out.reserve(text.size());
    qsizetype at = 0;
    while (at < text.size()) {
        const QChar c = text.at(at);
        const qsizetype semicolon = c == QLatin1Char('&') ? text.indexOf(QLatin1Char(';'), at) : -1;
        if (semicolon < 0 || semicolon - at > 10) {
            out += c;
            ++at;
            continue;
        }
        const QString name = text.mid(at + 1, semicolon - at - 1);
        bool known = false;
        if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint code = (name.size() > 1 &&
                               (name.at(1) == QLatin1Char('x') || name.at(1) == QLatin1Char('X')))
                                  ? name.mid(2).toUInt(&ok, 16)
                                  : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                const char32_t ucs4 = code;
                out += QString::fromUcs4(&ucs4, 1);
                known = true;
            }
        } else if (const auto found = namedEntities().constFind(name);
                   found != namedEntities().constEnd()) {
            out += QChar(found.value());
            known = true;
        }
        if (known) {
            at = semicolon + 1;
        } else {
            out += c;
            ++at;
        }
    }
    return out;
}

std::vector<SitemapEntry> parseSitemap(const QByteArray& bytes) {
    const QString text = decodeText(bytes);
    std::vector<SitemapEntry> root;
    // The lists being filled, innermost last; each points into its parent's last entry.
    std::vector<std::vector<SitemapEntry>*> open{&root};
    // How many <UL> were flattened into the innermost list (no entry to hang them on).
    std::vector<int> flattened{0};
    bool inEntry = false;
    SitemapEntry entry;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype lt = text.indexOf(QLatin1Char('<'), at);
        if (lt < 0) {
            break;
        }
        if (text.mid(lt, 4) == QLatin1String("<!--")) {
            const qsizetype close = text.indexOf(QLatin1String("-->"), lt + 4);
            at = close < 0 ? text.size() : close + 3;
            continue;
        }
        at = lt;
        const Tag tag = readTag(text, at);
        if (tag.name == QLatin1String("ul")) {
            auto& list = *open.back();
            if (!list.empty() && open.size() < maxDepth) {
                open.push_back(&list.back().children);
                flattened.push_back(0);
            } else {
                ++flattened.back();
            }
        } else if (tag.name == QLatin1String("/ul")) {
            if (flattened.back() > 0) {
                --flattened.back();
            } else if (open.size() > 1) {
                open.pop_back();
                flattened.pop_back();
            }
        } else if (tag.name == QLatin1String("object")) {
            inEntry = tag.attributes.value(QStringLiteral("type"))
                          .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0;
            entry = SitemapEntry{};
        } else if (tag.name == QLatin1String("param") && inEntry) {
            const QString name = tag.attributes.value(QStringLiteral("name")).toLower();
            const QString value = tag.attributes.value(QStringLiteral("value"));
            // An index keyword may list several pages: the first one is its page.
            if (name == QLatin1String("name") && entry.name.isEmpty()) {
                entry.name = value;
            } else if (name == QLatin1String("local") && entry.local.isEmpty()) {
                entry.local = value;
            }
        } else if (tag.name == QLatin1String("/object") && inEntry) {
            inEntry = false;
            if (!entry.name.isEmpty() || !entry.local.isEmpty()) {
                open.back()->push_back(std::move(entry));
            }
            entry = SitemapEntry{};
        }
    }
    return root;
}

} // namespace tdb::help
