#pragma once

// What a window manager does to a window, done directly on the X server, for
// tests under a bare X server, and input as the X server delivers it. Link with
// xcb.

#include <QGuiApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

inline xcb_connection_t *X11Connection() {
  auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

inline xcb_atom_t X11Atom(const char *name) {
  xcb_connection_t *connection = X11Connection();
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(
          connection,
          xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// Maps or unmaps a window behind the toolkit's back, as a window manager does
// with the windows of another virtual desktop; waits until the toolkit knows.
inline void SetMapped(QWidget &window, bool mapped) {
  xcb_connection_t *connection = X11Connection();
  ASSERT_NE(connection, nullptr);
  const auto id = static_cast<xcb_window_t>(window.winId());
  if (mapped)
    xcb_map_window(connection, id);
  else
    xcb_unmap_window(connection, id);
  xcb_flush(connection);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.windowHandle()->isExposed() == mapped; }));
}

// Maximises a window to size as a window manager does: the state property,
// then the new geometry; waits until the toolkit knows.
inline void MaximiseAsWindowManager(QWidget &window, const QSize &size) {
  xcb_connection_t *connection = X11Connection();
  ASSERT_NE(connection, nullptr);
  const auto id = static_cast<xcb_window_t>(window.winId());
  const xcb_atom_t states[] = {X11Atom("_NET_WM_STATE_MAXIMIZED_VERT"),
                               X11Atom("_NET_WM_STATE_MAXIMIZED_HORZ")};
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, X11Atom("_NET_WM_STATE"),
                      XCB_ATOM_ATOM, 32, 2, states);
  const uint32_t geometry[] = {0, 0, static_cast<uint32_t>(size.width()),
                               static_cast<uint32_t>(size.height())};
  xcb_configure_window(connection, id,
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                           XCB_CONFIG_WINDOW_HEIGHT,
                       geometry);
  xcb_flush(connection);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMaximized() && window.size() == size; }));
}

// Minimises a window as a window manager does when the user iconifies it:
// unmapped, iconic in WM_STATE; waits until the toolkit knows.
inline void MinimiseAsWindowManager(QWidget &window) {
  xcb_connection_t *connection = X11Connection();
  ASSERT_NE(connection, nullptr);
  const auto id = static_cast<xcb_window_t>(window.winId());
  xcb_unmap_window(connection, id);
  constexpr uint32_t IconicState = 3;
  const uint32_t state[] = {IconicState, XCB_WINDOW_NONE};
  const xcb_atom_t wmState = X11Atom("WM_STATE");
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, wmState, wmState, 32, 2, state);
  xcb_flush(connection);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return window.isMinimized() && !window.windowHandle()->isExposed(); }));
}

// Whether the X server shows the window: it and its ancestors are mapped.
inline bool IsViewable(QWidget &window) {
  xcb_connection_t *connection = X11Connection();
  const std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> reply(
      xcb_get_window_attributes_reply(
          connection,
          xcb_get_window_attributes(connection, static_cast<xcb_window_t>(window.winId())),
          nullptr),
      &std::free);
  return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

// The window's place in the X server's stacking order of top-level windows,
// bottom first; -1 when it is not a child of the root window.
inline int StackingPosition(QWidget &window) {
  xcb_connection_t *connection = X11Connection();
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> reply(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
  if (!reply)
    return -1;
  const xcb_window_t *children = xcb_query_tree_children(reply.get());
  const int count = xcb_query_tree_children_length(reply.get());
  for (int i = 0; i < count; ++i)
    if (children[i] == static_cast<xcb_window_t>(window.winId()))
      return i;
  return -1;
}

// The title that the X server holds for a window: what a window manager shows.
inline QString ServerTitle(QWidget &window) {
  xcb_connection_t *connection = X11Connection();
  const xcb_get_property_cookie_t cookie =
      xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.winId()),
                       X11Atom("_NET_WM_NAME"), X11Atom("UTF8_STRING"), 0, 1024);
  const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection, cookie, nullptr), &std::free);
  if (!reply)
    return {};
  return QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply.get())),
                           xcb_get_property_value_length(reply.get()));
}

// Waits until the X server has handled every request sent so far and the
// toolkit has taken the events they caused.
inline void SyncWithX11() {
  xcb_connection_t *connection = X11Connection();
  if (connection != nullptr)
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  QTest::qWait(50);
}

// Runs xdotool with the arguments while this process goes on handling its
// events: pointer and keys reach the windows through the X server (XTest), as a
// user's do. True when xdotool ran and succeeded.
[[nodiscard]] inline bool Xdotool(const QStringList &arguments) {
  QProcess process;
  process.start("xdotool", arguments);
  if (!process.waitForStarted() ||
      !QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000))
    return false;
  SyncWithX11();
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Puts the pointer on a point of a widget, through the X server.
[[nodiscard]] inline bool MovePointerTo(const QWidget &widget, QPoint point) {
  const QPoint global = widget.mapToGlobal(point);
  return Xdotool({"mousemove", QString::number(global.x()), QString::number(global.y())});
}
