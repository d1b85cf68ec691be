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

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <set>
#include <thread>

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

// The widths of the icons the X server holds for a window (_NET_WM_ICON), which
// a window manager and a task bar show.
inline std::multiset<uint32_t> ServerIconWidths(QWidget &window) {
  xcb_connection_t *connection = X11Connection();
  const xcb_get_property_cookie_t cookie =
      xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.winId()),
                       X11Atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL, 0, 1 << 20);
  const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection, cookie, nullptr), &std::free);
  std::multiset<uint32_t> widths;
  if (!reply)
    return widths;
  const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
  const size_t count = static_cast<size_t>(xcb_get_property_value_length(reply.get())) / 4;
  for (size_t at = 0; at + 2 <= count; at += 2 + size_t{values[at]} * values[at + 1])
    widths.insert(values[at]);
  return widths;
}

// Drags uriList (text/uri-list) from another X client onto the window of target
// and drops it at the global position, as a file manager does (XDND 5): enter,
// position, drop when the target accepts, the data served through the
// XdndSelection, until the target reports it finished. The source runs on its
// own thread, since the toolkit asks for the data while it handles the drag;
// the toolkit's events are processed meanwhile. Returns whether the target
// accepted the drop.
inline bool DropUriListAsFileManager(QWidget &target, const QPoint &global,
                                     const QByteArray &uriList) {
  const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> source(
      xcb_connect(nullptr, nullptr), &xcb_disconnect);
  if (xcb_connection_has_error(source.get()))
    return false;
  xcb_connection_t *connection = source.get();
  const auto atom = [connection](const char *name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  };
  const xcb_atom_t uriListType = atom("text/uri-list"), copy = atom("XdndActionCopy"),
                   enter = atom("XdndEnter"), position = atom("XdndPosition"),
                   status = atom("XdndStatus"), leave = atom("XdndLeave"), drop = atom("XdndDrop"),
                   finished = atom("XdndFinished");
  const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t window = xcb_generate_id(connection);
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
  xcb_set_selection_owner(connection, window, atom("XdndSelection"), XCB_CURRENT_TIME);
  const auto targetWindow = static_cast<xcb_window_t>(target.window()->winId());
  const auto send = [&](xcb_atom_t type, uint32_t l1, uint32_t l2, uint32_t l3, uint32_t l4) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = targetWindow;
    message.type = type;
    message.data.data32[0] = window;
    message.data.data32[1] = l1;
    message.data.data32[2] = l2;
    message.data.data32[3] = l3;
    message.data.data32[4] = l4;
    xcb_send_event(connection, 0, targetWindow, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(connection);
  };
  // Waits up to 10 s for the client message of that type, serving requests for
  // the data meanwhile.
  const auto await = [&](xcb_atom_t wanted, xcb_client_message_event_t &answer) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(
          xcb_poll_for_event(connection), &std::free);
      if (!event) {
        pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
        ::poll(&descriptor, 1, 20);
        continue;
      }
      const uint8_t kind = event->response_type & 0x7f;
      if (kind == XCB_CLIENT_MESSAGE &&
          reinterpret_cast<xcb_client_message_event_t *>(event.get())->type == wanted) {
        answer = *reinterpret_cast<xcb_client_message_event_t *>(event.get());
        return true;
      }
      if (kind != XCB_SELECTION_REQUEST)
        continue;
      const auto *request = reinterpret_cast<xcb_selection_request_event_t *>(event.get());
      xcb_selection_notify_event_t notify{};
      notify.response_type = XCB_SELECTION_NOTIFY;
      notify.time = request->time;
      notify.requestor = request->requestor;
      notify.selection = request->selection;
      notify.target = request->target;
      notify.property = XCB_ATOM_NONE;
      if (request->target == uriListType) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor,
                            request->property, uriListType, 8,
                            static_cast<uint32_t>(uriList.size()), uriList.constData());
        notify.property = request->property;
      }
      xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                     reinterpret_cast<const char *>(&notify));
      xcb_flush(connection);
    }
    return false;
  };
  std::atomic<int> outcome{-1};
  std::thread fileManager([&] {
    send(enter, 5u << 24, uriListType, XCB_ATOM_NONE, XCB_ATOM_NONE);
    send(position, 0, (static_cast<uint32_t>(global.x()) << 16) | static_cast<uint32_t>(global.y()),
         XCB_CURRENT_TIME, copy);
    xcb_client_message_event_t answer{};
    if (!await(status, answer) || (answer.data.data32[1] & 1) == 0) {
      send(leave, 0, 0, 0, 0);
      outcome = 0;
      return;
    }
    send(drop, 0, XCB_CURRENT_TIME, 0, 0);
    outcome = await(finished, answer) ? 1 : 0;
  });
  const bool ended = QTest::qWaitFor([&] { return outcome >= 0; }, 30000);
  fileManager.join();
  return ended && outcome == 1;
}
