// The main window on Qt: one widget as the client area showing the frame
// surface, the menu, and the window events handed to the window procedure.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPaintEngine>
#include <QPainter>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "frontend/commands.h"
#include "frontend/platform.h"
#include "frontend/qt/keys.h"
#include "frontend/qt/logo.h"
#include "frontend/qt/qt_platform.h"
#include "frontend/qt/x_picture.h"
#include "frontend/resources.h"

namespace koru {

namespace {

// On X and Wayland the native scan code of a key event is the X keyboard's
// key code, which tells the physical key.
bool KeyCodesAreX;

// A pixel of the surface (red in bits 10-14, bit 15 unused) as Qt's 32-bit
// RGB: each five-bit channel widened with its top bits repeated below, as
// Qt widens its own 16-bit formats, so the window shows the colours a
// 16-bit picture drawn by Qt would.
inline uint32_t Rgb32(uint32_t pixel) {
    const uint32_t r = (pixel >> 10) & 31, g = (pixel >> 5) & 31, b = pixel & 31;
    return 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
}

// A row of them; the compiler makes this a vector loop only when it knows
// the rows apart.
void ConvertRow(const uint16_t* __restrict from, uint32_t* __restrict to, int count) {
    for (int x = 0; x < count; ++x) to[x] = Rgb32(from[x]);
}

// Each pixel of a row repeated: the Size menu's factors with the count
// known to the compiler, which makes them vector loops.
template <int Times>
void WidenRow(const uint32_t* __restrict from, uint32_t* __restrict to, int count) {
    for (int x = 0; x < count; ++x) {
        for (int i = 0; i < Times; ++i) to[x * Times + i] = from[x];
    }
}

void WidenRow(const uint32_t* __restrict from, uint32_t* __restrict to, int count, int times) {
    switch (times) {
    case 1: std::memcpy(to, from, static_cast<size_t>(count) * 4); return;
    case 2: WidenRow<2>(from, to, count); return;
    case 3: WidenRow<3>(from, to, count); return;
    case 4: WidenRow<4>(from, to, count); return;
    default:
        for (int x = 0; x < count; ++x) {
            for (int i = 0; i < times; ++i) *to++ = from[x];
        }
    }
}

// Copies a row of `bytes` bytes to the window buffer with stores that go
// around the processor's caches where it can (a destination on a 16-byte
// boundary): the window buffer is only written here and read by the X
// server, and at 4:1 its 2.4 MB a frame, written through the caches, pushed
// the emulation's own memory out of them every frame and made each of its
// lines be fetched from memory first, only to be overwritten. StreamDone
// orders those stores before the buffer is handed on.
void StreamRow(uchar* __restrict to, const uchar* __restrict from, size_t bytes) {
#if defined(__SSE2__)
    if ((reinterpret_cast<uintptr_t>(to) & 15) == 0) {
        size_t i = 0;
        for (; i + 64 <= bytes; i += 64) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 32));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 48));
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + i), a);
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 16), b);
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 32), c);
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 48), d);
        }
        for (; i + 16 <= bytes; i += 16) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
        }
        std::memcpy(to + i, from + i, bytes - i);
        return;
    }
#endif
    std::memcpy(to, from, bytes);
}

void StreamDone() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

