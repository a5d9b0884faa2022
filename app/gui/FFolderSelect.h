// The folder picker of the export: a tree of the file system's folders.
#pragma once

#include <QDialog>

class QFileSystemModel;
class QTreeView;

class TFFolderSelect : public QDialog {
    Q_OBJECT
public:
    // The tree starts at the file system root with the start folder (the home folder when empty or missing)
    // opened and chosen.
    explicit TFFolderSelect(QWidget* parent = nullptr, const QString& startFolder = QString());
    // The chosen folder's full path with a trailing separator; empty when none is chosen.
    QString SelectedFolder() const;
    QTreeView* Tree() const { return tree_; }
    QFileSystemModel* Model() const { return model_; }
    // Shows the picker modally; on OK with a folder chosen, puts its path into folder and returns true.
    static bool Choose(QWidget* parent, QString& folder);

private:
    void SelectPath(const QString& path);
    QFileSystemModel* model_;
    QTreeView* tree_;
};
