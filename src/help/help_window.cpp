#include "help/help_window.h"

#include "help/chm_file.h"
#include "help/sitemap.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace tdb::help {

namespace {

constexpr int topicRole = Qt::UserRole;
constexpr int keywordRole = Qt::UserRole + 1;

const QString chmScheme = QStringLiteral("chm");

// Pages written on Windows are usually Windows-1252 and say so; an undeclared page that is not
// UTF-8 is taken for Latin-1.
QString decodePage(const QByteArray& bytes) {
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (decoder.isValid()) {
        QString text = decoder.decode(bytes);
        if (!decoder.hasError()) {
            return text;
        }
    }
    return QString::fromLatin1(bytes);
}

QUrl topicUrl(const QString& path, const QString& anchor) {
    QUrl url;
    url.setScheme(chmScheme);
    url.setPath(QLatin1Char('/') + path);
    if (!anchor.isEmpty()) {
        url.setFragment(anchor);
    }
    return url;
}

// The page viewer: everything it loads through "chm:" comes out of the help file.
class ChmBrowser final : public QTextBrowser {
public:
    ChmBrowser(const ChmFile& file, QWidget* parent) : QTextBrowser(parent), file_(file) {
        setOpenExternalLinks(true);
    }

    QVariant loadResource(int type, const QUrl& name) override {
        const QUrl url = name.isRelative() ? source().resolved(name) : name;
        if (url.scheme() != chmScheme) {
            return QTextBrowser::loadResource(type, name);
        }
        const auto bytes = file_.read(url.path(QUrl::FullyDecoded));
        if (!bytes) {
            return QVariant();
        }
        if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource ||
            type == QTextDocument::MarkdownResource) {
            return decodePage(*bytes);
        }
        return *bytes;
    }

private:
    const ChmFile& file_;
};

} // namespace

HelpWindow::HelpWindow(std::unique_ptr<ChmFile> file) : file_(std::move(file)) {
    setAttribute(Qt::WA_DeleteOnClose);
    const QString title = file_->title();
    setWindowTitle(title.isEmpty() ? QFileInfo(file_->fileName()).fileName() : title);
    resize(900, 620);

    auto* splitter = new QSplitter(this);
    tabs_ = new QTabWidget(splitter);

    contentsPage_ = new QWidget(tabs_);
    contents_ = new QTreeWidget(contentsPage_);
    contents_->setHeaderHidden(true);
    auto* contentsLayout = new QVBoxLayout(contentsPage_);
    contentsLayout->setContentsMargins(2, 2, 2, 2);
    contentsLayout->addWidget(contents_);
    tabs_->addTab(contentsPage_, QStringLiteral("Contenido"));

    indexPage_ = new QWidget(tabs_);
    indexSearch_ = new QLineEdit(indexPage_);
    indexSearch_->setPlaceholderText(QStringLiteral("Palabra clave"));
    index_ = new QListWidget(indexPage_);
    auto* indexLayout = new QVBoxLayout(indexPage_);
    indexLayout->setContentsMargins(2, 2, 2, 2);
    indexLayout->addWidget(indexSearch_);
    indexLayout->addWidget(index_);
    tabs_->addTab(indexPage_, QStringLiteral("Índice"));

    browser_ = new ChmBrowser(*file_, splitter);
    splitter->addWidget(tabs_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    if (const auto toc = file_->read(file_->contentsFile());
        toc && !file_->contentsFile().isEmpty()) {
        fillContents(parseSitemap(*toc), nullptr);
    }
    if (const auto keywords = file_->read(file_->indexFile());
        keywords && !file_->indexFile().isEmpty()) {
        fillIndex(parseSitemap(*keywords), 0);
    }

    connect(contents_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        openItemTopic(item->data(0, topicRole).toString());
    });
    connect(contents_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) {
        openItemTopic(item->data(0, topicRole).toString());
    });
    connect(index_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openItemTopic(item->data(topicRole).toString()); });
    connect(index_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { openItemTopic(item->data(topicRole).toString()); });
    connect(indexSearch_, &QLineEdit::textEdited, this,
            [this](const QString& text) { selectNearestKeyword(text); });
    connect(indexSearch_, &QLineEdit::returnPressed, this, [this] {
        if (auto* item = index_->currentItem()) {
            openItemTopic(item->data(topicRole).toString());
        }
    });
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        missing_ = false;
        markCurrentInContents();
    });
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::fillContents(const std::vector<SitemapEntry>& entries, QTreeWidgetItem* parent) {
    for (const SitemapEntry& entry : entries) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(contents_);
        item->setText(0, entry.name.isEmpty() ? entry.local : entry.name);
        item->setData(0, topicRole, entry.local);
        fillContents(entry.children, item);
        item->setExpanded(true);
    }
}