// The client area: the surface stretched over all of it, without smoothing
// and never letter-boxed.
//
// What is painted is a copy of the shown rectangle in the 32-bit format of
// the window's own buffer, not the 16-bit surface itself: Qt has no direct
// stretch from a 16-bit picture to a 32-bit window, and its general path
// converts and scales every window pixel on a pool of threads, which at 4:1
// cost several times the emulation. Converting the 38400 pixels of the
// screen once and letting Qt's plain nearest-neighbour stretch copy them
// costs a fraction of that.
class Surface : public QWidget {
public:
    explicit Surface(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::StrongFocus);
        setMinimumSize(0, 0);
    }

    // The 16-bit surface (null while there is none) and its row length in
    // pixels.
    const uint16_t* pixels = nullptr;
    int pixelsPerRow = 0;
    int surfaceWidth = 0, surfaceHeight = 0;

    // On an X server that can stretch pictures, the surface becomes a
    // native window that Qt does not paint: the server stretches the
    // picture over it (x_picture.cpp). Called before the window is shown.
    void ChooseXPicture() {
        if (!XPicture::Available()) return;
        // The menu bar and the rest of the main window stay Qt's own.
        QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
    }

    // After the window is shown: the server's picture for the native window,
    // or Qt's painting where its visual does not suit.
    void StartXPicture() {
        if (!testAttribute(Qt::WA_PaintOnScreen)) return;
        x_ = XPicture::Create(this);
        if (!x_) setAttribute(Qt::WA_PaintOnScreen, false);
    }

    // Shows the rectangle of the surface: taken, then sent to the server and
    // stretched there, or painted at once.
    void Present(QRect area) {
        Take(area);
        if (x_) ShowOnServer();
        else repaint();
    }

    // Takes the rectangle of the surface for the next paint, and on an X
    // server sends it there.
    void Take(QRect area) {
        area &= QRect(0, 0, surfaceWidth, surfaceHeight);
        if (!pixels || area.isEmpty()) {
            shown_ = QImage();
            if (x_) x_->Forget();
            return;
        }
        // One picture for the life of the window unless the rectangle's
        // size changes.
        if (shown_.size() != area.size()) shown_ = QImage(area.size(), QImage::Format_RGB32);
        for (int y = 0; y < area.height(); ++y) {
            const uint16_t* from = pixels + static_cast<size_t>(area.y() + y) * pixelsPerRow + area.x();
            ConvertRow(from, reinterpret_cast<uint32_t*>(shown_.scanLine(y)), area.width());
        }
        if (x_) {
            x_->Send(reinterpret_cast<const uint32_t*>(shown_.constBits()), shown_.width(), shown_.height(),
                     static_cast<int>(shown_.bytesPerLine() / 4));
        }
    }

    void Forget() {
        shown_ = QImage();
        if (x_) x_->Forget();
    }

protected:
    // Painted by the server, the widget has no paint engine of its own.
    QPaintEngine* paintEngine() const override {
        return testAttribute(Qt::WA_PaintOnScreen) ? nullptr : QWidget::paintEngine();
    }

    void paintEvent(QPaintEvent*) override {
        if (testAttribute(Qt::WA_PaintOnScreen)) {
            // Exposed or resized: the last picture again, or black.
            if (x_) ShowOnServer();
            return;
        }
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (shown_.isNull()) painter.fillRect(rect(), Qt::black);
        else if (!PaintWidened(painter)) painter.drawImage(rect(), shown_);
    }

    void resizeEvent(QResizeEvent*) override { OnSize(width(), height()); }

    // Keys are taken here before Qt would use Tab to move the focus.
    bool event(QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            const int vk = VirtualKeyFromQt(key->key(), (key->modifiers() & Qt::KeypadModifier) != 0,
                                            KeyCodesAreX ? key->nativeScanCode() : 0);
            // The repeats of a held key come as releases and presses; a
            // released key is released only when the user lets go.
            if (vk && event->type() == QEvent::KeyPress) OnKeyDown(vk, key->isAutoRepeat());
            else if (vk && !key->isAutoRepeat()) OnKeyUp(vk);
            return true;
        }
        return QWidget::event(event);
    }

