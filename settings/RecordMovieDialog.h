#pragma once

#include "settings/MessageDialog.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

// Asks where a recording goes: an MP4 file or a folder for numbered PNG
// images, and the movie's frame rate. Without an encoder the MP4 choice is
// disabled and a note says why.
class TRecordMovieDialog : public QDialog {
  Q_OBJECT

public:
  explicit TRecordMovieDialog(const TMovieRequest &initial, QWidget *parent = nullptr);

  // The choice as the controls show it.
  TMovieRequest Request() const;

private:
  void UpdateControls();
  void MovieBrowseButtonClick();
  void FolderBrowseButtonClick();

  const bool Mp4Offered;
  QRadioButton *Mp4RadioButton = nullptr;
  QRadioButton *PngRadioButton = nullptr;
  QLineEdit *MovieFileEdit = nullptr;
  QPushButton *MovieBrowseButton = nullptr;
  QLineEdit *ImageFolderEdit = nullptr;
  QPushButton *FolderBrowseButton = nullptr;
  QSpinBox *FramesPerSecondSpinBox = nullptr;
  QLabel *EncoderNoteLabel = nullptr;
  QPushButton *OkButton = nullptr;
};
