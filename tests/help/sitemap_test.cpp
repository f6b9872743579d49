#include "help/sitemap.h"

#include <gtest/gtest.h>

#include <string>

namespace tdb::help {
namespace {

// "name=local" per entry, children in brackets: a compact picture of a parsed tree.
std::string picture(const std::vector<SitemapEntry>& entries) {
    std::string out;
    for (const auto& entry : entries) {
        if (!out.empty()) {
            out += ' ';
        }
        out += entry.name.toStdString() + '=' + entry.local.toStdString();
        if (!entry.children.empty()) {
            out += " [" + picture(entry.children) + ']';
        }
    }
    return out;
}

std::string entry(const std::string& name, const std::string& local) {
    return R"(<LI><OBJECT type="text/sitemap"><param name="Name" value=")" + name +
           R"("><param name="Local" value=")" + local + R"("></OBJECT>)";
}

TEST(Sitemap, ReadsEntriesNestingAndLooseHtml) {
    const struct {
        const char* what;
        std::string text;
        std::string expected;
    } cases[] = {
        {"flat", "<UL>" + entry("A", "a.htm") + entry("B", "b.htm") + "</UL>", "A=a.htm B=b.htm"},
        {"nested",
         "<ul>" + entry("A", "a.htm") + "<ul>" + entry("A1", "a1.htm") + "<ul>" +
             entry("A11", "x/a11.htm") + "</ul></ul>" + entry("B", "b.htm") + "</ul>",
         "A=a.htm [A1=a1.htm [A11=x/a11.htm]] B=b.htm"},
        {"missing end tags", "<UL>" + entry("A", "a.htm") + "<UL>" + entry("A1", "a1.htm"),
         "A=a.htm [A1=a1.htm]"},
        {"stray end tags", "</UL></UL>" + entry("A", "a.htm") + "</UL>", "A=a.htm"},
        {"list before any entry", "<UL><UL>" + entry("A", "a.htm") + "</UL>" + entry("B", "b.htm"),
         "A=a.htm B=b.htm"},
        {"site properties are no entry",
         R"(<OBJECT type="text/site properties"><param name="Name" value="no"></OBJECT>)" +
             entry("A", "a.htm"),
         "A=a.htm"},
        {"comments are skipped", "<!-- " + entry("X", "x.htm") + " -->" + entry("A", "a.htm"),
         "A=a.htm"},
        {"quotes, case and self-closing params",
         R"(<li><object TYPE='text/sitemap'><PARAM NAME='name' VALUE='A b'/><param name=local value=a.htm /></object>)",
         "A b=a.htm"},
        {"the first page of a keyword is its page",
         R"(<OBJECT type="text/sitemap"><param name="Name" value="K"><param name="Local" value="1.htm"><param name="Name" value="K2"><param name="Local" value="2.htm"></OBJECT>)",
         "K=1.htm"},
        {"heading without page",
         R"(<OBJECT type="text/sitemap"><param name="Name" value="H"></OBJECT>)", "H="},
        {"entities", entry("C&oacute;digos &amp; tablas &#241;&#xF1; &bogus; &", "a.htm"),
         "Códigos & tablas ññ &bogus; &=a.htm"},
        {"Latin-1 bytes", entry("L\xEDnea de \xF3rdenes", "l.htm"), "Línea de órdenes=l.htm"},
        {"UTF-8 bytes", entry("L\xC3\xADnea", "l.htm"), "Línea=l.htm"},
        {"cut short inside a tag",
         "<UL>" + entry("A", "a.htm") + "<OBJECT type=\"text/sitemap\"><param name=\"Na",
         "A=a.htm"},
        {"nothing", "", ""},
    };
    for (const auto& c : cases) {
        const QByteArray bytes(c.text.data(), static_cast<qsizetype>(c.text.size()));
        EXPECT_EQ(picture(parseSitemap(bytes)), c.expected) << c.what;
    }
}

TEST(Sitemap, DeepNestingIsFlattenedNotRecursedInto) {
    std::string text;
    for (int i = 0; i < 100000; ++i) {
        text += "<UL>" + entry("E" + std::to_string(i), "e.htm");
    }
    const auto entries = parseSitemap(QByteArray::fromStdString(text));
    // 100 000 entries, none lost, held in a tree of bounded depth.
    std::size_t count = 0;
    std::size_t depth = 0;
    const std::vector<SitemapEntry>* level = &entries;
    while (!level->empty()) {
        ++depth;
        count += level->size();
        level = &level->back().children;
    }
    EXPECT_EQ(count, 100000u);
    EXPECT_LE(depth, 64u);
}

} // namespace
} // namespace tdb::help
