#pragma once

#include "settings/MessageDialog.h"

#include <QPoint>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class QAction;
class QImage;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class TFrameRecorder;
class TOpenGLDisplayPanel;
class TOpenGLViewThread;

// A graphic window: a top-level window that stays on top, filled by its
// OpenGLDisplayPanel, drawn by its own rendering thread.
//
// When no OpenGL context can be had (TOpenGLDisplayPanel::ProbeContext), the
// window says why once, at its creation, and shows a plain area of the panel's
// colour instead; the panel then stays out of the window and nothing is drawn.
//
// Showing the window resumes the thread; closing it only hides it and suspends
// the thread. StopRenderThread ends the thread with the hand-shake that keeps
// the GUI responsive: resume if suspended, terminate, then process events
// (the thread's last Synchronize requests among them) until the thread reports
// that it has released its context. The destructor does the same if it was not
// done, so a window can be deleted at any time on the GUI thread.
//
// Every graphic window saves images of what it shows and records movies of
// playback: its context menu ends with "Save image...", "Record movie..." and
// "Stop recording", after the view's own items. A recording takes, within the
// rendering thread's pass, each frame whose time is new, so every frame that
// playback or a step brings is in the movie once; while it records, the window
// reports as drawn only the frames the recording has taken, so playback waits
// for the encoder. Playback coming to a stop, "Stop recording", closing the
// window and minimising it end a recording.
class TGraphicForm : public QWidget {
  Q_OBJECT

public:
  explicit TGraphicForm(QWidget *parent = nullptr);
  ~TGraphicForm() override;

  // Ends the rendering thread and deletes it; nothing when there is none.
  void StopRenderThread();

  TOpenGLViewThread *RenderThread() const { return Thread.get(); }
  // The time of the frame last drawn; -1.0 before the first and without a
  // thread.
  double GetLastDrawnTime() const;
  // Whether the window can draw a frame now: shown, not minimised, on screen
  // (exposed; a window manager unmaps windows on other desktops) and with a
  // working context. A window that cannot must not hold up playback; it takes
  // part again as soon as it can.
  bool CanPaintNow() const;
  TOpenGLDisplayPanel *DisplayPanel() const { return OpenGLDisplayPanel; }
  // What the window shows in its client area: the panel, or the plain area.
  QWidget *ClientArea() const;

  // The background of the client area (the views clear to it).
  void SetPanelColor(const QColor &color);
  QColor PanelColor() const;

  // The window's context menu (object name "PopupMenu"): a view adds its items
  // in its constructor. It opens, without blocking, where the panel asks for a
  // context menu, when it has items.
  QMenu &PopupMenu() const { return *ContextMenu; }
  // Where the context menu was last asked for, in panel coordinates.
  QPoint PopupPosition() const { return ContextMenuPosition; }

  // Called by the rendering thread's pass on the GUI thread, right after the
  // frame drawing, with the frame's pixels read from the back buffer before
  // the swap while the window records (null otherwise): a recording takes the
  // frame if its time is new.
  void FrameDrawn(const QImage &picture);
  // Called when playback stops: ends a recording once the current frame is in
  // it. The frame on screen is the last one played, so a recording started
  // now does not begin with it.
  void PlaybackStopped();

  // Records from now on; the frame on screen is the first one unless playback
  // has stopped since it was drawn. A failure is reported in a message box
  // after the current event.
  void StartRecording(const TMovieRequest &request);
  // Ends the recording and writes the end of the movie; nothing when none.
  void StopRecording();
  bool IsRecording() const { return Recorder_ != nullptr; }
  const TFrameRecorder *Recorder() const { return Recorder_.get(); }
  // Where images and movies are suggested to go, without an extension: the
  // data file's folder and name with the window's caption ("cell - 1D Graphic").
  QString SuggestedPath() const;

  // Guards the thread-finished flag and the hand-over of parameters to the
  // thread.
  std::mutex &WindowLock() { return Lock; }

  // Called by the rendering thread: clears and returns the projection-needed
  // flag.
  bool TakeProjectionNeeded() { return ProjectionNeeded.exchange(false); }
  // Called by the rendering thread when it has released its context.
  void ReportThreadFinished();

protected:
  // Takes the thread (created suspended) and lowers its priority.
  void AttachRenderThread(std::unique_ptr<TOpenGLViewThread> thread);

  // F1 (about = false) and Ctrl+F1 (about = true); nothing by default.
  virtual void HelpKeyPressed(bool about);
  // Every other key pressed in the window; ignored by default. A key the view
  // accepts makes the thread draw the next frame (Invalidate).
  virtual void FormKeyDown(QKeyEvent &event);
  // The panel's mouse events, in panel coordinates; nothing by default. After
  // each press, release, double click and move with a button held, and after
  // each context menu command, the thread draws the next frame.
  virtual void OpenGLDisplayPanelMouseDown(QMouseEvent &event);
  virtual void OpenGLDisplayPanelMouseMove(QMouseEvent &event);
  virtual void OpenGLDisplayPanelMouseUp(QMouseEvent &event);
  virtual void OpenGLDisplayPanelDblClick(QMouseEvent &event);
  // Called when the context menu is about to open at position (panel
  // coordinates): a view updates its items here. Nothing by default.
  virtual void PopupMenuPopup(const QPoint &position);

  void showEvent(QShowEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void changeEvent(QEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void OpenGLDisplayPanelResize();
  // What the view shows may have changed through its handlers.
  void InvalidateView();
  void OpenGLDisplayPanelContextPopup(const QPoint &position);
  // Puts the image and movie items at the end of the context menu.
  void PopupMenuAboutToShow();
  void SaveImageMenuItemClick();
  void RecordMovieMenuItemClick();
  void RecorderFailed();
  // The time of the data's current frame; -1.0 without data.
  double CurrentFrameTime() const;
  // The caption without the recording mark.
  QString Caption() const;

  TOpenGLDisplayPanel *OpenGLDisplayPanel = nullptr;
  // Set when there is no context: the panel, kept out of the window, and the
  // plain area shown in its place.
  std::unique_ptr<TOpenGLDisplayPanel> DetachedPanel;
  QWidget *PlainArea = nullptr;
  QMenu *ContextMenu = nullptr;
  QPoint ContextMenuPosition;
  QAction *RecordingSeparator = nullptr;
  QAction *SaveImageMenuItem = nullptr;
  QAction *RecordMovieMenuItem = nullptr;
  QAction *StopRecordingMenuItem = nullptr;
  QAction *NoEncoderMenuItem = nullptr;
  std::unique_ptr<TFrameRecorder> Recorder_;
  // Set when playback stopped before the current frame was recorded: the
  // recording ends after it.
  std::optional<double> RecordUntil;
  // Set when playback stopped, until a frame of another time is drawn.
  bool ShownFrameStale = false;
  double StaleFrameTime = -1.0;
  std::unique_ptr<TOpenGLViewThread> Thread;
  std::atomic<bool> ProjectionNeeded{true};
  std::mutex Lock;
  bool ThreadFinished = false;
};
