#include "settings/MessageDialog.h"
#include "settings/RecordMovieDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST(MessageDialog, HandlerSeesTheBoxAndAnswersIt) {
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  {
    TScopedMessageBoxHandler handler([&](QWidget *, const QString &c, const QString &t,
                                         QMessageBox::Icon i, QMessageBox::StandardButtons b) {
      caption = c;
      text = t;
      icon = i;
      buttons = b;
      return QMessageBox::No;
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "Loading options", "File x not found", QMessageBox::Critical,
                             QMessageBox::Yes | QMessageBox::No),
              QMessageBox::No);
  }
  EXPECT_EQ(caption, "Loading options");
  EXPECT_EQ(text, "File x not found");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
}

TEST(MessageDialog, ScopedHandlersNestAndTheRealBoxComesBack) {
  int outer = 0, inner = 0;
  const auto count = [](int &n) {
    return [&n](QWidget *, const QString &, const QString &, QMessageBox::Icon,
                QMessageBox::StandardButtons) {
      ++n;
      return QMessageBox::Ok;
    };
  };
  {
    TScopedMessageBoxHandler first(count(outer));
    {
      TScopedMessageBoxHandler second(count(inner));
      ShowMessageBox(nullptr, "a", "b", QMessageBox::Information);
    }
    ShowMessageBox(nullptr, "a", "b", QMessageBox::Information);
  }
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(inner, 1);

  // Without a handler a real modal box appears; close it from the event loop.
  QString shownText;
  QTimer::singleShot(0, [&] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
        shownText = box->text();
        box->button(QMessageBox::Ok)->click();
      }
  });
  EXPECT_EQ(ShowMessageBox(nullptr, "Real", "real box", QMessageBox::Warning), QMessageBox::Ok);
  EXPECT_EQ(shownText, "real box");
}

// The real record dialog, driven through its controls and its Browse buttons.
TEST(RecordMovieDialog, OffersWhatTheEncoderAllowsAndGivesTheChoice) {
  TScopedSaveFileHandler save(
      [](QWidget *, const QString &, const QString &suggested, const QString &filters) {
        EXPECT_EQ(filters, "MP4 video (*.mp4)");
        return std::optional<QString>(suggested + ".b");
      });
  TScopedFolderDialogHandler folder([](QWidget *, const QString &, const QString &initial) {
    return std::optional<QString>(initial + ".b");
  });
  struct TCase {
    bool Mp4Offered;
    TMovieFormat Asked, Given;
    const char *Browse;
    QString Movie, Folder;
  };
  for (const TCase &c : {TCase{true, TMovieFormat::Mp4, TMovieFormat::Mp4, "MovieBrowseButton",
                               "/d/x.mp4.b", "/d/x"},
                         TCase{true, TMovieFormat::PngSequence, TMovieFormat::PngSequence,
                               "FolderBrowseButton", "/d/x.mp4", "/d/x.b"},
                         TCase{false, TMovieFormat::Mp4, TMovieFormat::PngSequence,
                               "FolderBrowseButton", "/d/x.mp4", "/d/x.b"}}) {
    TMovieRequest initial;
    initial.Mp4Offered = c.Mp4Offered;
    initial.Format = c.Asked;
    initial.MoviePath = "/d/x.mp4";
    initial.ImageFolder = "/d/x";
    TRecordMovieDialog dialog(initial);
    dialog.show();
    EXPECT_EQ(dialog.findChild<QRadioButton *>("Mp4RadioButton")->isEnabled(), c.Mp4Offered);
    EXPECT_EQ(dialog.findChild<QLabel *>("EncoderNoteLabel")->isVisible(), !c.Mp4Offered);
    QTest::mouseClick(dialog.findChild<QPushButton *>(c.Browse), Qt::LeftButton);
    dialog.findChild<QSpinBox *>("FramesPerSecondSpinBox")->setValue(12);
    const TMovieRequest request = dialog.Request();
    EXPECT_EQ(request.Format, c.Given);
    EXPECT_EQ(request.MoviePath, c.Movie);
    EXPECT_EQ(request.ImageFolder, c.Folder);
    EXPECT_EQ(request.FramesPerSecond, 12);
    // No path, no recording.
    auto *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
    EXPECT_TRUE(ok->isEnabled());
    dialog
        .findChild<QLineEdit *>(c.Given == TMovieFormat::Mp4 ? "MovieFileEdit" : "ImageFolderEdit")
        ->clear();
    EXPECT_FALSE(ok->isEnabled());
  }
}

// Typing as the X server delivers it goes to the path of the checked format
// and replaces it; OK makes a missing folder and refuses one it cannot write.
TEST(RecordMovieDialog, OpensInThePathAndAcceptsOnlyAFolderItCanWrite) {
  QTemporaryDir dir;
  QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
  QStringList boxes;
  TScopedMessageBoxHandler handler([&](QWidget *, const QString &caption, const QString &text,
                                       QMessageBox::Icon, QMessageBox::StandardButtons) {
    boxes << caption + ": " + text;
    return QMessageBox::Ok;
  });
  struct TCase {
    TMovieFormat Format;
    QString Typed;
    // The folder made, or the message when it is refused.
    QString Made, Refused;
  };
  for (const TCase &c :
       {TCase{TMovieFormat::Mp4, "new/sub/x.mp4", "new/sub", ""},
        TCase{TMovieFormat::PngSequence, "frames/a", "frames/a", ""},
        TCase{TMovieFormat::Mp4, "file/x.mp4", "", "Could not create the folder %1/file."},
        TCase{TMovieFormat::PngSequence, "file/a", "", "Could not create the folder %1/file/a."},
        TCase{TMovieFormat::Mp4, "new", "", "%1/new is a folder, not a file."},
        TCase{TMovieFormat::Mp4, "/proc/x.mp4", "", "Cannot write into the folder /proc: "}}) {
    TMovieRequest initial;
    initial.Format = c.Format;
    initial.MoviePath = dir.filePath("old.mp4");
    initial.ImageFolder = dir.filePath("old");
    TRecordMovieDialog dialog(initial);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    const QString typed = c.Typed.startsWith('/') ? c.Typed : dir.filePath(c.Typed);
    ASSERT_EQ(QProcess::execute("xdotool", {"type", "--delay", "5", typed}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] {
      const TMovieRequest request = dialog.Request();
      return (c.Format == TMovieFormat::Mp4 ? request.MoviePath : request.ImageFolder) == typed;
    }));
    boxes.clear();
    QTest::keyClick(&dialog, Qt::Key_Return);
    if (c.Refused.isEmpty()) {
      EXPECT_EQ(dialog.result(), QDialog::Accepted) << boxes.join('\n').toStdString();
      EXPECT_TRUE(QFileInfo(dir.filePath(c.Made)).isDir()) << c.Made.toStdString();
      EXPECT_TRUE(boxes.isEmpty());
      // The trial file is gone.
      EXPECT_EQ(QDir(dir.filePath(c.Made))
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                QStringList());
    } else {
      EXPECT_TRUE(dialog.isVisible());
      ASSERT_EQ(boxes.size(), 1);
      EXPECT_TRUE(boxes.constFirst().startsWith("Record movie: " + c.Refused.arg(dir.path())))
          << boxes.constFirst().toStdString();
    }
  }
}
