#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace tdb::help {

// One entry of a table of contents (.hhc) or an index (.hhk): its title or keyword, the page
// it leads to (empty for a heading without a page) and the entries nested under it.
struct SitemapEntry {
    QString name;
    QString local;
    std::vector<SitemapEntry> children;
};

// Reads the entries of a sitemap file. The format is loose HTML: unknown tags, missing end
// tags and stray text are passed over; the text is UTF-8, else Latin-1. Nesting deeper than a
// few dozen levels is flattened.
std::vector<SitemapEntry> parseSitemap(const QByteArray& bytes);

// The text with its character references (&aacute; &#225; &#xE1; &amp; ...) replaced.
QString decodeHtmlEntities(const QString& text);

} // namespace tdb::help
