#pragma once

#include <QSize>

// An OpenGL context that needs no display: EGL on Mesa's surfaceless platform,
// compatibility profile, drawing into a framebuffer object of colour (RGBA,
// 8 bits a channel) and a 24-bit depth buffer. libglvnd sends the program's
// ordinary OpenGL and GLU calls to it while it is current, so the views draw
// into it with the same code as into a window. Display lists and glBitmap
// work as in a window's context. GUI thread only, like every drawing.
class TOffscreenTarget {
public:
  TOffscreenTarget() = default;
  ~TOffscreenTarget();
  TOffscreenTarget(const TOffscreenTarget &) = delete;
  TOffscreenTarget &operator=(const TOffscreenTarget &) = delete;

  // Creates the context; false when EGL, the surfaceless platform or a
  // compatibility context is not to be had (nothing is kept then).
  bool Create();
  bool IsCreated() const { return Context != nullptr; }
  // Makes the context current and binds a framebuffer of size, made anew
  // when the size changed; false when either fails.
  bool MakeCurrent(const QSize &size);
  void DoneCurrent();
  // The buffer the frames are drawn into and read from.
  static unsigned ReadBuffer();

private:
  void ReleaseFramebuffer();

  void *Display = nullptr;
  void *Context = nullptr;
  unsigned Framebuffer = 0;
  unsigned Renderbuffers[2] = {0, 0};
  QSize Size;
};
