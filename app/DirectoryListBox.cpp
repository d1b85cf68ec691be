#include "app/DirectoryListBox.h"

#include "app/FileBrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStyle>

namespace {

constexpr int ItemHeight = 16;
constexpr int IndentPerLevel = 2; // blanks per ancestor level

} // namespace

TDirectoryListBox::TDirectoryListBox(QWidget *parent) : QListWidget(parent) {
  setUniformItemSizes(true);
  connect(this, &QListWidget::itemActivated, this,
          [this](QListWidgetItem *item) { SetDirectory(item->data(Qt::UserRole).toString()); });
}

void TDirectoryListBox::SetDirectory(const QString &directory) {
  const QString path = NearestExistingDirectory(directory);
  if (path == Directory_)
    return;
  Directory_ = path;
  Fill();
  emit Changed();
}

void TDirectoryListBox::SetDrive(const QString &root) {
  if (QStorageInfo(Directory_).rootPath() != root)
    SetDirectory(root);
}

void TDirectoryListBox::Fill() {
  clear();
  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const auto add = [this](const QIcon &icon, const QString &text, const QString &path) {
    auto *item = new QListWidgetItem(icon, text, this);
    item->setData(Qt::UserRole, path);
    item->setSizeHint(QSize(0, ItemHeight));
    return item;
  };

  const QStringList ancestors = DirectoryAncestors(Directory_);
  int level = 0;
  QListWidgetItem *current = nullptr;
  for (const QString &path : ancestors) {
    const QString name = path == QStringLiteral("/") ? path : QFileInfo(path).fileName();
    current = add(openIcon, QString(level * IndentPerLevel, u' ') + name, path);
    ++level;
  }
  const QStringList subdirectories =
      QDir(Directory_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString &name : subdirectories)
    add(closedIcon, QString(level * IndentPerLevel, u' ') + name, JoinPath(Directory_, name));
  setCurrentItem(current);
}
