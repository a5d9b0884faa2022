// The program's help: a Qt compressed help file (vestra.qch) shown in a help window of our own. The two
// operations the program needs are opening the file at a context number and closing every help window.
#pragma once

#include <QMainWindow>
#include <QUrl>
#include <memory>

class QHelpEngine;
class QTemporaryDir;
class QTextBrowser;

class THelpWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit THelpWindow(const QString& helpFile, QWidget* parent = nullptr);
    ~THelpWindow() override;

    // Opens the topic registered for the context number (1001: the main topic); false when there is none.
    bool ShowContext(int context);
    void CloseAll();
    QUrl CurrentUrl() const;
    QString CurrentTitle() const;
    QTextBrowser* Browser() const { return browser_; }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QHelpEngine* engine_;
    QTextBrowser* browser_;
};
