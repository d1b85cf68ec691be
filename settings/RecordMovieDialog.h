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
// disabled and a note says why. It opens with the path of the checked format
// selected, so that typing replaces it; OK makes a missing folder and refuses,
// with a message and the dialog kept open, one that cannot be written.
class TRecordMovieDialog : public QDialog {
  Q_OBJECT

public:
  explicit TRecordMovieDialog(const TMovieRequest &initial, QWidget *parent = nullptr);

  // The choice as the controls show it.
  TMovieRequest Request() const;

  // Makes the folder that request writes into (the movie's, or the images')
  // and tries a file in it; gives why the recording could not be written
  // there, empty when it can.
  static QString PrepareOutput(const TMovieRequest &request);

  void accept() override;

private:
  void UpdateControls();
  // The path field of the checked format.
  QLineEdit *PathEdit() const;
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