private:
    // The server's picture over the window's device pixels.
    void ShowOnServer() {
        const qreal ratio = devicePixelRatioF();
        x_->Show(qRound(width() * ratio), qRound(height() * ratio));
    }

    // At a whole multiple of the shown rectangle's size (the Size menu's
    // sizes) each pixel becomes a block of the window buffer, written here
    // straight into the buffer the painter paints on: a row of blocks is
    // written once and copied down. Qt's own stretch makes the same pixels
    // but works them out one at a time, and the 614400 pixels of a 4:1
    // window every frame made it the largest cost of the desktop program
    // after the emulation. False, having painted nothing, where the buffer
    // is not a plain 32-bit picture at one device pixel per pixel.
    bool PaintWidened(QPainter& painter) {
        const int w = shown_.width(), h = shown_.height();
        if (width() < w || height() < h || width() % w || height() % h) return false;
        QPaintEngine* engine = painter.paintEngine();
        QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
        if (!device || device->devType() != QInternal::Image) return false;
        auto* buffer = static_cast<QImage*>(device);
        const QImage::Format format = buffer->format();
        if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
            format != QImage::Format_ARGB32_Premultiplied) {
            return false;
        }
        const QTransform toBuffer = painter.deviceTransform();
        if (buffer->devicePixelRatio() != 1.0 || toBuffer.type() > QTransform::TxTranslate) return false;
        const QPoint corner(qRound(toBuffer.dx()), qRound(toBuffer.dy()));
        if (toBuffer.dx() != corner.x() || toBuffer.dy() != corner.y() ||
            !buffer->rect().contains(QRect(corner, size()))) {
            return false;
        }
        // The painter has begun on the buffer, which made its pixels its own
        // (a buffer shared with a copy would have been copied then), so its
        // pixels are written through the constant pointer without another
        // copy.
        uchar* const origin = const_cast<uchar*>(buffer->constBits()) + corner.y() * buffer->bytesPerLine() +
                              static_cast<size_t>(corner.x()) * 4;
        const qsizetype stride = buffer->bytesPerLine();
        const int across = width() / w, down = height() / h;
        const size_t rowBytes = static_cast<size_t>(width()) * 4;
        // A row of blocks is widened once into a row of its own, which stays
        // in the nearest cache, and streamed from there to each of its rows.
        if (widened_.size() < static_cast<size_t>(width())) widened_.resize(static_cast<size_t>(width()));
        const auto* const row = reinterpret_cast<const uchar*>(widened_.data());
        for (int y = 0; y < h; ++y) {
            const auto* from = reinterpret_cast<const uint32_t*>(shown_.constScanLine(y));
            WidenRow(from, widened_.data(), w, across);
            uchar* const first = origin + static_cast<qsizetype>(y) * down * stride;
            for (int i = 0; i < down; ++i) StreamRow(first + i * stride, row, rowBytes);
        }
        StreamDone();
        return true;
    }

    // The rectangle last taken, in the window buffer's format.
    QImage shown_;
    // One widened row of it, for PaintWidened.
    std::vector<uint32_t> widened_;
    // The picture on the X server, sent from shown_.
    std::unique_ptr<XPicture> x_;
};

class MainWindow : public QMainWindow {
public:
    MainWindow() {
        setWindowTitle(QString::fromUtf8(WindowCaption));
        setWindowIcon(LogoIcon());
        surface = new Surface(this);
        setCentralWidget(surface);
        for (const MenuTemplate& menuTemplate : MainMenu) {
            QMenu* menu = menuBar()->addMenu(QString::fromUtf8(menuTemplate.title));
            for (size_t i = 0; i < menuTemplate.count; ++i) {
                const MenuItem& item = menuTemplate.items[i];
                if (!item.text) {
                    menu->addSeparator();
                    continue;
                }
                QAction* action = menu->addAction(QString::fromUtf8(item.text));
                if (const char* tip = CommandDescription(item.id)) action->setStatusTip(QString::fromUtf8(tip));
                const int id = item.id;
                connect(action, &QAction::triggered, this, [id] { OnCommand(id); });
            }
            connect(menu, &QMenu::aboutToShow, this, [] { OnMenuLoop(true); });
            connect(menu, &QMenu::aboutToHide, this, [] { OnMenuLoop(false); });
        }
        resize(500, 160 + menuBar()->sizeHint().height());
        // A cartridge file dropped on the window runs, as File / New would.
        setAcceptDrops(true);
    }

    Surface* surface;

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::ActivationChange || event->type() == QEvent::WindowStateChange) {
            const bool active = isActiveWindow() && !isMinimized();
            if (active != lastActive_) {
                lastActive_ = active;
                OnActivate(active);
            }
        }
        QMainWindow::changeEvent(event);
    }

    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        OnClose();
    }

    static QString DroppedFile(const QMimeData* data) {
        if (!data || !data->hasUrls() || data->urls().isEmpty() || !data->urls().first().isLocalFile()) return {};
        return data->urls().first().toLocalFile();
    }

    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
    }

    void dropEvent(QDropEvent* event) override {
        const QString file = DroppedFile(event->mimeData());
        if (file.isEmpty()) return;
        event->acceptProposedAction();
        OnDropFile(QDir::toNativeSeparators(file).toLocal8Bit().constData());
    }

