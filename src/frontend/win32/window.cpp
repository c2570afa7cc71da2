// The main window on Windows: its class and procedure, the frame surface (a
// 16-bit device-independent bitmap whose pixels the renderer writes),
// painting, sizing, the message pump and the end of the process.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "frontend/commands.h"
#include "frontend/frontend.h"
#include "frontend/platform.h"
#include "frontend/resources.h"
#include "frontend/win32/win32_platform.h"
#include "headless/png_writer.h"

namespace koru {

namespace win32 {

HINSTANCE Instance;
HWND MainWindow;

namespace {

// The frame surface: a memory device context holding the bitmap.
struct FrameSurface {
    HDC context;
    HBITMAP bitmap;
    uint16_t* pixels;
};

FrameSurface Surface;
HDC WindowContext;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            OnPaint();
            EndPaint(window, &paint);
            return 0;
        }
        case WM_SIZE: {
            RECT client;
            if (GetClientRect(window, &client)) OnSize(client.right - client.left, client.bottom - client.top);
            return 0;
        }
        case WM_ACTIVATE:
            // Active when activated by any means and not minimised.
            OnActivate(LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0);
            return 0;
        case WM_ENTERMENULOOP:
            OnMenuLoop(true);
            return 0;
        case WM_EXITMENULOOP:
            OnMenuLoop(false);
            return 0;
        case WM_KEYDOWN:
            // Bit 30: the key was already down, an automatic repeat.
            OnKeyDown(static_cast<int>(wParam), (lParam & (1 << 30)) != 0);
            return 0;
        case WM_KEYUP:
            OnKeyUp(static_cast<int>(wParam));
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_DROPFILES: {
            // The first file dropped runs, as File / New with that name.
            const auto drop = reinterpret_cast<HDROP>(wParam);
            const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
            std::vector<char> name(length + 1, 0);
            if (length && DragQueryFileA(drop, 0, name.data(), length + 1)) OnDropFile(name.data());
            DragFinish(drop);
            return 0;
        }
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_QUERYENDSESSION:
            // Logging off or shutting down may go ahead: the end of the
            // session takes the same road as quitting.
            return TRUE;
        case WM_ENDSESSION:
            // Windows ends the process once this message is answered, so the
            // battery save, the INI file and the MIDI log are written now.
            if (wParam) OnDestroy();
            return 0;
        case WM_DESTROY:
            OnDestroy();
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

bool RegisterWindowClass() {
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = Instance;
    windowClass.hIcon = LoadIconA(Instance, "Icon");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;  // the picture covers the client area
    windowClass.lpszMenuName = "Menu";
    windowClass.lpszClassName = WindowCaption;
    return RegisterClassA(&windowClass) != 0;
}

}  // namespace win32

namespace platform {

using namespace win32;

bool CreateMainWindow() {
    MainWindow = CreateWindowExA(0, WindowCaption, WindowCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 500, 160, nullptr, nullptr, Instance, nullptr);
    // A cartridge file dropped on the window runs.
    if (MainWindow) DragAcceptFiles(MainWindow, TRUE);
    return MainWindow != nullptr;
}

void AcquireWindowContext() {
    if (!MainWindow || WindowContext) return;
    WindowContext = GetDC(MainWindow);
    // Shrinking below 1:1 drops rows and columns instead of merging their
    // colours into dark smears.
    if (WindowContext) SetStretchBltMode(WindowContext, COLORONCOLOR);
}

void ReleaseWindowContext() {
    if (MainWindow && WindowContext) ReleaseDC(MainWindow, WindowContext);
    WindowContext = nullptr;
}

uint16_t* CreateFrameSurface(int width, int height) {
    Surface = FrameSurface{};
    HDC context = CreateCompatibleDC(nullptr);
    if (!context) return nullptr;
    // 16 bits a pixel without a colour table is 5-5-5 with red in bits
    // 10-14: the renderer's own format. A negative height keeps the rows
    // top to bottom.
    BITMAPINFO description{};
    description.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    description.bmiHeader.biWidth = width;
    description.bmiHeader.biHeight = -height;
    description.bmiHeader.biPlanes = 1;
    description.bmiHeader.biBitCount = 16;
    description.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(context, &description, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!bitmap || !pixels) {
        if (bitmap) DeleteObject(bitmap);
        DeleteDC(context);
        return nullptr;
    }
    if (!SelectObject(context, bitmap)) {
        DeleteObject(bitmap);
        DeleteDC(context);
        return nullptr;
    }
    std::memset(pixels, 0, static_cast<size_t>(width) * height * 2);
    Surface = FrameSurface{context, bitmap, static_cast<uint16_t*>(pixels)};
    return Surface.pixels;
}

void FreeFrameSurface() {
    // The context goes first: a bitmap still selected into one cannot be
    // deleted.
    if (Surface.context) DeleteDC(Surface.context);
    if (Surface.bitmap) DeleteObject(Surface.bitmap);
    Surface = FrameSurface{};
}

void PresentSurface(int x, int y, int w, int h) {
    if (!WindowContext || !Surface.context) return;
    StretchBlt(WindowContext, 0, 0, ClientWidth, ClientHeight, Surface.context, x, y, w, h, SRCCOPY);
    GdiFlush();
}

void SetClientSize(int width, int height) {
    if (!MainWindow) return;
    RECT outer = {0, 0, width - 1, height - 1};
    if (AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, TRUE)) {
        SetWindowPos(MainWindow, nullptr, 0, 0, outer.right - outer.left + 1, outer.bottom - outer.top + 1,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void MoveWindowTo(int x, int y) {
    if (MainWindow) SetWindowPos(MainWindow, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool GetWindowRect(int* left, int* top) {
    RECT outer;
    if (!MainWindow || !::GetWindowRect(MainWindow, &outer)) return false;
    *left = outer.left;
    *top = outer.top;
    return true;
}

void SetCaption(const char* text) {
    if (MainWindow) SetWindowTextA(MainWindow, text);
}

bool WritePicture(const char* path, const uint16_t* pixels, int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        const unsigned channels[3] = {(pixels[i] >> 10) & 31u, (pixels[i] >> 5) & 31u, pixels[i] & 31u};
        for (int c = 0; c < 3; ++c) rgb[3 * i + c] = static_cast<uint8_t>((channels[c] << 3) | (channels[c] >> 2));
    }
    const std::vector<uint8_t> file = headless::EncodePlainPng(rgb.data(), width, height);
    std::FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written) {
        std::remove(path);
        return false;
    }
    return true;
}

void DestroyMainWindow() {
    if (MainWindow) DestroyWindow(MainWindow);
}

void PumpEvents() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

bool WaitForEvent() {
    MSG message;
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    // 0: the application is quitting; -1: no message can be had.
    if (got == 0 || got == -1) return false;
    DispatchMessageA(&message);
    return true;
}

bool CurrentDirectory(char* buffer, int size) {
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
    // A directory that does not fit is reported by the length it needs.
    return length != 0 && length < static_cast<DWORD>(size);
}

void ExitProcess(int status) {
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace platform
}  // namespace koru
