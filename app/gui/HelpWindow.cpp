#include "app/gui/HelpWindow.h"

#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpLink>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTextBrowser>

namespace {

// Reads the pages and pictures out of the help file.
class THelpBrowser : public QTextBrowser {
public:
    THelpBrowser(QHelpEngine* engine, QWidget* parent) : QTextBrowser(parent), engine_(engine) {}
    QVariant loadResource(int type, const QUrl& url) override {
        if (url.scheme() == "qthelp") return engine_->fileData(url);
        return QTextBrowser::loadResource(type, url);
    }

private:
    QHelpEngine* engine_;
};

} // namespace

THelpWindow::THelpWindow(const QString& helpFile, QWidget* parent)
    : QMainWindow(parent), dir_(std::make_unique<QTemporaryDir>()) {
    setObjectName("HelpWindow");
    setWindowTitle("Vestra Hilfe");
    // The collection the engine keeps is ours alone and lives for this run: the program folder may be
    // read-only.
    engine_ = new QHelpEngine(dir_->filePath("vestra.qhc"), this);
    engine_->setReadOnly(false);
    engine_->setupData();
    engine_->registerDocumentation(helpFile);

    auto* split = new QSplitter(this);
    split->setObjectName("HelpSplitter");
    QHelpContentWidget* contents = engine_->contentWidget();
    contents->setObjectName("HelpContents");
    contents->setAccessibleName("Inhalt");
    split->addWidget(contents);
    browser_ = new THelpBrowser(engine_, split);
    browser_->setObjectName("HelpBrowser");
    browser_->setAccessibleName("Hilfeseite");
    split->addWidget(browser_);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 560});
    setCentralWidget(split);
    connect(contents, &QHelpContentWidget::linkActivated, browser_,
            [this](const QUrl& url) { browser_->setSource(url); });
    connect(browser_, &QTextBrowser::sourceChanged, this,
            [this] { setWindowTitle("Vestra Hilfe - " + CurrentTitle()); });
    resize(800, 560);
}

THelpWindow::~THelpWindow() = default;

bool THelpWindow::ShowContext(int context) {
    const QList<QHelpLink> links = engine_->documentsForIdentifier(QString::number(context));
    if (links.isEmpty()) return false;
    browser_->setSource(links.first().url);
    engine_->contentWidget()->expandToDepth(0);
    show();
    raise();
    activateWindow();
    return true;
}

void THelpWindow::CloseAll() {
    close();
}

QUrl THelpWindow::CurrentUrl() const {
    return browser_->source();
}

QString THelpWindow::CurrentTitle() const {
    return browser_->documentTitle();
}