private:
    // The emulation starts active (start-up marks it so).
    bool lastActive_ = true;
};

MainWindow* Window;
uint16_t* SurfacePixels;

}  // namespace

QWidget* MainWindowWidget() { return Window; }

namespace platform {

bool CreateMainWindow() {
    const QString system = QGuiApplication::platformName();
    KeyCodesAreX = system == QStringLiteral("xcb") || system.startsWith(QStringLiteral("wayland"));
    Window = new MainWindow();
    Window->surface->ChooseXPicture();
    Window->show();
    Window->surface->StartXPicture();
    Window->surface->setFocus();
    return true;
}

void AcquireWindowContext() {}
void ReleaseWindowContext() {}

uint16_t* CreateFrameSurface(int width, int height) {
    FreeFrameSurface();
    // Rows of 16-bit pixels; QImage wants each row on a 32-bit boundary.
    const size_t bytesPerRow = (static_cast<size_t>(width) * 2 + 3) & ~size_t{3};
    void* pixels = std::aligned_alloc(64, (bytesPerRow * height + 63) & ~size_t{63});
    if (!pixels) return nullptr;
    std::memset(pixels, 0, bytesPerRow * height);
    SurfacePixels = static_cast<uint16_t*>(pixels);
    if (Window) {
        Surface& surface = *Window->surface;
        surface.pixels = SurfacePixels;
        surface.pixelsPerRow = static_cast<int>(bytesPerRow / 2);
        surface.surfaceWidth = width;
        surface.surfaceHeight = height;
    }
    return SurfacePixels;
}

void FreeFrameSurface() {
    if (Window) {
        Window->surface->pixels = nullptr;
        Window->surface->Forget();
    }
    std::free(SurfacePixels);
    SurfacePixels = nullptr;
}

void PresentSurface(int x, int y, int w, int h) {
    if (!Window) return;
    // Painted now, not at the next turn of the event loop.
    Window->surface->Present(QRect(x, y, w, h));
}

void SetClientSize(int width, int height) {
    if (!Window) return;
    int menuHeight = Window->menuBar()->heightForWidth(std::max(width, 1));
    if (menuHeight < 0) menuHeight = Window->menuBar()->sizeHint().height();
    Window->resize(std::max(width, 0), std::max(height, 0) + menuHeight);
}

// The corner both calls mean is the window's own, inside the frame that a
// window manager draws around it: at start-up, before the window manager
// has framed the window, a position that includes the frame places the
// window itself there, so a stored outer corner moved the window up by a
// title bar at every start.
void MoveWindowTo(int x, int y) {
    if (Window) Window->setGeometry(x, y, Window->width(), Window->height());
}

bool GetWindowRect(int* left, int* top) {
    if (!Window) return false;
    const QRect inner = Window->geometry();
    *left = inner.left();
    *top = inner.top();
    return true;
}

void DestroyMainWindow() { OnDestroy(); }

void SetCaption(const char* text) {
    if (Window) Window->setWindowTitle(QString::fromUtf8(text));
}

bool WritePicture(const char* path, const uint16_t* pixels, int width, int height) {
    // The surface's format is Qt's RGB555.
    const QImage picture(reinterpret_cast<const uchar*>(pixels), width, height, static_cast<qsizetype>(width) * 2,
                         QImage::Format_RGB555);
    return picture.convertToFormat(QImage::Format_RGB888).save(QString::fromLocal8Bit(path), "PNG");
}

void PumpEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool WaitForEvent() {
    if (QCoreApplication::closingDown()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return true;
}

bool CurrentDirectory(char* buffer, int size) { return getcwd(buffer, static_cast<size_t>(size)) != nullptr; }

void ExitProcess(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace platform
}  // namespace koru
