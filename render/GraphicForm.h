#pragma once

#include <QPoint>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

class QKeyEvent;
class QMenu;
class QMouseEvent;
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
  void keyPressEvent(QKeyEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void OpenGLDisplayPanelResize();
  // What the view shows may have changed through its handlers.
  void InvalidateView();
  void OpenGLDisplayPanelContextPopup(const QPoint &position);

  TOpenGLDisplayPanel *OpenGLDisplayPanel = nullptr;
  // Set when there is no context: the panel, kept out of the window, and the
  // plain area shown in its place.
  std::unique_ptr<TOpenGLDisplayPanel> DetachedPanel;
  QWidget *PlainArea = nullptr;
  QMenu *ContextMenu = nullptr;
  QPoint ContextMenuPosition;
  std::unique_ptr<TOpenGLViewThread> Thread;
  std::atomic<bool> ProjectionNeeded{true};
  std::mutex Lock;
  bool ThreadFinished = false;
};
