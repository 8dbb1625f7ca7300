// SPDX-License-Identifier: MIT
#include "ui/MessageBox.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <vector>
#include <xcb/xcb.h>

namespace {

// Room the window manager takes beside a caption: icon and title buttons.
constexpr int kTitleBarExtras = 160;

// How long after a window appears a move of the focus to it counts as the
// window manager's gift to a new window rather than the user's choice.
constexpr int kAppearingMs = 1500;

struct X11 {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t activeWindow = 0, clientList = 0;
};

xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : 0;
    std::free(r);
    return atom;
}

// The connection to an X server, or nothing on another platform (or the
// offscreen one), which has its own rules.
std::optional<X11> ConnectX11()
{
    auto* native = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QStringLiteral("xcb") || !native || !native->connection())
        return std::nullopt;
    X11 x;
    x.c = native->connection();
    x.root = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data->root;
    x.activeWindow = Atom(x.c, "_NET_ACTIVE_WINDOW");
    x.clientList = Atom(x.c, "_NET_CLIENT_LIST");
    if (!x.activeWindow || !x.clientList)
        return std::nullopt;
    return x;
}

// The windows a property of the root window lists.
std::vector<xcb_window_t> RootWindows(const X11& x, xcb_atom_t property)
{
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(x.c, xcb_get_property(x.c, 0, x.root, property, XCB_ATOM_WINDOW, 0, 65536), nullptr);
    std::vector<xcb_window_t> windows;
    if (r && r->format == 32) {
        const auto* w = static_cast<const xcb_window_t*>(xcb_get_property_value(r));
        windows.assign(w, w + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return windows;
}

// Asks an X11 window manager to give window the focus as a taskbar click
// would. A program's own request is refused while a newer window has the
// focus, and the viewer the maker started is newer than the maker's boxes.
void RequestFocusOnX11(const X11& x, QWidget& window)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window.winId());
    event.type = x.activeWindow;
    event.data.data32[0] = 2; // the request comes from a pager, on the user's behalf
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x.c, 0, x.root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(x.c);
}

// Raises and focuses the box once it is on the screen, and keeps the keyboard
// with it while it is shown against windows that appear meanwhile: a window
// manager hands a new window the focus, and the viewer of a fast conversion
// may map only after its closing box, when Enter would go to the viewer while
// the box waits. A window the user turns to later keeps the focus.
//
// The window manager ignores a request for a window it has not finished
// managing, which neither an expose event nor Qt's idea of the active window
// tells; so each request is made three times, 100 ms apart.
class FocusWhenShown : public QObject, public QAbstractNativeEventFilter {
public:
    explicit FocusWhenShown(QWidget& window) : QObject(&window), window_(window), x11_(ConnectX11())
    {
        timer_.setInterval(100);
        connect(&timer_, &QTimer::timeout, this, &FocusWhenShown::Request);
        if (!x11_)
            return;
        // The windows already there when the box comes; changes of the root
        // window's properties tell of the later ones.
        for (const xcb_window_t w : RootWindows(*x11_, x11_->clientList))
            known_.insert(w);
        SelectRootPropertyChanges(*x11_);
        qApp->installNativeEventFilter(this);
    }
    ~FocusWhenShown() override
    {
        if (x11_)
            qApp->removeNativeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && !shown_) {
            shown_ = true;
            StartRequests();
        }
        return QObject::eventFilter(watched, event);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* changed = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (changed->window != x11_->root)
            return false;
        // Asked once the event has been handled: no round trip inside Qt's dispatch.
        if (changed->atom == x11_->clientList)
            QTimer::singleShot(0, this, &FocusWhenShown::NoteNewWindows);
        else if (changed->atom == x11_->activeWindow)
            QTimer::singleShot(0, this, &FocusWhenShown::TakeBackFromNewWindow);
        return false;
    }

private:
    static void SelectRootPropertyChanges(const X11& x)
    {
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(x.c, xcb_get_window_attributes(x.c, x.root), nullptr);
        if (a && !(a->your_event_mask & XCB_EVENT_MASK_PROPERTY_CHANGE)) {
            const uint32_t mask = a->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(x.c, x.root, XCB_CW_EVENT_MASK, &mask);
        }
        std::free(a);
    }

    void NoteNewWindows()
    {
        for (const xcb_window_t w : RootWindows(*x11_, x11_->clientList))
            if (known_.insert(w).second)
                appearing_[w].start();
    }

    // A window of another program that takes the focus as it appears (or
    // before the window manager has listed it) gives it back to the box. This
    // program's own windows, a later box among them, keep it.
    void TakeBackFromNewWindow()
    {
        const std::vector<xcb_window_t> active = RootWindows(*x11_, x11_->activeWindow);
        if (!shown_ || !window_.isVisible() || active.empty() || active[0] == XCB_WINDOW_NONE)
            return;
        const xcb_window_t w = active[0];
        for (const QWindow* own : QGuiApplication::allWindows())
            if (own->handle() && xcb_window_t(own->winId()) == w)
                return;
        const auto appeared = appearing_.find(w);
        const bool unlisted = known_.insert(w).second;
        const bool justAppeared = appeared != appearing_.end() && !appeared->second.hasExpired(kAppearingMs);
        if (appeared != appearing_.end())
            appearing_.erase(appeared);
        if (unlisted || justAppeared)
            StartRequests();
    }

    void StartRequests()
    {
        tries_ = 0;
        Request();
        timer_.start();
    }

    void Request()
    {
        if (++tries_ > 3) {
            timer_.stop();
            return;
        }
        window_.raise();
        window_.activateWindow();
        if (x11_)
            RequestFocusOnX11(*x11_, window_);
    }

    QWidget& window_;
    std::optional<X11> x11_;
    QTimer timer_;
    int tries_ = 0;
    bool shown_ = false;
    std::set<xcb_window_t> known_;                    // windows listed since the box was made
    std::map<xcb_window_t, QElapsedTimer> appearing_; // when each later one was listed
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
    // for Enter, once the window manager has put the box on the screen and
    // whenever the viewer's window appears later.
    box.winId();
    box.windowHandle()->installEventFilter(new FocusWhenShown(box));
}

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    PrepareMessageBox(box);
    box.exec();
}
