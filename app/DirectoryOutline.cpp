#include "app/DirectoryOutline.h"

#include "app/FileBrowser.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QStorageInfo>

TDirectoryOutline::TDirectoryOutline(QWidget *parent)
    : QTreeView(parent), Model(new QFileSystemModel(this)) {
  Model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  Model->setRootPath(QStringLiteral("/"));
  setModel(Model);
  for (int column = 1; column < Model->columnCount(); ++column)
    hideColumn(column);
  header()->hide();
  setRootIsDecorated(true);
  setUniformRowHeights(true);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex &current) { CurrentDirectoryChanged(current); });
}

void TDirectoryOutline::SetDirectory(const QString &directory) {
  const QModelIndex index = Model->index(NearestExistingDirectory(directory));
  if (!index.isValid())
    return;
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
    expand(parent);
  setCurrentIndex(index);
  scrollTo(index);
}

void TDirectoryOutline::SetDrive(const QString &root) {
  if (QStorageInfo(Directory_).rootPath() != root)
    SetDirectory(root);
}

void TDirectoryOutline::CurrentDirectoryChanged(const QModelIndex &current) {
  const QString path = Model->filePath(current);
  if (path.isEmpty() || path == Directory_)
    return;
  Directory_ = path;
  emit Changed();
}
