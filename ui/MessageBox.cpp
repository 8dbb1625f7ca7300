// SPDX-License-Identifier: MIT
#include "ui/MessageBox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

// Room the window manager takes beside a caption: icon and title buttons.
constexpr int kTitleBarExtras = 160;

// Asks an X11 window manager to give window the focus as a taskbar click
// would. A program's own request is refused while a newer window has the
// focus, and the viewer the maker started is newer than the maker's boxes.
void RequestFocusOnX11(QWidget& window)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QStringLiteral("xcb") || !x11 || !x11->connection())
        return; // another platform (or the offscreen one) has its own rules
    xcb_connection_t* c = x11->connection();
    static constexpr char kAtom[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kAtom - 1, kAtom), nullptr);
    if (!atom)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window.winId());
    event.type = atom->atom;
    event.data.data32[0] = 2; // the request comes from a pager, on the user's behalf
    event.data.data32[1] = XCB_CURRENT_TIME;
    std::free(atom);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

// Raises and focuses its window once it is on the screen. The window manager
// ignores a request for a window it has not finished managing, which neither
// an expose event nor Qt's idea of the active window tells; so the request is
// made three times, 100 ms apart.
class FocusWhenShown : public QObject {
public:
    explicit FocusWhenShown(QWidget& window) : QObject(&window), window_(window)
    {
        timer_.setInterval(100);
        connect(&timer_, &QTimer::timeout, this, &FocusWhenShown::Request);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && !timer_.isActive() && tries_ == 0) {
            Request();
            timer_.start();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Request()
    {
        if (++tries_ > 3) {
            timer_.stop();
            return;
        }
        window_.raise();
        window_.activateWindow();
        RequestFocusOnX11(window_);
    }

    QWidget& window_;
    QTimer timer_;
    int tries_ = 0;
};

} // namespace

void PrepareMessageBox(QMessageBox& box)
{
    // QMessageBox sizes itself to its text alone; a short text such as
    // "完了しました" would leave the caption cut to "…". A spacer across the
    // layout is the one width hint it honours.
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    const int width = std::max(kMinimumMessageBoxWidth, title.horizontalAdvance(box.windowTitle()) + kTitleBarExtras);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
    box.setContentsMargins(8, 8, 8, 4);
    box.setDefaultButton(QMessageBox::Ok);
    // Above the viewer even where the window manager keeps a newer window's
    // focus from being taken by an older program.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // In front of the viewer, which the maker started a moment ago, and ready
    // for Enter, once the window manager has put the box on the screen.
    box.winId();
    box.windowHandle()->installEventFilter(new FocusWhenShown(box));
}

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    PrepareMessageBox(box);
    box.exec();
}
