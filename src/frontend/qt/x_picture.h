// The client area's picture on an X server: sent at the console's size and
// stretched over the window by the server (its RENDER extension), instead of
// stretched here and sent at the window's size.
#pragma once
#include <cstdint>
#include <memory>

class QWidget;

namespace koru {

class XPicture {
public:
    // Whether the application runs on an X server that can stretch pictures
    // (RENDER 0.10 or later, 32-bit pixels in this machine's byte order).
    // Asked before the window exists, since the widget must then be made a
    // native window that Qt does not paint.
    static bool Available();

    // For the native window of `widget`, created by this call; null where
    // the window's visual is not plain 8-bit red, green and blue.
    static std::unique_ptr<XPicture> Create(QWidget* widget);

    ~XPicture();
    XPicture(const XPicture&) = delete;
    XPicture& operator=(const XPicture&) = delete;

    // Sends a picture of width x height pixels, 0xAARRGGBB, rows `stride`
    // pixels apart; it is kept by the server until the next.
    void Send(const uint32_t* pixels, int width, int height, int stride);
    // Forgets the picture: the window shows black until the next.
    void Forget() { shown_ = false; }
    // Draws the last picture stretched over width x height window pixels,
    // without smoothing, or black where there is none. Requests only: it
    // waits for no answer from the server.
    void Show(int width, int height);

private:
    struct Server;
    explicit XPicture(std::unique_ptr<Server> server);
    std::unique_ptr<Server> server_;
    int width_ = 0, height_ = 0;  // the picture's size, 0 before the first
    bool shown_ = false;          // there is a picture to show
    int scaledFor_[4] = {0, 0, 0, 0};  // picture and window size of the transform set
};

}  // namespace koru
