#pragma once

#include <QListWidget>
#include <QString>

// A directory list: the ancestors of the current directory from "/" down to
// the directory itself, then its subdirectories. Activating an entry (double
// click or Enter) makes it the current directory.
class TDirectoryListBox : public QListWidget {
  Q_OBJECT
public:
  explicit TDirectoryListBox(QWidget *parent = nullptr);

  QString Directory() const { return Directory_; }
  // Makes directory current and emits Changed when it differs from the current one.
  // A path that is no existing directory is replaced by its nearest existing ancestor.
  void SetDirectory(const QString &directory);
  // Moves to the root of the volume mounted at root unless the current directory
  // already lies on that volume.
  void SetDrive(const QString &root);

signals:
  void Changed();

private:
  void Fill();

  QString Directory_;
};
