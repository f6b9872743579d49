#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace tdb::help {

class ChmFile;
struct SitemapEntry;

// A help window over one .chm file: the table of contents and the index on the left, the page
// on the right. Pages, pictures and style sheets come out of the file through the "chm:" scheme.
class HelpWindow final : public QWidget {
public:
    explicit HelpWindow(std::unique_ptr<ChmFile> file);
    ~HelpWindow() override;

    const ChmFile& file() const { return *file_; }

    // The contents tab, and the default page when nothing is shown yet.
    void showContents();
    // The index tab with the keyword typed in and the nearest keyword selected; a keyword that
    // is in the index opens its page.
    void showIndex(const QString& keyword);
    // A page of the file, "page.htm" or "page.htm#anchor"; answers whether the page exists.
    bool showTopic(const QString& topic);

    // What the window shows, for whoever drives it.
    QString currentTopic() const;
    QString pageText() const;
    bool showsIndex() const;
    QStringList contentsTitles() const;
    QStringList contentsTopics() const;
    QString indexText() const;
    QString selectedKeyword() const;

private:
    void fillContents(const std::vector<SitemapEntry>& entries, QTreeWidgetItem* parent);
    void fillIndex(const std::vector<SitemapEntry>& entries, int depth);
    void selectNearestKeyword(const QString& text);
    void openItemTopic(const QString& topic);
    void markCurrentInContents();

    std::unique_ptr<ChmFile> file_;
    QTabWidget* tabs_;
    QTreeWidget* contents_;
    QLineEdit* indexSearch_;
    QListWidget* index_;
    QTextBrowser* browser_;
    QWidget* contentsPage_;
    QWidget* indexPage_;
    // The last page asked for is not in the file; its message is shown instead.
    bool missing_ = false;
};

} // namespace tdb::help
