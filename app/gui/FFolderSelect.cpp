#include "app/gui/FFolderSelect.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

TFFolderSelect::TFFolderSelect(QWidget* parent, const QString& startFolder) : QDialog(parent) {
    setObjectName("FFolderSelect");
    setWindowTitle(QString::fromUtf8("Ordner auswählen..."));
    resize(420, 480);

    model_ = new QFileSystemModel(this);
    model_->setObjectName("ShellFolders");
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setReadOnly(true);
    model_->setRootPath(QDir::rootPath());

    tree_ = new QTreeView(this);
    tree_->setObjectName("ShellTree");
    tree_->setAccessibleName(QString::fromUtf8("Ordner"));
    tree_->setModel(model_);
    tree_->setHeaderHidden(true);
    for (int c = 1; c < model_->columnCount(); ++c)
        tree_->hideColumn(c);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    // A right click chooses the folder under the mouse, as a left click does.
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = tree_->indexAt(pos);
        if (index.isValid()) tree_->setCurrentIndex(index);
    });

    auto* home = new QPushButton(QString::fromUtf8("Persönlicher Ordner"), this);
    home->setObjectName("BtnHome");
    connect(home, &QPushButton::clicked, this, [this] { SelectPath(QDir::homePath()); });
    auto* root = new QPushButton(QString::fromUtf8("Dateisystem"), this);
    root->setObjectName("BtnRoot");
    connect(root, &QPushButton::clicked, this, [this] { SelectPath(QDir::rootPath()); });

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QString::fromUtf8("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName("OKBtn");
    ok->setDefault(true);
    auto* cancel = buttons->addButton(QString::fromUtf8("Abbrechen"), QDialogButtonBox::RejectRole);
    cancel->setObjectName("CancelBtn");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* places = new QHBoxLayout;
    places->addWidget(home);
    places->addWidget(root);
    places->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(places);
    layout->addWidget(tree_, 1);
    layout->addWidget(buttons);

    const QFileInfo start(startFolder);
    SelectPath(!startFolder.isEmpty() && start.isDir() ? start.absoluteFilePath() : QDir::homePath());
}

void TFFolderSelect::SelectPath(const QString& path) {
    const QModelIndex index = model_->index(path);
    if (!index.isValid()) return;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        tree_->expand(up);
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

QString TFFolderSelect::SelectedFolder() const {
    const QModelIndex index = tree_->currentIndex();
    if (!index.isValid() || !tree_->selectionModel()->isSelected(index)) return QString();
    QString path = QDir::toNativeSeparators(model_->filePath(index));
    if (path.isEmpty()) return QString();
    if (!path.endsWith(QDir::separator())) path += QDir::separator();
    return path;
}

bool TFFolderSelect::Choose(QWidget* parent, QString& folder) {
    TFFolderSelect picker(parent, folder);
    if (picker.exec() != QDialog::Accepted) return false;
    const QString chosen = picker.SelectedFolder();
    // OK without a folder changes nothing.
    if (chosen.isEmpty()) return false;
    folder = chosen;
    return true;
}
