// The client area's picture through the X server's RENDER extension.
//
// At 4:1 the window is 960 x 640 pixels. Drawn here, each frame wrote its
// 2.4 MB into Qt's window buffer, which Qt then handed to the server and
// waited for; that hand-over, not the emulation, was most of what the
// desktop program added to a frame. Here each frame sends the 240 x 160
// pixels (150 KB) into a server-side picture and asks the server to stretch
// it over the window with nearest-pixel sampling: two requests, no answer
// waited for. A server with a graphics card does the stretch there.
#include "frontend/qt/x_picture.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <xcb/render.h>
#include <xcb/xcb.h>

namespace koru {

namespace {

xcb_connection_t* Connection() {
    if (!qGuiApp || QGuiApplication::platformName() != QStringLiteral("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Frees a reply when it goes out of scope.
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> Take(T* reply) { return Reply<T>(reply, &std::free); }

// Whether depth `depth` is stored at 32 bits a pixel.
bool ThirtyTwoBitPixels(xcb_connection_t* connection, uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_format_t* formats = xcb_setup_pixmap_formats(setup);
    const int count = xcb_setup_pixmap_formats_length(setup);
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == depth) return formats[i].bits_per_pixel == 32 && formats[i].scanline_pad == 32;
    }
    return false;
}

// The picture format of `visual`, provided it is plain 8-bit red, green and
// blue at bits 16, 8 and 0 (alpha, if any, at 24) of `depth`; 0 otherwise.
xcb_render_pictformat_t PlainFormat(xcb_connection_t* connection, xcb_visualid_t visual, uint8_t depth) {
    const auto formats =
        Take(xcb_render_query_pict_formats_reply(connection, xcb_render_query_pict_formats(connection), nullptr));
    if (!formats) return 0;
    xcb_render_pictformat_t found = 0;
    for (auto screen = xcb_render_query_pict_formats_screens_iterator(formats.get()); screen.rem && !found;
         xcb_render_pictscreen_next(&screen)) {
        for (auto d = xcb_render_pictscreen_depths_iterator(screen.data); d.rem && !found;
             xcb_render_pictdepth_next(&d)) {
            const xcb_render_pictvisual_t* visuals = xcb_render_pictdepth_visuals(d.data);
            for (int i = 0; i < xcb_render_pictdepth_visuals_length(d.data); ++i) {
                if (visuals[i].visual == visual) found = visuals[i].format;
            }
        }
    }
    const xcb_render_pictforminfo_t* info = xcb_render_query_pict_formats_formats(formats.get());
    for (int i = 0; i < xcb_render_query_pict_formats_formats_length(formats.get()); ++i) {
        if (info[i].id != found) continue;
        const xcb_render_directformat_t& f = info[i].direct;
        const bool plain = info[i].type == XCB_RENDER_PICT_TYPE_DIRECT && info[i].depth == depth &&
                           f.red_shift == 16 && f.red_mask == 0xFF && f.green_shift == 8 && f.green_mask == 0xFF &&
                           f.blue_shift == 0 && f.blue_mask == 0xFF && (f.alpha_mask == 0 || f.alpha_shift == 24);
        return plain ? found : 0;
    }
    return 0;
}

}  // namespace

struct XPicture::Server {
    xcb_connection_t* connection = nullptr;
    QWidget* widget = nullptr;
    xcb_window_t window = 0;
    uint8_t depth = 0;
    xcb_render_pictformat_t format = 0;
    xcb_render_picture_t target = 0;  // the window's picture
    xcb_pixmap_t pixmap = 0;          // the console's picture, and its picture
    xcb_gcontext_t context = 0;
    xcb_render_picture_t source = 0;

    void FreeSource() {
        if (source) xcb_render_free_picture(connection, source);
        if (context) xcb_free_gc(connection, context);
        if (pixmap) xcb_free_pixmap(connection, pixmap);
        source = 0;
        context = 0;
        pixmap = 0;
    }

    // The window's picture, made again should Qt have made the widget a new
    // native window.
    bool Target() {
        const auto now = static_cast<xcb_window_t>(widget->effectiveWinId());
        if (now == window && target) return true;
        if (target) xcb_render_free_picture(connection, target);
        target = 0;
        window = now;
        if (!window) return false;
        target = xcb_generate_id(connection);
        xcb_render_create_picture(connection, target, window, format, 0, nullptr);
        return true;
    }
};

bool XPicture::Available() {
    static const bool available = [] {
        xcb_connection_t* connection = Connection();
        if (!connection) return false;
        const xcb_query_extension_reply_t* render = xcb_get_extension_data(connection, &xcb_render_id);
        if (!render || !render->present) return false;
        // Picture transforms and filters came with version 0.6, the edge
        // padding with 0.10.
        const auto version = Take(xcb_render_query_version_reply(
            connection, xcb_render_query_version(connection, 0, 11), nullptr));
        if (!version || (version->major_version == 0 && version->minor_version < 10)) return false;
        const bool littleServer = xcb_get_setup(connection)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
        return littleServer == (std::endian::native == std::endian::little);
    }();
    return available;
}

std::unique_ptr<XPicture> XPicture::Create(QWidget* widget) {
    if (!Available()) return nullptr;
    auto server = std::make_unique<Server>();
    server->connection = Connection();
    server->widget = widget;
    server->window = static_cast<xcb_window_t>(widget->winId());
    xcb_connection_t* connection = server->connection;
    const auto attributes = Take(xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, server->window), nullptr));
    const auto geometry =
        Take(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, server->window), nullptr));
    if (!attributes || !geometry || !ThirtyTwoBitPixels(connection, geometry->depth)) return nullptr;
    server->depth = geometry->depth;
    server->format = PlainFormat(connection, attributes->visual, server->depth);
    if (!server->format || !server->Target()) return nullptr;
    return std::unique_ptr<XPicture>(new XPicture(std::move(server)));
}

