#pragma once

// What a window manager does to a window, done directly on the X server, for
// tests under a bare X server. Link with xcb.

#include <QGuiApplication>
#include <QString>
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
