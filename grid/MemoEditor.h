// TMemoEditorForm: the window that edits or shows the text of a memo field.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QCheckBox;
class QPushButton;

// Line breaks normalised to carriage-return/line-feed pairs (a lone CR or LF becomes CR LF).
QString NormaliseLineBreaks(const QString& text);

class TMemoEditorForm : public QDialog {
    Q_OBJECT
public:
    explicit TMemoEditorForm(QWidget* parent = nullptr);
    void SetField(const QString& displayName, const QString& text, bool readOnly);
    QString Text() const;
    bool Modified() const;
    bool WordWrap() const;
    void SetWordWrap(bool on);
    bool ReadOnlyMode() const { return readOnly_; }
    QPlainTextEdit* Memo() const { return memo_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    // Asks "Field "%s" is modified. Save?": true when the window may close (accepted or not).
    bool ConfirmClose();
    QPlainTextEdit* memo_;
    QCheckBox* wrap_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QString original_;
    bool readOnly_ = false;
    bool asking_ = false;
    bool closingByOk_ = false;
};