XPicture::XPicture(std::unique_ptr<Server> server) : server_(std::move(server)) {}

XPicture::~XPicture() {
    // After the application has gone, so has the connection and all it held.
    if (!qGuiApp) return;
    server_->FreeSource();
    if (server_->target) xcb_render_free_picture(server_->connection, server_->target);
    xcb_flush(server_->connection);
}

void XPicture::Send(const uint32_t* pixels, int width, int height, int stride) {
    Server& s = *server_;
    if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF) return;
    if (width != width_ || height != height_ || !s.source) {
        s.FreeSource();
        s.pixmap = xcb_generate_id(s.connection);
        xcb_create_pixmap(s.connection, s.depth, s.pixmap, s.window, static_cast<uint16_t>(width),
                          static_cast<uint16_t>(height));
        s.context = xcb_generate_id(s.connection);
        xcb_create_gc(s.connection, s.context, s.pixmap, 0, nullptr);
        s.source = xcb_generate_id(s.connection);
        // Beyond its edges the picture repeats its edge pixels, so that no
        // rounding of the stretch at the window's last row or column can
        // sample outside it.
        const uint32_t repeat = XCB_RENDER_REPEAT_PAD;
        xcb_render_create_picture(s.connection, s.source, s.pixmap, s.format, XCB_RENDER_CP_REPEAT, &repeat);
        static const char nearest[] = "nearest";
        xcb_render_set_picture_filter(s.connection, s.source, sizeof nearest - 1, nearest, 0, nullptr);
        width_ = width;
        height_ = height;
        std::fill(std::begin(scaledFor_), std::end(scaledFor_), 0);
    }
    // As many rows a request as the server takes (a request's header is 24
    // bytes); rows that lie apart go one at a time.
    const uint32_t rowBytes = static_cast<uint32_t>(width) * 4;
    const uint32_t room = xcb_get_maximum_request_length(s.connection) * 4 - 24;
    const int perRequest = stride == width ? std::max(1, static_cast<int>(room / rowBytes)) : 1;
    for (int y = 0; y < height; y += perRequest) {
        const int rows = std::min(perRequest, height - y);
        xcb_put_image(s.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, s.pixmap, s.context, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(rows), 0, static_cast<int16_t>(y), 0, s.depth,
                      rowBytes * static_cast<uint32_t>(rows),
                      reinterpret_cast<const uint8_t*>(pixels + static_cast<size_t>(y) * stride));
    }
    shown_ = true;
}

void XPicture::Show(int width, int height) {
    Server& s = *server_;
    if (width <= 0 || height <= 0 || !s.Target()) return;
    const auto w = static_cast<uint16_t>(std::min(width, 0xFFFF));
    const auto h = static_cast<uint16_t>(std::min(height, 0xFFFF));
    if (!shown_ || !s.source) {
        const xcb_rectangle_t all{0, 0, w, h};
        xcb_render_fill_rectangles(s.connection, XCB_RENDER_PICT_OP_SRC, s.target, xcb_render_color_t{0, 0, 0, 0xFFFF},
                                   1, &all);
        xcb_flush(s.connection);
        return;
    }
    const int size[4] = {width_, height_, width, height};
    if (!std::equal(std::begin(size), std::end(size), std::begin(scaledFor_))) {
        // The transform takes a window pixel to the picture: picture size
        // over window size, in 16.16 fixed point, rounded.
        const auto ratio = [](int from, int to) {
            return static_cast<xcb_render_fixed_t>((static_cast<int64_t>(from) * 65536 + to / 2) / to);
        };
        const xcb_render_transform_t transform{ratio(width_, width), 0, 0, 0, ratio(height_, height), 0, 0, 0, 65536};
        xcb_render_set_picture_transform(s.connection, s.source, transform);
        std::copy(std::begin(size), std::end(size), std::begin(scaledFor_));
    }
    xcb_render_composite(s.connection, XCB_RENDER_PICT_OP_SRC, s.source, XCB_NONE, s.target, 0, 0, 0, 0, 0, 0, w, h);
    xcb_flush(s.connection);
}

}  // namespace koru
