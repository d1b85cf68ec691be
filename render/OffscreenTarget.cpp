#include "render/OffscreenTarget.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

namespace {

// The framebuffer entry points are not in OpenGL 1.x's ABI: asked of EGL.
struct TFramebufferFunctions {
  PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
  PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
  PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
  PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;

  template <class T> static void Get(T &function, const char *name) {
    function = reinterpret_cast<T>(eglGetProcAddress(name));
  }

  bool Load() {
    Get(GenFramebuffers, "glGenFramebuffers");
    Get(DeleteFramebuffers, "glDeleteFramebuffers");
    Get(BindFramebuffer, "glBindFramebuffer");
    Get(GenRenderbuffers, "glGenRenderbuffers");
    Get(DeleteRenderbuffers, "glDeleteRenderbuffers");
    Get(BindRenderbuffer, "glBindRenderbuffer");
    Get(RenderbufferStorage, "glRenderbufferStorage");
    Get(FramebufferRenderbuffer, "glFramebufferRenderbuffer");
    Get(CheckFramebufferStatus, "glCheckFramebufferStatus");
    return GenFramebuffers && DeleteFramebuffers && BindFramebuffer && GenRenderbuffers &&
           DeleteRenderbuffers && BindRenderbuffer && RenderbufferStorage &&
           FramebufferRenderbuffer && CheckFramebufferStatus;
  }
};

TFramebufferFunctions &Functions() {
  static TFramebufferFunctions functions;
  return functions;
}

EGLDisplay SurfacelessDisplay() {
  const char *extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  const auto getDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (extensions == nullptr || getDisplay == nullptr)
    return EGL_NO_DISPLAY;
  return getDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

} // namespace

TOffscreenTarget::~TOffscreenTarget() {
  if (Context == nullptr)
    return;
  if (Framebuffer != 0 && eglMakeCurrent(Display, EGL_NO_SURFACE, EGL_NO_SURFACE, Context))
    ReleaseFramebuffer();
  eglMakeCurrent(Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(Display, Context);
  // The display stays initialised: EGL counts no references, and other
  // targets of the process may still use it.
}

bool TOffscreenTarget::Create() {
  if (Context != nullptr)
    return true;
  const EGLDisplay display = SurfacelessDisplay();
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr) ||
      !eglBindAPI(EGL_OPENGL_API))
    return false;
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configs = 0;
  if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs < 1)
    return false;
  // Any version: a compatibility context keeps the fixed functions the views use.
  const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  const EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
  if (context == EGL_NO_CONTEXT)
    return false;
  if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) || !Functions().Load()) {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    return false;
  }
  Display = display;
  Context = context;
  return true;
}

bool TOffscreenTarget::MakeCurrent(const QSize &size) {
  if (Context == nullptr || size.isEmpty() ||
      !eglMakeCurrent(Display, EGL_NO_SURFACE, EGL_NO_SURFACE, Context))
    return false;
  const TFramebufferFunctions &gl = Functions();
  if (Framebuffer != 0 && size == Size) {
    gl.BindFramebuffer(GL_FRAMEBUFFER, Framebuffer);
    return true;
  }
  ReleaseFramebuffer();
  gl.GenFramebuffers(1, &Framebuffer);
  gl.BindFramebuffer(GL_FRAMEBUFFER, Framebuffer);
  gl.GenRenderbuffers(2, Renderbuffers);
  const GLenum storage[] = {GL_RGBA8, GL_DEPTH_COMPONENT24};
  const GLenum attachment[] = {GL_COLOR_ATTACHMENT0, GL_DEPTH_ATTACHMENT};
  for (int i = 0; i < 2; ++i) {
    gl.BindRenderbuffer(GL_RENDERBUFFER, Renderbuffers[i]);
    gl.RenderbufferStorage(GL_RENDERBUFFER, storage[i], size.width(), size.height());
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, attachment[i], GL_RENDERBUFFER, Renderbuffers[i]);
  }
  if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    ReleaseFramebuffer();
    return false;
  }
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  Size = size;
  return true;
}

void TOffscreenTarget::DoneCurrent() {
  if (Context != nullptr)
    eglMakeCurrent(Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

unsigned TOffscreenTarget::ReadBuffer() {
  return GL_COLOR_ATTACHMENT0;
}

void TOffscreenTarget::ReleaseFramebuffer() {
  const TFramebufferFunctions &gl = Functions();
  if (Framebuffer != 0) {
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.DeleteRenderbuffers(2, Renderbuffers);
    gl.DeleteFramebuffers(1, &Framebuffer);
  }
  Framebuffer = 0;
  Renderbuffers[0] = Renderbuffers[1] = 0;
  Size = {};
}
