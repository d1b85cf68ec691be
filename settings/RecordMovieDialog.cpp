#include "settings/RecordMovieDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryFile>

TRecordMovieDialog::TRecordMovieDialog(const TMovieRequest &initial, QWidget *parent)
    : QDialog(parent), Mp4Offered(initial.Mp4Offered) {
  setObjectName("RecordMovieDialog");
  setWindowTitle("Record movie");
  auto *layout = new QGridLayout(this);

  Mp4RadioButton = new QRadioButton("MP4 video (H.264):", this);
  Mp4RadioButton->setObjectName("Mp4RadioButton");
  MovieFileEdit = new QLineEdit(initial.MoviePath, this);
  MovieFileEdit->setObjectName("MovieFileEdit");
  // Room for a whole path in the usual case.
  MovieFileEdit->setMinimumWidth(380);
  MovieBrowseButton = new QPushButton("Browse...", this);
  MovieBrowseButton->setObjectName("MovieBrowseButton");
  layout->addWidget(Mp4RadioButton, 0, 0);
  layout->addWidget(MovieFileEdit, 0, 1);
  layout->addWidget(MovieBrowseButton, 0, 2);

  PngRadioButton = new QRadioButton("Numbered PNG images in:", this);
  PngRadioButton->setObjectName("PngRadioButton");
  ImageFolderEdit = new QLineEdit(initial.ImageFolder, this);
  ImageFolderEdit->setObjectName("ImageFolderEdit");
  ImageFolderEdit->setMinimumWidth(380);
  FolderBrowseButton = new QPushButton("Browse...", this);
  FolderBrowseButton->setObjectName("FolderBrowseButton");
  layout->addWidget(PngRadioButton, 1, 0);
  layout->addWidget(ImageFolderEdit, 1, 1);
  layout->addWidget(FolderBrowseButton, 1, 2);

  EncoderNoteLabel = new QLabel("MP4 needs ffmpeg, which was not found on the PATH.", this);
  EncoderNoteLabel->setObjectName("EncoderNoteLabel");
  EncoderNoteLabel->setVisible(!Mp4Offered);
  layout->addWidget(EncoderNoteLabel, 2, 0, 1, 3);

  layout->addWidget(new QLabel("Frames per second:", this), 3, 0);
  FramesPerSecondSpinBox = new QSpinBox(this);
  FramesPerSecondSpinBox->setObjectName("FramesPerSecondSpinBox");
  FramesPerSecondSpinBox->setRange(1, 240);
  FramesPerSecondSpinBox->setValue(initial.FramesPerSecond);
  layout->addWidget(FramesPerSecondSpinBox, 3, 1);

  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  OkButton = buttons->button(QDialogButtonBox::Ok);
  layout->addWidget(buttons, 4, 0, 1, 3);

  const bool mp4 = Mp4Offered && initial.Format == TMovieFormat::Mp4;
  Mp4RadioButton->setEnabled(Mp4Offered);
  (mp4 ? Mp4RadioButton : PngRadioButton)->setChecked(true);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(Mp4RadioButton, &QRadioButton::toggled, this, &TRecordMovieDialog::UpdateControls);
  connect(MovieFileEdit, &QLineEdit::textChanged, this, &TRecordMovieDialog::UpdateControls);
  connect(ImageFolderEdit, &QLineEdit::textChanged, this, &TRecordMovieDialog::UpdateControls);
  connect(MovieBrowseButton, &QPushButton::clicked, this,
          &TRecordMovieDialog::MovieBrowseButtonClick);
  connect(FolderBrowseButton, &QPushButton::clicked, this,
          &TRecordMovieDialog::FolderBrowseButtonClick);
  UpdateControls();
  PathEdit()->setFocus();
  PathEdit()->selectAll();
}

TMovieRequest TRecordMovieDialog::Request() const {
  TMovieRequest request;
  request.Format = Mp4RadioButton->isChecked() ? TMovieFormat::Mp4 : TMovieFormat::PngSequence;
  request.MoviePath = MovieFileEdit->text().trimmed();
  request.ImageFolder = ImageFolderEdit->text().trimmed();
  request.FramesPerSecond = FramesPerSecondSpinBox->value();
  request.Mp4Offered = Mp4Offered;
  return request;
}

QLineEdit *TRecordMovieDialog::PathEdit() const {
  return Mp4RadioButton->isChecked() ? MovieFileEdit : ImageFolderEdit;
}

QString TRecordMovieDialog::PrepareOutput(const TMovieRequest &request) {
  const bool mp4 = request.Format == TMovieFormat::Mp4;
  if (mp4 && QFileInfo(request.MoviePath).isDir())
    return QString("%1 is a folder, not a file.").arg(request.MoviePath);
  const QString folder = QDir::cleanPath(mp4 ? QFileInfo(request.MoviePath).absolutePath()
                                             : QDir(request.ImageFolder).absolutePath());
  if (!QDir().mkpath(folder))
    return QString("Could not create the folder %1.").arg(folder);
  // The permission bits do not tell: root writes anywhere they allow, and a
  // read-only file system refuses whatever they say.
  QTemporaryFile probe(QDir(folder).filePath(".dendrovia-XXXXXX"));
  if (!probe.open())
    return QString("Cannot write into the folder %1: %2").arg(folder, probe.errorString());
  return {};
}

void TRecordMovieDialog::accept() {
  const QString problem = PrepareOutput(Request());
  if (problem.isEmpty()) {
    QDialog::accept();
    return;
  }
  ShowMessageBox(this, windowTitle(), problem, QMessageBox::Warning);
  PathEdit()->setFocus();
  PathEdit()->selectAll();
}

void TRecordMovieDialog::UpdateControls() {
  const bool mp4 = Mp4RadioButton->isChecked();
  MovieFileEdit->setEnabled(mp4);
  MovieBrowseButton->setEnabled(mp4);
  ImageFolderEdit->setEnabled(!mp4);
  FolderBrowseButton->setEnabled(!mp4);
  const TMovieRequest request = Request();
  OkButton->setEnabled(!(mp4 ? request.MoviePath : request.ImageFolder).isEmpty());
}

void TRecordMovieDialog::MovieBrowseButtonClick() {
  if (const std::optional<QString> path =
          ShowSaveFileDialog(this, "Record movie", MovieFileEdit->text(), "MP4 video (*.mp4)"))
    MovieFileEdit->setText(*path);
}

void TRecordMovieDialog::FolderBrowseButtonClick() {
  if (const std::optional<QString> folder =
          ShowFolderDialog(this, "Folder of the images", ImageFolderEdit->text()))
    ImageFolderEdit->setText(*folder);
}