void HelpWindow::fillIndex(const std::vector<SitemapEntry>& entries, int depth) {
    for (const SitemapEntry& entry : entries) {
        auto* item = new QListWidgetItem(QString(depth * 4, QLatin1Char(' ')) + entry.name, index_);
        item->setData(topicRole, entry.local);
        item->setData(keywordRole, entry.name);
        fillIndex(entry.children, depth + 1);
    }
}

void HelpWindow::selectNearestKeyword(const QString& text) {
    const QString wanted = text.trimmed();
    if (wanted.isEmpty()) {
        return;
    }
    for (int row = 0; row < index_->count(); ++row) {
        QListWidgetItem* item = index_->item(row);
        if (item->data(keywordRole).toString().startsWith(wanted, Qt::CaseInsensitive)) {
            index_->setCurrentItem(item);
            index_->scrollToItem(item);
            return;
        }
    }
}

void HelpWindow::openItemTopic(const QString& topic) {
    if (!topic.isEmpty()) {
        showTopic(topic);
    }
}

void HelpWindow::showContents() {
    tabs_->setCurrentWidget(contentsPage_);
    if (browser_->source().isEmpty()) {
        showTopic(file_->defaultTopic());
    }
}

void HelpWindow::showIndex(const QString& keyword) {
    tabs_->setCurrentWidget(indexPage_);
    indexSearch_->setText(keyword);
    selectNearestKeyword(keyword);
    const QListWidgetItem* item = index_->currentItem();
    if (item &&
        item->data(keywordRole).toString().compare(keyword.trimmed(), Qt::CaseInsensitive) == 0) {
        showTopic(item->data(topicRole).toString());
    } else if (browser_->source().isEmpty()) {
        showTopic(file_->defaultTopic());
    }
}

bool HelpWindow::showTopic(const QString& topic) {
    const qsizetype hash = topic.indexOf(QLatin1Char('#'));
    const QString page = hash < 0 ? topic : topic.left(hash);
    const QString anchor = hash < 0 ? QString() : topic.mid(hash + 1);
    const QString clean = normalizedChmPath(page);
    if (const auto stored = file_->find(clean)) {
        missing_ = false;
        browser_->setSource(topicUrl(*stored, anchor));
        return true;
    }
    missing_ = true;
    browser_->setHtml(
        QStringLiteral("<p>La página «%1» no está en el archivo de ayuda %2.</p>")
            .arg(page.toHtmlEscaped(), QFileInfo(file_->fileName()).fileName().toHtmlEscaped()));
    return false;
}

void HelpWindow::markCurrentInContents() {
    const QString current = currentTopic();
    QTreeWidgetItemIterator it(contents_);
    while (*it) {
        if (normalizedChmPath((*it)->data(0, topicRole).toString())
                .compare(current, Qt::CaseInsensitive) == 0) {
            contents_->setCurrentItem(*it);
            return;
        }
        ++it;
    }
}

QString HelpWindow::currentTopic() const {
    const QUrl source = browser_->source();
    if (missing_ || source.scheme() != chmScheme) {
        return QString();
    }
    return normalizedChmPath(source.path(QUrl::FullyDecoded));
}

QString HelpWindow::pageText() const {
    return browser_->toPlainText();
}

bool HelpWindow::showsIndex() const {
    return tabs_->currentWidget() == indexPage_;
}

QStringList HelpWindow::contentsTitles() const {
    QStringList titles;
    for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
        titles.append((*it)->text(0));
    }
    return titles;
}

QStringList HelpWindow::contentsTopics() const {
    QStringList topics;
    for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
        topics.append(normalizedChmPath((*it)->data(0, topicRole).toString()));
    }
    return topics;
}

QString HelpWindow::indexText() const {
    return indexSearch_->text();
}

QString HelpWindow::selectedKeyword() const {
    const QListWidgetItem* item = index_->currentItem();
    return item ? item->data(keywordRole).toString() : QString();
}

} // namespace tdb::help
