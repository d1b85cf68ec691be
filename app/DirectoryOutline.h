#pragma once

#include <QString>
#include <QTreeView>

class QFileSystemModel;

// A directory outline: the tree of directories from "/", names as they are.
// Selecting a directory makes it the current one.
class TDirectoryOutline : public QTreeView {
  Q_OBJECT
public:
  explicit TDirectoryOutline(QWidget *parent = nullptr);

  QString Directory() const { return Directory_; }
  // Selects directory, opening the tree down to it, and emits Changed when it
  // differs from the current one. A path that is no existing directory selects
  // its nearest existing ancestor.
  void SetDirectory(const QString &directory);
  // Moves to the root of the volume mounted at root unless the current directory
  // already lies on that volume.
  void SetDrive(const QString &root);

signals:
  void Changed();

private:
  void CurrentDirectoryChanged(const QModelIndex &current);

  QFileSystemModel *Model;
  QString Directory_;
};
